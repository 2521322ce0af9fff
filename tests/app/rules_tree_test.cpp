#include <gtest/gtest.h>

#include "app/handlers.h"
#include "app_session.h"
#include "core/session.h"

namespace sw {
namespace {

using test::SaveProductSetting;

// A logged-on session with LAWLIB current and the tree as start-up leaves it.
class RulesTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { cx.dm = server.Components(); }
  void Begin() {
    ASSERT_TRUE(StartFusion(cx));
    cx.app.StatusOwnerForm = StatusWindow::Main;
    lawlib = AddLibrary("LAWLIB");
    oralib = AddLibrary("ORALIB");
    cx.ui->SetLibraryMenu({"LAWLIB", "ORALIB"});
    cx.ui->SetStatusLabel(StatusWindow::Main, "Waiting for user input");
  }
  int AddLibrary(const QString& name) {
    const int node = cx.ui->AddRulesNode(-1, name, QString(), true);
    cx.ui->AddRulesNode(node, "[]", QString(), false);
    return node;
  }
  QStringList ChildTexts(int node) {
    QStringList texts;
    for (int child : cx.ui->RulesNodeChildren(node)) texts << cx.ui->RulesNode(child).text;
    return texts;
  }
  int NodeOf(const QString& text) {
    for (int i = 0; i < cx.ui->RulesNodeCount(); ++i)
      if (cx.ui->RulesNode(i).text == text) return i;
    return -1;
  }
  QString Current() { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString(); }
  void AddRule(const QString& library, const QString& rule, const QString& purpose) {
    server.Exec(library, "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) VALUES ('QUILLMARK', "
                         "'RULE_TEMPLATE', '" + rule + "', '%MATTER.CLIENT_ID.CLIENT_ID%')");
    server.Exec(library, "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) VALUES ('QUILLMARK', "
                         "'RULE_PURPOSE', '" + rule + "', '" + purpose + "')");
  }
  void WithdrawFolderRights(const QString& library, bool keepSupervisorGroup) {
    if (!keepSupervisorGroup)
      server.Exec(library, "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS') "
                           "WHERE USER_ID = 'ADMIN'");
    server.Exec(library, "UPDATE DM_PROPERTIES SET VALUE = '0' WHERE NAME = 'User.CreateFolder'");
  }
  const std::vector<ShownMessage>& Shown() { return cx.scripted->shown; }

  test::IsolatedSettings settings;
  test::DmTestServer server;
  test::AppTestContext cx;
  int lawlib = -1, oralib = -1;
};

TEST_F(RulesTreeTest, FirstExpansionLoadsAnotherLibraryAndSwitchesBack) {
  SaveProductSetting(cx, "Rules", "ORALIB:CLIENT MATTERS", "0");
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  EXPECT_EQ(ChildTexts(oralib), QStringList({"CLIENT MATTERS"}));
  EXPECT_FALSE(cx.ui->RulesNode(NodeOf("CLIENT MATTERS")).checked);  // stored "0"
  EXPECT_TRUE(cx.ui->RulesNode(oralib).checked);
  EXPECT_EQ(Current(), "LAWLIB");
  EXPECT_EQ(cx.rules.RuleTable(field::RuleLibrary, 1), "LAWLIB");  // the rule table is LAWLIB's again
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), "Waiting for user input");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
  EXPECT_TRUE(test::PlainLog(cx).contains("Setting 1 rule(s) for Node ORALIB"));
}

TEST_F(RulesTreeTest, ExpandingALoadedLibraryAgainChangesNothing) {
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  const int nodes = cx.ui->RulesNodeCount();
  const QString logBefore = cx.LogText();
  cx.LoadRulesOfLibraryNode(oralib);
  EXPECT_EQ(cx.ui->RulesNodeCount(), nodes);
  EXPECT_EQ(cx.LogText(), logBefore);  // no switch, nothing logged
}

TEST_F(RulesTreeTest, HiddenRulesGetNoNodeButAreCounted) {
  AddRule("ORALIB", "OLD *DELETED*", "***All Modules***");
  AddRule("ORALIB", "CLEANUP", "Nightly maintenance");
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  EXPECT_EQ(ChildTexts(oralib), QStringList({"CLIENT MATTERS"}));
  EXPECT_TRUE(test::PlainLog(cx).contains("Setting 3 rule(s) for Node ORALIB"));
}

TEST_F(RulesTreeTest, LibraryWithoutSettingsTableIsLoadedEmptyAndUnticked) {
  server.Exec("ORALIB", "DROP TABLE TARN_SETTINGS");
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  EXPECT_TRUE(ChildTexts(oralib).isEmpty());
  EXPECT_FALSE(cx.ui->RulesNode(oralib).checked);
  EXPECT_TRUE(test::PlainLog(cx).contains("Warning: Tarn_Settings table not found in library ORALIB"));
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(RulesTreeTest, UserWithoutFolderRightsIsToldAndTheLibraryUnticked) {
  WithdrawFolderRights("ORALIB", false);
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Error: ADMIN does not have rights to manage folders in library ORALIB");
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(ChildTexts(oralib).isEmpty());
  EXPECT_FALSE(cx.ui->RulesNode(oralib).checked);
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(RulesTreeTest, SupervisorsPassWithoutTheFolderRights) {
  WithdrawFolderRights("ORALIB", true);
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ChildTexts(oralib), QStringList({"CLIENT MATTERS"}));
}

TEST_F(RulesTreeTest, TheCurrentLibraryIsListedWithoutTheChecks) {
  WithdrawFolderRights("LAWLIB", false);
  Begin();
  cx.LoadRulesOfLibraryNode(lawlib);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ChildTexts(lawlib), QStringList({"CLIENT MATTERS"}));
}

