#include <gtest/gtest.h>

#include "rules/rule_table.h"
#include "security/security.h"
#include "trustee_fixture.h"

namespace sw {
namespace {

using test::FailingPcdSql;
using test::Law;
using test::Ora;

const QString DefaultTemplate = QStringLiteral(
    "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63");

class AddSecurityTest : public test::TrusteeTest {
 protected:
  bool Apply(qint64 doc, const QString& text, const QString& docType = QStringLiteral("F"),
             const QString& itemLibrary = Law) {
    return AddSecurity(cx, doc, text, 1, docType, Law, itemLibrary);
  }
  void AppendTrustees(const QString& value) { cx.rules.RuleTable.Set(field::RULE_APPEND_TRUSTEES, 1, value); }
};

TEST_F(AddSecurityTest, DefaultTemplateSecuresANewFolder) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  Grant(doc, "APATEL", "5");  // left over while security was off: it goes
  cx.ui->controls.mainStatus = QStringLiteral("Working on rule X");

  EXPECT_TRUE(Apply(doc, DefaultTemplate));

  EXPECT_EQ(Trustees(doc), (QStringList{"CORPORATE=127", "DOCS_SUPERVISORS=255", "DOCS_USERS=63", "JSMITH=191",
                                        "LITIGATION=127", "MJONES=191"}));
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "1");
  EXPECT_EQ(ProfileValue(doc, "SECURITY_LINK"), SystemId(doc));
  EXPECT_EQ(ProfileValue(doc, "SEC_REASON_LINK"), "98");
  EXPECT_EQ(LogCount("Finished adding 4 template trustees to profiled document #" + QString::number(doc)), 1);
  // What the operation borrowed of the window is given back.
  EXPECT_EQ(cx.ui->controls.mainStatus, "Working on rule X");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(AddSecurityTest, EnabledSecurityKeepsTrusteesAndRewritesNamedOnes) {
  const qint64 doc = MakeItem("JSMITH", "MJONES", 1);
  Grant(doc, "APATEL", "5");
  Grant(doc, "DOCS_SUPERVISORS", "255");

  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:DOCS_SUPERVISORS = 1")));

  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=5", "DOCS_SUPERVISORS=1", "JSMITH=191", "MJONES=191"}));
}

TEST_F(AddSecurityTest, SecondPassFindsTheTrusteesInPlace) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  ASSERT_TRUE(Apply(doc, DefaultTemplate));
  const QStringList first = Trustees(doc);

  EXPECT_TRUE(Apply(doc, DefaultTemplate));

  EXPECT_EQ(Trustees(doc), first);
  EXPECT_EQ(statements->Count(Law, "UPDATE DOCSADM.SECURITY SET ACCESSRIGHTS"), 4);
}

TEST_F(AddSecurityTest, TemplateRightsForTheAuthorReplaceTheOwnRights) {
  const qint64 byPlaceholder = MakeItem("JSMITH", "JSMITH");
  EXPECT_TRUE(Apply(byPlaceholder, QStringLiteral("%AUTHOR% = 63")));
  EXPECT_EQ(Trustees(byPlaceholder), QStringList{"JSMITH=63"});

  const qint64 byId = MakeItem("JSMITH", "JSMITH");
  EXPECT_TRUE(Apply(byId, QStringLiteral("USER:jsmith = 63")));
  EXPECT_EQ(Trustees(byId), QStringList{"JSMITH=63"});
  EXPECT_EQ(LogCount("Adding security for author JSMITH"), 1);  // only the prefixed form writes 191 first
}

TEST_F(AddSecurityTest, OnlyNegativeRightsLetEveryoneIn) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:CORPORATE = -1")));
  EXPECT_EQ(Trustees(doc), (QStringList{"0=191", "CORPORATE=-1", "JSMITH=191", "MJONES=191"}));

  const qint64 withUsers = MakeItem("JSMITH", "MJONES", 1);
  Grant(withUsers, "DOCS_USERS", "63");
  EXPECT_TRUE(Apply(withUsers, QStringLiteral("GROUP:CORPORATE = -1")));
  EXPECT_EQ(Trustees(withUsers), (QStringList{"CORPORATE=-1", "DOCS_USERS=63", "JSMITH=191", "MJONES=191"}));
}

TEST_F(AddSecurityTest, MissingAuthorBecomesTheTypist) {
  const qint64 doc = MakeItem("", "TNGUYEN");
  EXPECT_TRUE(Apply(doc, QStringLiteral("%AUTHOR.PRIMARY_GROUP% = 127")));
  EXPECT_EQ(ProfileValue(doc, "AUTHOR"), ProfileValue(doc, "TYPIST"));
  EXPECT_EQ(Trustees(doc), (QStringList{"LITIGATION=127", "TNGUYEN=191"}));
}

