// Rule preparation against the emulated demo libraries: the checks that skip a node (and which
// tick they take away), the rule's working values, the claim and the results row.
#include <gtest/gtest.h>

#include "core/text.h"
#include "rules/rule_table.h"
#include "rules/running_nodes.h"
#include "run/run.h"
#include "run_control_session.h"

namespace sw {
namespace {

using test::AddLibraryNode;
using test::AddRuleNode;

class RulePreparation : public ::testing::Test {
 protected:
  // Starts the session; tests that change the library's tables do so before.
  void Start() {
    ASSERT_TRUE(test::StartRunSession(cx, server, clock));
    law = AddLibraryNode(cx, "LAWLIB", true);
    rule = AddRuleNode(cx, law, "Client Matters", true);
  }
  int RuleIndexOf(const QString& name) {
    for (int i = 1; i <= cx.rules.RuleCount(); ++i)
      if (cx.rules.RuleTable(field::RuleName, i) == name) return i;
    return 0;
  }
  bool Ticked(int node) { return cx.ui->RulesNode(node).checked; }

  test::DmTestServer server;
  test::TestClock clock;
  test::RunTestContext cx;
  int law = -1;
  int rule = -1;
};

TEST_F(RulePreparation, StartsTheDemoRuleWithItsValuesClaimAndResultsRow) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  ASSERT_GT(index, 0);
  cx.ui->controls.labelTotal = "17";
  cx.runState.rule.AddedCount = 5;
  cx.runState.rule.ErrorCount = 2;

  ASSERT_TRUE(PrepareRule(cx, rule));

  const RuleWorkingValues& w = cx.runState.rule;
  EXPECT_EQ(w.RuleIndex, index);
  EXPECT_EQ(w.RuleName, "Client Matters");  // as the node shows it, not the table's upper case
  EXPECT_EQ(w.LibraryName, "LAWLIB");
  EXPECT_EQ(w.LibraryNode, law);
  EXPECT_EQ(w.RULE_TEMPLATE, "%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%");
  EXPECT_EQ(w.RULE_VALUES, "%APPLICATION.APPLICATION% <> 'FOLDER'");
  EXPECT_EQ(w.RULE_FORM, "***DEFAULT FORM***");
  EXPECT_TRUE(w.RULE_SECURITY.startsWith("%AUTHOR.PRIMARY_GROUP% = 127"));
  EXPECT_TRUE(cx.rules.RuleSqlBuffer.trimmed().isEmpty());
  EXPECT_EQ(cx.run.SaveFlags, 3);

  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  EXPECT_EQ(cx.ui->controls.results[0], QStringList({"LAWLIB - Client Matters", "2026/12/07-22:30:15", "Working..."}));
  EXPECT_EQ(cx.runState.control.ResultRow, 0);
  EXPECT_EQ(cx.ui->controls.labelTotal, "0");
  EXPECT_EQ(cx.ui->controls.labelRead, "0");
  EXPECT_EQ(cx.ui->controls.labelAdded, "0");
  EXPECT_EQ(cx.ui->controls.labelErrors, "0");
  EXPECT_EQ(w.AddedCount, 0);
  EXPECT_EQ(w.ErrorCount, 0);

  EXPECT_EQ(cx.ui->controls.mainStatus, "Processing library LAWLIB rule Client Matters");
  EXPECT_EQ(cx.runState.control.LastClaimLibrary, "LAWLIB");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT CHAR_VAL FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"),
            "TESTPC:Client Matters");
}

TEST_F(RulePreparation, SaveFlagsFollowDisplayErrorsForEachRule) {
  Start();
  cx.ui->controls.displayErrors = true;
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.run.SaveFlags, 2);
  cx.ui->controls.displayErrors = false;
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.run.SaveFlags, 3);
}

TEST_F(RulePreparation, UntickedLibraryNodeSkipsSilently) {
  Start();
  cx.ui->SetRulesNodeChecked(law, false);
  const QString before = test::Log(cx);
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_EQ(test::Log(cx), before);
  EXPECT_TRUE(Ticked(rule));
  EXPECT_TRUE(cx.ui->controls.results.empty());
}

TEST_F(RulePreparation, RuleUnderANestedNodeFindsItsLibraryAtTheTop) {
  Start();
  const int group = AddRuleNode(cx, law, "Group", true);
  const int nested = AddRuleNode(cx, group, "CLIENT MATTERS", true);
  ASSERT_TRUE(PrepareRule(cx, nested));
  EXPECT_EQ(cx.runState.rule.LibraryNode, law);
}

