// The key-code dialog (113) and the confirmation dialog (117).
#include <gtest/gtest.h>

#include <string>

#include "platform/Win.h"
#include "support/FlowFixtures.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "validate/CnfConfirmSerialNoDlg.h"
#include "validate/CnfImpKey.h"

using namespace plat;

namespace {

class KeyCodeDialog : public ::testing::Test {
 protected:
  int Ask() { return AskKeyCode(0, &selection_, &word_); }
  TestWorld world_;
  MediaSelection selection_{};
  WORD word_ = 0;
};

}  // namespace

// The dialog opens with its caption and text. A valid code, in any case,
// selects its controller type after the question; an invalid one is told and
// the dialog stays (here for a Cancel). Cancel on the question keeps the
// dialog open too, the type chosen, and the close box cancels. The answers
// have no line: the question goes straight to the message library.
TEST_F(KeyCodeDialog, EachCodeSelectsItsTypeOrIsTold) {
  struct Case {
    const char* typed;
    WORD type;  // 0: invalid
    bool cancelQuestion = false;
  };
  const Case cases[] = {
      {"XBKZNRTQ ", 0},  {"FCKZNRT", 0},    {"KZNR", 0},          {"", 0},
      {"KZNRT", 0x8300}, {"kznrt", 0x8300}, {"XbKzNrTq", 0x8360}, {"kznrt", 0x8300, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.typed + "\"" + (c.cancelQuestion ? " cancelled" : ""));
    selection_ = MediaSelection{};
    selection_.config4.volumeCount = 0xFF;
    selection_.MediaKind = kMediaSoftware;
    ScriptedOperator op;
    op.ExpectDialog(kKeyCodeTemplate)
        .Check([](const DialogView& v) {
          EXPECT_EQ(v.caption, "Configuration Key Code" + fixtures::CaptionSuffix());
          EXPECT_EQ(v.MessageText(), CatalogueText(4055));
          ASSERT_NE(v.Find(1021), nullptr);
          EXPECT_FALSE(v.Find(1021)->visible);
        })
        .Type(kIdKeyCodeEdit, c.typed)
        .Click(IDOK)
        .ExpectMessage(c.type ? 4053 : 4054, c.cancelQuestion ? IDCANCEL : IDOK);
    if (!c.type) op.Click(IDCANCEL);
    if (c.cancelQuestion)
      op.Check([](const DialogView&) { EXPECT_EQ(ChosenControllerType, 0x8300); }).Close();
    const bool taken = c.type && !c.cancelQuestion;
    word_ = 0;
    ASSERT_EQ(Ask(), taken ? 1 : 0);
    EXPECT_EQ(word_, taken ? 0 : 0x4000);
    EXPECT_EQ(selection_.MediaKind, taken ? kMediaKeyCode : kMediaSoftware);
    auto trace = world_.TakeTrace();
    EXPECT_TRUE(TestWorld::Contains(trace, "Configuration Key Code" + fixtures::CaptionSuffix()));
    EXPECT_TRUE(TestWorld::TracedAt(trace, "CnfImpKey.cpp"));
    EXPECT_FALSE(TestWorld::Contains(trace, "### [MSG]"));
    const MessageBoxView box = op.Seen().at(0);
    EXPECT_EQ(box.kind, c.type ? 1 : 3);
    EXPECT_EQ(box.style, c.type ? 0x141u : 0x10u);
    if (!taken) continue;
    EXPECT_EQ(ChosenControllerType, c.type);
    EXPECT_EQ(selection_.config4.volumeCount, 1);
    EXPECT_EQ(static_cast<WORD>(selection_.config4.Config4TypeWord), c.type);
    EXPECT_EQ(box.identifier, 20198);
    EXPECT_NE(box.text.find(c.typed), std::string::npos);
  }
}

namespace {

class ConfirmDialog : public ::testing::Test {
 protected:
  TestWorld world_;
  WORD word_ = 0;
};

bool OkEnabled(const DialogView& v) { return v.Find(IDOK)->enabled; }

}  // namespace

// The check box enables OK and each change is traced; OK confirms, Cancel
// and the close box cancel (only the buttons have a line of their own).
TEST_F(ConfirmDialog, TheCheckBoxEnablesOkAndEachChangeIsTraced) {
  for (int end : {int{IDOK}, int{IDCANCEL}, 0}) {
    SCOPED_TRACE(end);
    ScriptedOperator op;
    op.ExpectDialog(kConfirmTemplate)
        .Check([](const DialogView& v) {
          EXPECT_EQ(v.caption, "Confirm Configuration Information" + fixtures::CaptionSuffix());
          EXPECT_EQ(v.MessageText(), CatalogueText(4705));
          EXPECT_FALSE(OkEnabled(v));
          EXPECT_TRUE(v.Find(IDCANCEL)->focused);
        })
        .Tick(kIdConfirmed)
        .Check([](const DialogView& v) { EXPECT_TRUE(OkEnabled(v)); })
        .Tick(kIdConfirmed, false)
        .Check([](const DialogView& v) { EXPECT_FALSE(OkEnabled(v)); })
        .Tick(kIdConfirmed);
    end ? op.Click(end) : op.Close();
    word_ = 0;
    EXPECT_EQ(AskConfirmConfigInfo(0, 4705, &word_), end == IDOK ? 1 : 2);
    EXPECT_EQ(word_, end == IDOK ? 0 : 0x4000);
    std::vector<std::string> lines;
    for (const std::string& line : world_.TakeTrace())
      if (line.find("CheckBoxOnConfirmConfInfo") != std::string::npos ||
          line.find("ButtonOnConfirmConfInfo") != std::string::npos)
        lines.push_back(line.substr(line.find('\n') + 1));
    std::vector<std::string> expected = {"ActivateCheckBoxOnConfirmConfInfo",
                                         "DeactivateCheckBoxOnConfirmConfInfo",
                                         "ActivateCheckBoxOnConfirmConfInfo"};
    if (end)
      expected.push_back(end == IDOK ? "ClickOKButtonOnConfirmConfInfo"
                                     : "ClickCancelButtonOnConfirmConfInfo");
    EXPECT_EQ(lines, expected);
  }
}