TEST_F(AddSecurityTest, UnknownTypistIsNotAdded) {
  const qint64 doc = MakeItem("JSMITH", "NOBODY");
  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:CORPORATE = 5")));
  EXPECT_EQ(Trustees(doc), (QStringList{"CORPORATE=5", "JSMITH=191"}));
}

TEST_F(AddSecurityTest, NothingWrittenLeavesTheItemUnsecured) {
  const qint64 doc = MakeItem("NOBODY", "NOONE");
  EXPECT_TRUE(Apply(doc, QStringLiteral("USER:GHOST = 5")));
  EXPECT_TRUE(Trustees(doc).isEmpty());
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
  EXPECT_EQ(LogCount("Enabling document security"), 0);
}

TEST_F(AddSecurityTest, DocumentsFollowTheRulesAppendSetting) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  AppendTrustees(QStringLiteral("0"));
  const int before = statements->Count(Law);

  EXPECT_TRUE(Apply(doc, DefaultTemplate, QStringLiteral("D")));
  EXPECT_EQ(statements->Count(Law), before);
  EXPECT_TRUE(Trustees(doc).isEmpty());
  EXPECT_EQ(LogCount("NOT adding security for document #" + QString::number(doc)), 1);

  AppendTrustees(QStringLiteral("1"));
  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:CORPORATE = 5"), QStringLiteral("D")));
  EXPECT_EQ(Trustees(doc), (QStringList{"CORPORATE=5", "JSMITH=191", "MJONES=191"}));
}

TEST_F(AddSecurityTest, RefusesWithoutTemplateNumberOrLibrary) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  EXPECT_FALSE(Apply(doc, QString()));
  EXPECT_FALSE(Apply(0, DefaultTemplate));
  EXPECT_EQ(LogCount("Cannot add security for document #"), 2);

  const auto library = cx.session.CurrentLibrary;
  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(Apply(doc, DefaultTemplate));
  cx.session.CurrentLibrary = library;
  EXPECT_EQ(LogCount("Library object not set - cannot continue"), 1);
  EXPECT_TRUE(Trustees(doc).isEmpty());
}

TEST_F(AddSecurityTest, FailedSessionCheckStopsAtOnce) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  cx.session.FusionApplication.reset();
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(Apply(doc, DefaultTemplate));
  EXPECT_EQ(LogCount("CheckFusion failed on AddSecuriry"), 1);
  EXPECT_TRUE(Trustees(doc).isEmpty());
}

TEST_F(AddSecurityTest, ItemWithoutProfileTakesTheOpenPath) {
  const QString everyone = QStringLiteral("SELECT COUNT(*) FROM SECURITY WHERE PERSONORGROUP = 0");
  const QString before = server.Scalar(Law, everyone);
  EXPECT_FALSE(Apply(999999, DefaultTemplate));
  EXPECT_EQ(LogCount("Fetching Typist ID and Primary Group because no Author information is found for document #999999"), 1);
  EXPECT_EQ(LogCount("Notice: Unable to access profile author and typist information for document #999999"), 1);
  EXPECT_EQ(server.Scalar(Law, everyone), before);
}

TEST_F(AddSecurityTest, TemplateNamingNobodyChangesNothing) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  Grant(doc, "APATEL", "5");
  EXPECT_TRUE(Apply(doc, QStringLiteral("FIRM:ALL = 5")));
  EXPECT_EQ(Trustees(doc), QStringList{"APATEL=5"});
  EXPECT_EQ(LogCount("No trustees identified for this template"), 1);
}

TEST_F(AddSecurityTest, WorksInTheItemsLibraryAndComesBack) {
  const qint64 doc = MakeItem("JSMITH", "MJONES", 0, Ora);
  const qint64 sameNumberHere = MakeItem("APATEL", "APATEL");
  ASSERT_EQ(doc + 1, sameNumberHere);
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET DOCNUMBER = %1 WHERE DOCNUMBER = %2").arg(doc).arg(sameNumberHere));

  EXPECT_TRUE(Apply(doc, DefaultTemplate, QStringLiteral("F"), Ora));

  EXPECT_EQ(Trustees(doc, Ora), (QStringList{"CORPORATE=127", "DOCS_SUPERVISORS=255", "DOCS_USERS=63", "JSMITH=191",
                                             "LITIGATION=127", "MJONES=191"}));
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS", Ora), "1");
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT COUNT(*) FROM SECURITY WHERE THING = ") + SystemId(sameNumberHere)), "0");
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
}

