#include <gtest/gtest.h>

#include <QRegularExpression>

#include "core/sql.h"
#include "rules/rules_loader.h"
#include "settings_rows.h"

namespace sw {
namespace {

using test::AddSettingsRow;
using test::AttachRules;
using test::ClearSettingsRows;
using test::DmTestServer;
using test::TestContext;

class RulesLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsRows(server, QStringLiteral("LAWLIB"));
    ClearSettingsRows(server, QStringLiteral("ORALIB"));
    AttachRules(cx, server, QStringLiteral("LAWLIB"));
  }
  void Rule(const QString& name, const QString& key, const QVariant& charVal, const QVariant& intVal = QVariant(),
            const QString& library = QStringLiteral("LAWLIB")) {
    AddSettingsRow(server, library, key, name, charVal, intVal);
  }
  void Setting(const QString& key, const QVariant& charVal, const QVariant& intVal = QVariant(),
               const QString& library = QStringLiteral("LAWLIB")) {
    AddSettingsRow(server, library, QStringLiteral("SETTINGS"), key, charVal, intVal);
  }
  QString Field(int f, int rule = 1) const { return cx.rules.RuleTable(f, rule); }
  void SwitchTo(const QString& library) {
    AttachRules(cx, server, library);
    LoadLibraryRules(cx);
  }

  DmTestServer server;
  TestContext<RulesContext> cx;
};

// A CHAR_VAL whose four slices and the text beyond them can be told apart.
QString SlicedValue() {
  return QString(254, 'A') + QString(254, 'B') + QString(254, 'C') + QString(254, 'D') + QString(40, 'E');
}

TEST_F(RulesLoaderTest, EveryValueFormLandsInItsField) {
  const QString name = QStringLiteral("alpha");
  Rule(name, QStringLiteral("RULE_VALUES"), QStringLiteral("  %APPLICATION.APPLICATION% = 'MSWORD'  "));
  Rule(name, QStringLiteral("RULE_TEMPLATE"), SlicedValue());            // text: four slices, no more
  Rule(name, QStringLiteral("RULE_STACKWRIGHT_TEXT"), QStringLiteral("   ") + SlicedValue());
  Rule(name, QStringLiteral("RULE_EMAIL_NAME"), QStringLiteral("  ") + SlicedValue());  // first slice, blanks kept
  Rule(name, QStringLiteral("RULE_EMAIL_LIBRARY"), QStringLiteral(" ORALIB "));
  Rule(name, QStringLiteral("RULE_STACKWRIGHT_SQL_1"), QStringLiteral("  SELECT  "));  // raw text
  Rule(name, QStringLiteral("RULE_WORKSPACE_AUTHOR"), QVariant(), 3);
  Rule(name, QStringLiteral("RULE_APPEND_TRUSTEES"), QStringLiteral("ignored"), -1);
  Rule(name, QStringLiteral("RULE_WORKSPACE_TYPIST"), QStringLiteral("7"));  // a number field reads INT_VAL only

  LoadLibraryRules(cx);

  ASSERT_EQ(cx.rules.RuleCount(), 1);
  EXPECT_EQ(Field(field::RuleLibrary), "LAWLIB");
  EXPECT_EQ(Field(field::RuleName), "ALPHA");
  EXPECT_EQ(Field(field::RULE_VALUES), "%APPLICATION.APPLICATION% = 'MSWORD'");
  EXPECT_EQ(Field(field::RULE_TEMPLATE), SlicedValue().left(1016));
  EXPECT_EQ(Field(field::RULE_STACKWRIGHT_TEXT), (QStringLiteral("   ") + SlicedValue()).left(1016).trimmed());
  EXPECT_EQ(Field(field::RULE_EMAIL_NAME), (QStringLiteral("  ") + SlicedValue()).left(254));
  EXPECT_EQ(Field(field::RULE_EMAIL_LIBRARY), " ORALIB ");
  EXPECT_EQ(Field(field::RULE_STACKWRIGHT_SQL_1), "  SELECT  ");
  EXPECT_EQ(Field(field::RULE_WORKSPACE_AUTHOR), "3");
  EXPECT_EQ(Field(field::RULE_APPEND_TRUSTEES), "-1");
  EXPECT_EQ(Field(field::RULE_WORKSPACE_TYPIST), "");
  // Fields without rows stay empty in a loaded rule: defaults belong to the built-in rule only.
  EXPECT_EQ(Field(field::RULE_FORM), "");
}

