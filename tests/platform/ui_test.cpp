#include <gtest/gtest.h>

#include "platform/ui/ui.h"
#include "support/scripted_ui.h"

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

TEST(Ui, BoxesAnswerThemselvesWithoutADisplayOrInARunThatEndsByItself) {
  struct Case {
    const char* platform;
    const char* commandLine;
    bool unattended;
  };
  for (const Case& c : {Case{"offscreen", "", true}, Case{"xcb", "/G /X", true}, Case{"wayland", "/x /nv /g", true},
                        Case{"xcb", "/G", false}, Case{"xcb", "/X", false}, Case{"xcb", "/KX /G", false}})
    EXPECT_EQ(BoxesAnswerThemselves(c.platform, c.commandLine), c.unattended) << c.platform << " " << c.commandLine;
}

// A warning reaches the log and standard error once, whether or not a person sees its box.
TEST(Ui, AWarningIsLoggedOnceWithOrWithoutAPerson) {
  struct AttendedUi : Ui {
    bool AnswersUnattended() const override { return false; }
    MsgResult MessageBox(const QString& text, MsgIcon, MsgButtons, const QString&) override {
      boxes << text;
      return MsgResult::OK;
    }
    QStringList boxes;
  };
  AttendedUi attended;
  Ui unattended;
  QStringList logged;
  attended.LogSink = unattended.LogSink = [&](const QString& line) { logged << line; };
  attended.Warn("Error: no viewer", MsgIcon::Exclamation, "Title");
  unattended.Warn("Error: no folder", MsgIcon::Exclamation, "Title");
  EXPECT_EQ(attended.boxes, QStringList({"Error: no viewer"}));
  ASSERT_EQ(logged.size(), 2);
  EXPECT_TRUE(logged[0].endsWith("Error: no viewer"));
  EXPECT_TRUE(logged[1].endsWith("Error: no folder"));
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

namespace sw {

TEST(Ui, RemovingARulesNodeTakesItsChildrenAndRenumbersTheRest) {
  Ui ui;
  const int lib1 = ui.AddRulesNode(-1, "LIB1", "L1", true);
  ui.AddRulesNode(lib1, "RULE A", "A", true);
  const int lib2 = ui.AddRulesNode(-1, "LIB2", "L2", false);
  const int ruleB = ui.AddRulesNode(lib2, "RULE B", "B", true);
  ui.AddRulesNode(lib1, "RULE C", "C", false);
  ASSERT_EQ(ruleB, 3);
  ui.RemoveRulesNode(lib1);
  ASSERT_EQ(ui.RulesNodeCount(), 2);
  EXPECT_EQ(ui.RulesNode(0).text, "LIB2");
  EXPECT_EQ(ui.RulesNode(1).text, "RULE B");
  EXPECT_EQ(ui.RulesNode(1).parent, 0);
  EXPECT_EQ(ui.RulesNodeChildren(-1), std::vector<int>({0}));
}

TEST(Ui, ResultTextGrowsTheRowToTheColumn) {
  Ui ui;
  const int row = ui.AddResultRow({"LIB - RULE"});
  ui.SetResultText(row, 2, "Done");
  ui.SetResultText(7, 0, "ignored");
  ASSERT_EQ(ui.controls.results.size(), 1u);
  EXPECT_EQ(ui.controls.results[0], QStringList({"LIB - RULE", "", "Done"}));
}

}  // namespace sw
