#include "core/sql.h"
#include "run/rule_sql_session.h"
#include "run/rule_statement.h"
#include "run/source_lists.h"

namespace sw::test {
namespace {

QString Term(const QString& table) {
  return table + ".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(TABLE_NAME) = '" + table +
         "' AND UPPER(RULE_NAME) LIKE 'CLIENT MATTERS')";
}

class RuleStatement : public RuleSqlSession {
 protected:
  bool Build(const RuleSpec& spec = RuleSpec{}) {
    Start(spec);
    return BuildRuleSql(cx);
  }
  const QString& Statement() const { return cx.runState.statement.RuleStatement; }
  // The rows the statement gives; the open result stays for the caller to read.
  qint64 Run() {
    EXPECT_TRUE(RunSQL(cx, Statement()));
    EXPECT_EQ(cx.session.pSQL->SqlErrorCode(), 0) << qPrintable(cx.session.pSQL->ErrDescription());
    return cx.session.pSQL->RowCount();
  }
  qint64 LiveMatters() const {
    return Scalar("SELECT COUNT(*) FROM MATTER WHERE (DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)").toLongLong();
  }
  QString CacheSql(int row) const { return cx.rules.RuleSqlCache(row, sqlcol::Sql); }
};

class DemoStatement : public RuleStatement, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { Open(GetParam()); }
};

TEST_P(DemoStatement, SelectsTheUnprocessedMattersOnly) {
  ASSERT_TRUE(Build());
  const bool oracle = IsOracleEngine(cx.session.DatabaseEngine);
  const QString budget = QString::number(10000 * LiveMatters());
  const QString as = oracle ? " " : " AS ";
  const QString filter = "((" + Term("CLIENT") + " OR " + Term("MATTER") + "))";
  QString expected = QString(oracle ? "SELECT DISTINCT " : "SELECT DISTINCT TOP " + budget + " ") + "CLIENT.CLIENT_ID" + as +
                     "\"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID" + as + "\"MATTER.MATTER_ID\", CLIENT.SYSTEM_ID" + as +
                     "\"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID" + as + "\"MATTER.SYSTEM_ID\"" + (oracle ? "" : "\r\n") +
                     " FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE " + filter +
                     (oracle ? " AND ROWNUM <= " + budget : QString()) + " ORDER BY CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC";
  EXPECT_EQ(Statement(), expected);
  EXPECT_EQ(cx.runState.lists.SourceTables, QStringList({"CLIENT", "MATTER"}));

  const qint64 all = Scalar("SELECT COUNT(*) FROM MATTER").toLongLong();
  ASSERT_GT(all, 3);
  ASSERT_EQ(Run(), all);
  // Tracking rows for the client and the matter of the first three rows, as the run writes them.
  dm::PcdSql& sql = *cx.session.pSQL;
  QStringList done;
  QString inserts;
  for (int r = 0; r < 3; ++r) {
    if (r > 0) sql.NextRow();
    done << sql.ColumnValue(5);
    for (int c : {4, 5})
      server.Exec(GetParam(), "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" +
                                  sql.ColumnValue(c) + ", '" + (c == 4 ? "CLIENT" : "MATTER") + "', 'CLIENT MATTERS', 0, '')");
  }
  sql.ReleaseResults();
  ASSERT_EQ(Run(), all - 3);
  do {
    EXPECT_FALSE(done.contains(sql.ColumnValue(5))) << qPrintable(sql.ColumnValue(5));
  } while (sql.NextRow() != 0);
  sql.ReleaseResults();
}

INSTANTIATE_TEST_SUITE_P(Engines, DemoStatement, ::testing::Values("LAWLIB", "ORALIB"));

TEST_F(RuleStatement, BuiltStatementIsSavedAndUsedWithoutReUse) {
  ASSERT_TRUE(Build());
  const int row = cx.rules.RuleSqlCache.Find("LAWLIB", "CLIENT MATTERS");
  ASSERT_GT(row, 0);
  EXPECT_EQ(cx.rules.RuleSqlIndex, QString::number(row));
  EXPECT_EQ(CacheSql(row), Statement());
  // The rule's own SQL is not used while re-use is off.
  SetRuleSqlBuffer(cx.rules, "SELECT 1 AS \"X\"");
  Start(RuleSpec{});
  SetRuleSqlBuffer(cx.rules, "SELECT 1 AS \"X\"");
  ASSERT_TRUE(BuildRuleSql(cx));
  EXPECT_TRUE(Statement().startsWith("SELECT DISTINCT TOP"));
  EXPECT_EQ(cx.rules.RuleSqlCount(), row);
}

TEST_F(RuleStatement, ReUseTakesTheOwnOrSavedStatement) {
  Options().reuseSql = true;
  // Comments, blanks and brackets ahead of the SELECT do not hide it.
  const QString own = "/* matters */ \t(select MATTER_ID from [OWNER].MATTER)";
  Start(RuleSpec{});
  SetRuleSqlBuffer(cx.rules, own);
  ASSERT_TRUE(BuildRuleSql(cx));
  EXPECT_EQ(Statement(), own);
  const int row = cx.rules.RuleSqlIndex.toInt();
  ASSERT_GT(row, 0);
  EXPECT_EQ(CacheSql(row), own);
  // Without own SQL, a saved SELECT is used; anything else gives way to a built statement.
  cx.rules.RuleSqlCache.Set(row, sqlcol::Sql, "-- two\nSELECT 2 AS \"Y\"");
  ASSERT_TRUE(Build());
  EXPECT_EQ(Statement(), "-- two\nSELECT 2 AS \"Y\"");
  EXPECT_TRUE(Log().contains("Using the existing saved SQL statement for this run of rule CLIENT MATTERS"));
  cx.rules.RuleSqlCache.Set(row, sqlcol::Sql, "UPDATE X");
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Statement().startsWith("SELECT DISTINCT TOP"));
  EXPECT_EQ(CacheSql(row), Statement());
}

