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

// A valid code, in any case, selects its controller type after the
// question; an invalid one is told and the dialog stays (here for a Cancel).
TEST_F(KeyCodeDialog, EachCodeSelectsItsTypeOrIsTold) {
  struct Case {
    const char* typed;
    WORD type;  // 0: invalid
  };
  const Case cases[] = {{"XBKZNRTQ ", 0},  {"FCKZNRT", 0},    {"KZNR", 0},         {"", 0},
                        {"KZNRT", 0x8300}, {"kznrt", 0x8300}, {"XbKzNrTq", 0x8360}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.typed + "\"");
    selection_ = MediaSelection{};
    selection_.config4.volumeCount = 0xFF;
    ScriptedOperator op;
    op.ExpectDialog(kKeyCodeTemplate)
        .Type(kIdKeyCodeEdit, c.typed)
        .Click(IDOK)
        .ExpectMessage(c.type ? 4053 : 4054, IDOK);
    if (!c.type) op.Click(IDCANCEL);
    word_ = 0;
    ASSERT_EQ(Ask(), c.type ? 1 : 0);
    EXPECT_EQ(word_, c.type ? 0 : 0x4000);
    EXPECT_EQ(ChosenControllerType, c.type);
    const MessageBoxView box = op.Seen().at(0);
    EXPECT_EQ(box.kind, c.type ? 1 : 3);
    EXPECT_EQ(box.style, c.type ? 0x141u : 0x10u);
    if (!c.type) continue;
    EXPECT_EQ(selection_.MediaKind, kMediaKeyCode);
    EXPECT_EQ(selection_.config4.volumeCount, 1);
    EXPECT_EQ(static_cast<WORD>(selection_.config4.Config4TypeWord), c.type);
    EXPECT_EQ(box.identifier, 20198);
    EXPECT_NE(box.text.find(c.typed), std::string::npos);
  }
}

// Cancel on the question keeps the dialog open (its answer has no line:
// the question goes straight to the message library); the close box cancels.
TEST_F(KeyCodeDialog, OpensWithCaptionTextAndCancelsByCloseBox) {
  ScriptedOperator op;
  op.ExpectDialog(kKeyCodeTemplate)
      .Check([](const DialogView& v) {
        EXPECT_EQ(v.caption, "Configuration Key Code" + fixtures::CaptionSuffix());
        EXPECT_EQ(v.MessageText(), CatalogueText(4055));
        ASSERT_NE(v.Find(1021), nullptr);
        EXPECT_FALSE(v.Find(1021)->visible);
      })
      .Type(kIdKeyCodeEdit, "kznrt")
      .Click(IDOK)
      .ExpectMessage(4053, IDCANCEL)
      .Check([](const DialogView& v) { EXPECT_EQ(ChosenControllerType, 0x8300); })
      .Close();
  selection_.MediaKind = kMediaSoftware;
  EXPECT_EQ(Ask(), 0);
  EXPECT_EQ(word_, 0x4000);
  EXPECT_EQ(selection_.MediaKind, kMediaSoftware);
  auto trace = world_.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(trace, "Configuration Key Code" + fixtures::CaptionSuffix()));
  EXPECT_TRUE(TestWorld::TracedAt(trace, "CnfImpKey.cpp"));
  EXPECT_FALSE(TestWorld::Contains(trace, "### [MSG]"));
}

namespace {

class ConfirmDialog : public ::testing::Test {
 protected:
  TestWorld world_;
  WORD word_ = 0;
};

bool OkEnabled(const DialogView& v) { return v.Find(IDOK)->enabled; }

}  // namespace

TEST_F(ConfirmDialog, TheCheckBoxEnablesOkAndEachChangeIsTraced) {
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
      .Tick(kIdConfirmed)
      .Click(IDOK);
  EXPECT_EQ(AskConfirmConfigInfo(0, 4705, &word_), 1);
  EXPECT_EQ(word_, 0);
  std::vector<std::string> lines;
  for (const std::string& line : world_.TakeTrace())
    if (line.find("CheckBoxOnConfirmConfInfo") != std::string::npos ||
        line.find("ButtonOnConfirmConfInfo") != std::string::npos)
      lines.push_back(line.substr(line.find('\n') + 1));
  const std::vector<std::string> expected = {
      "ActivateCheckBoxOnConfirmConfInfo", "DeactivateCheckBoxOnConfirmConfInfo",
      "ActivateCheckBoxOnConfirmConfInfo", "ClickOKButtonOnConfirmConfInfo"};
  EXPECT_EQ(lines, expected);
}

TEST_F(ConfirmDialog, CancelAndCloseBoxAreCancellations) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Cancel");
    ScriptedOperator op;
    op.ExpectDialog(kConfirmTemplate).Tick(kIdConfirmed);
    closeBox ? op.Close() : op.Click(IDCANCEL);
    word_ = 0;
    EXPECT_EQ(AskConfirmConfigInfo(0, 4705, &word_), 2);
    EXPECT_EQ(word_, 0x4000);
    // Only the button has a line of its own.
    EXPECT_EQ(TestWorld::Contains(world_.TakeTrace(), "ClickCancelButtonOnConfirmConfInfo"),
              !closeBox);
  }
}