TEST_F(RulesLoaderTest, ShortTextReadsThreeSlices) {
  Rule(QStringLiteral("r"), QStringLiteral("RULE_ROOT_FOLDER"), SlicedValue());
  Setting(QStringLiteral("DEFAULT_WORKSPACE"), QStringLiteral(" ") + SlicedValue());
  LoadLibraryRules(cx);
  EXPECT_EQ(Field(field::RULE_ROOT_FOLDER), SlicedValue().left(762));
  EXPECT_EQ(cx.library.DefaultWorkspace, (QStringLiteral(" ") + SlicedValue()).left(762).trimmed());
}

TEST_F(RulesLoaderTest, RuleNamesAndKeysAreMatchedAsWritten) {
  Rule(QStringLiteral("Mike"), QStringLiteral("RULE_FORM"), QStringLiteral("F1"));
  Rule(QStringLiteral("mike  "), QStringLiteral("RULE_SECURITY"), QStringLiteral("S1"));
  // Same field twice: the later row in SUB_KEY order wins, but a NULL number sets nothing.
  Rule(QStringLiteral("Mike"), QStringLiteral("RULE_WORKSPACE_AUTHOR"), QVariant(), 4);
  Rule(QStringLiteral("mike  "), QStringLiteral("RULE_FORM"), QStringLiteral("F2"));
  Rule(QStringLiteral("mike  "), QStringLiteral("RULE_WORKSPACE_AUTHOR"), QVariant());
  Rule(QStringLiteral("zulu"), QStringLiteral("RULE_NOT_A_FIELD"), QStringLiteral("x"));
  Rule(QStringLiteral(" Alpha"), QStringLiteral("RULE_FORM "), QStringLiteral("trailing blank key"));
  Rule(QStringLiteral("alpha"), QStringLiteral("RULE_SECURITY"), QStringLiteral("S2"));
  Rule(QStringLiteral("   "), QStringLiteral("RULE_FORM"), QStringLiteral("no name"));
  Rule(QStringLiteral("lower"), QStringLiteral("rule_form"), QStringLiteral("lower-case key"));

  LoadLibraryRules(cx);

  // Rules come in SUB_KEY order; a blank name adds none.
  ASSERT_EQ(cx.rules.RuleCount(), 4);
  EXPECT_EQ(Field(field::RuleName, 1), "ALPHA");
  EXPECT_EQ(Field(field::RULE_FORM, 1), "");
  EXPECT_EQ(Field(field::RULE_SECURITY, 1), "S2");
  EXPECT_EQ(Field(field::RuleName, 2), "LOWER");
  EXPECT_EQ(Field(field::RULE_FORM, 2), "lower-case key");
  EXPECT_EQ(Field(field::RuleName, 3), "MIKE");
  EXPECT_EQ(Field(field::RULE_FORM, 3), "F2");
  EXPECT_EQ(Field(field::RULE_WORKSPACE_AUTHOR, 3), "4");
  EXPECT_EQ(Field(field::RULE_SECURITY, 3), "S1");
  EXPECT_EQ(Field(field::RuleName, 4), "ZULU");
  EXPECT_EQ(Field(field::RuleLibrary, 4), "LAWLIB");
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"ALPHA", "LOWER", "MIKE", "ZULU"}));
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Initial), QStringList({"ALPHA", "LOWER", "MIKE", "ZULU"}));
}