TEST_F(RuleStatement, MaximumFoldersCapTheStatement) {
  Options().maxFolders = "25000";
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Statement().startsWith("SELECT DISTINCT TOP 25000 CLIENT.CLIENT_ID"));
  Options().initialize = true;
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Statement().startsWith("SELECT DISTINCT CLIENT.CLIENT_ID"));
  EXPECT_TRUE(Log().contains("Processing a maximum of 25000 folder(s) per cycle"));

  ASSERT_TRUE(ConnectLibrary(cx, "ORALIB"));
  Options().initialize = false;
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Statement().contains(" AND ROWNUM <= " + QString::number(10000 * LiveMatters()) + " ORDER BY ")) << qPrintable(Statement());
}

TEST_F(RuleStatement, ParametersJoinTheWhereClause) {
  RuleSpec spec;
  spec.values = "%MATTER.CLIENT_ID.CLIENT_NAME% <> 'nobody' or %MATTER.MATTER_ID% <> 'X'";
  ASSERT_TRUE(Build(spec));
  EXPECT_TRUE(Statement().contains(") AND  ([OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE "
                                   "CLIENT_NAME <> 'NOBODY') OR MATTER.MATTER_ID <> 'X') ORDER BY"))
      << qPrintable(Statement());
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(*) FROM MATTER").toLongLong());
  cx.session.pSQL->ReleaseResults();
  // A rule that overrides its parameters has no group, whatever the rule before it had.
  spec.overrideParameters = 1;
  spec.stackwrightText = "| MATTER.MATTER_ID <> 'X'";
  ASSERT_TRUE(Build(spec));
  EXPECT_FALSE(Statement().contains("NOBODY"));
  EXPECT_TRUE(Statement().contains(")) AND MATTER.MATTER_ID <> 'X' ORDER BY")) << qPrintable(Statement());

  // A one-dot path names the table that PROFILE's column of that name leads to, or a table of
  // the statement; one that names neither is left out.
  spec = RuleSpec{};
  spec.templateText = "%MATTER.MATTER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%";
  spec.values = "%DOCUMENTTYPE.TYPE_ID% <> 'memo'";
  ASSERT_TRUE(Build(spec));
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(*) FROM PROFILE WHERE DOCUMENTTYPE <> (SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID = 'MEMO')")
                       .toLongLong());
  cx.session.pSQL->ReleaseResults();
  spec.templateText = "%<CLIENT.CLIENT_NAME>%";
  spec.values = "%NOTATABLE.X% = 1 AND %NOTATABLE.A.B% = 1 AND %CLIENT.CLIENT_ID% <> 'c0001'";
  ASSERT_TRUE(Build(spec));
  for (const char* path : {"NOTATABLE.X", "NOTATABLE.A.B"})
    EXPECT_TRUE(Log().contains(QString("The rule parameter ") + path + " names no table of the SQL statement - the parameter is not used"));
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(DISTINCT CLIENT_NAME) FROM CLIENT WHERE CLIENT_ID <> 'C0001'").toLongLong());
  cx.session.pSQL->ReleaseResults();
}

