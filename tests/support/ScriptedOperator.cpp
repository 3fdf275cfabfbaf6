#include "ScriptedOperator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::string DialogName(const plat::DialogView& view) {
  return "dialog " + std::to_string(view.templateId) + " \"" + view.caption + "\"";
}

}  // namespace

ScriptedOperator::ScriptedOperator() {
  previous_ = plat::SetOperator(std::shared_ptr<plat::Operator>(this, [](plat::Operator*) {}));
}

ScriptedOperator::~ScriptedOperator() {
  plat::SetOperator(previous_);
  std::lock_guard<std::mutex> lock(mutex_);
  if (script_.empty()) return;
  std::string left;
  for (const auto& s : script_) left += "  " + Describe(s) + "\n";
  ADD_FAILURE() << "the script was left unfinished; still expected:\n"
                << left << "what appeared:\n"
                << AccountLocked();
}

ScriptedOperator& ScriptedOperator::Add(Step step) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(std::move(step));
  return *this;
}

ScriptedOperator& ScriptedOperator::AddAction(Step step) {
  step.templateId = lastDialog_;
  return Add(std::move(step));
}

ScriptedOperator& ScriptedOperator::ExpectMessage(int messageId, WORD answer) {
  return Add(Make(StepKind::Message, messageId, answer));
}

ScriptedOperator& ScriptedOperator::ExpectDialog(int templateId) {
  lastDialog_ = templateId;
  return AddAction(Make(StepKind::Dialog));
}

ScriptedOperator& ScriptedOperator::Type(int id, const std::string& text) {
  return AddAction(Make(StepKind::Type, id, 0, text));
}

ScriptedOperator& ScriptedOperator::Select(int id, int index) {
  return AddAction(Make(StepKind::Select, id, index));
}

ScriptedOperator& ScriptedOperator::SelectText(int id, const std::string& text) {
  return AddAction(Make(StepKind::SelectText, id, 0, text));
}

ScriptedOperator& ScriptedOperator::Tick(int id, bool checked) {
  return AddAction(Make(StepKind::Tick, id, checked));
}

ScriptedOperator& ScriptedOperator::Click(int id) { return AddAction(Make(StepKind::Click, id)); }

ScriptedOperator& ScriptedOperator::Close() { return AddAction(Make(StepKind::Close)); }

ScriptedOperator& ScriptedOperator::Check(std::function<void(const plat::DialogView&)> check) {
  Step s = Make(StepKind::Check);
  s.check = std::move(check);
  return AddAction(std::move(s));
}

ScriptedOperator& ScriptedOperator::StallLimit(DWORD milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  stallLimit_ = milliseconds;
  return *this;
}

std::vector<plat::MessageBoxView> ScriptedOperator::Seen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

std::vector<plat::DialogView> ScriptedOperator::SeenDialogs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seenDialogs_;
}

std::vector<std::pair<plat::DialogView, std::intptr_t>> ScriptedOperator::ClosedDialogs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closedDialogs_;
}

std::string ScriptedOperator::Account() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return AccountLocked();
}

std::string ScriptedOperator::AccountLocked() const {
  if (events_.empty()) return "  (nothing)\n";
  std::string out;
  for (const auto& e : events_) out += "  " + e + "\n";
  return out;
}

std::string ScriptedOperator::NextStepLocked() const {
  return "the script's next step: " +
         (script_.empty() ? std::string("none") : Describe(script_.front())) +
         "\nwhat appeared:\n" + AccountLocked();
}

std::string ScriptedOperator::Describe(const Step& s) {
  std::string in = " in dialog " + std::to_string(s.templateId);
  switch (s.kind) {
    case StepKind::Message:
      return "message " + std::to_string(s.id) + " (answer " + std::to_string(s.number) + ")";
    case StepKind::Dialog:
      return "dialog " + std::to_string(s.templateId);
    case StepKind::Type:
      return "type \"" + s.text + "\" into " + std::to_string(s.id) + in;
    case StepKind::Select:
      return "select item " + std::to_string(s.number) + " of " + std::to_string(s.id) + in;
    case StepKind::SelectText:
      return "select \"" + s.text + "\" in " + std::to_string(s.id) + in;
    case StepKind::Tick:
      return std::string(s.number ? "tick " : "untick ") + std::to_string(s.id) + in;
    case StepKind::Click:
      return "click " + std::to_string(s.id) + in;
    case StepKind::Close:
      return "close" + in;
    case StepKind::Check:
      return "check" + in;
  }
  return "?";
}

