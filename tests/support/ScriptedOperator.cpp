#include "ScriptedOperator.h"

#include <gtest/gtest.h>

ScriptedOperator::ScriptedOperator() {
  previous_ = plat::SetOperator(std::shared_ptr<plat::Operator>(this, [](plat::Operator*) {}));
}

ScriptedOperator::~ScriptedOperator() {
  plat::SetOperator(previous_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& e : script_)
    ADD_FAILURE() << "the script expected message " << e.messageId << ", which never came";
}

ScriptedOperator& ScriptedOperator::ExpectMessage(int messageId, WORD answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back({messageId, answer});
  return *this;
}

std::vector<plat::MessageBoxView> ScriptedOperator::Seen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

WORD ScriptedOperator::AnswerMessageBox(const plat::MessageBoxView& box) {
  std::lock_guard<std::mutex> lock(mutex_);
  seen_.push_back(box);
  if (script_.empty()) {
    ADD_FAILURE() << "unexpected message " << box.messageId << " (\"" << box.text << "\")";
    return plat::ButtonsOf(box.style).back();
  }
  Expectation e = script_.front();
  script_.pop_front();
  if (e.messageId != box.messageId) {
    ADD_FAILURE() << "expected message " << e.messageId << " but message " << box.messageId
                  << " (\"" << box.text << "\") came";
  }
  return e.answer;
}