TEST_F(RulePreparation, FailedSwitchUnticksTheLibraryAndItsOtherRulesFollowSilently) {
  Start();
  const int missing = AddLibraryNode(cx, "NOSUCHLIB", true);
  const int first = AddRuleNode(cx, missing, "A", true);
  const int second = AddRuleNode(cx, missing, "B", true);

  EXPECT_FALSE(PrepareRule(cx, first));
  EXPECT_TRUE(test::Log(cx).contains("Error: Unable to connect to library NOSUCHLIB"));
  EXPECT_FALSE(Ticked(missing));
  EXPECT_TRUE(Ticked(first));

  const QString before = test::Log(cx);
  EXPECT_FALSE(PrepareRule(cx, second));
  EXPECT_EQ(test::Log(cx), before);
}

// The administrator's primary group becomes `groupId` (made when missing); rights as given.
void SetUserGroupAndRights(test::DmTestServer& server, const QString& groupId, int manageRoot, int createFolder) {
  server.Exec("LAWLIB", QStringLiteral("INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) SELECT 990001, '%1', 'Test' "
                                       "WHERE NOT EXISTS (SELECT 1 FROM GROUPS WHERE GROUP_ID = '%1')")
                            .arg(groupId));
  server.Exec("LAWLIB", QStringLiteral("UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = '%1') "
                                       "WHERE USER_ID = 'ADMIN'")
                            .arg(groupId));
  server.Exec("LAWLIB", QStringLiteral("UPDATE DM_PROPERTIES SET VALUE = '%1' WHERE NAME = 'User.ManageRootFolders'").arg(manageRoot));
  server.Exec("LAWLIB", QStringLiteral("UPDATE DM_PROPERTIES SET VALUE = '%1' WHERE NAME = 'User.CreateFolder'").arg(createFolder));
}

TEST_F(RulePreparation, SupervisorsPassWithoutTheRights) {
  Start();
  SetUserGroupAndRights(server, "DOCS_SUPERVISORS", 0, 0);
  EXPECT_TRUE(PrepareRule(cx, rule));
}

TEST_F(RulePreparation, OtherUsersNeedBothRights) {
  Start();
  SetUserGroupAndRights(server, "DOCS_USERS", -1, -1);
  EXPECT_TRUE(PrepareRule(cx, rule));

  SetUserGroupAndRights(server, "DOCS_USERS", -1, 0);
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_TRUE(test::Log(cx).contains("Error: ADMIN does not have rights to manage folders in library LAWLIB"));
  EXPECT_FALSE(Ticked(law));
  EXPECT_TRUE(Ticked(rule));
}

TEST_F(RulePreparation, SupervisorsInOtherLetterCaseAreNotMembers) {
  Start();
  SetUserGroupAndRights(server, "DOCS_SUPERVISORS", 0, -1);
  server.Exec("LAWLIB", "UPDATE GROUPS SET GROUP_ID = 'Docs_Supervisors' WHERE GROUP_ID = 'DOCS_SUPERVISORS'");
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_FALSE(Ticked(law));
}

TEST_F(RulePreparation, MissingProgramTablesAreNamedInOrderAndUntickTheLibrary) {
  server.Exec("LAWLIB", "DROP TABLE NEEDS_FOLDERING");
  Start();
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_TRUE(test::Log(cx).contains("Error: Unable to locate NEEDS_FOLDERING table in library LAWLIB"));
  EXPECT_FALSE(Ticked(law));
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
}

TEST_F(RulePreparation, MissingTrackingTableIsReportedFirst) {
  server.Exec("LAWLIB", "DROP TABLE TARN_STACKWRIGHT");
  server.Exec("LAWLIB", "DROP TABLE NEEDS_FOLDERING");
  Start();
  EXPECT_FALSE(PrepareRule(cx, rule));
  const QString log = test::Log(cx);
  EXPECT_TRUE(log.contains("Error: Unable to locate TARN_STACKWRIGHT table in library LAWLIB"));
  EXPECT_FALSE(log.contains("Error: Unable to locate NEEDS_FOLDERING"));
}

TEST_F(RulePreparation, NodeWithoutARuleIsConfiguredImproperlyAndLosesItsTick) {
  Start();
  const int gone = AddRuleNode(cx, law, "Gone Rule", true);
  EXPECT_FALSE(PrepareRule(cx, gone));
  EXPECT_EQ(cx.ui->controls.mainStatus, "Error: Rule Gone Rule configured improperly in library LAWLIB");
  EXPECT_FALSE(Ticked(gone));
  EXPECT_TRUE(Ticked(law));
  EXPECT_EQ(cx.runState.rule.RuleIndex, 0);
  EXPECT_TRUE(cx.ui->controls.results.empty());
}

