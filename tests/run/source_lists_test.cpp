#include "core/sql.h"
#include "run/column_paths.h"
#include "run/folder_template.h"
#include "run/rule_sql_session.h"
#include "run/source_lists.h"

namespace sw::test {
namespace {

QString Term(const QString& table, const QString& rule = QStringLiteral("CLIENT MATTERS")) {
  return table + ".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(TABLE_NAME) = '" + table +
         "' AND UPPER(RULE_NAME) LIKE '" + rule + "')";
}

class SourceLists : public RuleSqlSession {
 protected:
  void Build(RuleSpec spec) {
    Start(spec);
    ASSERT_TRUE(ParseFolderTemplate(cx));
    ResolveColumnPaths(cx);
    BuildSourceLists(cx);
  }
  void Build(const QString& templateText, const QString& stackwrightText = QString()) {
    RuleSpec spec;
    spec.templateText = templateText;
    spec.stackwrightText = stackwrightText;
    Build(spec);
  }
  const SourceListState& L() const { return cx.runState.lists; }
};

TEST_F(SourceLists, DemoRuleLists) {
  Build(RuleSpec{});
  EXPECT_EQ(L().SelectList, "CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID AS \"MATTER.MATTER_ID\"");
  EXPECT_EQ(L().SidSelectList, ", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"");
  EXPECT_EQ(L().SourceTables, QStringList({"CLIENT", "MATTER"}));
  EXPECT_EQ(L().TableList, "[OWNER].CLIENT, [OWNER].MATTER");
  EXPECT_EQ(L().JoinList, "LEFT OUTER JOIN [OWNER].MATTER ON MATTER.CLIENT_ID = CLIENT.SYSTEM_ID ");
  EXPECT_EQ(L().OrderList, "CLIENT.CLIENT_ID ASC, MATTER.MATTER_ID ASC");
  EXPECT_EQ(L().ProcessedRowFilter, "((" + Term("CLIENT") + " OR " + Term("MATTER") + ")");
  EXPECT_EQ(L().FilterGroupCount, 1);
  EXPECT_EQ(L().LastAddedTable, "[OWNER].MATTER");
}

TEST_F(SourceLists, EachLevelGroupsItsTerms) {
  Build("%MATTER.MATTER_ID% %\\% %CLIENT_ID.INDUSTRY_ID.DESCRIPTION%");
  EXPECT_EQ(L().ProcessedRowFilter, "((" + Term("MATTER") + ") OR (" + Term("INDUSTRY") + " OR " + Term("CLIENT") + ")");
  Options().initialize = true;
  Build("%MATTER.MATTER_ID% %\\% %CLIENT_ID.INDUSTRY_ID.DESCRIPTION%");
  EXPECT_EQ(L().ProcessedRowFilter, "(" + Term("MATTER") + " OR " + Term("INDUSTRY") + " OR " + Term("CLIENT"));
  EXPECT_EQ(L().FilterGroupCount, 1);
}

TEST_F(SourceLists, TermOfATableReachedLaterIsPlacedInThatItemsLevel) {
  Build("%CLIENT_ID.INDUSTRY_ID.DESCRIPTION% %\\% %MATTER.CLIENT_ID.CLIENT_NAME%");
  EXPECT_TRUE(Log().contains("Skipping Stackwright qualifying table CLIENT for now"));
  EXPECT_EQ(L().ProcessedRowFilter, "((" + Term("INDUSTRY") + ") OR (" + Term("CLIENT") + " OR " + Term("MATTER") + ")");
  EXPECT_EQ(L().SourceTables, QStringList({"INDUSTRY", "CLIENT", "MATTER"}));
}

TEST_F(SourceLists, DescendingOrder) {
  Options().processDescending = true;
  Build(RuleSpec{});
  EXPECT_EQ(L().OrderList, "CLIENT.CLIENT_ID DESC, MATTER.MATTER_ID DESC");
}

TEST_F(SourceLists, RepeatedColumnsAndSystemIds) {
  Build("%MATTER.MATTER_ID% %\\% %MATTER.MATTER_ID% %\\% %MATTER.SYSTEM_ID% %MATTER.SYSTEM_ID%");
  EXPECT_EQ(L().SelectList, "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", '\\', MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", '\\', "
                          "MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\"");
  EXPECT_EQ(L().OrderList, "MATTER.MATTER_ID ASC");
  EXPECT_EQ(L().SidSelectList.count("MATTER.SYSTEM_ID AS"), 1);
}

TEST_F(SourceLists, FixedTextIsASafeLiteral) {
  Build("%MATTER.MATTER_ID% 's file");
  EXPECT_EQ(L().SelectList, "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", ' ''s file'");
}

TEST_F(SourceLists, StackwrightTableListAndQualifier) {
  Build("%MATTER.MATTER_ID%", ",, CLIENT ,,  MATTER, client , | CLIENT.CLIENT_ID = MATTER.CLIENT_ID");
  EXPECT_EQ(L().TableList, "[OWNER].CLIENT, [OWNER].MATTER");
  EXPECT_TRUE(Log().contains("Stackwright Text is: CLIENT , MATTER, client"));
  // MATTER was listed by the text: its item places no term and adds no system id.
  EXPECT_TRUE(L().ProcessedRowFilter.isEmpty());
  EXPECT_TRUE(L().SidSelectList.isEmpty());

  Build("%MATTER.MATTER_ID%", "| [OWNER].CLIENT.CLIENT_ID = 1 AND [OWNER].INDUSTRY.X = 2");
  EXPECT_EQ(L().TableList, "[OWNER].CLIENT, [OWNER].INDUSTRY, [OWNER].MATTER");
  EXPECT_TRUE(Log().contains("Adding table (2): [OWNER].INDUSTRY"));

  Build("%MATTER.MATTER_ID%", "[OWNER].CLIENT.CLIENT_ID = 1");
  EXPECT_EQ(L().TableList, "[OWNER].CLIENT, [OWNER].MATTER");

  Build("%A%", "DOCSADM.CLIENT, docsadm.matter |");
  EXPECT_EQ(L().TableList, "[OWNER].CLIENT, [OWNER].DOCSADM.MATTER");
}

TEST(SourceListText, NormalisedTableListAndQualifierTables) {
  EXPECT_EQ(NormaliseTableList(",,A,,B,"), "A,B");
  EXPECT_EQ(NormaliseTableList(" , A  ,   B , "), "A , B");
  EXPECT_EQ(QualifierTables("[OWNER].A.X = [OWNER].B.Y AND [OWNER].C"), QStringList({"A", "B"}));
  EXPECT_EQ(QualifierTables("[owner].A.X = 1"), QStringList());
}

TEST_F(SourceLists, WorkspaceLinksOfThePreviousTable) {
  server.Exec("LAWLIB", "INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME, FTBNAME, FCOLNAME) VALUES "
                        "(990001, 'MATTER', 'attorney ', 'PEOPLE', 'SYSTEM_ID'), (990002, 'MATTER', 'TEAM', 'GROUPS', 'SYSTEM_ID')");
  RuleSpec spec;
  spec.workspaceAuthor = 1;
  cx.runState.rows.GroupLinkValue = "stale";
  Build(spec);
  EXPECT_EQ(L().PeopleLinkTable, "MATTER");
  EXPECT_EQ(L().PeopleLinkColumn, "ATTORNEY");
  EXPECT_EQ(L().PeopleLinkKey, "CLIENT_ID");
  EXPECT_EQ(L().GroupLinkTable, "MATTER");
  EXPECT_EQ(L().GroupLinkColumn, "TEAM");
  EXPECT_EQ(L().GroupLinkKey, "CLIENT_ID");
  EXPECT_TRUE(cx.runState.rows.GroupLinkValue.isEmpty());
  // Without workspaces for the author nothing is looked for.
  Build(RuleSpec{});
  EXPECT_TRUE(L().PeopleLinkTable.isEmpty());
  EXPECT_EQ(Count("FTBNAME IN ('GROUPS', 'PEOPLE')"), 1);
}

TEST_F(SourceLists, RuleNamePatternMatchesThatRuleOnly) {
  EXPECT_EQ(RuleNameLike(cx, "a_b[1]%'"), "LIKE 'A[_]B[[]1][%]'''");
  EXPECT_EQ(ProcessedRowTerm(cx, "matter", "CLIENT MATTERS"), Term("MATTER"));
  // The tracking rows of a rule whose name the pattern would otherwise match stay out of it.
  const QString matter = Scalar("SELECT SYSTEM_ID FROM MATTER ORDER BY MATTER_ID LIMIT 1");
  server.Exec("LAWLIB", "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + matter +
                            ", 'MATTER', 'AXB', 0, '')");
  const QString sql = "SELECT COUNT(*) FROM [OWNER].MATTER WHERE " + ProcessedRowTerm(cx, "MATTER", "A_B");
  ASSERT_TRUE(RunSQL(cx, sql));
  EXPECT_EQ(cx.session.pSQL->ColumnValue(1), Scalar("SELECT COUNT(*) FROM MATTER"));
  cx.session.pSQL->ReleaseResults();

  ASSERT_TRUE(ConnectLibrary(cx, "ORALIB"));
  EXPECT_EQ(RuleNameLike(cx, "a_b[1]"), "LIKE 'A\\_B[1]' ESCAPE '\\'");
  EXPECT_EQ(RuleNameLike(cx, "CLIENT MATTERS"), "LIKE 'CLIENT MATTERS'");
  const QString oraMatter = Scalar("SELECT SYSTEM_ID FROM MATTER ORDER BY MATTER_ID LIMIT 1");
  server.Exec("ORALIB", "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + oraMatter +
                            ", 'MATTER', 'AXB', 0, ''), (" + oraMatter + ", 'MATTER', 'A_B', 0, '')");
  ASSERT_TRUE(RunSQL(cx, "SELECT COUNT(*) FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(RULE_NAME) " + RuleNameLike(cx, "a_b")));
  EXPECT_EQ(cx.session.pSQL->ColumnValue(1), "1");
  cx.session.pSQL->ReleaseResults();
}

}  // namespace
}  // namespace sw::test
