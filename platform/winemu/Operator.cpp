#include "platform/winemu/Operator.h"

#include <mutex>

namespace plat {
namespace {

class FirstButtonOperator : public Operator {
 public:
  WORD AnswerMessageBox(const MessageBoxView& box) override { return ButtonsOf(box.style)[0]; }
};

std::mutex gMutex;
std::shared_ptr<Operator> gOperator;

}  // namespace

Operator& CurrentOperator() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gOperator) gOperator = std::make_shared<FirstButtonOperator>();
  return *gOperator;
}

std::shared_ptr<Operator> SetOperator(std::shared_ptr<Operator> op) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::swap(gOperator, op);
  return op;
}

}  // namespace plat
