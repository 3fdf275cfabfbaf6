// The message library stand-in: our own catalogue texts for the messages the
// system shows, and message boxes answered by the registered operator (on
// Windows: the system's own message boxes, answered by whoever sits there).
#include <atomic>
#include <cstdio>
#include <map>
#include <string>

#include "SvpServices.h"

#if !defined(_WIN32)
#include "platform/Machine.h"
#include "platform/winemu/Operator.h"
#endif

namespace {

const std::map<int, const char*>& Catalogue() {
  static const std::map<int, const char*> texts = {
      {469,
       "The controller answered the request with an error. Check the controller and "
       "retry; if it fails again, call support."},
      {2467,
       "The request could not be carried out: the controller refused it or a file "
       "could not be copied. Retry; if it fails again, call support."},
      {2515, "The SVP's common library reported an error (code 0x1167). Call support."},
      {3188, "The operation has ended successfully. Remove the media from the drives."},
      {3193,
       "The medium is write-protected. Remove the write protection and press Retry, "
       "or press Cancel."},
      {3304, "A file of the SVP is missing or could not be read. Call support."},
      {3332,
       "The configuration belongs to another controller model or PCM type. Use a "
       "configuration of this controller."},
      {3333, "The operation could not be completed. Retry; if it fails again, call support."},
      {3351, "A backup of this controller is already on the medium. Overwrite it?"},
      {3383, "The configuration could not be processed. Call support."},
      {3459,
       "The configuration is of another configuration type than this SVP's. Use it "
       "anyway?"},
      {3480,
       "The serial number of the configuration differs from this controller's. Use it "
       "anyway?"},
      {3676,
       "The medium does not hold what this operation needs, or its configuration is "
       "for another SVP type. Insert the right medium."},
      {3677,
       "The medium in the drive cannot be used: it is not ready or not a "
       "configuration disk. Insert a usable medium and choose its drive again."},
      {3678, "The medium cannot be used. Insert another medium."},
      {3679, "The medium cannot be read. Insert another medium."},
      {3680, "The medium cannot be written. Insert another medium."},
      {3681,
       "A step of the operation failed (a copy, an archive or a conversion), or "
       "another configuration operation was running. Check the medium and the free "
       "space, then retry."},
      {3683, "Insert the medium that holds the configuration and choose its drive."},
      {3686, "Insert the medium to write the backup to and choose its drive."},
      {3695,
       "The configuration of the backup file was not restored: it does not fit this "
       "SVP's configuration type or serial number, or could not be checked. Choose a "
       "backup of this controller."},
      {3834, "The configuration could not be checked. Call support."},
      {3835,
       "The disk in the drive is not the one needed now: disk %d is needed. Press OK, "
       "then insert it."},
      {3836, "Insert volume %d of the configuration and press OK. Cancel stops."},
      {4033,
       "The medium is not of the kind this setup needs. Insert a backup medium or "
       "use the configuration CD-R with a key code."},
      {4034, "The archive is larger than a floppy disk. Split it over several disks?"},
      {4035,
       "The backup does not fit on the medium. Free space on it or use a larger "
       "medium."},
      {4036, "Insert the next backup medium and press OK. Cancel stops the backup."},
      {4037,
       "The configuration has been set up from the backup medium. Remove the medium "
       "from the drive."},
      {4040,
       "Insert the backup medium that holds the configuration to set up and choose "
       "its drive."},
      {4053,
       "The key code %s is valid. Press OK to use its configuration, or Cancel to "
       "type another."},
      {4054, "The key code is not valid. Type it again."},
      {4055, "Type the key code of the configuration."},
      {4061,
       "Choose where the configuration to set up comes from: the configuration CD-R "
       "or a backup medium."},
      {4281,
       "A table of the configuration could not be found. Choose another backup file, or "
       "call support."},
      {4700, "Type or choose the backup configuration file (.gpfm) to restore."},
      {4701, "Configuration backup and restore library of the SVP."},
      {4702,
       "The file is not a backup configuration file. Choose a file whose name ends "
       "in .gpfm."},
      {4703,
       "No file of that name exists (or it is a folder). Type the path of a .gpfm "
       "file."},
      {4705,
       "The serial number of the backup could not be compared with the controller's "
       "serial number: one of them was never set. Tick Confirmed and press OK to "
       "restore the backup anyway, only if it belongs to this controller; press "
       "Cancel to stop."},
  };
  return texts;
}

std::string FillTextInsert(const std::string& text, const char* insert) {
  std::string::size_type at = text.find("%s");
  if (at == std::string::npos) return text;
  return text.substr(0, at) + (insert ? insert : "") + text.substr(at + 2);
}

std::string FillInsert(const std::string& text, bool hasInsert, DWORD insert) {
  std::string::size_type at = text.find("%d");
  if (at == std::string::npos) return text;
  std::string value = hasInsert ? std::to_string(static_cast<std::int32_t>(insert)) : "?";
  return text.substr(0, at) + value + text.substr(at + 2);
}

#if defined(_WIN32)

std::atomic<svc::MessageObserver> gMessageObserver{nullptr};

WORD Show(HWND owner, int group, int id, int identifier, int kind, UINT style, bool hasInsert,
          DWORD insert, const char* textInsert = nullptr) {
  if (svc::MessageObserver observer = gMessageObserver.load())
    observer({group, id, identifier, kind, style, hasInsert, insert});
  std::string text = FilledCatalogueText(id, hasInsert, insert, textInsert);
  char caption[64];
  std::snprintf(caption, sizeof caption, "SVP Message %04d", id);
  return static_cast<WORD>(::MessageBoxA(owner, text.c_str(), caption, style));
}

#else

// The messages that ask the operator to put another medium into the drive:
// the next volume of a split archive, the next backup medium.
constexpr int kInsertVolumeMessage = 3836;
constexpr int kNextBackupMediumMessage = 4036;

bool AsksForAnotherMedium(int messageId) {
  return messageId == kInsertVolumeMessage || messageId == kNextBackupMediumMessage;
}

// The operator's OK to such a request changes the medium of the drive, where
// the world gives the drive a list of media.
void ChangeMediumOnOk(plat::Operator& op, const plat::MessageBoxView& view, WORD answer) {
  if (answer != plat::IDOK || !view.mediaDrive) return;
  std::string error;
  if (!plat::ChangeCurrentMedium(op.MediumToInsert(view), &error))
    std::fprintf(stderr, "talver: the medium was not changed: %s\n", error.c_str());
}

WORD Show(HWND, int group, int id, int identifier, int kind, UINT style, bool hasInsert,
          DWORD insert, const char* textInsert = nullptr) {
  plat::MessageBoxView view;
  view.group = group;
  view.messageId = id;
  view.identifier = identifier;
  view.kind = kind;
  view.style = style;
  view.hasInsert = hasInsert;
  view.insert = insert;
  view.text = FilledCatalogueText(id, hasInsert, insert, textInsert);
  char caption[64];
  std::snprintf(caption, sizeof caption, "SVP Message %04d", id);
  view.caption = caption;
  if (AsksForAnotherMedium(id))
    plat::CurrentMediaDrive(&view.mediaDrive, &view.media, &view.mediumInserted);
  plat::Operator& op = plat::CurrentOperator();
  WORD answer = op.AnswerMessageBox(view);
  if (AsksForAnotherMedium(id)) ChangeMediumOnOk(op, view, answer);
  return answer;
}

#endif

}  // namespace

