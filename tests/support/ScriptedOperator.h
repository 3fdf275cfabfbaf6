// The scripted operator of the tests: one ordered script of the message
// boxes and dialogs expected, with the answer to each box and the actions on
// each dialog. Strict: a box or dialog the script did not expect, an action
// a person could not have done, a dialog left waiting with nothing in the
// script for it, or a script left unfinished fails the test with an account
// of what appeared.
//
//   ScriptedOperator op;
//   op.ExpectDialog(106).SelectText(1007, "E").Click(1)
//     .ExpectMessage(3351, plat::IDYES);
//
// Actions follow the ExpectDialog they belong to and are done one per turn
// of that dialog. A dialog that does not wait for the operator (no enabled
// push button: a progress dialog) may run without a script step; when the
// next step is ExpectDialog of its template, it takes that step.
// A flow that keeps showing boxes or dialogs (more than kMostShown) ends the
// test process with the account of what appeared: a loop fails, never hangs.
// So does a dialog that waits for nobody and stays open past kLongestRunMs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/winemu/Operator.h"

class ScriptedOperator : public plat::Operator {
 public:
  // Installs itself as the current operator; the destructor restores the
  // previous one and checks that the script was used up.
  ScriptedOperator();
  ~ScriptedOperator() override;

  ScriptedOperator& ExpectMessage(int messageId, WORD answer);
  ScriptedOperator& ExpectDialog(int templateId);
  ScriptedOperator& Type(int id, const std::string& text);
  ScriptedOperator& Select(int id, int index);
  ScriptedOperator& SelectText(int id, const std::string& text);
  ScriptedOperator& Tick(int id, bool checked = true);
  ScriptedOperator& Click(int id);
  ScriptedOperator& Close();
  // Looks at the dialog at this point of the script (EXPECTs inside).
  ScriptedOperator& Check(std::function<void(const plat::DialogView&)> check);
  // How long a dialog waiting for the operator may stay open with nothing in
  // the script for it before the test fails and the dialog is closed.
  ScriptedOperator& StallLimit(DWORD milliseconds);

  // Messages seen, in order.
  std::vector<plat::MessageBoxView> Seen() const;
  // Each dialog as the operator first saw it, and as it closed with its result.
  std::vector<plat::DialogView> SeenDialogs() const;
  std::vector<std::pair<plat::DialogView, std::intptr_t>> ClosedDialogs() const;
  // What appeared so far, one line per event.
  std::string Account() const;
  int WaitWindowsOpened() const { return waitOpened_; }
  int WaitWindowsClosed() const { return waitClosed_; }

  static constexpr std::size_t kMostShown = 200;
  // How long a dialog that waits for nobody (a progress dialog) may stay
  // open before the test fails and the dialog is closed: a run that never
  // ends fails, never hangs.
  static constexpr std::uint64_t kLongestRunMs = 120000;

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override;
  void WaitWindowOpened(const std::string&, const std::string&) override { ++waitOpened_; }
  void WaitWindowClosed() override { ++waitClosed_; }
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override;
  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override;

 private:
  enum class StepKind { Message, Dialog, Type, Select, SelectText, Tick, Click, Close, Check };
  struct Step {
    StepKind kind = StepKind::Check;
    int templateId = 0;  // the dialog a step belongs to (or expects)
    int id = 0;          // message id or control id
    int number = 0;      // a message's answer, an item's index, a tick's state
    std::string text;
    std::function<void(const plat::DialogView&)> check;
  };
  static Step Make(StepKind kind, int id = 0, int number = 0, const std::string& text = {}) {
    Step s;
    s.kind = kind;
    s.id = id;
    s.number = number;
    s.text = text;
    return s;
  }
  ScriptedOperator& Add(Step step);
  ScriptedOperator& AddAction(Step step);
  static std::string Describe(const Step& step);
  std::string AccountLocked() const;
  // The next step of the script and what appeared, for a failure.
  std::string NextStepLocked() const;
  // Counts a box or dialog shown; past kMostShown, ends the process.
  void CountShownLocked();

  mutable std::mutex mutex_;
  std::deque<Step> script_;
  int lastDialog_ = 0;
  std::vector<plat::MessageBoxView> seen_;
  std::vector<plat::DialogView> seenDialogs_;
  std::vector<std::pair<plat::DialogView, std::intptr_t>> closedDialogs_;
  std::vector<std::string> events_;
  struct OpenDialog {
    bool matched = false;         // a script step took it
    std::uint64_t idleSince = 0;  // waiting with no step for it since (0: not waiting)
    std::uint64_t openedAt = 0;
    bool overdue = false;  // a dialog that waits for nobody outlived kLongestRunMs
  };
  std::map<HWND, OpenDialog> dialogs_;
  DWORD stallLimit_ = 5000;
  std::size_t shown_ = 0;
  int waitOpened_ = 0;
  int waitClosed_ = 0;
  std::shared_ptr<plat::Operator> previous_;
};