TEST_F(RulesLoaderTest, RootFolderBecomesTheFirstTemplateLevel) {
  Rule(QStringLiteral("a"), QStringLiteral("RULE_ROOT_FOLDER"), QStringLiteral(" Clients "));
  Rule(QStringLiteral("a"), QStringLiteral("RULE_TEMPLATE"), QStringLiteral("%CLIENT% %\\% %MATTER%"));
  Rule(QStringLiteral("b"), QStringLiteral("RULE_ROOT_FOLDER"), QStringLiteral("Top"));
  Rule(QStringLiteral("c"), QStringLiteral("RULE_ROOT_FOLDER"), QStringLiteral("  *None* "));
  Rule(QStringLiteral("c"), QStringLiteral("RULE_TEMPLATE"), QStringLiteral("%X%"));
  Rule(QStringLiteral("d"), QStringLiteral("RULE_ROOT_FOLDER"), QStringLiteral("*NONE* here"));
  Rule(QStringLiteral("d"), QStringLiteral("RULE_TEMPLATE"), QStringLiteral("%Y%"));

  // The second load, after a switch away and back, is made from what the first one kept.
  for (const char* library : {"LAWLIB", "ORALIB"}) {
    SwitchTo(library);
    SwitchTo("LAWLIB");
    ASSERT_EQ(cx.rules.RuleCount(), 4);
    EXPECT_EQ(Field(field::RULE_TEMPLATE, 1), "Clients %\\% %CLIENT% %\\% %MATTER%");
    EXPECT_EQ(Field(field::RULE_TEMPLATE, 2), "Top %\\% ");
    EXPECT_EQ(Field(field::RULE_TEMPLATE, 3), "%X%");
    EXPECT_EQ(Field(field::RULE_ROOT_FOLDER, 3), "");
    EXPECT_EQ(Field(field::RULE_TEMPLATE, 4), "*NONE* here %\\% %Y%");
  }
}

TEST_F(RulesLoaderTest, MasterLibraryFillsOnlyAnEmptyMasterFolderLibrary) {
  Setting(QStringLiteral(" master_library "), QStringLiteral("  ORALIB  "));
  Rule(QStringLiteral("a"), QStringLiteral("RULE_MASTER_LIBRARY"), QVariant(), 1);
  Rule(QStringLiteral("b"), QStringLiteral("RULE_MASTER_LIBRARY"), QVariant(), 1);
  Rule(QStringLiteral("b"), QStringLiteral("RULE_MASTERFOLDER_LIBRARY"), QStringLiteral("LAWLIB"));
  Rule(QStringLiteral("c"), QStringLiteral("RULE_MASTER_LIBRARY"), QVariant(), 0);

  LoadLibraryRules(cx);

  ASSERT_EQ(cx.rules.RuleCount(), 3);
  EXPECT_EQ(Field(field::RULE_MASTERFOLDER_LIBRARY, 1), "ORALIB");
  EXPECT_EQ(Field(field::RULE_MASTERFOLDER_LIBRARY, 2), "LAWLIB");
  EXPECT_EQ(Field(field::RULE_MASTERFOLDER_LIBRARY, 3), "");

  // Without the setting the field stays empty.
  server.Exec("LAWLIB", "DELETE FROM TARN_SETTINGS WHERE SECTION_KEY = 'SETTINGS'");
  LoadLibraryRules(cx);
  EXPECT_EQ(Field(field::RULE_MASTERFOLDER_LIBRARY, 1), "");
}

