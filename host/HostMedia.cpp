// Drives and media selection for svpconf.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/Format.h"
#include "common/Globals.h"
#include "host/talver_host.h"
#include "media/CnfSelPcDlg.h"
#include "media/MediaSelection.h"
#include "platform/Platform.h"

namespace {

int CopyOut(const std::string& text, char* out, std::size_t size) {
  if (!out || size == 0 || text.size() + 1 > size) return 0;
  std::snprintf(out, size, "%s", text.c_str());
  return 1;
}

std::string Joined(const DriveList& list) {
  std::string text;
  for (WORD i = 0; i < list.count; ++i) text += (i ? " " : "") + std::string(list.entries[i]);
  return text;
}

// The prompt each flow passes with its request kind.
DWORD PromptOf(int requestKind) { return requestKind == kRequestSetup ? 4040 : 3683; }

}  // namespace

int TalverHost_DriveLists(int driveClass, char* svpDrives, std::size_t svpSize, char* clientDrives,
                          std::size_t clientSize) {
  if (!plat::HasCurrent()) return 0;
  RefreshRootPath();
  DriveList client{};
  int clientResult = dsvp_GetConnectedClientPcDrive(&client);
  DriveList svp{};
  switch (driveClass) {
    case kDriveClassInstall:
      GetSvpInstallDisk(&svp);
      break;
    case kDriveClassInstallCdr:
      GetSvpInstallDiskCDR(&svp);
      break;
    default:
      GetSvpBackupDisk(&svp);
      break;
  }
  CopyOut(Joined(svp), svpDrives, svpSize);
  CopyOut(Joined(client), clientDrives, clientSize);
  return clientResult;
}

int TalverHost_SelectMedia(int requestKind, int volumeNumber, TalverHostMediaSelection* out) {
  if (!plat::HasCurrent() || !out) return 0;
  RefreshRootPath();
  CopyBounded(ModelNumberText, sizeof ModelNumberText, out->modelNumberText);
  CopyBounded(SizeCodeText, sizeof SizeCodeText, out->sizeCodeText);
  SelectionPurpose = static_cast<BYTE>(out->selectionPurpose);
  MediaSelection selection{};
  selection.requestKind = static_cast<WORD>(requestKind);
  selection.promptMessageId = PromptOf(requestKind);
  CopyBounded(selection.drivePath, sizeof selection.drivePath, out->drivePath);
  WORD word = 0;
  int result = SelectMedia(0, &selection, static_cast<BYTE>(volumeNumber), &word);
  CopyOut(selection.drivePath, out->drivePath, sizeof out->drivePath);
  CopyOut(selection.archivePath, out->archivePath, sizeof out->archivePath);
  out->mediaKind = selection.MediaKind;
  out->typeWord = selection.config4.Config4TypeWord;
  out->volumeCount = selection.config4.volumeCount;
  out->volumeNumber = selection.config4.volumeNumber;
  CopyOut(TypeHexText, out->typeHexText, sizeof out->typeHexText);
  out->resultWord = word;
  return result;
}
