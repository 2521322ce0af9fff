#include <gtest/gtest.h>

#include "security/security.h"
#include "trustee_fixture.h"

namespace sw {
namespace {

using test::FailingPcdSql;
using test::Law;
using test::Ora;

class InheritSecurityTest : public test::TrusteeTest {
 protected:
  void SetUp() override {
    TrusteeTest::SetUp();
    folder = MakeItem("ADMIN", "ADMIN", 1);
  }
  bool Inherit(qint64 doc) { return InheritSecurity(cx, doc, folder, Law, Law); }
  qint64 folder = 0;
};

TEST_F(InheritSecurityTest, ItemGetsTheFoldersTrusteesInPlaceOfItsOwn) {
  Grant(folder, "LITIGATION", "63");
  Grant(folder, "APATEL", "45");
  const qint64 doc = MakeItem("MJONES", "TNGUYEN");
  Grant(doc, "LGARCIA", "1");  // not the folder's: it goes

  EXPECT_TRUE(Inherit(doc));

  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=45", "LITIGATION=63", "MJONES=191", "TNGUYEN=191"}));
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "1");
  EXPECT_EQ(ProfileValue(doc, "SECURITY_LINK"), test::TrusteeTest::SystemId(doc));
  EXPECT_EQ(ProfileValue(doc, "SEC_REASON_LINK"), "98");
  const QString n = QString::number(doc);
  EXPECT_EQ(LogCount("Adding 2 folder trustee(s) to profiled document"), 1);
  EXPECT_EQ(LogCount("Finished adding 2 folder trustees to profiled document"), 1);
  EXPECT_EQ(cx.ui->controls.mainStatus, "InheritSecurity: Setting security for document #" + n +
                                            " to match security from folder #" + QString::number(folder));
}

TEST_F(InheritSecurityTest, AuthorAndTypistKeepTheirOwnRights) {
  Grant(folder, "MJONES", "1");
  Grant(folder, "TNGUYEN", "255");
  const qint64 doc = MakeItem("MJONES", "TNGUYEN");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"MJONES=191", "TNGUYEN=191"}));
}

TEST_F(InheritSecurityTest, AuthorWhoIsTypistGetsOneRow) {
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=191", "CORPORATE=7"}));
}

TEST_F(InheritSecurityTest, TypistStandsInForAnAuthorWhoDoesNotResolve) {
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("NOBODY", "LGARCIA");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"CORPORATE=7", "LGARCIA=191"}));
}

TEST_F(InheritSecurityTest, LaterRowOfTheSameTrusteeWins) {
  Grant(folder, "CORPORATE", "7");
  Grant(folder, "CORPORATE", "9");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=191", "CORPORATE=9"}));
}

TEST_F(InheritSecurityTest, EveryoneRowCountsButWritesNothing) {
  Grant(folder, "0", "191");
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=191", "CORPORATE=7"}));
  EXPECT_EQ(LogCount("Adding 2 folder trustee(s) to profiled document"), 1);
}

TEST_F(InheritSecurityTest, FolderWithoutTrusteesLeavesTheItemAlone) {
  const qint64 doc = MakeItem("APATEL", "APATEL");
  Grant(doc, "LGARCIA", "1");
  EXPECT_FALSE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), QStringList{"LGARCIA=1"});
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
  EXPECT_EQ(LogCount("No trustees found for parent folder - not setting security for document " + QString::number(doc)), 1);
}

TEST_F(InheritSecurityTest, FolderRowsWithoutRightsChangeNothing) {
  Grant(folder, "CORPORATE", "''");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  Grant(doc, "LGARCIA", "1");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), QStringList{"LGARCIA=1"});
  EXPECT_EQ(LogCount("No trustees found for parent folder #" + QString::number(folder)), 1);
}

