// The message library stand-in: our own catalogue texts for the messages the
// system shows, and message boxes answered by the registered operator (on
// Windows: the system's own message boxes, answered by whoever sits there).
#include <cstdio>
#include <map>
#include <string>

#include "SvpServices.h"

#if !defined(_WIN32)
#include "platform/posix/PosixPlatform.h"
#include "platform/winemu/Operator.h"
#endif

namespace {

const std::map<int, const char*>& Catalogue() {
  static const std::map<int, const char*> texts = {
      {469, "The controller answered the request with an error."},
      {1028, "Converting the backup tables."},
      {2467, "The controller refused the request."},
      {2515, "The operation of the common library failed (code 0x1167)."},
      {3188, "The configuration has been restored. Remove the media from the drives."},
      {3193, "The medium is write-protected. Remove the protection and retry."},
      {3304, "A file of the SVP could not be read or written."},
      {3332, "The configuration belongs to another controller model or PCM type."},
      {3333, "The operation failed."},
      {3351, "A backup of this controller already exists on the medium. Overwrite it?"},
      {3383, "The configuration could not be processed."},
      {3459, "The configuration type of the backup differs from this SVP's. Continue?"},
      {3480, "The serial number of the backup differs from this controller's. Continue?"},
      {3676, "The medium does not hold what was requested."},
      {3677, "The medium is not ready. Insert a medium and retry."},
      {3678, "The medium cannot be used."},
      {3679, "The medium cannot be read."},
      {3680, "The medium cannot be written."},
      {3681, "A step of the operation failed."},
      {3686, "Insert a backup medium and choose its drive."},
      {3695, "Restoring the extracted configuration failed."},
      {3834, "The configuration could not be checked."},
      {3835, "The inserted volume does not continue the previous one (volume %d)."},
      {3836, "Insert volume %d and press OK."},
      {4033, "The medium's kind does not fit the setup request."},
      {4034, "The archive is larger than a floppy disk. Split it over several disks?"},
      {4035, "There is not enough free space on the medium."},
      {4036, "Insert the next backup medium."},
      {4037, "Choose the drive of the backup medium."},
      {4053, "The key code %s selects this controller type. Continue?"},
      {4054, "The key code is not valid. Type it again."},
      {4055, "Type the key code of the configuration."},
      {4061, "Choose where the configuration is set up from."},
      {4281, "The common library reported code 0x0901."},
      {4700, "Choose the backup configuration file."},
      {4701, "Configuration backup and restore library of the SVP."},
      {4702, "The file is not a backup configuration file (.gpfm)."},
      {4703, "The path does not name a backup configuration file."},
      {4705, "Choose the backup to restore."},
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

WORD Show(HWND owner, int, int id, int, int, UINT style, bool hasInsert, DWORD insert,
          const char* textInsert = nullptr) {
  std::string text = FillTextInsert(FillInsert(CatalogueText(id), hasInsert, insert), textInsert);
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
  view.text = FillTextInsert(FillInsert(CatalogueText(id), hasInsert, insert), textInsert);
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