TEST_F(RulesLoaderTest, SettingsRowsRefreshTheLibrarySettingsTheyName) {
  cx.library.ProfileExcludeColumn = "before";
  cx.library.DefaultWorkspace = "kept";
  cx.library.TopLevelWarning = 0;
  Setting(QStringLiteral("PROFILE_EXCLUDE_COLUMN"), QStringLiteral(" X_COLUMN "));
  Setting(QStringLiteral("TopLevelWarning"), QVariant(), 1);
  Setting(QStringLiteral("EMAIL_SERVER"), QStringLiteral("mail"));
  AddSettingsRow(server, "LAWLIB", "SETTINGS", "DEFAULT_WORKSPACE", "other product", QVariant(), "TARNMONITOR");

  // The second load is made from what the first one kept.
  for (int load = 1; load <= 2; ++load) {
    LoadLibraryRules(cx);
    EXPECT_EQ(cx.library.ProfileExcludeColumn, "X_COLUMN");
    EXPECT_EQ(cx.library.DefaultWorkspace, "kept");
    EXPECT_EQ(cx.library.TopLevelWarning, 1);
    // Settings rows are not rules: the library gets the built-in rule.
    ASSERT_EQ(cx.rules.RuleCount(), 1);
    EXPECT_EQ(Field(field::RuleName), DefaultRuleName);
    cx.library.ProfileExcludeColumn = "before";
    cx.library.TopLevelWarning = 0;
  }
}

TEST_F(RulesLoaderTest, OwnSqlIsJoinedFromThreeChunksWithBlanksRestored) {
  const QString r = QStringLiteral("sql rule");
  Rule(r, "RULE_STACKWRIGHT_SQL_1", "SELECT<SPC>DOCNUMBER<SPC>FROM");
  Rule(r, "RULE_STACKWRIGHT_SQL_2", "<SPC>[OWNER].PROFILE<SPC>WHERE");
  Rule(r, "RULE_STACKWRIGHT_SQL_3", "<SPC>DOCNUMBER<SPC>><SPC>1<SPC>");
  Rule(r, "RULE_STACKWRIGHT_SQL_4", "<SPC>AND<SPC>1=0");

  LoadLibraryRules(cx);

  ASSERT_EQ(cx.rules.RuleCount(), 1);
  EXPECT_EQ(Field(field::RULE_STACKWRIGHT_SQL_2), "<SPC>[OWNER].PROFILE<SPC>WHERE");
  ASSERT_EQ(cx.rules.RuleSqlCount(), 1);
  EXPECT_EQ(cx.rules.RuleSqlCache(1, sqlcol::Library), "LAWLIB");
  EXPECT_EQ(cx.rules.RuleSqlCache(1, sqlcol::RuleName), "SQL RULE");
  EXPECT_EQ(cx.rules.RuleSqlCache(1, sqlcol::Sql), "SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE DOCNUMBER > 1");
  EXPECT_EQ(cx.rules.RuleSqlIndex, "1");
  EXPECT_EQ(cx.rules.RuleSqlBuffer.size(), RuleSqlBufferLength);
  EXPECT_EQ(cx.rules.RuleSqlBuffer.trimmed(), "SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE DOCNUMBER > 1");
}

TEST_F(RulesLoaderTest, BlankOwnSqlAddsNoCacheRow) {
  Rule("blank", "RULE_STACKWRIGHT_SQL_1", "   ");
  Rule("blank", "RULE_STACKWRIGHT_SQL_2", QVariant());
  Rule("none", "RULE_FORM", "F");
  LoadLibraryRules(cx);
  EXPECT_EQ(cx.rules.RuleCount(), 2);
  EXPECT_EQ(cx.rules.RuleSqlCount(), 0);
  EXPECT_EQ(cx.rules.RuleSqlIndex, "0");
}

