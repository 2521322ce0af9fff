#include <gtest/gtest.h>

#include "core/context.h"
#include "security/security_template.h"
#include "support/test_context.h"

namespace sw {
namespace {

using test::TestContext;

// One row as "P:id=rights" or "G:id=rights".
QString RowText(const TemplateTrustee& row) {
  const QString kind = row.UserId.isEmpty() ? QStringLiteral("G:") + row.GroupId : QStringLiteral("P:") + row.UserId;
  return kind + QStringLiteral("=") + row.Rights + (row.Existing.isEmpty() ? QString() : QStringLiteral(" ") + row.Existing);
}

class TemplateParse : public ::testing::Test {
 protected:
  TemplateParse() {
    facts.ProfileSystemId = QStringLiteral("4711");
    facts.AuthorUserId = QStringLiteral("JSMITH");
    facts.TypistUserId = QStringLiteral("MJONES");
    facts.AuthorGroupId = QStringLiteral("LITIGATION");
    facts.TypistGroupId = QStringLiteral("CORPORATE");
  }
  QStringList Parse(const QString& text) {
    list = ParseSecurityTemplate(cx, text, facts);
    QStringList rows;
    for (const TemplateTrustee& row : list.rows) rows << RowText(row);
    return rows;
  }
  int LogCount(const QString& fragment) const { return static_cast<int>(cx.LogText().count(fragment)); }

  TestContext<Context> cx;
  ItemProfileFacts facts;
  TemplateTrusteeList list;
};

TEST_F(TemplateParse, PrefixedIdsAreUpperCasedAndKeepTheirOrder) {
  EXPECT_EQ(Parse(QStringLiteral("GROUP:docs_supervisors=255,user:jsmith = 63")),
            (QStringList{"G:DOCS_SUPERVISORS=255", "P:JSMITH=63"}));
  EXPECT_TRUE(list.PositiveRightsSeen);
  // Prefixed ids never count as the author, even when they name the author.
  EXPECT_FALSE(list.AuthorListed);
  EXPECT_EQ(LogCount("Adding trustee DOCS_SUPERVISORS with rights 255"), 1);
  EXPECT_EQ(LogCount("Adding trustee JSMITH with rights 63"), 1);
  EXPECT_EQ(LogCount("2 trustee(s) identified for this document"), 1);
}

TEST_F(TemplateParse, EntriesThatNameNobodyCountForNothing) {
  for (const char* text : {"JSMITH = 63", "= 63", "%AUTHOR%", "%FIRM% = 63", "PERSONS:jsmith = 5", "  ;;, ,; ,",
                           "%% = 5", "GROUP: = 5", "GROUP:SALES% = 5"}) {
    EXPECT_TRUE(Parse(QString::fromLatin1(text)).isEmpty()) << text;
    EXPECT_FALSE(list.PositiveRightsSeen) << text;
  }
  EXPECT_GE(LogCount("No trustees identified for this template"), 1);
  EXPECT_EQ(LogCount("Adding trustee"), 0);
}

TEST_F(TemplateParse, PrefixesDecideTheKind) {
  EXPECT_EQ(Parse(QStringLiteral("GROUPIES:sales = 5; USERNAME:jsmith = 5; people: apatel = 6; Person:tnguyen=7")),
            (QStringList{"G:SALES=5", "P:JSMITH=5", "P:APATEL=6", "P:TNGUYEN=7"}));
  EXPECT_EQ(Parse(QStringLiteral("GROUP:a:b = 5")), QStringList{"G:A:B=5"});
}

TEST_F(TemplateParse, PlaceholdersResolveAgainstTheItem) {
  EXPECT_EQ(Parse(QStringLiteral("%author.user_id% = 1; % typist % = 2; %AUTHOR.PRIMARY_GROUP.GROUP_ID% = 3; "
                                 "TYPIST.PRIMARY_GROUP% = 4")),
            (QStringList{"P:JSMITH=1", "P:MJONES=2", "G:LITIGATION=3", "G:CORPORATE=4"}));
  EXPECT_TRUE(list.AuthorListed);
  EXPECT_TRUE(list.TypistListed);
  EXPECT_FALSE(list.DocsUsersListed);
}

TEST_F(TemplateParse, ZeroAndTextRightsBecomeTheFullMask) {
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = 0")), QStringList{"P:JSMITH=16711680"});
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = full")), QStringList{"P:JSMITH=16711680"});
}

TEST_F(TemplateParse, RightsReadAsTheLeadingNumber) {
  EXPECT_EQ(TrusteeRightsText(QStringLiteral(" 2 55 rights")), "255");
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("- 1")), "-1");
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("62.7")), "63");
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("2.5")), "2");  // half-way goes to the even neighbour
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("3.5")), "4");
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("0.4")), "16711680");
  EXPECT_EQ(TrusteeRightsText(QStringLiteral("1.2.3")), "1");
}

