#include "host/HostOperator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "svpsvc/SvpServices.h"

namespace host {
namespace {

// The requests to put another medium into the drive: the next volume of a
// split archive, the next backup medium.
constexpr int kInsertVolumeMessage = 3836;
constexpr int kNextBackupMediumMessage = 4036;
// Message boxes of this kind tell of a failure.
constexpr int kErrorKind = 3;

bool IsMediumRequest(int messageId) {
  return messageId == kInsertVolumeMessage || messageId == kNextBackupMediumMessage;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool Has(const std::basic_string<WORD>& buttons, WORD b) {
  return buttons.find(b) != std::basic_string<WORD>::npos;
}

// The dialogs an answer given beforehand can answer, by template.
struct DialogQuestion {
  int templateId;
  const char* name;
  const char* what;
};
constexpr DialogQuestion kDialogQuestions[] = {
    {115, "file", "a backup file"}, {106, "drive", "a drive"},
    {113, "key", "a key code"},     {114, "setup-source", "the setup source"},
    {112, "backup", "a backup"},    {117, "confirm", "a confirmation"},
};

const DialogQuestion* QuestionOf(int templateId) {
  for (const auto& q : kDialogQuestions)
    if (q.templateId == templateId) return &q;
  return nullptr;
}

bool IsYes(const std::string& value, bool* yes) {
  const std::string v = Lower(value);
  if (v == "1" || v == "y" || v == "yes" || v == "true" || v == "on") return *yes = true, true;
  if (v == "0" || v == "n" || v == "no" || v == "false" || v == "off") return *yes = false, true;
  return false;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ";") {
    if (c == ';' || c == ',') {
      if (!Trim(item).empty()) items.push_back(Trim(item));
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

std::string Choices(const plat::DialogView& view) {
  std::string list;
  auto add = [&list](const std::string& item) { list += (list.empty() ? "" : "|") + item; };
  switch (view.templateId) {
    case 106:
      if (const auto* c = view.Find(1007))
        for (const auto& item : c->items) add(item.substr(0, 1));
      break;
    case 112:
      if (const auto* c = view.Find(1019))
        for (const auto& item : c->items) add(item);
      break;
    case 114:
      add("cdr");
      add("backup");
      break;
    case 117:
      add("yes");
      add("no");
      break;
    default:
      break;
  }
  return list;
}

// What a dialog offered, for a refusal of an answer it did not offer.
std::string Offered(const plat::DialogView& view) {
  const std::string choices = Choices(view);
  return choices.empty() ? std::string() : " (the choices: " + choices + ")";
}

}  // namespace

const char* ButtonName(WORD button) {
  switch (button) {
    case plat::IDOK:
      return "ok";
    case plat::IDCANCEL:
      return "cancel";
    case plat::IDABORT:
      return "abort";
    case plat::IDRETRY:
      return "retry";
    case plat::IDIGNORE:
      return "ignore";
    case plat::IDYES:
      return "yes";
    case plat::IDNO:
      return "no";
    default:
      return "?";
  }
}

WORD ButtonByName(const std::string& name) {
  const std::string n = Lower(Trim(name));
  if (n.empty()) return 0;
  for (WORD b = 1; b <= 7; ++b)
    if (n == ButtonName(b)) return b;
  if (n.size() != 1) return 0;
  // The first letters: o(k), c(ancel), a(bort), r(etry), i(gnore), y(es), n(o).
  for (WORD b = 1; b <= 7; ++b)
    if (n[0] == ButtonName(b)[0]) return b;
  return 0;
}

std::string ButtonList(const std::basic_string<WORD>& buttons) {
  std::string list;
  for (WORD b : buttons) list += (list.empty() ? "" : "|") + std::string(ButtonName(b));
  return list;
}

bool SetAnswer(Answers& a, const std::string& rawName, const std::string& rawValue,
               std::string* why) {
  const std::string name = Lower(Trim(rawName));
  const std::string value = Trim(rawValue);
  auto fail = [why](std::string reason) {
    if (why) *why = std::move(reason);
    return false;
  };
  if (!name.empty() && std::all_of(name.begin(), name.end(), ::isdigit)) {
    WORD b = ButtonByName(value);
    if (!b || name.size() > 5)
      return fail("message " + name + " takes ok, cancel, yes, no, retry, abort or ignore, not '" +
                  value + "'");
    a.messages[std::stoi(name)] = b;
    return true;
  }
  if (name == "drive") {
    std::string d = value;
    if (d.size() >= 2 && d[1] == ':')
      d = d.substr(
          0, d.size() == 2 || (d.size() == 3 && (d[2] == '\\' || d[2] == '/')) ? 1 : d.size());
    if (d.size() != 1 || !std::isalpha(static_cast<unsigned char>(d[0])))
      return fail("the drive is a letter A to Z (E, e, E: or E:\\), not '" + value + "'");
    a.drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d[0]))));
    return true;
  }
  if (name == "key") {
    if (value.empty()) return fail("the key code is empty");
    a.key = value;
    return true;
  }
  if (name == "file") {
    if (value.empty()) return fail("the backup file is empty");
    a.file = value;
    return true;
  }
  if (name == "backup") {
    if (value.empty() || value.size() > 6 || !std::all_of(value.begin(), value.end(), ::isdigit))
      return fail("the backup is the serial number of its folder (six digits), not '" + value +
                  "'");
    a.backup = value;
    return true;
  }
  if (name == "confirm") {
    bool yes = false;
    if (!IsYes(value, &yes)) return fail("confirm takes yes or no, not '" + value + "'");
    a.confirm = yes;
    return true;
  }
  if (name == "setup-source") {
    const std::string v = Lower(value);
    if (v != "cdr" && v != "backup")
      return fail("the setup source is cdr or backup, not '" + value + "'");
    a.setupSource = v;
    return true;
  }
  if (name == "media") {
    a.media = SplitList(value);
    if (a.media.empty()) return fail("the media list names at least one medium (1;3;2)");
    return true;
  }
  return fail("no answer is named '" + rawName +
              "' (a message id, drive, key, file, backup, confirm, setup-source or media)");
}