TEST_F(InheritSecurityTest, ReadsTheFolderWhereItLivesAndWritesTheItemWhereItLives) {
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("APATEL", "APATEL", 0, Ora);
  // LAWLIB's item of the same number is another, restricted item.
  const qint64 twin = MakeItem("MJONES", "MJONES", 1);
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET DOCNUMBER = %1 WHERE DOCNUMBER = %2").arg(doc).arg(twin));
  Grant(doc, "LGARCIA", "255");

  EXPECT_TRUE(InheritSecurity(cx, doc, folder, Law, Ora));

  EXPECT_EQ(Trustees(doc, Ora), (QStringList{"APATEL=191", "CORPORATE=7"}));
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS", Ora), "1");
  EXPECT_EQ(Trustees(doc), QStringList{"LGARCIA=255"});
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(InheritSecurityTest, RejectedReadWritesNothing) {
  const struct {
    const char* statement;
    const char* logged;
  } cases[] = {
      {"FROM DOCSADM.SECURITY S", "Unable to read the trustees of folder #"},
      {"SELECT P.SYSTEM_ID, A.USER_ID", "Unable to read the profile of document "},
  };
  Grant(folder, "CORPORATE", "7");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    const qint64 doc = MakeItem("APATEL", "APATEL");
    Grant(doc, "LGARCIA", "1");
    test::FailStatements(cx, statements, QString::fromLatin1(c.statement));
    EXPECT_FALSE(Inherit(doc));
    EXPECT_EQ(Trustees(doc), QStringList{"LGARCIA=1"});
    EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "0");
    EXPECT_EQ(LogCount(QString::fromLatin1(c.logged)), 1);
  }
}

TEST_F(InheritSecurityTest, MissingNumbersWriteNothing) {
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  const int before = statements->Count(Law);
  EXPECT_FALSE(InheritSecurity(cx, 0, folder, Law, Law));
  EXPECT_FALSE(InheritSecurity(cx, doc, 0, Law, Law));
  EXPECT_EQ(statements->Count(Law), before);
  EXPECT_EQ(LogCount("No document number or parent folder id specified - cannot set security inheritance"), 2);
}

TEST_F(InheritSecurityTest, MissingProfileOrLibraryFails) {
  Grant(folder, "CORPORATE", "7");
  EXPECT_FALSE(Inherit(999999));
  EXPECT_EQ(LogCount("Unable to locate profile for document 999999 - cannot set security"), 1);

  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(Inherit(999999));
  EXPECT_EQ(LogCount("Library object not set - cannot continue"), 1);
}

TEST_F(InheritSecurityTest, IdsWithApostrophesAreWrittenSafely) {
  server.Exec(Law, "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (990002, 'D''ARCY', 'Quote')");
  Grant(folder, "D''ARCY", "11");
  const qint64 doc = MakeItem("APATEL", "APATEL");
  EXPECT_TRUE(Inherit(doc));
  EXPECT_EQ(Trustees(doc), (QStringList{"APATEL=191", "D'ARCY=11"}));
  EXPECT_EQ(LogCount("SQL Error"), 0);
}

TEST_F(InheritSecurityTest, RunTimeFailureIsReportedAndStopsTheCopy) {
  Grant(folder, "CORPORATE", "7");
  const qint64 doc = MakeItem("APATEL", "MJONES");
  auto failing = std::make_shared<FailingPcdSql>(cx.session.pSQL);
  failing->failAfter = QStringLiteral("USER_ID = 'MJONES'");
  cx.session.pSQL = failing;

  EXPECT_FALSE(Inherit(doc));

  EXPECT_GE(LogCount("#-2147217900 was generated by PCDClient.PCDSQL"), 1);
  // The typist's delete failed: what came before stays, nothing after it is written.
  EXPECT_EQ(Trustees(doc), QStringList{"APATEL=191"});
  EXPECT_EQ(ProfileValue(doc, "DEFAULT_RIGHTS"), "1");
  EXPECT_EQ(LogCount("Finished adding"), 0);
}

}  // namespace
}  // namespace sw
