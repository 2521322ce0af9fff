#include <QLocale>

#include "run/folder_template.h"
#include "run/rule_sql_session.h"

namespace sw::test {
namespace {

const QString FirmMatters =
    QStringLiteral("%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");

TEST(TemplateLevels, CutKeepsTheFirstLevelsAndDropsTheTrailingSeparator) {
  EXPECT_EQ(CutTemplateLevels(FirmMatters, 2), "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%");
  EXPECT_EQ(CutTemplateLevels(FirmMatters, 1), "%FIRM MATTERS%");
  EXPECT_EQ(CutTemplateLevels(FirmMatters, 0), FirmMatters);
  EXPECT_EQ(CutTemplateLevels(FirmMatters, 9), FirmMatters);
  EXPECT_EQ(CutTemplateLevels(FirmMatters, -1), FirmMatters);
  // A trailing separator stays without a level limit and goes with one.
  EXPECT_EQ(CutTemplateLevels("%A% %\\%", 0), "%A% %\\%");
  EXPECT_EQ(CutTemplateLevels("%A% %\\%", 5), "%A%");
  EXPECT_EQ(CutTemplateLevels("%A% %\\%", -3), "%A%");
  // Either form separates; mixed, whichever comes first.
  EXPECT_EQ(CutTemplateLevels("%A% %/% %B% %/% %C%", 2), "%A% %/% %B%");
  EXPECT_EQ(CutTemplateLevels("%A% %/% %B% %\\% %C%", 2), "%A% %/% %B%");
  EXPECT_EQ(CutTemplateLevels("%A% %\\% %B% %/% %C%", 1), "%A%");
}

TEST(TemplateLevels, CountsSeparatorsFollowedByMoreTemplate) {
  EXPECT_EQ(CountTemplateLevels(FirmMatters), 4);
  EXPECT_EQ(CountTemplateLevels("%A%"), 1);
  EXPECT_EQ(CountTemplateLevels("%A% %\\%   "), 1);
  EXPECT_EQ(CountTemplateLevels("%A% %/% %B% %\\% %C%"), 3);
}

TEST(TemplateLevels, PerCycleMaximum) {
  for (const char* text : {"", "0", "-5", "20000", "abc"}) {
    EXPECT_EQ(PerCycleMaximum(text, false), 10000) << text;
    EXPECT_EQ(PerCycleMaximum(text, true), 10000) << text;
  }
  EXPECT_EQ(PerCycleMaximum("250", false), 250);
  EXPECT_EQ(PerCycleMaximum("250", true), 0);
  EXPECT_EQ(PerCycleMaximum("12 folders", false), 12);
}

TEST(TemplateLevels, OwnerPlaceholderAndTableList) {
  EXPECT_EQ(WithOwnerPlaceholder("CLIENT", "DOCSADM"), "[OWNER].CLIENT");
  EXPECT_EQ(WithOwnerPlaceholder("DOCSADM.CLIENT", "DOCSADM"), "[OWNER].CLIENT");
  EXPECT_EQ(WithOwnerPlaceholder("docsadm.client", "DOCSADM"), "[OWNER].docsadm.client");
  EXPECT_EQ(WithOwnerPlaceholder("[OWNER].CLIENT", "DOCSADM"), "[OWNER].CLIENT");
  QString list;
  EXPECT_TRUE(AddTableListEntry(list, "[OWNER].client"));
  EXPECT_TRUE(AddTableListEntry(list, "[OWNER].MATTER"));
  EXPECT_FALSE(AddTableListEntry(list, "[OWNER].CLIENT"));
  EXPECT_FALSE(AddTableListEntry(list, "[OWNER].matter"));
  EXPECT_EQ(list, "[OWNER].CLIENT, [OWNER].MATTER");
}

class TemplateParse : public RuleSqlSession {
 protected:
  bool Parse(const QString& templateText, const QString& email = QString()) {
    RuleSpec spec;
    spec.templateText = templateText;
    spec.emailTemplate = email;
    Start(spec);
    return ParseFolderTemplate(cx);
  }
  QStringList Texts() const {
    QStringList out;
    for (int r = 1; r <= cx.runState.tmpl.ParsedTemplate.Count(); ++r) out << Item(r, TemplateItemText);
    return out;
  }
  QStringList Kinds() const {
    QStringList out;
    for (int r = 1; r <= cx.runState.tmpl.ParsedTemplate.Count(); ++r) out << Item(r, TemplateKind);
    return out;
  }
};

TEST_F(TemplateParse, SplitsLevelsIntoItemRows) {
  Options().maxFolders = "250";
  ASSERT_TRUE(Parse(FirmMatters));
  EXPECT_EQ(Texts(), QStringList({"FIRM MATTERS", "\\", "MATTER.CLIENT_ID.CLIENT_ID", "\\", "MATTER.MATTER_ID", "\\",
                                  "DOCUMENTTYPE.TYPE_ID"}));
  EXPECT_EQ(Kinds(), QStringList({"X", "/", "X", "/", "X", "/", "X"}));
  EXPECT_EQ(cx.runState.tmpl.TemplateLevelCount, 4);
  EXPECT_EQ(cx.runState.tmpl.RowBudget, 1000);
  EXPECT_TRUE(Log().contains("4 level(s) identified in the rule template"));
}

TEST_F(TemplateParse, LevelLimitCutsTheRulesTemplate) {
  RuleSpec spec;
  spec.templateText = FirmMatters;
  spec.level = 2;
  Start(spec);
  ASSERT_TRUE(ParseFolderTemplate(cx));
  EXPECT_EQ(cx.runState.rule.RULE_TEMPLATE, "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%");
  EXPECT_EQ(cx.runState.tmpl.TemplateLevelCount, 2);
  EXPECT_EQ(cx.runState.tmpl.ParsedTemplate.Count(), 3);
  EXPECT_TRUE(Log().contains("Rule Template: %FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%"));
}

TEST_F(TemplateParse, FixedTextKeepsItsBlanks) {
  ASSERT_TRUE(Parse("%MATTER.CLIENT_ID.CLIENT_ID% - %MATTER.MATTER_ID%tail"));
  EXPECT_EQ(Texts(), QStringList({"MATTER.CLIENT_ID.CLIENT_ID", " - ", "MATTER.MATTER_ID", "tail"}));
  EXPECT_EQ(Kinds(), QStringList({"X", "", "X", ""}));
}

TEST_F(TemplateParse, PercentWithoutPartnerEndsAtTheNextBlank) {
  ASSERT_TRUE(Parse("%ABC DEF"));
  EXPECT_EQ(Texts(), QStringList({"ABC", "DEF"}));
  EXPECT_EQ(Kinds(), QStringList({"X", ""}));
  ASSERT_TRUE(Parse("%ABC"));
  EXPECT_EQ(Texts(), QStringList({"ABC"}));
  EXPECT_EQ(Kinds(), QStringList({""}));
}

TEST_F(TemplateParse, BuiltInItemsTakeTheirValues) {
  ASSERT_TRUE(Parse("%library% %\\% %YEAR%-%MONTH% %\\% %DAY% %DATE% %TODAY% %MonthName%"));
  const QLocale locale = QLocale::system();
  const QDate day(2026, 3, 9);
  EXPECT_EQ(Texts(), QStringList({"LAWLIB", "\\", "2026", "-", "03", "\\", "09", "2026-03-09",
                                  locale.toString(day, QLocale::LongFormat), locale.monthName(3, QLocale::LongFormat)}));
  EXPECT_EQ(Item(1, TemplateKind), "X");
  EXPECT_EQ(Item(4, TemplateKind), "");
}

TEST_F(TemplateParse, EmailTemplateGetsOneReplacementPerItemRead) {
  ASSERT_TRUE(Parse("%MATTER.MATTER_ID%", "LIBRARY_DESC YEAR-YEAR@x"));
  // LIBRARY is replaced before LIBRARY_DESC is looked at; each name once per item read.
  EXPECT_EQ(cx.runState.tmpl.EmailTemplate, "LAWLIB_DESC 2026-YEAR@x");
  EXPECT_EQ(cx.runState.rule.RULE_EMAIL_TEMPLATE, "LIBRARY_DESC YEAR-YEAR@x");
  EXPECT_TRUE(Log().contains("eMail Template set to LAWLIB_DESC 2026-YEAR@x"));
  ASSERT_TRUE(Parse("%A% %B%", "YEAR-YEAR"));
  EXPECT_EQ(cx.runState.tmpl.EmailTemplate, "2026-2026");
}

TEST_F(TemplateParse, LibraryPartMakesAnEmptyRowOnlyRightAfterAnItem) {
  ASSERT_TRUE(Parse("{%DL%}%CLIENT_ID.CLIENT_ID%"));
  EXPECT_EQ(Texts(), QStringList({"", "CLIENT_ID.CLIENT_ID"}));
  EXPECT_EQ(Kinds(), QStringList({"", "X"}));
  ASSERT_TRUE(Parse("%A% {%DL%}"));
  EXPECT_EQ(Texts(), QStringList({"A", " {", "DL", "}"}));
  ASSERT_TRUE(Parse("%A%{LAWLIB}%B%"));
  EXPECT_EQ(Texts(), QStringList({"A", "", "B"}));
}

TEST_F(TemplateParse, ExternalLinkWithoutBarAddsItsTableOnce) {
  ASSERT_TRUE(Parse("%<client.client_name>% %\\% %<CLIENT.CLIENT_NAME>%"));
  EXPECT_EQ(cx.runState.lists.TableList, "[OWNER].CLIENT");
  EXPECT_EQ(cx.runState.lists.LastAddedTable, "[OWNER].CLIENT");
  EXPECT_EQ(Texts(), QStringList({"CLIENT.CLIENT_NAME", "\\", "CLIENT.CLIENT_NAME"}));
  EXPECT_EQ(Kinds(), QStringList({"", "/", ""}));
  ASSERT_EQ(cx.runState.tmpl.ExternalLinkTable.size(), 2u);
  EXPECT_EQ(cx.runState.tmpl.ExternalLinkTable[1].Item, "3");
  EXPECT_EQ(cx.runState.tmpl.ExternalLinkTable[1].Tables, "[OWNER].CLIENT");
  EXPECT_EQ(Log().count("Adding table (1): [OWNER].CLIENT"), 1);
  EXPECT_TRUE(Log().contains("Item #2: Columns [CLIENT.CLIENT_NAME] Tables [[OWNER].CLIENT] Joins []"));
}

TEST_F(TemplateParse, ExternalLinkParts) {
  ASSERT_TRUE(Parse("%<*NONE*|[OWNER].CLIENT|AND CLIENT.SYSTEM_ID = PROFILE.CLIENT_ID>% %<A|B>% %<>%"));
  const auto& links = cx.runState.tmpl.ExternalLinkTable;
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].Columns, "");
  EXPECT_EQ(links[0].Tables, "[OWNER].CLIENT");
  EXPECT_EQ(links[0].Joins, "CLIENT.SYSTEM_ID = PROFILE.CLIENT_ID");
  EXPECT_EQ(links[1].Columns, "A");
  EXPECT_EQ(links[1].Tables, "");
  EXPECT_EQ(links[1].Joins, "");
  EXPECT_EQ(Texts(), QStringList({"", "A", "<>"}));
  EXPECT_EQ(Kinds(), QStringList({"", "", ""}));
  EXPECT_TRUE(cx.runState.lists.TableList.isEmpty());
  EXPECT_TRUE(Log().contains("Not adding column *NONE*"));
  EXPECT_TRUE(Log().contains("Unable to parse this external link (check syntax for template)"));
}

TEST_F(TemplateParse, EmptyTemplateUnticksTheRule) {
  EXPECT_FALSE(Parse("   "));
  EXPECT_FALSE(RuleTicked());
  EXPECT_TRUE(Log().contains("Notice: Unable to parse template string - cannot continue"));
}

TEST_F(TemplateParse, ListsOfThePreviousRuleAreGone) {
  ASSERT_TRUE(Parse("%<CLIENT.CLIENT_NAME>%"));
  cx.runState.lists.SelectList = "LEFT OVER";
  cx.runState.params.RuleQualifiers.push_back({});
  ASSERT_TRUE(Parse("%A%"));
  EXPECT_TRUE(cx.runState.lists.TableList.isEmpty());
  EXPECT_TRUE(cx.runState.lists.SelectList.isEmpty());
  EXPECT_TRUE(cx.runState.tmpl.ExternalLinkTable.empty());
  EXPECT_EQ(cx.runState.params.RuleQualifierCount(), 0);
}

}  // namespace
}  // namespace sw::test