TEST_F(RuleStatement, OwnQualifierOpensTheWhereClauseWhenThereIsNone) {
  RuleSpec spec;
  spec.templateText = "%<CLIENT.CLIENT_NAME>%";
  spec.stackwrightText = "and client.client_id <> 'x'";
  ASSERT_TRUE(Build(spec));
  EXPECT_TRUE(Statement().endsWith(" FROM [OWNER].CLIENT  WHERE CLIENT.CLIENT_ID <> 'X'")) << qPrintable(Statement());
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(DISTINCT CLIENT_NAME) FROM CLIENT").toLongLong());
  cx.session.pSQL->ReleaseResults();
  // An empty qualifier adds nothing.
  spec.stackwrightText = "CLIENT |";
  ASSERT_TRUE(Build(spec));
  EXPECT_TRUE(Statement().endsWith(" FROM [OWNER].CLIENT")) << qPrintable(Statement());
  // Tables listed for the qualifier that no path reaches are joined for it to relate them.
  spec.templateText = "%<CLIENT.CLIENT_NAME>% %\\% %<MATTER.MATTER_ID>%";
  spec.stackwrightText = "| MATTER.CLIENT_ID = CLIENT.SYSTEM_ID";
  ASSERT_TRUE(Build(spec));
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(*) FROM MATTER").toLongLong());
  cx.session.pSQL->ReleaseResults();
}

TEST_F(RuleStatement, DocumentsRuleJoinsEveryTableItNames) {
  // APPS is reached by PROFILE's one key to it; PEOPLE by three, so the rule's text relates it.
  RuleSpec spec;
  spec.templateText = "%MATTER.CLIENT_ID.CLIENT_ID% %\\% %DOCUMENTTYPE.TYPE_ID%";
  spec.stackwrightText = "PEOPLE | [OWNER].APPS.APPLICATION = 'acrobat' AND PEOPLE.SYSTEM_ID = PROFILE.AUTHOR AND "
                         "PEOPLE.USER_ID = 'jsmith'";
  ASSERT_TRUE(Build(spec));
  const qint64 expected = Scalar("SELECT COUNT(*) FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION JOIN PEOPLE U ON "
                                 "U.SYSTEM_ID = P.AUTHOR WHERE A.APPLICATION = 'ACROBAT' AND U.USER_ID = 'JSMITH'")
                              .toLongLong();
  ASSERT_GT(expected, 0);
  EXPECT_EQ(Run(), expected);
  cx.session.pSQL->ReleaseResults();
  // Paths through one column of the documents that the joins from the first table cannot reach
  // read the documents as well.
  spec = RuleSpec{};
  spec.templateText = "%AUTHOR.USER_ID% %\\% %AUTHOR.PRIMARY_GROUP.GROUP_ID%";
  ASSERT_TRUE(Build(spec));
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(*) FROM PROFILE").toLongLong());
  cx.session.pSQL->ReleaseResults();
}

