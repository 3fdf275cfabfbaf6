// The scripted operator of the tests: a list of the message boxes expected,
// in order, with the answer to each. Strict: a box the script did not expect,
// or a script left unfinished, fails the test with an account of what came.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Operator.h"

class ScriptedOperator : public plat::Operator {
 public:
  struct Expectation {
    int messageId;
    WORD answer;
  };

  // Installs itself as the current operator; the destructor restores the
  // previous one and checks that the script was used up.
  ScriptedOperator();
  ~ScriptedOperator() override;

  ScriptedOperator& ExpectMessage(int messageId, WORD answer);
  // Messages seen, in order ("3333:answer").
  std::vector<plat::MessageBoxView> Seen() const;
  int WaitWindowsOpened() const { return waitOpened_; }
  int WaitWindowsClosed() const { return waitClosed_; }

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override;
  void WaitWindowOpened(const std::string&, const std::string&) override { ++waitOpened_; }
  void WaitWindowClosed() override { ++waitClosed_; }

 private:
  mutable std::mutex mutex_;
  std::deque<Expectation> script_;
  std::vector<plat::MessageBoxView> seen_;
  int waitOpened_ = 0;
  int waitClosed_ = 0;
  std::shared_ptr<plat::Operator> previous_;
};
