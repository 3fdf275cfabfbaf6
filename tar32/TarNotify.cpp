// Progress messages of the archiver stand-in.
#include "TarNotify.h"

#include <atomic>

namespace tar32 {
namespace {

constexpr unsigned kRingSize = 256;
TarProgressRecord gRing[kRingSize];
std::atomic<unsigned> gNext{0};

}  // namespace

void NotifyOwner(HWND window, int code, const TarProgressRecord* record) {
  TarProgressRecord* slot = nullptr;
  if (record) {
    slot = &gRing[gNext.fetch_add(1) % kRingSize];
    *slot = *record;
  }
  (void)window;
  (void)code;
  (void)slot;
}

}  // namespace tar32
