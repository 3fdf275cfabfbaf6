// The operators of svpconf. Both answer first from the options (--answer,
// --drive, --key, --file, --backup, --confirm, --setup-source, --media),
// through the host's answers operator, so the rules are the library's own.
// At a terminal (the controlling terminal, whatever stdout is) the operator
// is asked the rest; without one, a question that no option answers fails at
// once, naming the option that would answer it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Progress.h"
#include "Tool.h"
#include "host/HostOperator.h"
#include "host/talver_host.h"
#include "platform/winemu/Operator.h"

namespace {

bool gUnanswered = false;

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

// The option that answers a question.
std::string OptionFor(const host::Unanswered& q) {
  if (!q.isDialog) return "--answer " + std::to_string(q.id) + "=" + q.choices;
  if (q.name == "drive")
    return "--drive LETTER" + (q.choices.empty() ? "" : " (" + q.choices + ")");
  if (q.name == "key") return "--key CODE";
  if (q.name == "file") return "--file PATH";
  if (q.name == "backup")
    return "--backup SERIAL" + (q.choices.empty() ? "" : " (" + q.choices + ")");
  if (q.name == "confirm") return "--confirm";
  if (q.name == "setup-source") return "--setup-source cdr|backup";
  return "a terminal (no option answers this dialog)";
}

// "[y/N]": the first letters of the buttons, the default one in capitals.
std::string Keys(UINT style) {
  const WORD def = plat::DefaultButtonOf(style);
  std::string keys = "[";
  for (WORD b : plat::ButtonsOf(style)) {
    if (keys.size() > 1) keys += "/";
    char c = host::ButtonName(b)[0];
    keys += b == def ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
  }
  return keys + "]";
}

// Without a terminal: the options answer, the rest is refused.
class OptionsOperator : public host::AnswersOperator {
 public:
  OptionsOperator(host::Answers answers, bool plainProgress = false)
      : host::AnswersOperator(std::move(answers)), plainProgress_(plainProgress) {}

  void WaitWindowOpened(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }

 protected:
  void Notice(const plat::MessageBoxView& box) override {
    std::fprintf(stderr, "[message %04d] %s\n", box.messageId, box.text.c_str());
  }
  void Refused(const host::Unanswered& q) override {
    gUnanswered = true;
    std::string subject = (q.isDialog ? "dialog " : "message ") + std::to_string(q.id);
    if (!q.caption.empty()) subject += " \"" + q.caption + "\"";
    std::fprintf(stderr, "svpconf: %s %s%s\n", subject.c_str(), q.reason.c_str(),
                 q.noAnswer ? Hint(q).c_str() : "");
    host::AnswersOperator::Refused(q);
  }
  // --progress without a terminal: a plain line on stderr at most once a
  // second, and when the work is done.
  bool AskDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!plainProgress_ || view.WaitsForOperator()) return false;
    const ProgressState state = meter_.Observe(view);
    if (meter_.PlainLineDue(state))
      std::fprintf(stderr, "progress: %s\n", FitProgressLine(state, 160).c_str());
    (void)act;
    return false;
  }
  virtual std::string Hint(const host::Unanswered& q) {
    return " and there is no terminal; answer it with " + OptionFor(q);
  }

 public:
  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override {
    if (plainProgress_ && !view.WaitsForOperator()) {
      ProgressState state = meter_.Observe(view);
      state.finished = true;
      std::fprintf(stderr, "progress: %s\n", FitProgressLine(state, 160).c_str());
      meter_.Reset();
    }
    host::AnswersOperator::OnDialogClosed(view, result);
  }

 protected:
  ProgressMeter meter_;

 private:
  bool plainProgress_;
};

// At a terminal: what the options do not answer is asked on the terminal.
class TerminalOperator : public OptionsOperator {
 public:
  TerminalOperator(host::Answers answers, std::FILE* tty)
      : OptionsOperator(std::move(answers)), tty_(tty) {}

  void WaitWindowOpened(const std::string& text, const std::string& caption) override {
    std::fprintf(tty_, "[%s] %s\n", caption.c_str(), text.c_str());
    std::fflush(tty_);
  }

  // After OK to a request for another medium: which medium goes in (unless
  // the options chose it).
  std::string MediumToInsert(const plat::MessageBoxView& box) override {
    std::string chosen = OptionsOperator::MediumToInsert(box);
    if (!chosen.empty() || box.media.empty()) return chosen;
    std::string list;
    for (std::size_t i = 0; i < box.media.size(); ++i)
      list += " " + box.media[i] + (i == box.mediumInserted ? " (in the drive)" : "");
    std::fprintf(tty_, "Medium to insert into %c: (Enter: the next one of%s; or a folder) > ",
                 box.mediaDrive, list.c_str());
    std::string line;
    if (!ReadLine(&line)) return {};
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
  }

 protected:
  void Notice(const plat::MessageBoxView& box) override {
    if (plat::ButtonsOf(box.style).size() != 1) return;  // a question: asked below
    EndProgressLine();
    std::fprintf(tty_, "\n+-- %s\n| %s\n", box.caption.c_str(), box.text.c_str());
    std::fflush(tty_);
  }

  std::string Hint(const host::Unanswered& q) override {
    return " and the terminal gave no answer (or give " + OptionFor(q) + ")";
  }

