// Progress messages of the archiver stand-in.
#include "TarNotify.h"

#include <atomic>

#include "platform/Win.h"

namespace tar32 {
namespace {

constexpr unsigned kRingSize = 256;
constexpr char kProgressMessageName[] = "wm_arcextract";
TarProgressRecord gRing[kRingSize];
std::atomic<unsigned> gNext{0};

}  // namespace

void NotifyOwner(HWND window, int code, const TarProgressRecord* record) {
  TarProgressRecord* slot = nullptr;
  if (record) {
    slot = &gRing[gNext.fetch_add(1) % kRingSize];
    *slot = *record;
  }
  UINT message = plat::RegisterWindowMessage(kProgressMessageName);
  plat::PostMessage(window, message, static_cast<plat::WPARAM>(code),
                    reinterpret_cast<plat::LPARAM>(slot));
}

}  // namespace tar32
