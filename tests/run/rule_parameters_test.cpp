#include "run/column_paths.h"
#include "run/folder_template.h"
#include "run/rule_parameters.h"
#include "run/rule_sql_session.h"
#include "run/source_lists.h"

namespace sw::test {
namespace {

TEST(DateTokens, CountBackFromToday) {
  const QDate today(2026, 3, 9);
  EXPECT_EQ(ReplaceDateTokens(">= '%TODAY-7%'", today), ">= '2026-03-02'");
  EXPECT_EQ(ReplaceDateTokens(">= '%TODAY+7%'", today), ">= '2026-03-02'");
  EXPECT_EQ(ReplaceDateTokens("= '%TODAY%' OR < '%TODAY30%'", today), "= '2026-03-09' OR < '2026-02-07'");
  // Without its closing "%" only the token's letters go; the number still counts.
  EXPECT_EQ(ReplaceDateTokens("= %TODAY 5", today), "= 2026-03-04 5");
  QStringList logged;
  ReplaceDateTokens("%TODAY1% %TODAY2%", today, [&](const QString& d) { logged << d; });
  EXPECT_EQ(logged, QStringList({"2026-03-08", "2026-03-07"}));
}

class RuleParameters : public RuleSqlSession {
 protected:
  void Parse(const QString& values, const QString& templateText = QStringLiteral("%MATTER.CLIENT_ID.CLIENT_ID%"),
             double overrideParameters = 0) {
    RuleSpec spec;
    spec.templateText = templateText;
    spec.values = values;
    spec.overrideParameters = overrideParameters;
    Start(spec);
    ASSERT_TRUE(ParseFolderTemplate(cx));
    ResolveColumnPaths(cx);
    BuildSourceLists(cx);
    ParseRuleParameters(cx);
  }
  const std::vector<RuleQualifier>& Q() const { return cx.runState.params.RuleQualifiers; }
  QStringList AndOrs() const {
    QStringList out;
    for (const RuleQualifier& q : Q()) out << q.AndOr;
    return out;
  }
};

TEST_F(RuleParameters, OverrideSkipsThemAndForgetsEarlierOnes) {
  Parse("%MATTER.MATTER_ID% = 'X'");
  ASSERT_EQ(Q().size(), 1u);
  Parse("%MATTER.MATTER_ID% >= '%TODAY%'", "%MATTER.CLIENT_ID.CLIENT_ID%", 1);
  EXPECT_TRUE(Q().empty());
  EXPECT_TRUE(Log().contains("Skipping rule parameters"));
  EXPECT_FALSE(Log().contains("Date String in rule parsed to"));
}

TEST_F(RuleParameters, NothingRelatedGivesTheNotice) {
  Parse("");
  EXPECT_TRUE(Q().empty());
  EXPECT_TRUE(Log().contains("Notice: There are no rule qualifiers to compare"));
  Parse("%APPLICATION.APPLICATION% <> 'FOLDER'");
  EXPECT_TRUE(Q().empty());
  EXPECT_TRUE(Log().contains("Checking for match on syntax qualifier APPLICATION"));
  EXPECT_TRUE(Log().contains("Notice: The rule parameter APPLICATION.APPLICATION is not associated with the template - "
                             "the parameter is not used"));
}

TEST_F(RuleParameters, DefaultParameterKeptWithAnApplicationItem) {
  Parse("%APPLICATION.APPLICATION% <> 'FOLDER'", "%APPLICATION.APPLICATION% %\\% %MATTER.MATTER_ID%");
  ASSERT_EQ(Q().size(), 1u);
  EXPECT_EQ(Q()[0].ColumnPath, "APPLICATION.APPLICATION");
  EXPECT_EQ(Q()[0].Comparison, " <> 'FOLDER'");
  EXPECT_EQ(Q()[0].AndOr, "-1");
  EXPECT_TRUE(Log().contains("Found Internal qualifier: APPLICATION (APPLICATION.APPLICATION)"));
}

TEST_F(RuleParameters, ConnectorsAndCase) {
  Parse("%matter.client_id.client_name% = 'acme' AND [OWNER].MATTER.MATTER_ID = 'A' OR %MATTER.X% > 1",
        "%matter.client_id.client_id%");
  ASSERT_EQ(Q().size(), 3u);
  EXPECT_EQ(AndOrs(), QStringList({"-1", "1", "-1"}));
  EXPECT_EQ(Q()[0].Comparison, " = 'ACME'");
  EXPECT_EQ(Q()[1].ColumnPath, "MATTER.MATTER_ID");
  EXPECT_EQ(Q()[1].Comparison, "= 'A'");
  EXPECT_EQ(Q()[2].ColumnPath, "MATTER.X");
}

TEST_F(RuleParameters, LikePatternNeedsThePathBetweenPercentSigns) {
  Parse("MATTER.MATTER_ID LIKE 'A%' AND %MATTER.MATTER_ID% LIKE 'B%'");
  ASSERT_EQ(Q().size(), 1u);
  EXPECT_EQ(Q()[0].Comparison, " LIKE 'B%'");
}

TEST_F(RuleParameters, ParenthesesMakeOneClause) {
  Parse("(%MATTER.X% = 1 OR %B.Y% = 2) AND %MATTER.Z% = 3", "%MATTER.MATTER_ID%");
  ASSERT_EQ(Q().size(), 2u);
  EXPECT_EQ(Q()[0].ColumnPath, "MATTER.X");
  EXPECT_EQ(Q()[0].Comparison, " = 1 OR %B.Y% = 2");
  EXPECT_EQ(Q()[0].AndOr, "-1");
  EXPECT_EQ(Q()[1].ColumnPath, "MATTER.Z");
}

TEST_F(RuleParameters, LongPathBecomesASubSelect) {
  Parse("%MATTER.CLIENT_ID.CLIENT_NAME% = 'ACME'");
  ASSERT_EQ(Q().size(), 1u);
  EXPECT_EQ(Q()[0].SubSelect, "[OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_NAME = 'ACME')");
  EXPECT_EQ(Q()[0].Level, "0");
}

TEST_F(RuleParameters, OddApostrophesAreCompletedInBothTexts) {
  Parse("%MATTER.CLIENT_ID.CLIENT_NAME% = 'O''BRIEN");
  ASSERT_EQ(Q().size(), 1u);
  EXPECT_EQ(Q()[0].Comparison, " = 'O''BRIEN'");
  EXPECT_EQ(Q()[0].SubSelect, "[OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_NAME = 'O''BRIEN')");
}

TEST_F(RuleParameters, ExternalLinkTemplateKeepsClausesOnItsTables) {
  // PROFILE.CLIENT_ID leads to CLIENT, the table of the link.
  Parse("%CLIENT_ID.CLIENT_NAME% <> 'X' AND %NOSUCH.Y% = 1 AND %PROFILE.DOCNAME% = 'A'",
        "%<CLIENT.CLIENT_NAME|[OWNER].CLIENT|CLIENT.SYSTEM_ID = PROFILE.CLIENT_ID>%");
  ASSERT_EQ(Q().size(), 2u);
  EXPECT_EQ(Q()[0].ColumnPath, "CLIENT_ID.CLIENT_NAME");
  EXPECT_TRUE(Log().contains("Found External qualifier: CLIENT (CLIENT_ID.CLIENT_NAME) <> 'X'"));
  // A first part that is no key of PROFILE is kept on trust; PROFILE itself is not.
  EXPECT_EQ(Q()[1].ColumnPath, "NOSUCH.Y");
}

}  // namespace
}  // namespace sw::test
