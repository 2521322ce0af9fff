// Reading the rule's rows: the row table and its headers, trimming by header form, the outcome
// recorded in the saved-SQL row, errors and empty results, joins recovered from the rule's own
// statement, the rows' e-mail addresses and the search libraries.
#include <gtest/gtest.h>

#include "run/folder_metadata.h"
#include "row_session.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

class ReadRowsTest : public test::RowSession {
 protected:
  // A saved-SQL row for the rule, as the statement step leaves it.
  int CacheRowForRule() {
    const int row = cx.rules.RuleSqlCache.Add(Law, test::DemoRule);
    cx.rules.RuleSqlCache.Set(row, sqlcol::Sql, cx.runState.statement.RuleStatement);
    cx.rules.RuleSqlCache.Set(row, sqlcol::Status, QStringLiteral("old"));
    cx.rules.RuleSqlCache.Set(row, sqlcol::RowCount, QStringLiteral("99"));
    cx.rules.RuleSqlIndex = QString::number(row);
    return row;
  }
  qint64 SearchFlag(const QString& library) {
    for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i)
      if (cx.session.FusionLibraries->Item(i)->Name() == library) return cx.session.FusionLibraries->Item(i)->SearchFlag();
    return 99;
  }
  void SetSearchFlag(const QString& library, qint64 flag) {
    for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i)
      if (cx.session.FusionLibraries->Item(i)->Name() == library) cx.session.FusionLibraries->Item(i)->SetSearchFlag(flag);
  }
  const RuleRowsState& Rows() const { return cx.runState.rows; }
};

TEST_F(ReadRowsTest, ReadsHeadersAndRowsAndRecordsTheCount) {
  const int cache = CacheRowForRule();
  ASSERT_TRUE(ReadRuleRows(cx));
  EXPECT_EQ(Rows().RowsToRead, 3);
  EXPECT_EQ(Rows().RowCount, 3);
  ASSERT_EQ(Rows().ColumnCount, 5);
  EXPECT_EQ(Rows().RowTable[0][1], "CLIENT.CLIENT_ID");
  EXPECT_EQ(Rows().RowTable[0][4], "MATTER.SYSTEM_ID");
  EXPECT_EQ(Rows().RowTable[1][2], "\\");
  EXPECT_EQ(Rows().RowTable[1][3], "M00001");
  EXPECT_EQ(Rows().RowTable[3][3], "M00003");
  EXPECT_EQ(Rows().RowTable[1][4], Sql(Law, "SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = 'M00001'"));
  EXPECT_EQ(cx.ui->CounterTotal(), "3");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::Status), "");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::RowCount), "3");
  EXPECT_FALSE(cx.rules.RuleSqlCache(cache, sqlcol::Sql).isEmpty());
  const QString log = Log();
  EXPECT_TRUE(log.contains("3 SQL value(s) match the folder template"));
  EXPECT_TRUE(log.contains("Reading 3 SQL rows for rule CLIENT MATTERS"));
  EXPECT_TRUE(log.contains("3 new folder(s) with 5 SQL item(s) will be processed."));
}

TEST_F(ReadRowsTest, TrimsOnlyValuesUnderTableDotColumnHeaders) {
  cx.runState.statement.RuleStatement = QStringLiteral(
      "SELECT '  a  ' AS \"T.COL\", '  b  ' AS \"NO DOT\", '  c  ' AS \".COL\", '  d  ' AS \"T.\", "
      "'  e  ' AS \"T.C D\" FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER'");
  ASSERT_TRUE(ReadRuleRows(cx));
  EXPECT_EQ(Rows().RowTable[1][1], "a");
  EXPECT_EQ(Rows().RowTable[1][2], "  b  ");
  EXPECT_EQ(Rows().RowTable[1][3], "  c  ");
  EXPECT_EQ(Rows().RowTable[1][4], "  d  ");
  EXPECT_EQ(Rows().RowTable[1][5], "  e  ");
}