TEST_F(RulesTreeTest, CurrentLibraryWithoutRulesKeepsItsTick) {
  server.Exec("LAWLIB", "DROP TABLE TARN_SETTINGS");
  Begin();
  cx.LoadRulesOfLibraryNode(lawlib);
  EXPECT_TRUE(ChildTexts(lawlib).isEmpty());
  EXPECT_TRUE(cx.ui->RulesNode(lawlib).checked);
  EXPECT_TRUE(test::PlainLog(cx).contains("No rules found in library LAWLIB"));
}

TEST_F(RulesTreeTest, F5OpensTheEditorAndAddsTheCacheRowOnce) {
  Begin();
  cx.LoadRulesOfLibraryNode(oralib);
  const int rule = NodeOf("CLIENT MATTERS");
  const int rowsBefore = cx.rules.RuleSqlCount();

  cx.ui->SelectRulesNode(oralib);
  TVRules_KeyDown(cx, 116, 0);
  EXPECT_TRUE(cx.editorOpened.empty());  // a library node

  cx.ui->SelectRulesNode(rule);
  TVRules_KeyDown(cx, 115, 0);
  EXPECT_TRUE(cx.editorOpened.empty());  // F4

  TVRules_KeyDown(cx, 116, 1);  // Shift+F5 acts as F5
  ASSERT_EQ(cx.editorOpened.size(), 1u);
  EXPECT_EQ(cx.editorOpened[0].library, "ORALIB");
  EXPECT_EQ(cx.editorOpened[0].rule, "CLIENT MATTERS");
  EXPECT_EQ(cx.rules.RuleSqlCount(), rowsBefore + 1);
  EXPECT_EQ(cx.editorOpened[0].sqlIndex, QString::number(rowsBefore + 1));
  EXPECT_EQ(cx.rules.RuleSqlCache(rowsBefore + 1, sqlcol::Sql), "");

  TVRules_KeyDown(cx, 116, 0);
  ASSERT_EQ(cx.editorOpened.size(), 2u);
  EXPECT_EQ(cx.rules.RuleSqlCount(), rowsBefore + 1);
  EXPECT_EQ(cx.editorOpened[1].sqlIndex, QString::number(rowsBefore + 1));

  cx.ui->SetToolsEnabled(false);  // as while the test-data generator works
  TVRules_KeyDown(cx, 116, 0);
  EXPECT_EQ(cx.editorOpened.size(), 2u);
}

TEST_F(RulesTreeTest, ToggleInvertsEveryNodeAndTwiceRestores) {
  Begin();
  cx.LoadRulesOfLibraryNode(lawlib);
  cx.ui->SetRulesNodeChecked(NodeOf("CLIENT MATTERS"), false);
  std::vector<bool> before;
  for (const RulesTreeNode& n : cx.ui->controls.rulesTree) before.push_back(n.checked);
  MNToggleLibs_Click(cx);
  EXPECT_FALSE(cx.ui->RulesNode(lawlib).checked);
  EXPECT_TRUE(cx.ui->RulesNode(NodeOf("CLIENT MATTERS")).checked);
  EXPECT_TRUE(cx.ui->RulesNode(oralib + 1).checked);  // the placeholder too
  MNToggleLibs_Click(cx);
  std::vector<bool> after;
  for (const RulesTreeNode& n : cx.ui->controls.rulesTree) after.push_back(n.checked);
  EXPECT_EQ(after, before);
}

TEST_F(RulesTreeTest, LibraryMenuSwitchesAndRestoresTheStatus) {
  Begin();
  MNLibList_Click(cx, 1);
  EXPECT_EQ(Current(), "ORALIB");
  EXPECT_EQ(cx.ui->controls.libraryName, "ORALIB");
  EXPECT_EQ(cx.rules.RuleTable(field::RuleLibrary, 1), "ORALIB");
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), "Waiting for user input");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
  EXPECT_TRUE(cx.ui->RulesNodeChildren(oralib).size() == 1);  // the tree is not changed
}

TEST_F(RulesTreeTest, ChoosingTheCurrentLibraryDoesNothing) {
  Begin();
  const int pumps = cx.scripted->pumpCount;
  MNLibList_Click(cx, 0);
  EXPECT_EQ(cx.scripted->pumpCount, pumps);
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(RulesTreeTest, OnlyTheRightButtonPopsTheLibraryMenuUp) {
  Begin();
  cx.recording->pick = 1;
  LabelLibraryName_MouseUp(cx, 1, 0, 10, 10);
  EXPECT_EQ(cx.recording->popUps, 0);
  EXPECT_EQ(Current(), "LAWLIB");
  cx.ui->SetToolsEnabled(false);  // no switch under a task that works in the current library
  LabelLibraryName_MouseUp(cx, 2, 0, 10, 10);
  EXPECT_EQ(cx.recording->popUps, 0);
  cx.ui->SetToolsEnabled(true);
  // Nor during a run, also once a stop is asked for and the row in hand completes.
  for (const bool running : {true, false}) {
    cx.run.TaskRunning = running;
    cx.run.StopRequested = !running;
    LabelLibraryName_MouseUp(cx, 2, 0, 10, 10);
    EXPECT_EQ(cx.recording->popUps, 0);
  }
  cx.run.StopRequested = false;
  LabelLibraryName_MouseUp(cx, 2, 0, 10, 10);
  EXPECT_EQ(cx.recording->popUps, 1);
  EXPECT_EQ(Current(), "ORALIB");
}

}  // namespace
}  // namespace sw
