// The operators of svpconf: at a terminal the operator is asked; without one,
// answers come from --answer options, and a question that no option answers
// fails at once (answered with its safe choice) instead of waiting.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Tool.h"
#include "host/talver_host.h"
#include "platform/winemu/Operator.h"

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

using DialogAnswers = ToolContext::DialogAnswers;

// A control's text as a person reads it: "&OK" shows as "OK".
std::string Plain(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line, word;
  auto flushWord = [&] {
    if (word.empty()) return;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    word.clear();
  };
  for (char c : text) {
    if (c == '\n') {
      flushWord();
      lines.push_back(line);
      line.clear();
    } else if (c == ' ') {
      flushWord();
    } else {
      word += c;
    }
  }
  flushWord();
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The entry a progress dialog is working on: its text line.
std::string ProgressEntry(const plat::DialogView& view) {
  if (const auto* c = view.Find(1003); c && !c->text.empty()) return c->text;
  for (const auto& c : view.controls)
    if (c.kind == plat::ControlKind::Static && !c.text.empty()) return c.text;
  return {};
}

std::string ProgressLine(const plat::DialogView& view) {
  const plat::ControlView* bar = view.ProgressBar();
  std::string line = "[" + view.caption + "] ";
  if (bar) {
    constexpr int kWidth = 30;
    int span = bar->rangeHigh - bar->rangeLow;
    int done = span > 0 ? (bar->position - bar->rangeLow) * kWidth / span : 0;
    done = std::clamp(done, 0, kWidth);
    line += "[" + std::string(static_cast<std::size_t>(done), '#') +
            std::string(static_cast<std::size_t>(kWidth - done), '.') + "] " +
            std::to_string(bar->position - bar->rangeLow) + "/" + std::to_string(span);
  }
  std::string entry = ProgressEntry(view);
  if (!entry.empty()) line += "  " + entry;
  return line;
}

// The dialog drawn as text: caption, message, then each visible control
// with its id and state.
std::string RenderDialog(const plat::DialogView& view) {
  std::string out = "\n+== " + view.caption + " (dialog " + std::to_string(view.templateId) + ") " +
                    std::string(view.caption.size() < 50 ? 50 - view.caption.size() : 2, '=') +
                    "\n";
  for (const auto& c : view.controls)
    if (c.kind == plat::ControlKind::OwnerDrawStatic && c.visible)
      for (const auto& l : Wrap(c.drawnText, 64)) out += "| " + l + "\n";
  out += "|\n";
  for (const auto& c : view.controls) {
    if (!c.visible || c.kind == plat::ControlKind::OwnerDrawStatic) continue;
    std::string id = c.id == 0xFFFF ? "" : "[" + std::to_string(c.id) + "] ";
    std::string line = "|   " + id;
    switch (c.kind) {
      case plat::ControlKind::PushButton:
        line += "<" + Plain(c.text) + ">" + (c.isDefault ? " (default)" : "");
        break;
      case plat::ControlKind::CheckBox:
      case plat::ControlKind::RadioButton:
        line += std::string(c.checked ? (c.kind == plat::ControlKind::CheckBox ? "[x] " : "(*) ")
                                      : (c.kind == plat::ControlKind::CheckBox ? "[ ] " : "( ) ")) +
                Plain(c.text);
        break;
      case plat::ControlKind::Edit:
        line += "edit: \"" + c.text + "\"";
        break;
      case plat::ControlKind::ComboBox:
      case plat::ControlKind::ListView: {
        line += c.kind == plat::ControlKind::ComboBox ? "choose:" : "list:";
        if (!c.columns.empty()) line += " (" + c.columns[0] + ")";
        if (c.items.empty()) line += " (empty)";
        for (std::size_t i = 0; i < c.items.size(); ++i)
          line += (static_cast<int>(i) == c.selected ? "  >" : "   ") + std::to_string(i) + ":" +
                  c.items[i];
        break;
      }
      case plat::ControlKind::ProgressBar:
        line += "progress " + std::to_string(c.position) + " of " + std::to_string(c.rangeHigh);
        break;
      case plat::ControlKind::GroupBox:
        line = "|  -- " + Plain(c.text) + " --";
        break;
      case plat::ControlKind::Animation:
        line +=
            c.missingClip.empty() ? "(animation)" : "(animation missing: " + c.missingClip + ")";
        break;
      default:
        if (c.text.empty()) continue;
        line += Plain(c.text);
        break;
    }
    if (!c.enabled) line += "  (disabled)";
    out += line + "\n";
  }
  out += "+" + std::string(60, '=') + "\n";
  return out;
}

const plat::ControlView* DefaultButton(const plat::DialogView& view) {
  for (const auto& c : view.controls)
    if (c.kind == plat::ControlKind::PushButton && c.isDefault) return &c;
  return nullptr;
}

std::string Quote(const plat::DialogView& view) {
  return "dialog " + std::to_string(view.templateId) + " \"" + view.caption + "\"";
}

class OptionsOperator : public plat::Operator {
 public:
  OptionsOperator(std::map<int, WORD> answers, DialogAnswers dialogs)
      : answers_(std::move(answers)), dialogs_(std::move(dialogs)) {}

  WORD AnswerMessageBox(const plat::MessageBoxView& box) override {
    auto buttons = plat::ButtonsOf(box.style);
    std::fprintf(stderr, "[message %04d] %s\n", box.messageId, box.text.c_str());
    NoteMediumFailure(box);
    if (box.messageId == 3836 || box.messageId == 4036) {
      // A request for another medium that comes back after its medium failed
      // would be answered the same way for ever: it is cancelled.
      if (driveChosen_ && !mediumFailure_.empty()) {
        gUnanswered = true;
        std::fprintf(stderr, "svpconf: the medium inserted was not taken (%s); message %d is "
                     "cancelled, as --answer would answer it again\n", mediumFailure_.c_str(),
                     box.messageId);
        return SafeChoice(buttons);
      }
      driveChosen_ = true;
      mediumFailure_.clear();
    }
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

  // Answers a dialog from the options at once, or closes it naming the
  // option that would answer it. A progress dialog is left to run.
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!view.WaitsForOperator()) return;
    if (answered_.count(view.window)) {
      // Still open after its answer: the dialog refused it (and said why),
      // or it has not yet closed after being told to.
      if (!refused_.count(view.window)) {
        refused_.insert(view.window);
        gUnanswered = true;
        if (!given_[view.window].empty())
          std::fprintf(stderr, "svpconf: %s did not accept the answer %s\n", Quote(view).c_str(),
                       given_[view.window].c_str());
      }
      act.Close();
      return;
    }
    answered_.insert(view.window);
    auto fail = [&](const char* what, const char* option) {
      gUnanswered = true;
      std::fprintf(stderr, "svpconf: %s asks for %s and there is no terminal; answer it with %s\n",
                   Quote(view).c_str(), what, option);
      act.Close();
    };
    auto answer = [&](const std::string& given, bool ok) {
      given_[view.window] = given;
      if (!ok) {
        refused_.insert(view.window);
        gUnanswered = true;
        std::fprintf(stderr, "svpconf: %s cannot take the answer %s\n", Quote(view).c_str(),
                     given.c_str());
        act.Close();
        return;
      }
      act.Click(plat::IDOK);
    };
    switch (view.templateId) {
      case 115:
        if (dialogs_.file.empty()) return fail("a backup file", "--file PATH");
        return answer("--file " + dialogs_.file, act.Type(1029, dialogs_.file));
      case 106:
        if (dialogs_.drive.empty()) return fail("a drive", "--drive LETTER");
        if (RefuseFailedMedium(view, act)) return;
        return answer("--drive " + dialogs_.drive,
                      act.SelectText(1007, dialogs_.drive.substr(0, 1)));
      case 113:
        if (dialogs_.key.empty()) return fail("a key code", "--key CODE");
        return answer("--key " + dialogs_.key, act.Type(1022, dialogs_.key));
      case 114:
        if (dialogs_.setupSource.empty())
          return fail("the setup source", "--setup-source cdr|backup");
        return answer("--setup-source " + dialogs_.setupSource,
                      act.Click(dialogs_.setupSource == "cdr" ? 1026 : 1025));
      case 112:
        if (dialogs_.backup.empty()) return fail("a backup", "--backup SERIAL");
        return answer("--backup " + dialogs_.backup, act.SelectText(1019, dialogs_.backup));
      case 117:
        if (!dialogs_.confirm) return fail("a confirmation", "--confirm");
        return answer("--confirm", act.Tick(1038, true));
      default:
        return fail("an answer", "a terminal (no option answers this dialog)");
    }
  }

  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override {
    NoteDriveChosen(view, result);
    answered_.erase(view.window);
    refused_.erase(view.window);
    given_.erase(view.window);
  }

 protected:
  // The media dialog comes back after every medium that failed. Its option
  // names one drive, so answering again would fail the same way for ever:
  // after a failure message the dialog is cancelled instead, naming the
  // medium and the failure.
  void NoteDriveChosen(const plat::DialogView& view, std::intptr_t result) {
    if (view.templateId != 106 || result != 1) return;
    driveChosen_ = true;
    mediumFailure_.clear();
  }
  void NoteMediumFailure(const plat::MessageBoxView& box) {
    constexpr int kErrorKind = 3;
    if (driveChosen_ && box.kind == kErrorKind && mediumFailure_.empty())
      mediumFailure_ = "message " + std::to_string(box.messageId) + ": " + box.text;
  }
  bool RefuseFailedMedium(const plat::DialogView& view, plat::DialogActions& act) {
    if (!driveChosen_ || mediumFailure_.empty()) return false;
    gUnanswered = true;
    refused_.insert(view.window);
    std::fprintf(stderr,
                 "svpconf: the medium in drive %s: was not taken (%s); %s is cancelled, "
                 "as --drive would choose it again\n",
                 dialogs_.drive.substr(0, 1).c_str(), mediumFailure_.c_str(), Quote(view).c_str());
    act.Click(2);
    return true;
  }

  bool driveChosen_ = false;
  std::string mediumFailure_;
  std::map<int, WORD> answers_;
  DialogAnswers dialogs_;
  std::set<HWND> answered_;
  std::set<HWND> refused_;
  std::map<HWND, std::string> given_;
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

  // After OK to a request for another medium: which medium goes in.
  std::string MediumToInsert(const plat::MessageBoxView& box) override {
    if (box.media.empty()) return {};
    std::string list;
    for (std::size_t i = 0; i < box.media.size(); ++i)
      list += " " + box.media[i] + (i == box.mediumInserted ? " (in the drive)" : "");
    std::printf("Medium to insert into %c: (Enter: the next one of%s; or a folder) > ",
                box.mediaDrive, list.c_str());
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
  }

  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!view.WaitsForOperator()) {
      // A progress dialog: one live line, redrawn when it changes.
      std::string line = ProgressLine(view);
      if (line != progress_) {
        std::printf("\r%-*s", static_cast<int>(std::max(progress_.size(), line.size())),
                    line.c_str());
        std::fflush(stdout);
        progress_ = line;
      }
      act.LetTimePass(200);
      return;
    }
    EndProgressLine();
    std::printf("%s", RenderDialog(view).c_str());
    const plat::ControlView* def = DefaultButton(view);
    std::printf("click ID | type ID TEXT | select ID ITEM | tick ID | untick ID | close%s\n> ",
                def && def->enabled ? ("  (Enter: " + Plain(def->text) + ")").c_str() : "");
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) {
      act.Close();
      return;
    }
    if (!Perform(view, act, line)) std::printf("Not possible: %s\n", line.c_str());
  }

  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override {
    if (!view.WaitsForOperator() && !progress_.empty()) {
      std::string line = ProgressLine(view);
      std::printf("\r%-*s\n", static_cast<int>(std::max(progress_.size(), line.size())),
                  line.c_str());
      std::fflush(stdout);
      progress_.clear();
    }
  }

 private:
  void EndProgressLine() {
    if (progress_.empty()) return;
    std::printf("\n");
    progress_.clear();
  }

  static bool Perform(const plat::DialogView& view, plat::DialogActions& act,
                      const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty()) {
      const plat::ControlView* def = DefaultButton(view);
      return def && act.Click(def->id);
    }
    if (verb == "close") return act.Close();
    if (verb == "wait") {
      act.LetTimePass(1000);
      return true;
    }
    int id = 0;
    if (std::all_of(verb.begin(), verb.end(), ::isdigit)) return act.Click(std::atoi(verb.c_str()));
    if (!(in >> id)) return false;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (verb == "click") return act.Click(id);
    if (verb == "tick") return act.Tick(id, true);
    if (verb == "untick") return act.Tick(id, false);
    if (verb == "type") return act.Type(id, rest);
    if (verb == "select") {
      if (act.SelectText(id, rest)) return true;
      return !rest.empty() && std::all_of(rest.begin(), rest.end(), ::isdigit) &&
             act.Select(id, std::atoi(rest.c_str()));
    }
    return false;
  }

  std::string progress_;
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
    gOperator = std::make_unique<TerminalOperator>(std::move(answers), context.dialogs);
  else
    gOperator = std::make_unique<OptionsOperator>(std::move(answers), context.dialogs);
  TalverHost_SetOperator(gOperator.get());
}

bool UnansweredQuestion() { return gUnanswered; }