void ScriptedOperator::CountShownLocked() {
  if (++shown_ <= kMostShown) return;
  std::fprintf(stderr, "more than %zu boxes and dialogs shown, the flow loops; %s\n", kMostShown,
               NextStepLocked().c_str());
  std::fflush(stderr);
  std::abort();
}

WORD ScriptedOperator::AnswerMessageBox(const plat::MessageBoxView& box) {
  std::lock_guard<std::mutex> lock(mutex_);
  seen_.push_back(box);
  std::string name = "message " + std::to_string(box.messageId) + " \"" + box.text + "\"";
  events_.push_back(name);
  CountShownLocked();
  if (script_.empty() || script_.front().kind != StepKind::Message) {
    ADD_FAILURE() << "unexpected " << name << "; " << NextStepLocked();
    return plat::ButtonsOf(box.style).back();  // the refusal
  }
  Step s = script_.front();
  script_.pop_front();
  if (s.id != box.messageId)
    ADD_FAILURE() << "expected message " << s.id << " but " << name << " came; "
                  << NextStepLocked();
  events_.back() += " answered " + std::to_string(s.number);
  return static_cast<WORD>(s.number);
}

void ScriptedOperator::OnDialog(const plat::DialogView& view, plat::DialogActions& act) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto fail = [&](const std::string& failure) {
    lock.unlock();
    ADD_FAILURE() << failure;
    act.Close();
  };
  auto [it, first] = dialogs_.try_emplace(view.window);
  OpenDialog& dialog = it->second;
  if (first) {
    seenDialogs_.push_back(view);
    std::string text = view.MessageText();
    events_.push_back(DialogName(view) + " opened" + (text.empty() ? "" : ": " + text));
    CountShownLocked();
    dialog.matched = !script_.empty() && script_.front().kind == StepKind::Dialog &&
                     script_.front().templateId == view.templateId;
    if (dialog.matched)
      script_.pop_front();
    else if (view.WaitsForOperator())
      return fail("unexpected " + view.Describe() + NextStepLocked());
  }
  bool stepHere = dialog.matched && !script_.empty() && script_.front().kind != StepKind::Message &&
                  script_.front().kind != StepKind::Dialog &&
                  script_.front().templateId == view.templateId;
  if (first) dialog.openedAt = NowMs();
  if (!stepHere) {
    std::uint64_t now = NowMs();
    if (!view.WaitsForOperator()) {
      if (dialog.overdue || now - dialog.openedAt <= kLongestRunMs) return;
      dialog.overdue = true;
      return fail(DialogName(view) + " waits for nobody and was still open after " +
                  std::to_string(kLongestRunMs / 1000) + " s:\n" + view.Describe());
    }
    if (dialog.idleSince == 0) {
      dialog.idleSince = now;
    } else if (now - dialog.idleSince > stallLimit_) {
      dialog.idleSince = now;
      fail(DialogName(view) + " was left waiting with nothing in the script for it:\n" +
           view.Describe() + NextStepLocked());
    }
    return;
  }
  Step step = script_.front();
  script_.pop_front();
  dialog.idleSince = 0;
  lock.unlock();
  bool ok = true;
  switch (step.kind) {
    case StepKind::Check:
      // A look changes nothing: go straight on with the next step.
      step.check(view);
      OnDialog(view, act);
      return;
    case StepKind::Type:
      ok = act.Type(step.id, step.text);
      break;
    case StepKind::Select:
      ok = act.Select(step.id, step.number);
      break;
    case StepKind::SelectText:
      ok = act.SelectText(step.id, step.text);
      break;
    case StepKind::Tick:
      ok = act.Tick(step.id, step.number != 0);
      break;
    case StepKind::Click:
      ok = act.Click(step.id);
      break;
    case StepKind::Close:
      ok = act.Close();
      break;
    default:
      break;
  }
  lock.lock();
  events_.push_back("  " + Describe(step) + (ok ? "" : " (refused)"));
  lock.unlock();
  if (!ok) ADD_FAILURE() << "the script could not " << Describe(step) << ":\n" << view.Describe();
}

void ScriptedOperator::OnDialogClosed(const plat::DialogView& view, std::intptr_t result) {
  std::lock_guard<std::mutex> lock(mutex_);
  closedDialogs_.emplace_back(view, result);
  events_.push_back(DialogName(view) + " closed with " + std::to_string(result));
  dialogs_.erase(view.window);
}