TEST_F(RulePreparation, RuleWithoutTemplateOrOwnSqlIsConfiguredImproperly) {
  Start();
  cx.rules.RuleTable.Set(field::RULE_TEMPLATE, RuleIndexOf("CLIENT MATTERS"), "   ");
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_FALSE(Ticked(rule));
}

TEST_F(RulePreparation, OverriddenParametersNeedTextOrValues) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  cx.rules.RuleTable.Set(field::RULE_OVERRIDERULEPARAMETERS, index, "1");
  cx.rules.RuleTable.Set(field::RULE_VALUES, index, "");
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_FALSE(Ticked(rule));

  cx.ui->SetRulesNodeChecked(rule, true);
  cx.rules.RuleTable.Set(field::RULE_STACKWRIGHT_TEXT, index, "CLIENT|CLIENT.CLIENT_ID <> ''");
  EXPECT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.runState.rule.RULE_OVERRIDERULEPARAMETERS, 1);
}

TEST_F(RulePreparation, OwnSqlIsJoinedExpandedAndStandsInForTheTemplate) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  cx.rules.RuleTable.Set(field::RULE_TEMPLATE, index, "");
  cx.rules.RuleTable.Set(field::RULE_STACKWRIGHT_SQL_1, index, "  SELECT<SPC>CLIENT_ID");
  cx.rules.RuleTable.Set(field::RULE_STACKWRIGHT_SQL_2, index, "<SPC>FROM<SPC>");
  cx.rules.RuleTable.Set(field::RULE_STACKWRIGHT_SQL_3, index, "[OWNER].CLIENT  ");
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.runState.rule.OwnRuleSql, "SELECT CLIENT_ID FROM [OWNER].CLIENT");
  EXPECT_EQ(cx.rules.RuleSqlBuffer.size(), RuleSqlBufferLength);
  EXPECT_EQ(cx.rules.RuleSqlBuffer.trimmed(), "SELECT CLIENT_ID FROM [OWNER].CLIENT");
}

TEST_F(RulePreparation, OwnSqlOfAnEarlierRuleDoesNotCarryOver) {
  Start();
  SetRuleSqlBuffer(cx.rules, "SELECT 1");
  const int gone = AddRuleNode(cx, law, "Gone Rule", true);
  EXPECT_FALSE(PrepareRule(cx, gone));  // the buffer was emptied, so the check fails
  EXPECT_TRUE(cx.rules.RuleSqlBuffer.trimmed().isEmpty());
}

TEST_F(RulePreparation, MasterFolderLibraryMustBeThisOneOrNone) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  for (const char* passes : {"", "*NONE*", "lawlib", "LAWLIB"}) {
    cx.rules.RuleTable.Set(field::RULE_MASTERFOLDER_LIBRARY, index, passes);
    EXPECT_TRUE(PrepareRule(cx, rule)) << passes;
  }
  for (const char* fails : {"*none*", "ORALIB"}) {
    cx.ui->SetRulesNodeChecked(rule, true);
    cx.rules.RuleTable.Set(field::RULE_MASTERFOLDER_LIBRARY, index, fails);
    EXPECT_FALSE(PrepareRule(cx, rule)) << fails;
    EXPECT_FALSE(Ticked(rule)) << fails;
    EXPECT_TRUE(Ticked(law));
  }
  EXPECT_EQ(cx.ui->controls.mainStatus,
            "Warning: Rule Client Matters has a different master folder library (ORALIB) than the selected library (LAWLIB)");
}

TEST_F(RulePreparation, EmailOverrideIsTakenAndLoggedWhenBothPartsAreSet) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  cx.rules.RuleTable.Set(field::RULE_EMAIL_NAME, index, " Correspondence ");
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.runState.rule.EmailOverrideName, "Correspondence");
  EXPECT_FALSE(test::Log(cx).contains("Override library for rule"));

  cx.rules.RuleTable.Set(field::RULE_EMAIL_LIBRARY, index, "ORALIB ");
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(cx.runState.rule.EmailOverrideLibrary, "ORALIB");
  EXPECT_TRUE(test::Log(cx).contains("Override library for rule Client Matters folder Correspondence is ORALIB"));
}