TEST_F(RuleStatement, DocumentTypeMentionAddsItsColumnAndJoinOnce) {
  RuleSpec spec;
  spec.templateText = "%FIRM% %\\% %DOCUMENTTYPE% %\\% %DOCUMENTTYPE%";
  ASSERT_TRUE(Build(spec));
  EXPECT_TRUE(Statement().contains("'DOCUMENTTYPE', DOCUMENTTYPES.SYSTEM_ID AS \"DOCUMENTTYPES.SYSTEM_ID\"")) << qPrintable(Statement());
  EXPECT_EQ(Statement().count("LEFT OUTER JOIN [OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = PROFILE.DOCUMENTTYPE"), 1);
  // The join starts from the documents, which the statement then reads.
  EXPECT_EQ(cx.runState.lists.SourceTables, QStringList({"DOCUMENTTYPES", "PROFILE"}));
  EXPECT_EQ(Run(), Scalar("SELECT COUNT(*) FROM PROFILE").toLongLong());
  cx.session.pSQL->ReleaseResults();
}

TEST_F(RuleStatement, IncompleteStatementEndsTheRule) {
  RuleSpec spec;
  spec.templateText = "FIRM";
  EXPECT_FALSE(Build(spec));
  EXPECT_EQ(cx.ui->ResultText(cx.runState.control.ResultRow, 2), "Syntax Error");
  EXPECT_TRUE(Statement().isEmpty());
  EXPECT_TRUE(cx.ui->StatusLabel(StatusWindow::Main).startsWith("Notice: SQL incomplete - check rule syntax."));
}

TEST_F(RuleStatement, InitializeForgetsTheLastSourceTableOfThisRuleOnly) {
  server.Exec("LAWLIB", "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES "
                        "(1, 'MATTER', 'CLIENT MATTERS', 0, ''), (2, 'CLIENT', 'CLIENT MATTERS', 0, ''), "
                        "(3, 'MATTER', 'CLIENT_MATTERS', 0, '')");
  Options().initialize = true;
  RuleSpec spec;
  spec.name = "CLIENT_MATTERS";
  ASSERT_TRUE(Build(spec));
  EXPECT_TRUE(Log().contains("Initializing folder column item MATTER"));
  EXPECT_EQ(Scalar("SELECT GROUP_CONCAT(SID) FROM (SELECT SID FROM TARN_STACKWRIGHT ORDER BY SID)"), "1,2");
  ASSERT_TRUE(Build());
  EXPECT_EQ(Scalar("SELECT GROUP_CONCAT(SID) FROM TARN_STACKWRIGHT"), "2");
}

TEST(RuleStatementText, LinkConditionsAreAddedOnce) {
  QString where = "A.X = B.Y";
  AppendLinkConditions("b.y=a.x AND C.Z >= 3 or D.W = 1", where);
  EXPECT_EQ(where, "A.X = B.Y AND C.Z >= 3 OR D.W = 1");
  AppendLinkConditions("BRAND.ID = 4", where);
  EXPECT_EQ(where, "A.X = B.Y AND C.Z >= 3 OR D.W = 1 AND BRAND.ID = 4");
  QString empty;
  AppendLinkConditions("() AND E.F = G.H", empty);
  EXPECT_EQ(empty, "E.F = G.H");
}

TEST(RuleStatementText, OrderKeepsTheChosenDirection) {
  EXPECT_EQ(NormaliseOrderList("A.B DESC, C.D DESC"), "A.B DESC, C.D DESC");
  EXPECT_EQ(NormaliseOrderList("A.B ASC"), "A.B ASC");
  EXPECT_EQ(NormaliseOrderList("A.B"), "A.B ASC");
}

}  // namespace
}  // namespace sw::test