TEST_F(ReadRowsTest, EmptyResultEndsTheRuleAndKeepsItTicked) {
  const int cache = CacheRowForRule();
  cx.runState.statement.RuleStatement = test::MatterStatement(3, "WHERE MATTER.MATTER_ID = 'NONE'");
  EXPECT_FALSE(ReadRuleRows(cx));
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main),
            "There are no new folders in library LAWLIB to add for rule CLIENT MATTERS");
  EXPECT_TRUE(RuleTicked());
  EXPECT_EQ(ResultsText(), "Working...");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::Status), "");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::RowCount), "0");
  EXPECT_FALSE(cx.rules.RuleSqlCache(cache, sqlcol::Sql).isEmpty());
}

TEST_F(ReadRowsTest, SqlErrorUnticksTheRuleAndForgetsItsStatement) {
  const int cache = CacheRowForRule();
  cx.runState.statement.RuleStatement = QStringLiteral("SELECT NOTHING FROM [OWNER].NO_SUCH_TABLE");
  EXPECT_FALSE(ReadRuleRows(cx));
  const QString status = cx.ui->StatusLabel(StatusWindow::Main);
  EXPECT_TRUE(status.startsWith("SQL Error: ")) << status.toStdString();
  EXPECT_TRUE(status.endsWith(" occurred trying to identify new folders"));
  EXPECT_FALSE(status.startsWith("SQL Error: 0 "));
  EXPECT_EQ(ResultsText(), "SQL Error");
  EXPECT_FALSE(RuleTicked());
  EXPECT_TRUE(Log().contains("NOT saving the SQL statement from this run of rule CLIENT MATTERS"));
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::Sql), "");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::Status), "SQL Error");
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::RowCount), "0");
}

TEST_F(ReadRowsTest, SqlErrorChangesNothingOnceTheResultsRowMovedOn) {
  const int cache = CacheRowForRule();
  cx.ui->SetResultText(cx.runState.control.ResultRow, 2, QStringLiteral("Finished"));
  cx.runState.statement.RuleStatement = QStringLiteral("SELECT NOTHING FROM [OWNER].NO_SUCH_TABLE");
  EXPECT_FALSE(ReadRuleRows(cx));
  EXPECT_EQ(ResultsText(), "Finished");
  EXPECT_TRUE(RuleTicked());
  EXPECT_EQ(cx.rules.RuleSqlCache(cache, sqlcol::Status), "old");
  EXPECT_FALSE(cx.rules.RuleSqlCache(cache, sqlcol::Sql).isEmpty());
}

TEST_F(ReadRowsTest, StatementThatNeverRanIsAnErrorNotAnEmptyResult) {
  cx.runState.statement.RuleStatement.clear();
  EXPECT_FALSE(ReadRuleRows(cx));
  EXPECT_TRUE(cx.ui->StatusLabel(StatusWindow::Main).startsWith("SQL Error: "));
  EXPECT_FALSE(RuleTicked());
  EXPECT_FALSE(Log().contains("There are no new folders"));
}

TEST_F(ReadRowsTest, OwnStatementWithoutItemsYieldsItsEqualityJoins) {
  cx.runState.statement.RuleStatement = QStringLiteral(
      "SELECT CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\" FROM [OWNER].MATTER, "
      "[OWNER].CLIENT WHERE (MATTER.CLIENT_ID = CLIENT.SYSTEM_ID) AND MATTER.SYSTEM_ID NOT IN (SELECT SID FROM "
      "[OWNER].TARN_STACKWRIGHT) AND DOCSADM.CLIENT.CLIENT_ID = CLIENT.CLIENT_ID AND MATTER.MATTER_ID <> 'X' "
      "ORDER BY CLIENT.CLIENT_ID");
  ASSERT_TRUE(ReadRuleRows(cx));
  const TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items(1, TemplateProfileLink), "MATTER.CLIENT_ID = CLIENT.SYSTEM_ID");
  EXPECT_EQ(items(2, TemplateProfileLink), "CLIENT.CLIENT_ID = CLIENT.CLIENT_ID");
  EXPECT_TRUE(Log().contains("Extracting Joins from SQL Statement"));
}

