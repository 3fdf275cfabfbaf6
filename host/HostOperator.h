// The answers operator: answers the system's questions from answers given
// beforehand (svpconf's options, a C program's TalverHost_SetAnswer) and asks
// whoever the host program names for the rest. A question that nobody
// answers is refused at once (Cancel, No, a closed dialog), with a trace line
// that names it; nothing is ever answered by a default behind a caller's back.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/talver_host.h"
#include "platform/winemu/Operator.h"

namespace host {

// Answers given beforehand, by name (TalverHost_SetAnswer, svpconf's options).
struct Answers {
  std::map<int, WORD> messages;    // message id -> button
  std::string file;                // dialog 115: the backup file
  std::string drive;               // dialog 106: the drive letter ("E")
  std::string key;                 // dialog 113: the key code
  std::string setupSource;         // dialog 114: "cdr" or "backup"
  std::string backup;              // dialog 112: the serial number of a backup
  bool confirm = false;            // dialog 117: tick "Confirmed"
  std::vector<std::string> media;  // the media to insert, in this order
};

// Takes one answer: a message id ("3351") with a button name (ok, cancel,
// yes, no, retry, abort, ignore or their first letters, any case), or
// "drive", "key", "file", "backup", "confirm", "setup-source", "media". False
// with the reason (which names the valid values) when it cannot be taken.
TALVER_API bool SetAnswer(Answers& answers, const std::string& name, const std::string& value,
                          std::string* why);

// A button's name ("yes"), and the button a name or first letter names (0: none).
TALVER_API const char* ButtonName(WORD button);
TALVER_API WORD ButtonByName(const std::string& name);
// "yes|no"
TALVER_API std::string ButtonList(const std::basic_string<WORD>& buttons);

// What was asked and not answered: the answer's name (as SetAnswer takes
// it), the message or dialog id, the choices it takes and why it was not
// answered.
struct Unanswered {
  std::string name;
  int id = 0;
  bool isDialog = false;
  std::string choices;
  std::string reason;     // "asks for a drive", "is cancelled: ..."
  bool noAnswer = false;  // nothing answered it (rather than an answer failing)
  std::string caption;    // a dialog's caption
};

class TALVER_API AnswersOperator : public plat::Operator {
 public:
  explicit AnswersOperator(Answers answers = {});

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override;
  std::string MediumToInsert(const plat::MessageBoxView& box) override;
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override;
  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override;

  Answers& answers() { return answers_; }
  // The questions refused since the operator was made (or Forget), oldest first.
  const std::vector<Unanswered>& unanswered() const { return unanswered_; }
  // Forgets them, and the media tried (a new world, or the answers cleared).
  void Forget() {
    unanswered_.clear();
    tried_.clear();
    failedSinceInsert_ = mediumChosen_ = false;
    lastFailure_.clear();
    nextMedium_.clear();
    mediaAnswerIndex_ = 0;
  }

 protected:
  // Every message box, before it is answered.
  virtual void Notice(const plat::MessageBoxView& /*box*/) {}
  // A message box that no answer given beforehand answers: the button to
  // take, or 0 for none (it is refused).
  virtual WORD AskMessage(const plat::MessageBoxView& /*box*/) { return 0; }
  // A dialog that no answer given beforehand answers: true when it was acted
  // on (the dialog is then left to the asker until it closes).
  virtual bool AskDialog(const plat::DialogView& /*view*/, plat::DialogActions& /*act*/) {
    return false;
  }
  // A question refused: the default writes its trace line.
  virtual void Refused(const Unanswered& question);
  // Whether the asker names the medium that goes in after its OK to a request
  // for another medium (MediumToInsert); when it does not, the operator takes
  // the next one of the drive's list, as for an answer given beforehand.
  virtual bool AskerNamesMedium() const { return true; }

 private:
  void Refuse(Unanswered question);
  bool AnswerDialogFromAnswers(const plat::DialogView& view, plat::DialogActions& act);
  bool NextMediumFor(char drive, std::string* medium);
  bool InsertNextMediumFor(const plat::DialogView& view);
  void NoteFailure(const plat::MessageBoxView& box);

  Answers answers_;
  std::vector<Unanswered> unanswered_;
  // Dialogs answered from the answers, and what they were given.
  std::map<HWND, std::string> given_;
  std::set<HWND> refused_;
  std::set<HWND> asked_;
  // The media tried for the current request of another medium, and whether
  // the medium last inserted or chosen has failed since.
  std::set<std::string> tried_;
  bool failedSinceInsert_ = false;
  bool mediumChosen_ = false;
  std::string lastFailure_;
  std::string nextMedium_;
  std::size_t mediaAnswerIndex_ = 0;
};

// The operator a host program gets unless it registers its own: the answers
// of TalverHost_SetAnswer and the asker of TalverHost_SetAsker.
TALVER_API AnswersOperator& HostOperator();

}  // namespace host