TEST_F(TemplateParse, RepeatedTrusteeKeepsTheHighestRights) {
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = 63; %AUTHOR% = 255")), QStringList{"P:JSMITH=255"});
  EXPECT_EQ(LogCount("Adding trustee JSMITH with rights 63"), 1);
  EXPECT_EQ(LogCount("Adding trustee JSMITH with rights 255"), 0);
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = 255; %AUTHOR% = 63")), QStringList{"P:JSMITH=255"});
}

TEST_F(TemplateParse, AuthorWhoIsAlsoTypistMakesOneRowAndBothFlags) {
  facts.TypistUserId = facts.AuthorUserId;
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = 63; %TYPIST% = 127")), QStringList{"P:JSMITH=127"});
  EXPECT_TRUE(list.AuthorListed);
  EXPECT_TRUE(list.TypistListed);
}

TEST_F(TemplateParse, MissingPrimaryGroupYieldsNothing) {
  facts.AuthorGroupId.clear();
  EXPECT_TRUE(Parse(QStringLiteral("%AUTHOR.PRIMARY_GROUP% = 127")).isEmpty());
}

TEST_F(TemplateParse, PersonAndGroupWithTheSameIdShareTheFirstRow) {
  EXPECT_EQ(Parse(QStringLiteral("USER:SALES = 5; GROUP:SALES = 9")), QStringList{"P:SALES=9"});
  EXPECT_EQ(Parse(QStringLiteral("GROUP:SALES = 9; USER:sales = 5")), QStringList{"G:SALES=9"});
}

TEST_F(TemplateParse, NegativeRightsStayAndAreNotPositive) {
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR% = -1")), QStringList{"P:JSMITH=-1"});
  EXPECT_FALSE(list.PositiveRightsSeen);
}

TEST_F(TemplateParse, DocsUsersFlagComesFromPlaceholdersOnly) {
  facts.AuthorGroupId = QStringLiteral("DOCS_USERS");
  Parse(QStringLiteral("GROUP:DOCS_USERS = 63"));
  EXPECT_FALSE(list.DocsUsersListed);
  Parse(QStringLiteral("%AUTHOR.PRIMARY_GROUP% = 63"));
  EXPECT_TRUE(list.DocsUsersListed);
}

TEST_F(TemplateParse, DefaultTemplateForAuthorAndTypistOfOneGroup) {
  facts.TypistGroupId = facts.AuthorGroupId;
  EXPECT_EQ(Parse(QStringLiteral("%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
                                 "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63")),
            (QStringList{"G:LITIGATION=127", "G:DOCS_SUPERVISORS=255", "G:DOCS_USERS=63"}));
  EXPECT_FALSE(list.DocsUsersListed);
  EXPECT_FALSE(list.AuthorListed);
}

TEST_F(TemplateParse, RunsOfSeparatorsNeverSwallowTheEntriesAfterThem) {
  EXPECT_EQ(Parse(QStringLiteral(";, USER:x = 1;,; GROUP:b = 2; GROUP:c = 3,,")),
            (QStringList{"P:X=1", "G:B=2", "G:C=3"}));
}

}  // namespace
}  // namespace sw
