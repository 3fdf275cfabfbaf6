// The media selection: the step machine that fills the record of one media
// choice (validate/MediaSelection.h): choose a drive, check it, classify the
// medium, form the archive path; and the classifications of a medium by its
// config4; the module-wide texts the flows set before selecting media.
#pragma once

#include <cstddef>

#include "platform/Win.h"
#include "platform/WinTypes.h"
#include "validate/CnfProcess2.h"
#include "validate/MediaSelection.h"

// requestKind values: which flow asks.
constexpr WORD kRequestBackupVolumes = 1;
constexpr WORD kRequestSetup = 5;
constexpr WORD kRequestRestore = 6;
constexpr WORD kRequestSoftware = 7;
constexpr WORD kRequestInstallMode0 = 8;
constexpr WORD kRequestInstallMode2 = 9;

// Module-wide inputs that the flows set before selecting media.
constexpr std::size_t kModelNumberTextSize = 5;  // 4 characters
constexpr std::size_t kSizeCodeTextSize = 16;
constexpr std::size_t kTypeHexTextSize = 3;  // 2 hexadecimal digits or "xx"
extern char ModelNumberText[kModelNumberTextSize];
extern char SizeCodeText[kSizeCodeTextSize];
extern char TypeHexText[kTypeHexTextSize];
extern BYTE SelectionPurpose;

// The steps (sMode) of SelectMedia.
constexpr DWORD kStepChoose = 0x1001;
constexpr DWORD kStepCheckDrive = 0x1002;
constexpr DWORD kStepClassify = 0x1003;
constexpr DWORD kStepArchivePath = 0x100A;

// 1 when the selection holds a usable medium; 0 when cancelled (0x4000) or
// failed for good; for a backup medium the backup list dialog's result.
// volumeNumber 0 asks for a drive; n asks for volume n+1 in the drive chosen
// before.
int SelectMedia(HWND owner, MediaSelection* selection, BYTE volumeNumber, WORD* resultWord);
// The drive class the media dialog offers for a request kind.
BYTE DriveClassOfRequest(WORD requestKind);
// A free-space query of the drive: 0x2001 when it is not ready, else 0x2012.
int CheckMediaReady(const char* driveRoot, WORD* resultWord);
int ClassifyMediaByConfig4(MediaSelection* selection, WORD* resultWord);
int ClassifySoftwareMedia(MediaSelection* selection, WORD* resultWord);
int LoadArchiveConfig4(MediaSelection* selection, WORD* resultWord);