TEST_F(ReadRowsTest, TemplateItemsAreKeptWhenThereAreAny) {
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
  cx.runState.statement.RuleStatement = test::MatterStatement(2, "WHERE MATTER.CLIENT_ID = CLIENT.SYSTEM_ID");
  ASSERT_TRUE(ReadRuleRows(cx));
  EXPECT_EQ(cx.runState.tmpl.ParsedTemplate.Count(), 1);
  EXPECT_FALSE(Log().contains("Extracting Joins"));
}

TEST_F(ReadRowsTest, RowsGetTheirEmailAddresses) {
  cx.runState.tmpl.EmailTemplate = QStringLiteral(" %CLIENT.CLIENT_ID% - %M.MATTER_ID%@law.example ");
  ASSERT_TRUE(ReadRuleRows(cx));
  ASSERT_EQ(Rows().RowEmailAddresses.size(), 4u);
  const QString client = Sql(Law, "SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
                                  "WHERE M.MATTER_ID = 'M00002'");
  EXPECT_EQ(Rows().RowEmailAddresses[2], client + "-M00002@law.example");
}

TEST_F(ReadRowsTest, NoEmailTemplateGivesNoAddresses) {
  ASSERT_TRUE(ReadRuleRows(cx));
  for (int r = 1; r <= 3; ++r) EXPECT_TRUE(Rows().RowEmailAddresses[r].isEmpty());
}

TEST_F(ReadRowsTest, StopWhileReadingEndsTheRule) {
  cx.run.StopRequested = true;
  EXPECT_FALSE(ReadRuleRows(cx));
  EXPECT_EQ(cx.ui->CounterTotal(), "1");
  EXPECT_FALSE(Log().contains("will be processed"));
}

TEST_F(ReadRowsTest, OnlyTheRuleAndMasterLibrariesAreSearched) {
  SetSearchFlag(Ora, -1);
  ASSERT_TRUE(ReadRuleRows(cx));
  EXPECT_EQ(SearchFlag(Law), -1);
  EXPECT_EQ(SearchFlag(Ora), 0);
  EXPECT_EQ(Log().count("as a Search Library"), 1);

  cx.runState.rule.RULE_MASTERFOLDER_LIBRARY = QStringLiteral(" oralib ");
  ASSERT_TRUE(ReadRuleRows(cx));
  EXPECT_EQ(SearchFlag(Ora), -1);
  EXPECT_TRUE(Log().contains("Setting ORALIB as a Search Library"));
}

// The address of one row, built from headers and values directly.
TEST(RowEmailAddress, ReplacesFullThenPartialTokensOncePerColumn) {
  const std::vector<QString> headers{"", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID", "NAME"};
  const std::vector<QString> values{"", "  C1  ", " M7 ", " Bob "};
  EXPECT_EQ(RowEmailAddress("%CLIENT.CLIENT_ID%.%CLIENT.CLIENT_ID%", headers, values), "C1.%CLIENT.CLIENT_ID%");
  EXPECT_EQ(RowEmailAddress("x %OTHER.PATH.MATTER_ID% y", headers, values), "xM7y");
  EXPECT_EQ(RowEmailAddress("%NAME%@firm", headers, values), "Bob@firm");
  EXPECT_EQ(RowEmailAddress("a%NAME@firm", headers, values), "a%NAME@firm");
  // A partial token with no "%" before it is the token alone.
  EXPECT_EQ(RowEmailAddress("box.MATTER_ID%@firm", headers, values), "boxM7@firm");
  EXPECT_EQ(RowEmailAddress("plain@firm", headers, values), "plain@firm");
}

}  // namespace
}  // namespace sw
