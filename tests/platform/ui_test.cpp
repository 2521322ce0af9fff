#include <gtest/gtest.h>

#include "platform/ui/ui.h"

namespace sw {

TEST(Ui, UnattendedMessageBoxLogsAndAnswersTheFirstButton) {
  Ui ui;
  QStringList logged;
  ui.LogSink = [&](const QString& line) { logged << line; };
  EXPECT_EQ(ui.MessageBox("Exit now?", MsgIcon::Question, MsgButtons::YesNo, "Title"), MsgResult::Yes);
  EXPECT_EQ(ui.MessageBox("Done", MsgIcon::Information, MsgButtons::OKCancel, "Title"), MsgResult::OK);
  ASSERT_EQ(logged.size(), 2);
  EXPECT_TRUE(logged[0].contains("Exit now?"));
  EXPECT_TRUE(logged[0].contains("Title"));
}

TEST(Ui, ScriptedAnswersInOrderThenDefaults) {
  ScriptedUi ui;
  ui.Answer(MsgResult::No);
  EXPECT_EQ(ui.MessageBox("a", MsgIcon::Question, MsgButtons::YesNo, "T"), MsgResult::No);
  EXPECT_EQ(ui.MessageBox("b", MsgIcon::Question, MsgButtons::YesNoCancel, "T"), MsgResult::Yes);
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[1].text, "b");
}

TEST(Ui, RuleMenusAlwaysKeepItemZero) {
  Ui ui;
  ui.SetRuleMenuCaptions(RuleMenu::Current, {});
  EXPECT_EQ(ui.RuleMenuCaptions(RuleMenu::Current).size(), 1);
  ui.SetRuleMenuCaptions(RuleMenu::Initial, {"A", "B"});
  EXPECT_EQ(ui.RuleMenuCaptions(RuleMenu::Initial), QStringList({"A", "B"}));
}

TEST(Ui, LibraryMenuCheckOutsideTheMenuIsIgnored) {
  Ui ui;
  ui.controls.libraryMenu = {"ONE", "TWO"};
  ui.SetLibraryMenuChecked(1, true);
  ui.SetLibraryMenuChecked(5, true);
  ASSERT_EQ(ui.controls.libraryMenuChecked.size(), 2u);
  EXPECT_FALSE(ui.controls.libraryMenuChecked[0]);
  EXPECT_TRUE(ui.controls.libraryMenuChecked[1]);
}

}  // namespace sw
