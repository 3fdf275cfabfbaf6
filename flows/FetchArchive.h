// The fetch of a configuration archive from media into a work folder: one
// archive copied, or a split archive joined volume by volume as the operator
// changes media. Setup, the restore from media and the installation by model
// use it.
#pragma once

#include "platform/WinTypes.h"
#include "validate/MediaSelection.h"

// 1 when the complete archive lies in the work folder as "svp_conf.tgz",
// else 0 (its own failure messages shown).
int FetchConfigArchive(HWND owner, const char* workDirectory, MediaSelection* selection,
                       WORD* resultWord);

// Selects the medium of the next volume (volumeCounter counts from 1 for the
// second) until it continues `previous`, showing the message of each medium
// refused. 1 when it does; 0 when the selection failed (its message shown)
// or the operator cancelled. `refused`, when given, receives the first
// medium refused as no continuation (left as it was when none was).
int SelectNextVolume(HWND owner, MediaSelection* selection, const MediaSelection& previous,
                     BYTE volumeCounter, WORD* resultWord, MediaSelection* refused = nullptr);

// What a volume step answers besides 0 (failed) and 1 (archive complete).
constexpr int kFetchMoreVolumes = 10;

// Copies the selection's archive to the work folder as "svp_conf.tgz":
// 0, 1, or kFetchMoreVolumes when the archive is split over further media.
int FetchFirstVolume(const char* workDirectory, MediaSelection* selection, WORD* resultWord);
// Appends the selection's archive (the next volume) to the work folder's
// "svp_conf.tgz": 0, 1 (the last volume is joined) or kFetchMoreVolumes.
int AppendNextVolume(const char* workDirectory, MediaSelection* selection, WORD* resultWord);