TEST_F(RulesLoaderTest, SqlCacheKeepsOneRowPerLibraryAndRuleAcrossSwitches) {
  Rule("shared", "RULE_STACKWRIGHT_SQL_1", "SELECT<SPC>1", QVariant(), "LAWLIB");
  Rule("law only", "RULE_STACKWRIGHT_SQL_1", "SELECT<SPC>2", QVariant(), "LAWLIB");
  Rule("shared", "RULE_STACKWRIGHT_SQL_1", "SELECT<SPC>3", QVariant(), "ORALIB");

  LoadLibraryRules(cx);
  ASSERT_EQ(cx.rules.RuleSqlCount(), 2);
  const int shared = cx.rules.RuleSqlCache.Find("lawlib", "Shared");
  ASSERT_GT(shared, 0);
  // What a run of the statement leaves behind.
  cx.rules.RuleSqlCache.Set(shared, sqlcol::Status, "SQL Error");
  cx.rules.RuleSqlCache.Set(shared, sqlcol::RowCount, "12");

  SwitchTo("ORALIB");
  ASSERT_EQ(cx.rules.RuleCount(), 1);
  EXPECT_EQ(Field(field::RuleLibrary), "ORALIB");
  ASSERT_EQ(cx.rules.RuleSqlCount(), 3);
  EXPECT_EQ(cx.rules.RuleSqlCache(3, sqlcol::Library), "ORALIB");
  EXPECT_EQ(cx.rules.RuleSqlCache(3, sqlcol::Sql), "SELECT 3");

  server.Exec("LAWLIB", "UPDATE TARN_SETTINGS SET CHAR_VAL = 'SELECT<SPC>4' WHERE SUB_KEY = 'shared'");
  server.Exec("LAWLIB", "DELETE FROM TARN_SETTINGS WHERE SUB_KEY = 'law only'");
  Rule("law only", "RULE_FORM", "F", QVariant(), "LAWLIB");
  SwitchTo("LAWLIB");

  EXPECT_EQ(cx.rules.RuleSqlCount(), 3);
  EXPECT_EQ(cx.rules.RuleSqlCache(shared, sqlcol::Sql), "SELECT 4");
  EXPECT_EQ(cx.rules.RuleSqlCache(shared, sqlcol::Status), "");
  EXPECT_EQ(cx.rules.RuleSqlCache(shared, sqlcol::RowCount), "12");
  // A rule whose own SQL is gone keeps its row as it was.
  EXPECT_EQ(cx.rules.RuleSqlCache(cx.rules.RuleSqlCache.Find("LAWLIB", "LAW ONLY"), sqlcol::Sql), "SELECT 2");
}

// Rules are read again after a write of this program to the settings, after going back on it, and
// after it empties the table.
TEST_F(RulesLoaderTest, RulesAreReadAgainAfterTheProgramChangesOrUndoesItsSettings) {
  Rule("alpha", "RULE_FORM", "F");
  LoadLibraryRules(cx);
  const SqlTransaction outer = BeginTransaction(cx);
  const SqlTransaction step = BeginSavepoint(cx);
  ASSERT_TRUE(RunAndRelease(cx, "UPDATE [OWNER].TARN_SETTINGS SET CHAR_VAL = 'G' WHERE SUB_KEY = 'alpha'"));
  LoadLibraryRules(cx);
  EXPECT_EQ(Field(field::RULE_FORM), "G");
  EndTransaction(cx, step, false);
  LoadLibraryRules(cx);
  EXPECT_EQ(Field(field::RULE_FORM), "F");
  EndTransaction(cx, outer, true);
  // A whole-table delete or truncation empties the table without reporting a row.
  for (const char* clear : {"DELETE FROM [OWNER].TARN_SETTINGS", "TRUNCATE TABLE [OWNER].TARN_SETTINGS"}) {
    Rule("alpha", "RULE_FORM", "F");
    LoadLibraryRules(cx);
    ASSERT_EQ(Field(field::RuleName), "ALPHA");
    ASSERT_TRUE(RunAndRelease(cx, clear));
    LoadLibraryRules(cx);
    EXPECT_EQ(Field(field::RuleName), "***DEFAULT RULE***") << clear;
  }
}