AnswersOperator::AnswersOperator(Answers answers) : answers_(std::move(answers)) {}

void AnswersOperator::Refused(const Unanswered& q) {
  char line[512];
  std::snprintf(line, sizeof line, "ERR No answer: %s %d %s; refused",
                q.isDialog ? "dialog" : "message", q.id, q.reason.c_str());
  dsvp_ApiTraceWrite(0, 259, line);
}

void AnswersOperator::Refuse(Unanswered question) {
  unanswered_.push_back(question);
  Refused(unanswered_.back());
}

void AnswersOperator::NoteFailure(const plat::MessageBoxView& box) {
  if (!mediumChosen_ || box.kind != kErrorKind) return;
  if (!failedSinceInsert_)
    lastFailure_ = "message " + std::to_string(box.messageId) + ": " + box.text;
  failedSinceInsert_ = true;
}

// The next medium of the drive's list (or of the media answer) that this
// request has not tried yet, in the list's order after the one in the drive.
bool AnswersOperator::NextMediumFor(char drive, std::string* medium) {
  if (!answers_.media.empty()) {
    if (mediaAnswerIndex_ >= answers_.media.size()) return false;
    *medium = answers_.media[mediaAnswerIndex_++];
    return true;
  }
  std::vector<std::string> names;
  std::size_t inserted = 0;
  if (!plat::MediaOfDrive(drive, &names, &inserted) || names.empty()) return false;
  if (failedSinceInsert_ && inserted < names.size()) tried_.insert(Lower(names[inserted]));
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::size_t i = inserted < names.size() ? (inserted + 1 + k) % names.size() : k;
    if (tried_.insert(Lower(names[i])).second) {
      *medium = names[i];
      return true;
    }
  }
  return false;
}