std::string CatalogueText(int messageId) {
  auto it = Catalogue().find(messageId);
  if (it != Catalogue().end()) return it->second;
  char text[64];
  std::snprintf(text, sizeof text, "Message %d.", messageId);
  return text;
}

std::string FilledCatalogueText(int messageId, bool hasInsert, DWORD insert,
                                const char* textInsert) {
  return FillTextInsert(FillInsert(CatalogueText(messageId), hasInsert, insert), textInsert);
}

WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style) {
  return Show(owner, group, messageId, identifier, kind, style, false, 0);
}

WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style,
                     DWORD insert) {
  return Show(owner, group, messageId, identifier, kind, style, true, insert);
}

std::int16_t dsvp_CreateMsgStringW(WCHAR* buffer, int bufferSize, int /*group*/, int messageId,
                                   int /*identifier*/, int /*variant*/) {
  // bufferSize is in bytes, as the callers pass it.
  if (!buffer || bufferSize < 2) return -1;
  std::string text = CatalogueText(messageId);
  std::size_t capacity = static_cast<std::size_t>(bufferSize) / sizeof(WCHAR);
  if (text.size() + 1 > capacity) return -1;
  for (std::size_t i = 0; i < text.size(); ++i)
    buffer[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
  buffer[text.size()] = 0;
  return static_cast<std::int16_t>(text.size());
}

WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style,
                     const char* insert) {
  return Show(owner, group, messageId, identifier, kind, style, false, 0, insert);
}

#if defined(_WIN32)
void svc::SetMessageObserver(MessageObserver observer) { gMessageObserver.store(observer); }
#endif