TEST_F(AddSecurityTest, UnreachableItemLibraryWritesNothingAnywhere) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  EXPECT_FALSE(Apply(doc, DefaultTemplate, QStringLiteral("F"), QStringLiteral("NOSUCHLIB")));
  EXPECT_TRUE(Trustees(doc).isEmpty());
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
  EXPECT_EQ(LogCount("Unable to connect to library NOSUCHLIB"), 1);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(AddSecurityTest, IdsWithApostrophesAreWrittenSafely) {
  server.Exec(Law, "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (990001, 'O''BRIEN', 'Quote')");
  const qint64 doc = MakeItem("JSMITH", "JSMITH");
  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:o'brien = 9")));
  EXPECT_EQ(Trustees(doc), (QStringList{"JSMITH=191", "O'BRIEN=9"}));
  EXPECT_EQ(LogCount("SQL Error"), 0);
}

TEST_F(AddSecurityTest, RejectedStatementsAreGoneOverAndNotCounted) {
  const qint64 doc = MakeItem("JSMITH", "JSMITH");
  test::FailStatements(cx, statements, QStringLiteral("INSERT INTO DOCSADM.SECURITY"));
  EXPECT_TRUE(Apply(doc, QStringLiteral("GROUP:CORPORATE = 5")));
  EXPECT_TRUE(Trustees(doc).isEmpty());
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
}

TEST_F(AddSecurityTest, RejectedReadChangesNothing) {
  const struct {
    const char* statement;
    const char* logged;
    bool authorFixedBefore;  // the read comes after the author fix
    bool broken;             // its values fail to be read instead of the database rejecting it
  } cases[] = {
      {"SELECT AUTHOR FROM", "Unable to read the author of document #", false, false},
      {"SELECT P.SYSTEM_ID,", "Unable to read the profile of document #", true, false},
      {"FROM DOCSADM.SECURITY S", "Unable to read the trustees of document #", true, false},
      {"FROM DOCSADM.SECURITY S", "Unable to read the trustees of document #", true, true},
  };
  const dm::PcdSqlPtr plain = cx.session.pSQL;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + (c.broken ? " broken" : ""));
    // Without an author and restricted to one trustee: every read has a write that would
    // follow from a wrong answer.
    const qint64 doc = MakeItem("", "TNGUYEN", 1);
    Grant(doc, "LGARCIA", "255");
    test::FailStatements(cx, statements, c.broken ? QStringList() : QStringList{QString::fromLatin1(c.statement)});
    if (c.broken) {
      auto failing = std::make_shared<FailingPcdSql>(plain);
      failing->failAfter = QString::fromLatin1(c.statement);
      failing->valuesOnly = true;
      cx.session.pSQL = failing;
    }

    EXPECT_FALSE(Apply(doc, QStringLiteral("GROUP:CORPORATE = 5")));
    cx.session.pSQL = plain;

    EXPECT_EQ(ProfileValue(doc, "AUTHOR"), c.authorFixedBefore ? ProfileValue(doc, "TYPIST") : QStringLiteral("0"));
    EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "1");
    EXPECT_EQ(Trustees(doc), QStringList{"LGARCIA=255"});
    EXPECT_EQ(LogCount(QString::fromLatin1(c.logged) + QString::number(doc) + " - cannot set security"), 1);
    EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  }
}

TEST_F(AddSecurityTest, RunTimeFailureIsReportedAndTheWindowRestored) {
  const qint64 doc = MakeItem("JSMITH", "MJONES");
  auto failing = std::make_shared<FailingPcdSql>(cx.session.pSQL);
  failing->failAfter = QStringLiteral("VALUES(0, 191");
  cx.session.pSQL = failing;
  cx.ui->controls.mainStatus = QStringLiteral("before");

  EXPECT_FALSE(Apply(doc, QStringLiteral("GROUP:CORPORATE = -1")));

  EXPECT_GE(LogCount("#-2147217900 was generated by PCDClient.PCDSQL"), 1);
  EXPECT_EQ(LogCount("Adding security to item."), 1);
  // Written before the failure stays; nothing after it is written.
  EXPECT_EQ(Trustees(doc), (QStringList{"0=191", "JSMITH=191", "MJONES=191"}));
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
  EXPECT_EQ(cx.ui->controls.mainStatus, "before");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
}

TEST_F(AddSecurityTest, OracleLibraryGetsTheSameTrustees) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  const qint64 doc = MakeItem("TNGUYEN", "APATEL", 0, Ora);
  EXPECT_TRUE(AddSecurity(cx, doc, DefaultTemplate, 1, QStringLiteral("F"), Ora, Ora));
  EXPECT_EQ(Trustees(doc, Ora), (QStringList{"APATEL=191", "CORPORATE=127", "DOCS_SUPERVISORS=255", "DOCS_USERS=63",
                                             "LITIGATION=127", "TNGUYEN=191"}));
  EXPECT_EQ(LogCount("SQL Error"), 0);
}

}  // namespace
}  // namespace sw
