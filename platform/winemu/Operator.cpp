#include "platform/winemu/Operator.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#if !defined(_WIN32)
#include "platform/winemu/WinApi.h"  // the style bits windows.h gives on Windows
#endif

namespace plat {
namespace {

class NobodyOperator : public Operator {
 public:
  WORD AnswerMessageBox(const MessageBoxView& box) override { return RefusingButtonOf(box.style); }
};

std::mutex gMutex;
std::shared_ptr<Operator> gOperator;
std::recursive_mutex gCallMutex;  // held by a watching thread's call

bool SameClass(const std::string& a, const char* b) {
  return a.size() == std::char_traits<char>::length(b) &&
         std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

ControlKind KindOf(const std::string& className, DWORD style) {
  if (SameClass(className, "Button")) {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        return ControlKind::PushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
        return ControlKind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return ControlKind::RadioButton;
      case BS_GROUPBOX:
        return ControlKind::GroupBox;
      default:
        return ControlKind::Other;
    }
  }
  if (SameClass(className, "Static"))
    return (style & SS_TYPEMASK) == SS_OWNERDRAW ? ControlKind::OwnerDrawStatic
                                                 : ControlKind::Static;
  if (SameClass(className, "Edit")) return ControlKind::Edit;
  if (SameClass(className, "ComboBox")) return ControlKind::ComboBox;
  if (SameClass(className, "SysListView32")) return ControlKind::ListView;
  if (SameClass(className, "msctls_progress32")) return ControlKind::ProgressBar;
  if (SameClass(className, "SysAnimate32")) return ControlKind::Animation;
  return ControlKind::Other;
}

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