WORD AnswersOperator::AnswerMessageBox(const plat::MessageBoxView& box) {
  Notice(box);
  NoteFailure(box);
  const auto buttons = plat::ButtonsOf(box.style);
  const WORD refusal = plat::RefusingButtonOf(box.style);
  if (plat::CallStopRequested()) return refusal;  // the call is on its way out
  const std::string name = std::to_string(box.messageId);
  const bool request = IsMediumRequest(box.messageId);
  const bool retried = request && failedSinceInsert_;
  if (request && !failedSinceInsert_) tried_.clear();  // the medium before was taken
  WORD answer = 0;
  bool given = false;
  if (auto it = answers_.messages.find(box.messageId); it != answers_.messages.end()) {
    given = true;
    if (!Has(buttons, it->second)) {
      Refuse({name,
              box.messageId,
              false,
              ButtonList(buttons),
              std::string("cannot be answered ") + ButtonName(it->second) +
                  " (its buttons: " + ButtonList(buttons) + ")",
              false,
              {}});
      return refusal;
    }
    answer = it->second;
  } else if (buttons.size() == 1) {
    return buttons[0];  // a notice: nothing to decide
  } else {
    answer = AskMessage(box);
    if (!Has(buttons, answer)) {
      Refuse({name,
              box.messageId,
              false,
              ButtonList(buttons),
              "asks a question (" + ButtonList(buttons) + ")",
              true,
              {}});
      return refusal;
    }
  }
  if (request && answer == plat::IDOK) {
    nextMedium_.clear();
    const bool listed = box.mediaDrive != 0;
    const bool choose = given || !AskerNamesMedium();
    if (listed && choose && !NextMediumFor(box.mediaDrive, &nextMedium_)) {
      Refuse({name,
              box.messageId,
              false,
              ButtonList(buttons),
              std::string("is cancelled: every medium of drive ") + box.mediaDrive +
                  ": was tried (" + lastFailure_ + ")",
              false,
              {}});
      return refusal;
    }
    // The same answer to the same medium would fail the same way for ever.
    if (!listed && given && retried) {
      Refuse({name,
              box.messageId,
              false,
              ButtonList(buttons),
              "is cancelled: the medium inserted was not taken (" + lastFailure_ +
                  ") and the same answer would fail again",
              false,
              {}});
      return refusal;
    }
    mediumChosen_ = true;
    failedSinceInsert_ = false;
  }
  return answer;
}

std::string AnswersOperator::MediumToInsert(const plat::MessageBoxView&) { return nextMedium_; }

// The media dialog is back after its medium failed: the next medium of the
// drive's list goes in. False when the drive has no list, or every medium of
// it was tried.
bool AnswersOperator::InsertNextMediumFor(const plat::DialogView& view) {
  const char drive = answers_.drive[0];
  std::vector<std::string> names;
  std::size_t inserted = 0;
  std::string medium, error;
  if (!plat::MediaOfDrive(drive, &names, &inserted) && answers_.media.empty()) {
    Refuse({"drive", view.templateId, true, Choices(view),
            std::string("is cancelled: the medium in drive ") + drive + ": was not taken (" +
                lastFailure_ + ") and the same drive would be chosen again",
            false, view.caption});
    return false;
  }
  if (!NextMediumFor(drive, &medium)) {
    Refuse({"drive", view.templateId, true, Choices(view),
            std::string("is cancelled: every medium of drive ") + drive + ": was tried (" +
                lastFailure_ + ")",
            false, view.caption});
    return false;
  }
  if (!plat::ChangeMediumOf(drive, medium, &error)) {
    Refuse({"drive", view.templateId, true, Choices(view),
            "is cancelled: the medium cannot be changed: " + error, false, view.caption});
    return false;
  }
  failedSinceInsert_ = false;
  return true;
}

bool AnswersOperator::AnswerDialogFromAnswers(const plat::DialogView& view,
                                              plat::DialogActions& act) {
  const Answers& a = answers_;
  auto answer = [&](const std::string& given, bool ok) {
    given_[view.window] = given;
    if (ok) return act.Click(plat::IDOK), true;
    refused_.insert(view.window);
    Refuse({QuestionOf(view.templateId)->name, view.templateId, true, Choices(view),
            "cannot take the answer " + given + Offered(view), false, view.caption});
    act.Close();
    return true;
  };
  switch (view.templateId) {
    case 115:
      if (a.file.empty()) return false;
      return answer(a.file, act.Type(1029, a.file));
    case 106:
      if (a.drive.empty()) return false;
      if (mediumChosen_ && failedSinceInsert_ && !InsertNextMediumFor(view)) {
        refused_.insert(view.window);
        act.Close();
        return true;
      }
      mediumChosen_ = true;
      return answer(a.drive, act.SelectText(1007, a.drive));
    case 113:
      if (a.key.empty()) return false;
      return answer(a.key, act.Type(1022, a.key));
    case 114:
      if (a.setupSource.empty()) return false;
      return answer(a.setupSource, act.Click(a.setupSource == "cdr" ? 1026 : 1025));
    case 112:
      if (a.backup.empty()) return false;
      return answer(a.backup, act.SelectText(1019, a.backup));
    case 117:
      if (!a.confirm) return false;
      return answer("yes", act.Tick(1038, true));
    default:
      return false;
  }
}

