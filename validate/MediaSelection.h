// The record of one media choice, shared by the media selection, the flows
// that read configuration from media and the key-code dialog.
#pragma once

#include "platform/WinTypes.h"
#include "validate/CnfProcess2.h"

// What a chosen medium carries.
constexpr BYTE kMediaNone = 0;
constexpr BYTE kMediaBackup = 1;
constexpr BYTE kMediaKeyCode = 2;  // key-code or flat medium
constexpr BYTE kMediaSoftware = 3;

// Allocated zeroed by the calling flow, owned by it, passed by pointer.
struct MediaSelection {
  WORD requestKind;            // which flow asks; set by the caller
  DWORD promptMessageId;       // catalogue message of the media dialog; set by the caller
  char drivePath[MAX_PATH];    // root of the chosen drive with a trailing backslash
  char archivePath[MAX_PATH];  // path of the archive on the medium
  BYTE MediaKind;              // kMediaNone .. kMediaSoftware
  Config4Record config4;       // a copy of the medium's config4 record
};
static_assert(sizeof(MediaSelection::requestKind) == 2 &&
              sizeof(MediaSelection::promptMessageId) == 4);
static_assert(sizeof(MediaSelection::drivePath) == 260 &&
              sizeof(MediaSelection::archivePath) == 260);
static_assert(sizeof(MediaSelection::MediaKind) == 1 && sizeof(MediaSelection::config4) == 32);
