#include "platform/winemu/Operator.h"

#include <mutex>

namespace plat {
namespace {

class NobodyOperator : public Operator {
 public:
  WORD AnswerMessageBox(const MessageBoxView& box) override { return RefusingButtonOf(box.style); }
};

std::mutex gMutex;
std::shared_ptr<Operator> gOperator;
std::recursive_mutex gCallMutex;  // held by a watching thread's call

}  // namespace

Operator& CurrentOperator() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gOperator) gOperator = std::make_shared<NobodyOperator>();
  return *gOperator;
}

std::shared_ptr<Operator> SetOperator(std::shared_ptr<Operator> op) {
  std::lock_guard<std::recursive_mutex> calls(gCallMutex);
  std::lock_guard<std::mutex> lock(gMutex);
  std::swap(gOperator, op);
  return op;
}

void WithCurrentOperator(const std::function<void(Operator&)>& call) {
  std::lock_guard<std::recursive_mutex> calls(gCallMutex);
  call(CurrentOperator());
}

}  // namespace plat