void AnswersOperator::OnDialog(const plat::DialogView& view, plat::DialogActions& act) {
  if (plat::CallStopRequested() && view.WaitsForOperator()) {
    act.Close();  // the call is on its way out
    return;
  }
  if (!view.WaitsForOperator()) {
    AskDialog(view, act);  // a progress dialog: the asker may show it
    return;
  }
  if (asked_.count(view.window)) {
    AskDialog(view, act);
    return;
  }
  if (given_.count(view.window)) {
    // Still open after its answer: the dialog refused it (and said why).
    if (!refused_.count(view.window)) {
      refused_.insert(view.window);
      const DialogQuestion* q = QuestionOf(view.templateId);
      Refuse({q ? q->name : "dialog", view.templateId, true, Choices(view),
              "did not accept the answer " + given_[view.window] + Offered(view), false,
              view.caption});
    }
    act.Close();
    return;
  }
  if (AnswerDialogFromAnswers(view, act)) return;
  if (AskDialog(view, act)) {
    asked_.insert(view.window);
    return;
  }
  const DialogQuestion* q = QuestionOf(view.templateId);
  Refuse({q ? q->name : "dialog " + std::to_string(view.templateId), view.templateId, true,
          Choices(view), std::string("asks for ") + (q ? q->what : "an answer"), true,
          view.caption});
  given_[view.window] = "";
  refused_.insert(view.window);
  act.Close();
}

void AnswersOperator::OnDialogClosed(const plat::DialogView& view, std::intptr_t) {
  given_.erase(view.window);
  refused_.erase(view.window);
  asked_.erase(view.window);
}

// ---------------------------------------------------------------- C callers

namespace {

// The operator of a program that speaks C: the answers it set, and its asker.
class CallbackOperator : public AnswersOperator {
 public:
  void SetAsker(talver_ask_fn ask, void* context) {
    ask_ = ask;
    context_ = context;
  }

 protected:
  WORD AskMessage(const plat::MessageBoxView& box) override {
    const auto buttons = plat::ButtonsOf(box.style);
    const std::string name = std::to_string(box.messageId), choices = host::ButtonList(buttons);
    std::string answer;
    if (!Ask({0, box.messageId, name.c_str(), box.text.c_str(), choices.c_str(),
              host::ButtonName(plat::DefaultButtonOf(box.style))},
             &answer))
      return 0;
    return host::ButtonByName(answer);
  }

  // A C program's asker answers a request for another medium with a button
  // only: the next medium of the drive's list goes in.
  bool AskerNamesMedium() const override { return false; }

  bool AskDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!view.WaitsForOperator()) return false;
    const DialogQuestion* q = QuestionOf(view.templateId);
    if (!q) return false;
    const std::string text = view.MessageText(), choices = Choices(view);
    std::string value, why;
    if (!Ask({1, view.templateId, q->name, text.c_str(), choices.c_str(), ""}, &value))
      return false;
    // The answer is applied as one given beforehand would be, for this dialog only.
    host::Answers saved = answers();
    if (!host::SetAnswer(answers(), q->name, value, &why)) {
      answers() = saved;
      return false;
    }
    OnDialog(view, act);
    answers() = saved;
    return true;
  }

 private:
  bool Ask(const talver_question& q, std::string* answer) {
    if (!ask_) return false;
    char buffer[1024] = {};
    if (ask_(&q, buffer, sizeof buffer, context_) != 1) return false;
    buffer[sizeof buffer - 1] = 0;
    *answer = buffer;
    return true;
  }

  talver_ask_fn ask_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace

host::AnswersOperator& HostOperator() {
  static auto* op = new CallbackOperator;  // lives as long as the process
  return *op;
}

}  // namespace host

int TalverHost_SetAnswer(const char* name, const char* value, char* error, std::size_t errorSize) {
  std::string why;
  if (host::SetAnswer(host::HostOperator().answers(), name ? name : "", value ? value : "", &why))
    return 1;
  if (error && errorSize) std::snprintf(error, errorSize, "%s", why.c_str());
  return 0;
}

void TalverHost_ClearAnswers(void) {
  host::HostOperator().answers() = {};
  host::HostOperator().Forget();
}

void TalverHost_SetAsker(talver_ask_fn ask, void* context) {
  static_cast<host::CallbackOperator&>(host::HostOperator()).SetAsker(ask, context);
}

int TalverHost_Refused(char* why, std::size_t whySize) {
  const auto& refused = host::HostOperator().unanswered();
  if (why && whySize) {
    why[0] = 0;
    if (!refused.empty()) {
      const host::Unanswered& q = refused.back();
      std::snprintf(why, whySize, "%s %d %s", q.isDialog ? "dialog" : "message", q.id,
                    q.reason.c_str());
    }
  }
  return static_cast<int>(refused.size());
}
