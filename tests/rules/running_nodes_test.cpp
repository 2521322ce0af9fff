#include <gtest/gtest.h>

#include "rules/running_nodes.h"
#include "settings_rows.h"

namespace sw {
namespace {

using test::AttachRules;
using test::DmTestServer;
using test::TestContext;

// Two computers on one library: each context has its own session and SQL connection to the
// same library file, and its own computer name.
class RunningNodesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearSettingsRows(server, "LAWLIB");
    test::ClearSettingsRows(server, "ORALIB");
    Attach(first, "PC_1", "LAWLIB");
    Attach(second, "PCA1", "LAWLIB");
  }
  void Attach(TestContext<RulesContext>& cx, const QString& node, const QString& library) {
    AttachRules(cx, server, library);
    cx.session.MachineName = node;
  }
  QStringList Claims(const QString& library = "LAWLIB") const {
    QStringList values;
    for (const QStringList& row : server.Rows(library,
             "SELECT CHAR_VAL FROM TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'STACKWRIGHT' "
             "AND SUB_KEY = 'RUNNING_NODES' ORDER BY CHAR_VAL"))
      values << row.value(0);
    return values;
  }
  void RawClaim(const QString& charVal, const QString& dateVal) {
    server.Exec("LAWLIB", QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
                                         "VALUES ('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', %1, %2)")
                              .arg(charVal, dateVal));
  }

  DmTestServer server;
  TestContext<RulesContext> first;
  TestContext<RulesContext> second;
};

TEST_F(RunningNodesTest, AClaimBlocksOtherComputersOnly) {
  second.ui->controls.displayErrors = true;  // so that the test's log lines are written
  EXPECT_FALSE(ActiveStatus(first, WriteClaim, "RULE ONE"));
  EXPECT_EQ(Claims(), QStringList({"PC_1:RULE ONE"}));

  EXPECT_TRUE(ActiveStatus(second, TestClaim, "rule one"));
  EXPECT_TRUE(second.LogText().contains("Computer PC_1 is actively working on rule rule one in library LAWLIB since "));
  // Another rule of the same library is free.
  EXPECT_FALSE(ActiveStatus(second, TestClaim, "RULE TWO"));
  EXPECT_EQ(Claims(), QStringList({"PC_1:RULE ONE"}));
}

TEST_F(RunningNodesTest, OwnClaimNeverBlocksItsComputer) {
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R"));
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "R"));
  // A row of this computer that the drop did not reach (written in another case) is no hit.
  RawClaim("' pc_1 : r '", "'2026-01-01 10:00:00'");
  first.session.MachineName = "Pc_1";
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "R"));
}

TEST_F(RunningNodesTest, ClaimsGoWhenTheirComputerNextCalls) {
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R1"));
  ASSERT_FALSE(ActiveStatus(second, WriteClaim, "R2"));
  EXPECT_EQ(Claims(), QStringList({"PC_1:R1", "PCA1:R2"}));

  // A new claim replaces the computer's earlier one: one claim per library at a time.
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R3"));
  EXPECT_EQ(Claims(), QStringList({"PC_1:R3", "PCA1:R2"}));

  EXPECT_FALSE(ActiveStatus(first, DropClaims, ""));
  EXPECT_EQ(Claims(), QStringList({"PCA1:R2"}));
  EXPECT_TRUE(ActiveStatus(first, TestClaim, "R2"));
}

TEST_F(RunningNodesTest, NodeNamesAreNotPatterns) {
  // "PC_1" read as a LIKE pattern would also match "PCA1" and "PC%1" would match anything.
  ASSERT_FALSE(ActiveStatus(second, WriteClaim, "R"));
  first.session.MachineName = "PC_1";
  EXPECT_FALSE(ActiveStatus(first, DropClaims, ""));
  first.session.MachineName = "P%";
  EXPECT_FALSE(ActiveStatus(first, DropClaims, ""));
  EXPECT_EQ(Claims(), QStringList({"PCA1:R"}));
  EXPECT_TRUE(ActiveStatus(first, TestClaim, "R"));
}

TEST_F(RunningNodesTest, QuotesInNamesAreStoredOnce) {
  first.session.MachineName = "O'NEIL-PC";
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "O'BRIEN MATTERS"));
  EXPECT_EQ(Claims(), QStringList({"O'NEIL-PC:O'BRIEN MATTERS"}));
  EXPECT_TRUE(ActiveStatus(second, TestClaim, "o'brien matters"));
  ASSERT_FALSE(ActiveStatus(first, DropClaims, ""));
  EXPECT_TRUE(Claims().isEmpty());
}

