// Shared between the platform halves; not for the system's code.
#pragma once

namespace plat {
// True on a thread made by a platform half whose stop has been requested.
bool ThreadStopRequested();
// True on a thread made by a platform half (a worker).
bool IsPlatformThread();
}  // namespace plat