  WORD AskMessage(const plat::MessageBoxView& box) override {
    const auto buttons = plat::ButtonsOf(box.style);
    const WORD def = plat::DefaultButtonOf(box.style);
    EndProgressLine();
    for (;;) {
      std::fprintf(tty_, "\n+-- %s\n| %s\n+-- %s > ", box.caption.c_str(), box.text.c_str(),
                   Keys(box.style).c_str());
      std::fflush(tty_);
      std::string line;
      if (!ReadLine(&line)) return 0;
      if (line.find_first_not_of(" \t") == std::string::npos) return def;
      WORD b = host::ButtonByName(line);
      if (b && buttons.find(b) != std::basic_string<WORD>::npos) return b;
      std::fprintf(tty_, "Type one of: %s (Enter takes %s)\n", host::ButtonList(buttons).c_str(),
                   host::ButtonName(def));
    }
  }

  bool AskDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    if (!view.WaitsForOperator()) {
      DrawProgress(view, false);  // a progress dialog: one live line
      act.LetTimePass(200);
      return true;
    }
    EndProgressLine();
    std::fprintf(tty_, "%s", RenderDialog(view).c_str());
    const plat::ControlView* def = DefaultButton(view);
    std::fprintf(tty_,
                 "click ID | type ID TEXT | select ID ITEM | tick ID | untick ID | close%s\n> ",
                 def && def->enabled ? ("  (Enter: " + Plain(def->text) + ")").c_str() : "");
    std::fflush(tty_);
    std::string line;
    if (!ReadLine(&line)) {
      act.Close();
      return true;
    }
    if (!Perform(view, act, line)) std::fprintf(tty_, "Not possible: %s\n", line.c_str());
    return true;
  }

 public:
  void OnDialogClosed(const plat::DialogView& view, std::intptr_t result) override {
    if (!view.WaitsForOperator() && drawing_) DrawProgress(view, true);
    OptionsOperator::OnDialogClosed(view, result);
  }

 private:
  bool ReadLine(std::string* line) {
    line->clear();
    int c;
    while ((c = std::fgetc(tty_)) != EOF && c != '\n') *line += static_cast<char>(c);
    if (c == EOF && line->empty()) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  }

  // The line redrawn in place ("\r", the line, then erase to its end), one
  // column short of the width so that the terminal never wraps it; the last
  // one is left standing.
  void DrawProgress(const plat::DialogView& view, bool last) {
    ProgressState state = meter_.Observe(view);
    state.finished = last;
    const std::size_t width = TerminalWidth(fileno(tty_));
    std::fprintf(tty_, "\r%s\x1b[K%s", FitProgressLine(state, width > 1 ? width - 1 : 1).c_str(),
                 last ? "\n" : "");
    std::fflush(tty_);
    drawing_ = !last;
    if (last) meter_.Reset();
  }

  void EndProgressLine() {
    if (!drawing_) return;
    std::fprintf(tty_, "\n");
    drawing_ = false;
    meter_.Reset();
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

  std::FILE* tty_;
  bool drawing_ = false;
};

std::unique_ptr<plat::Operator> gOperator;

}  // namespace

bool InstallToolOperator(ToolContext& context) {
  host::Answers answers;
  std::string why;
  bool ok = true;
  auto take = [&](const std::string& name, const std::string& value, const char* option) {
    if (value.empty() || host::SetAnswer(answers, name, value, &why)) return;
    std::fprintf(stderr, "svpconf: %s %s: %s\n", option, value.c_str(), why.c_str());
    ok = false;
  };
  for (const auto& a : context.answers) {
    auto eq = a.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr,
                   "svpconf: --answer takes MSGID=ok|cancel|yes|no|retry|abort|ignore, not '%s'\n",
                   a.c_str());
      ok = false;
      continue;
    }
    take(a.substr(0, eq), a.substr(eq + 1), "--answer");
  }
  const auto& d = context.dialogs;
  take("file", d.file, "--file");
  take("drive", d.drive, "--drive");
  take("key", d.key, "--key");
  take("setup-source", d.setupSource, "--setup-source");
  take("backup", d.backup, "--backup");
  take("media", d.media, "--media");
  if (d.confirm) take("confirm", "yes", "--confirm");
  if (!ok) {
    context.exitCode = kExitUsage;
    return false;
  }
  if (context.terminal)
    gOperator = std::make_unique<TerminalOperator>(std::move(answers), context.terminal);
  else
    gOperator = std::make_unique<OptionsOperator>(std::move(answers), context.progress);
  TalverHost_SetOperator(gOperator.get());
  return true;
}

bool UnansweredQuestion() { return gUnanswered; }

std::string CheckAnswerValue(const std::string& name, const std::string& value) {
  host::Answers scratch;
  std::string why;
  return host::SetAnswer(scratch, name, value, &why) ? std::string() : why;
}

std::string CheckMessageAnswer(const std::string& value) {
  const auto eq = value.find('=');
  const std::string id = value.substr(0, eq);
  const std::string valid = "the messages a command asks: " + AskedMessageIds() +
                            " ('svpconf questions COMMAND' tells which)";
  if (eq == std::string::npos || id.empty() || id.size() > 5 ||
      !std::all_of(id.begin(), id.end(), ::isdigit))
    return "takes MSGID=BUTTON (3351=yes), not '" + value + "'; " + valid;
  const ToolQuestion* q = AskedMessage(std::atoi(id.c_str()));
  if (!q) return "no command asks message " + id + "; " + valid;
  const WORD button = host::ButtonByName(value.substr(eq + 1));
  const std::string choices = std::string("|") + q->choices + "|";
  if (!button ||
      choices.find(std::string("|") + host::ButtonName(button) + "|") == std::string::npos)
    return "message " + id + " takes " + q->choices + ", not '" + value.substr(eq + 1) + "'";
  return {};
}
