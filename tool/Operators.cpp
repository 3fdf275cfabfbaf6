// The operators of svpconf: at a terminal the operator is asked; without one,
// answers come from --answer options, and a question that no option answers
// fails at once (answered with its safe choice) instead of waiting.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "Tool.h"
#include "exports/talver_host.h"
#include "platform/Operator.h"

namespace {

bool gUnanswered = false;

const char* ButtonName(WORD button) {
  switch (button) {
    case plat::IDOK: return "ok";
    case plat::IDCANCEL: return "cancel";
    case plat::IDABORT: return "abort";
    case plat::IDRETRY: return "retry";
    case plat::IDIGNORE: return "ignore";
    case plat::IDYES: return "yes";
    case plat::IDNO: return "no";
    default: return "?";
  }
}

WORD ButtonByName(const std::string& name) {
  for (WORD b = 1; b <= 7; ++b)
    if (name == ButtonName(b)) return b;
  return 0;
}

// The answer that stops an unanswered question safely: Cancel, else No,
// else the only button.
WORD SafeChoice(const std::basic_string<WORD>& buttons) {
  for (WORD b : {plat::IDCANCEL, plat::IDNO})
    if (buttons.find(b) != std::basic_string<WORD>::npos) return b;
  return buttons.back();
}

std::string ButtonList(const std::basic_string<WORD>& buttons) {
  std::string list;
  for (WORD b : buttons) list += (list.empty() ? "" : "|") + std::string(ButtonName(b));
  return list;
}

class OptionsOperator : public plat::Operator {
 public:
  explicit OptionsOperator(std::map<int, WORD> answers) : answers_(std::move(answers)) {}

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override {
    auto buttons = plat::ButtonsOf(box.style);
    std::fprintf(stderr, "[message %04d] %s\n", box.messageId, box.text.c_str());
    if (auto it = answers_.find(box.messageId); it != answers_.end()) {
      if (buttons.find(it->second) != std::basic_string<WORD>::npos) return it->second;
      std::fprintf(stderr, "svpconf: --answer %d=%s is not a button of this message (%s)\n",
                   box.messageId, ButtonName(it->second), ButtonList(buttons).c_str());
    } else if (buttons.size() == 1) {
      return buttons[0];  // a notice: nothing to decide
    }
    gUnanswered = true;
    std::fprintf(stderr,
                 "svpconf: message %d asks a question (%s) and there is no terminal; "
                 "answer it with --answer %d=%s\n",
                 box.messageId, ButtonList(buttons).c_str(), box.messageId,
                 ButtonName(buttons[0]));
    return SafeChoice(buttons);
  }

  void WaitWindowOpened(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }

 private:
  std::map<int, WORD> answers_;
};

class TerminalOperator : public OptionsOperator {
 public:
  using OptionsOperator::OptionsOperator;

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override {
    auto buttons = plat::ButtonsOf(box.style);
    for (;;) {
      std::printf("\n+-- %s\n| %s\n+-- [%s] > ", box.caption.c_str(), box.text.c_str(),
                  ButtonList(buttons).c_str());
      std::fflush(stdout);
      std::string line;
      if (!std::getline(std::cin, line)) return SafeChoice(buttons);
      if (line.empty()) return buttons[0];
      WORD b = ButtonByName(line);
      if (b && buttons.find(b) != std::basic_string<WORD>::npos) return b;
      std::printf("Type one of: %s (Enter takes %s)\n", ButtonList(buttons).c_str(),
                  ButtonName(buttons[0]));
    }
  }

  void WaitWindowOpened(const std::string& text, const std::string& caption) override {
    std::printf("[%s] %s\n", caption.c_str(), text.c_str());
    std::fflush(stdout);
  }
};

std::unique_ptr<plat::Operator> gOperator;

}  // namespace

void InstallToolOperator(ToolContext& context) {
  std::map<int, WORD> answers;
  for (const auto& a : context.answers) {
    auto eq = a.find('=');
    WORD b = eq == std::string::npos ? 0 : ButtonByName(a.substr(eq + 1));
    if (b == 0) {
      std::fprintf(stderr, "svpconf: --answer takes MSGID=ok|cancel|yes|no|retry, not '%s'\n",
                   a.c_str());
      continue;
    }
    answers[std::atoi(a.substr(0, eq).c_str())] = b;
  }
  if (context.interactive)
    gOperator = std::make_unique<TerminalOperator>(std::move(answers));
  else
    gOperator = std::make_unique<OptionsOperator>(std::move(answers));
  TalverHost_SetOperator(gOperator.get());
}

bool UnansweredQuestion() { return gUnanswered; }