TEST_F(RulesLoaderTest, LibraryWithoutRulesGetsTheBuiltInRule) {
  const bool hasMatters = server.Scalar("LAWLIB",
      "SELECT COUNT(*) FROM DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'").toInt() != 0;
  ASSERT_TRUE(hasMatters) << "the demo library is expected to carry matters";

  LoadLibraryRules(cx);

  ASSERT_EQ(cx.rules.RuleCount(), 1);
  EXPECT_EQ(Field(field::RuleLibrary), "LAWLIB");
  EXPECT_EQ(Field(field::RuleName), "***DEFAULT RULE***");
  EXPECT_EQ(Field(field::RULE_TEMPLATE),
            "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");
  EXPECT_EQ(Field(field::RULE_VALUES), "%APPLICATION.APPLICATION% <> 'FOLDER'");
  EXPECT_EQ(Field(field::RULE_SECURITY),
            "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63");
  EXPECT_EQ(Field(field::RULE_APPEND_TRUSTEES), "1");
  EXPECT_EQ(Field(field::RULE_WORKSPACE_AUTHOR), "0");
  EXPECT_EQ(Field(field::RULE_QUICKSEARCH_RANGE), "90");
  EXPECT_EQ(Field(field::RULE_PURPOSE), "***All Modules***");
  EXPECT_EQ(Field(field::RULE_PROFILE_FORM), "***DEFAULT FORM***");
  EXPECT_EQ(Field(field::RULE_ROOT_FOLDER), "");
  EXPECT_EQ(Field(field::RULE_EMAIL_LIBRARY), "");
  EXPECT_EQ(cx.rules.RuleSqlCount(), 0);
  EXPECT_TRUE(cx.LogText().contains("0 rule(s) identified"));
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"***DEFAULT RULE***"}));
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Initial), QStringList({"***DEFAULT RULE***"}));

  server.Exec("LAWLIB", "DELETE FROM DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'");
  LoadLibraryRules(cx);
  EXPECT_EQ(Field(field::RULE_TEMPLATE),
            "%QUILLMARK% %\\% %AUTHOR.PRIMARY_GROUP.GROUP_ID% %\\% %AUTHOR.USER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");
}

TEST_F(RulesLoaderTest, UnreadableRulesAreAnErrorNotAnEmptyLibrary) {
  Rule("a", "RULE_FORM", "F");
  LoadLibraryRules(cx);
  ASSERT_EQ(cx.rules.RuleCount(), 1);

  server.Exec("LAWLIB", "DROP TABLE TARN_SETTINGS");
  cx.ui->controls.displayErrors = true;
  LoadLibraryRules(cx);

  EXPECT_EQ(cx.rules.RuleCount(), 0);
  EXPECT_EQ(Field(field::RuleName), "");
  EXPECT_TRUE(cx.LogText().contains(QRegularExpression("ERROR:[^\n]*The rules of library LAWLIB could not be read: SQL Error #")))
      << cx.LogText().toStdString();
  // Only the first, successful load counted rules.
  EXPECT_EQ(cx.LogText().count("rule(s) identified"), 1);
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"-"}));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Critical);
}

TEST_F(RulesLoaderTest, LibraryWithoutSettingsTableLeavesMenusAndLogAlone) {
  Rule("a", "RULE_FORM", "F");
  LoadLibraryRules(cx);
  ASSERT_EQ(cx.rules.RuleCount(), 1);
  const QString logBefore = cx.LogText();

  cx.library.SettingsTableExists = false;
  LoadLibraryRules(cx);

  EXPECT_EQ(cx.rules.RuleCount(), 0);
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"A"}));
  EXPECT_EQ(cx.LogText(), logBefore);
}

TEST_F(RulesLoaderTest, MenusFollowTheRulesOfEachSwitch) {
  for (const char* name : {"one", "two", "three"}) Rule(name, "RULE_FORM", "F", QVariant(), "LAWLIB");
  Rule("solo", "RULE_FORM", "F", QVariant(), "ORALIB");

  // The core reaches the loader through its hook.
  Context& core = cx;
  core.LoadLibraryRules();
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"ONE", "THREE", "TWO"}));

  SwitchTo("ORALIB");
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"SOLO"}));
  EXPECT_EQ(cx.ui->RuleMenuCaptions(RuleMenu::Initial), QStringList({"SOLO"}));
}

}  // namespace
}  // namespace sw