TEST_F(RulePreparation, NumbersAndTextsAreTakenFromTheirFields) {
  Start();
  const int index = RuleIndexOf("CLIENT MATTERS");
  cx.rules.RuleTable.Set(field::RULE_STACKWRIGHT_LEVEL, index, "2");
  cx.rules.RuleTable.Set(field::RULE_WORKSPACE_AUTHOR, index, "1");
  cx.rules.RuleTable.Set(field::RULE_WORKSPACE_TYPIST, index, "abc");
  cx.rules.RuleTable.Set(field::RULE_EMAIL_LEVEL, index, "3");
  cx.rules.RuleTable.Set(field::RULE_EMAIL_TEMPLATE, index, " %CLIENT_ID%@example.com ");
  cx.rules.RuleTable.Set(field::RULE_WORKSPACE_NAME, index, " Matters ");
  cx.rules.RuleTable.Set(field::RULE_WORKSPACE_GROUP, index, " DOCS_USERS ");
  ASSERT_TRUE(PrepareRule(cx, rule));
  const RuleWorkingValues& w = cx.runState.rule;
  EXPECT_EQ(w.RULE_STACKWRIGHT_LEVEL, 2);
  EXPECT_EQ(w.RULE_WORKSPACE_AUTHOR, 1);
  EXPECT_EQ(w.RULE_WORKSPACE_TYPIST, 0);
  EXPECT_EQ(w.RULE_EMAIL_LEVEL, 3);
  EXPECT_EQ(w.RULE_EMAIL_TEMPLATE, " %CLIENT_ID%@example.com ");  // as stored
  EXPECT_EQ(w.RULE_WORKSPACE_NAME, "Matters");
  EXPECT_EQ(w.RULE_WORKSPACE_GROUP, "DOCS_USERS");
}

TEST_F(RulePreparation, RuleHeldByAnotherComputerIsSkippedKeepingItsTick) {
  Start();
  cx.session.MachineName = "OTHERPC";
  ActiveStatus(cx, WriteClaim, "CLIENT MATTERS");
  cx.session.MachineName = "TESTPC";
  const QString message = "It appears that another machine is already running TARN_STACKWRIGHT against rule Client "
                          "Matters in library LAWLIB - will skip this rule";

  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_TRUE(Ticked(rule));
  EXPECT_EQ(test::Log(cx).count(message), 1);
  EXPECT_EQ(cx.runState.control.LastClaimLibrary, "LAWLIB");
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
  EXPECT_TRUE(cx.ui->controls.results.empty());

  // Once the library reached the claim step, further skips there say nothing.
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_EQ(test::Log(cx).count(message), 1);
  cx.runState.control.LastClaimLibrary = "ORALIB";
  EXPECT_FALSE(PrepareRule(cx, rule));
  EXPECT_EQ(test::Log(cx).count(message), 2);
}

// Told once a run under any logging; a claim more than a day old on standard error too, with the
// ways to clear it; a claim of a computer at work there never.
TEST_F(RulePreparation, SkipForAnotherComputersClaimIsToldAndLoudlyWhenTheClaimOutlivedItsRun) {
  Start();
  cx.ui->SetVerboseLogging(false);
  server.Exec("LAWLIB", "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) VALUES "
                        "('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'otherpc:Client Matters')");
  auto claimed = [&](const QString& since) {
    server.Exec("LAWLIB", "UPDATE TARN_SETTINGS SET DATE_VAL = '" + since + "' WHERE SUB_KEY = 'RUNNING_NODES'");
    cx.runState.control.ClaimSkipsTold.clear();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PrepareRule(cx, rule));
    EXPECT_FALSE(PrepareRule(cx, rule));
    return testing::internal::GetCapturedStderr();
  };
  const QString skipped = "Warning: Rule Client Matters in library LAWLIB is skipped: computer OTHERPC ";
  EXPECT_EQ(claimed("2026-12-07 09:00:00"), "");
  EXPECT_EQ(test::Log(cx).count(skipped + "has claimed it since 2026-12-07 09:00:00 and is taken to be working on it"), 1);
  const QString stale = skipped + "claimed it on 2026-12-06 22:00:00, more than a day ago, and the claim has outlived its run - "
                                  "other computers skip the rule until it is cleared with Options > Clear Running Nodes, or "
                                  "until the program starts again under the computer name OTHERPC";
  EXPECT_EQ(QString::fromStdString(claimed("2026-12-06 22:00:00")), stale + "\n");
  EXPECT_EQ(test::Log(cx).count(stale), 1);
}

TEST_F(RulePreparation, EarlierClaimsOfThisComputerAreDroppedBeforeClaiming) {
  Start();
  ActiveStatus(cx, WriteClaim, "SOME OTHER RULE");
  ASSERT_TRUE(PrepareRule(cx, rule));
  EXPECT_EQ(server.Rows("LAWLIB", "SELECT CHAR_VAL FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"),
            QList<QStringList>({{"TESTPC:Client Matters"}}));
}

}  // namespace
}  // namespace sw