TEST_F(RunningNodesTest, RowsWithoutValueOrTimeGoAtAnyCall) {
  RawClaim("NULL", "'2026-01-01 10:00:00'");
  RawClaim("'OTHER:R'", "NULL");
  RawClaim("'   '", "'2026-01-01 10:00:00'");
  RawClaim("'NOCOLON'", "'2026-01-01 10:00:00'");

  EXPECT_FALSE(ActiveStatus(first, 7, "R"));  // an unknown mode only drops

  EXPECT_EQ(Claims(), QStringList({"   ", "NOCOLON"}));
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "R"));
}

TEST_F(RunningNodesTest, EmptyRuleNameOnlyDrops) {
  ASSERT_FALSE(ActiveStatus(second, WriteClaim, "R"));
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R2"));
  EXPECT_FALSE(ActiveStatus(first, TestClaim, ""));
  EXPECT_FALSE(ActiveStatus(second, WriteClaim, ""));
  EXPECT_TRUE(Claims().isEmpty());
}

// Two computers that both found the rule free: the claim tests again, so only the first gets it,
// on both engines (Oracle libraries keep claims too, with the server's time).
TEST_F(RunningNodesTest, BothFindTheRuleFreeButOnlyOneClaimsIt) {
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    TestContext<RulesContext> one, other;
    Attach(one, "PC_1", library);
    Attach(other, "PCA1", library);
    ASSERT_FALSE(ActiveStatus(one, TestClaim, "R"));
    ASSERT_FALSE(ActiveStatus(other, TestClaim, "R"));
    EXPECT_FALSE(ActiveStatus(one, WriteClaim, "R")) << library.toStdString();
    EXPECT_TRUE(ActiveStatus(other, WriteClaim, "r")) << library.toStdString();
    // The claim carries its time: a row without one would have gone at the last call.
    EXPECT_EQ(Claims(library), QStringList({"PC_1:R"})) << library.toStdString();
    EXPECT_TRUE(ActiveStatus(other, TestClaim, "R"));
    EXPECT_FALSE(ActiveStatus(one, DropClaims, ""));
    EXPECT_TRUE(Claims(library).isEmpty());
  }
}

TEST_F(RunningNodesTest, EmptyComputerNameBecomesTheLibraryUser) {
  first.session.MachineName.clear();
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R"));
  EXPECT_EQ(first.session.MachineName, "ADMIN");
  EXPECT_EQ(Claims(), QStringList({"ADMIN:R"}));
}

TEST_F(RunningNodesTest, VerboseLoggingIsOffDuringTheOperationUnlessErrorsAreShown) {
  first.ui->controls.verboseLogging = true;
  first.ui->controls.displayErrors = false;
  const int pumpsBefore = first.scripted->pumpCount;
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "QUIET RULE"));
  EXPECT_TRUE(first.ui->VerboseLogging());
  EXPECT_FALSE(first.LogText().contains("Determining whether another computer is actively working on rule QUIET RULE"));
  EXPECT_EQ(first.scripted->pumpCount, pumpsBefore + 1);

  first.ui->controls.displayErrors = true;
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "LOUD RULE"));
  EXPECT_TRUE(first.LogText().contains(
      "Determining whether another computer is actively working on rule LOUD RULE in library LAWLIB"));

  first.ui->controls.verboseLogging = false;
  EXPECT_FALSE(ActiveStatus(first, TestClaim, "R"));
  EXPECT_FALSE(first.ui->VerboseLogging());
}

TEST_F(RunningNodesTest, WithoutASessionNothingIsTouched) {
  ASSERT_FALSE(ActiveStatus(first, WriteClaim, "R"));
  TestContext<RulesContext> detached;
  detached.session.MachineName = "PC_1";
  EXPECT_FALSE(ActiveStatus(detached, DropClaims, ""));
  EXPECT_EQ(Claims(), QStringList({"PC_1:R"}));
  // The failed session check stays silent for this caller: no report, no exit question.
  EXPECT_TRUE(detached.scripted->shown.empty());
}

TEST(RunningNodeValueTest, SplitsAtTheFirstColon) {
  const RunningNodeValue v = SplitRunningNodeValue(" pc1 : rule:with colon ");
  EXPECT_EQ(v.node, "PC1");
  EXPECT_EQ(v.rule, "RULE:WITH COLON");
  const RunningNodeValue bare = SplitRunningNodeValue("lonely");
  EXPECT_EQ(bare.node, "LONELY");
  EXPECT_EQ(bare.rule, "");
}

}  // namespace
}  // namespace sw
