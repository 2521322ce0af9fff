#include "run/column_paths.h"
#include "run/run.h"
#include "run/folder_template.h"
#include "run/rule_sql_session.h"

namespace sw::test {
namespace {

class ColumnPaths : public RuleSqlSession {
 protected:
  void Resolve(const QString& templateText) {
    RuleSpec spec;
    spec.templateText = templateText;
    Start(spec);
    ASSERT_TRUE(ParseFolderTemplate(cx));
    ResolveColumnPaths(cx);
  }
  // Columns 1 to 8 of a row, "|" between.
  QString Row(int row) const {
    QStringList cells;
    for (int c = TemplateItemText; c <= TemplateProfileLink; ++c) cells << Item(row, c);
    return cells.join('|');
  }
  int LookUps(const QString& column, const QString& table) const {
    return Count("WHERE COLNAME = '" + column + "' AND TBNAME = '" + table + "'");
  }
};

TEST_F(ColumnPaths, ResolvesEachPathThroughTheCatalogue) {
  Resolve("%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");
  EXPECT_EQ(Row(1), "FIRM MATTERS|P||FIRM MATTERS||||");
  EXPECT_EQ(Row(2), "\\|/||||||");
  EXPECT_EQ(Row(3), "MATTER.CLIENT_ID.CLIENT_ID|X|CLIENT|CLIENT_ID|SYSTEM_ID|CLIENT_ID|MATTER|MATTER = MATTER.SYSTEM_ID");
  EXPECT_EQ(Row(5), "MATTER.MATTER_ID|X|MATTER|MATTER_ID|SYSTEM_ID|MATTER|PROFILE|MATTER = MATTER.SYSTEM_ID");
  EXPECT_EQ(Row(7), "DOCUMENTTYPE.TYPE_ID|X|DOCUMENTTYPES|TYPE_ID|SYSTEM_ID|DOCUMENTTYPE|PROFILE|DOCUMENTTYPE = DOCUMENTTYPES.SYSTEM_ID");
}

TEST_F(ColumnPaths, EachKeyIsLookedUpOncePerLibrary) {
  Resolve("%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%");
  EXPECT_EQ(LookUps("MATTER", "PROFILE"), 1);
  EXPECT_EQ(LookUps("CLIENT_ID", "MATTER"), 1);
  // A later rule of the same library takes the keys from the cache.
  Resolve("%MATTER.MATTER_ID%");
  EXPECT_EQ(LookUps("MATTER", "PROFILE"), 1);
  EXPECT_EQ(cx.runState.columnLinks.TemplateItemCount(), 2);
  EXPECT_EQ(cx.runState.columnLinks.TemplateItemTable[0].Library, "LAWLIB");
  // Another library has a catalogue of its own.
  ASSERT_TRUE(ConnectLibrary(cx, "ORALIB"));
  Resolve("%MATTER.MATTER_ID%");
  EXPECT_EQ(LookUps("MATTER", "PROFILE"), 1);
  EXPECT_EQ(Item(1, TemplateFinalTable), "MATTER");
  EXPECT_EQ(cx.runState.columnLinks.TemplateItemCount(), 3);
}

TEST_F(ColumnPaths, LowerCasePathsAreLookedUpAsWrittenAndStoredInCapitals) {
  Resolve("%matter.client_id.client_id%");
  EXPECT_EQ(LookUps("matter", "PROFILE"), 1);
  EXPECT_EQ(Row(1), "matter.client_id.client_id|X|CLIENT|CLIENT_ID|SYSTEM_ID|CLIENT_ID|MATTER|MATTER = MATTER.SYSTEM_ID");
}

TEST_F(ColumnPaths, OnlyTextThatNamesNoColumnStaysFixedText) {
  Resolve("%Smith & Co. Ltd% %\\% %DATE% %\\% %NOSUCH% %\\% %2024.Q1%");
  EXPECT_EQ(Row(1), "Smith & Co. Ltd|||||||");
  EXPECT_EQ(Row(7), "2024.Q1|||||||");  // no name starts with a digit
  EXPECT_TRUE(Log().contains("Identifying foreign key links to PROFILE.Smith & Co"));
  // A built-in value has no dot: not a column of any table.
  EXPECT_EQ(Item(3, TemplateKind), "P");
  EXPECT_EQ(Item(3, TemplateFinalColumn), "2026-03-09");
  EXPECT_EQ(Item(5, TemplateKind), "P");
  // Nothing is cached for a miss, so the next rule asks again.
  Resolve("%Smith & Co. Ltd%");
  EXPECT_EQ(LookUps("Smith & Co", "PROFILE"), 2);
  EXPECT_FALSE(Log().contains("rror", Qt::CaseSensitive)) << qPrintable(Log());
}

// A path the catalogue does not follow, at its first name or further on, would file every row
// under a folder named after the path.
TEST_F(ColumnPaths, UnknownTableOrKeyStopsTheRuleNamingThePath) {
  const QStringList paths{"NO_SUCH_TABLE.CLIENT_ID", "MATTER.NO_SUCH_KEY.NAME"};
  for (const QString& path : paths) {
    RuleSpec spec;
    spec.templateText = "%" + path + "% %\\% %MATTER.MATTER_ID%";
    Start(spec);
    EXPECT_FALSE(BuildRuleSql(cx));
    EXPECT_TRUE(cx.runState.statement.RuleStatement.isEmpty());
  }
  const QString log = Log();
  EXPECT_TRUE(log.contains("The template path NO_SUCH_TABLE.CLIENT_ID names NO_SUCH_TABLE, which the column catalogue "
                           "of library LAWLIB does not list as a key of PROFILE - cannot continue")) << qPrintable(log);
  EXPECT_TRUE(log.contains("The template path MATTER.NO_SUCH_KEY.NAME names NO_SUCH_KEY, which the column catalogue "
                           "of library LAWLIB does not list as a key of MATTER - cannot continue"));
}

TEST_F(ColumnPaths, UnreadCatalogueStopsTheRuleInsteadOfMakingFixedText) {
  RuleSpec spec;
  spec.templateText = "%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%";
  Start(spec);
  FailStatements(cx, statements, {QStringLiteral("FROM DOCSADM.DOCSCOLUMN")});
  EXPECT_FALSE(BuildRuleSql(cx));
  EXPECT_EQ(Item(1, TemplateKind), "X") << "not taken for a fixed folder name";
  EXPECT_TRUE(Log().contains("Unable to read the column catalogue for MATTER.CLIENT_ID.CLIENT_ID in library LAWLIB "
                             "(Injected failure) - cannot continue"));
  EXPECT_TRUE(cx.runState.statement.RuleStatement.isEmpty());
}

TEST_F(ColumnPaths, LongPathRecordsItsFirstAndLastKey) {
  Resolve("%MATTER.CLIENT_ID.INDUSTRY_ID.DESCRIPTION%");
  EXPECT_EQ(Row(1), "MATTER.CLIENT_ID.INDUSTRY_ID.DESCRIPTION|X|INDUSTRY|DESCRIPTION|SYSTEM_ID|INDUSTRY_ID|CLIENT|"
                    "MATTER = MATTER.SYSTEM_ID");
}

TEST_F(ColumnPaths, ApostropheInAPathNameCannotBreakTheLookUp) {
  Resolve("%O'NEIL.NAME%");
  EXPECT_EQ(LookUps("O''NEIL", "PROFILE"), 1);
  EXPECT_EQ(Item(1, TemplateKind), "");
  EXPECT_FALSE(Log().contains("rror", Qt::CaseSensitive)) << qPrintable(Log());
}

}  // namespace
}  // namespace sw::test
