// The checks before filing: rights to manage folders and on the parent, the parent's kind, the
// three ways of finding the item in the parent already, the item's status, the effective
// rights, and the library note.
#include <gtest/gtest.h>

#include "core/text.h"
#include "filing_session.h"
#include "folders/filing_checks.h"
#include "folders/folders.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

class FilingChecks : public test::FilingSession {
 protected:
  void SetUp() override {
    FilingSession::SetUp();
    parent = NewFolder(Law, QStringLiteral("Checks Parent"));
    doc = Document(Law);
  }
  FilingVerdict Check(const QString& folderLibrary = Law, const QString& documentLibrary = Law) {
    return CheckFiling(cx, doc, parent, folderLibrary, documentLibrary);
  }
  qint64 parent = 0;
  qint64 doc = 0;
};

TEST_F(FilingChecks, GoOnLeavesTheParentOpenInTheFolderLibrary) {
  ASSERT_EQ(Check(), FilingVerdict::GoOn);
  EXPECT_EQ(Current(), Law);
  ASSERT_TRUE(cx.items.FolderObject);
  EXPECT_EQ(cx.items.FolderObject->DocNumber(), parent);
  EXPECT_EQ(cx.items.ProfileObject, std::static_pointer_cast<dm::DmProfile>(cx.items.FolderObject));
  const QString log = Log();
  EXPECT_TRUE(log.contains("Document #" + N(doc) + " is not secured"));
  EXPECT_TRUE(log.contains("Folder #" + N(parent) + " is not secured"));
  // An unsecured item gets no effective-rights test.
  EXPECT_FALSE(log.contains("appears to have sufficient rights to document"));
}

TEST_F(FilingChecks, SupervisorsNeedNeitherFolderRight) {
  SetRight(Law, "User.ManageRootFolders", 0);
  SetRight(Law, "User.CreateFolder", 0);
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
}

TEST_F(FilingChecks, SupervisorsGroupCountsOnlyInUpperCase) {
  SetRight(Law, "User.ManageRootFolders", 0);
  server.Exec(Law, "UPDATE GROUPS SET GROUP_ID = 'docs_supervisors' WHERE GROUP_ID = 'DOCS_SUPERVISORS'");
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: ADMIN does not have rights to manage folders in library LAWLIB"));
  EXPECT_EQ(cx.items.FolderObject, nullptr);
}

TEST_F(FilingChecks, CreateFolderWithoutManageRootFoldersIsRefused) {
  SetPrimaryGroup(Law, "DOCS_USERS");
  SetRight(Law, "User.ManageRootFolders", 0);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("does not have rights to manage folders in library LAWLIB"));
}

TEST_F(FilingChecks, ParentMustBeAFolderWithAFolderRow) {
  parent = Document(Law, 1);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: Parent folder #" + N(parent) + " does not exist, or is not a folder, in library LAWLIB"));

  parent = NewFolder(Law, QStringLiteral("Rowless"));
  server.Exec(Law, "DELETE FROM FOLDER WHERE DOCNUMBER = " + N(parent));
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: Parent folder #" + N(parent) + " is not a folder in library LAWLIB"));
}

// A user without the supervisors' universal access: explicit rights of 63 or more, or a group
// whose universal access is above 127.
TEST_F(FilingChecks, RightsOnTheParentFromTrusteesOrUniversalAccess) {
  SetPrimaryGroup(Law, "DOCS_USERS");
  const QString refused = "Error: ADMIN does not have adequate rights to Parent folder #" + N(parent) + " in library LAWLIB";

  server.Exec(Law, "UPDATE GROUPS SET UNIV_ACCESS = 127 WHERE GROUP_ID = 'DOCS_USERS'");
  GrantUser(Law, parent, 62);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains(refused));

  server.Exec(Law, "UPDATE GROUPS SET UNIV_ACCESS = 128 WHERE GROUP_ID = 'DOCS_USERS'");
  EXPECT_EQ(Check(), FilingVerdict::GoOn);

  server.Exec(Law, "UPDATE GROUPS SET UNIV_ACCESS = 0 WHERE GROUP_ID = 'DOCS_USERS'");
  GrantUser(Law, parent, 63);
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
}

TEST_F(FilingChecks, RightsThroughOneOfTheUsersGroups) {
  SetPrimaryGroup(Law, "DOCS_USERS");
  server.Exec(Law, "INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) SELECT U.SYSTEM_ID, G.SYSTEM_ID "
                   "FROM PEOPLE U, GROUPS G WHERE U.USER_ID = 'ADMIN' AND G.GROUP_ID = 'LITIGATION'");
  server.Exec(Law, "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT P.SYSTEM_ID, G.SYSTEM_ID, 255 "
                   "FROM PROFILE P, GROUPS G WHERE P.DOCNUMBER = " + N(parent) + " AND G.GROUP_ID = 'LITIGATION'");
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
}

TEST_F(FilingChecks, FolderItemRowOfTheParentLibraryMeansFiledAlready) {
  server.Exec(Law, "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, NEXT, ISFIRST) "
                   "VALUES (990001, " + N(parent) + ", 0, " + N(doc) + ", 0, 0, 'Y')");
  EXPECT_EQ(Check(), FilingVerdict::AlreadyFiled);
  EXPECT_TRUE(Log().contains("Folder_Item #" + N(doc) + " in library LAWLIB exists in folder #" + N(parent) + " in library LAWLIB"));
  // Decided before the item's library was asked anything.
  EXPECT_EQ(statements->Count(Law, "SELECT STATUS FROM"), 0);
}

TEST_F(FilingChecks, ItemsOwnParentListFindsTheParentInAnyCase) {
  // A filing row that the FOLDER_ITEM count does not see (no item library), but the item's
  // parent list does.
  server.Exec(Law, "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, NEXT, ISFIRST) "
                   "VALUES (990002, " + N(parent) + ", 0, " + N(doc) + ", NULL, 0, 'Y')");
  const QString before = server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM");
  EXPECT_EQ(CheckFiling(cx, doc, parent, "lawlib", "lawlib"), FilingVerdict::AlreadyFiled);
  EXPECT_TRUE(Log().contains("Folder item #" + N(doc) + " already exists in folder #" + N(parent) +
                             " in folder library LAWLIB \"Checks Parent description\""));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM"), before);
}

TEST_F(FilingChecks, ParentListEntryOfAnotherLibraryIsNotTheParent) {
  server.Exec(Law, "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, NEXT, ISFIRST) "
                   "SELECT 990003, " + N(parent) + ", SYSTEM_ID, " + N(doc) +
                   ", NULL, 0, 'Y' FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'");
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
  EXPECT_TRUE(Log().contains("Checking 1 parent folder(s) to determine whether item #" + N(doc)));
}

TEST_F(FilingChecks, ItemStatusDecides) {
  SetStatusOf(Law, doc, 5);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Document #" + N(doc) + " Status is 5 in library LAWLIB - cannot continue AddFolderItem"));

  doc = 99999999;
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: Document #99999999 does not appear to exist in the Profile table in library LAWLIB"));
}

TEST_F(FilingChecks, StatusThreeIsResetEvenWhenALaterCheckRefuses) {
  SetStatusOf(Law, doc, 3);
  // A secured item on which the user has no rights: refused after the reset.
  SetDefaultRights(Law, doc, 1);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: User ADMIN has insufficient rights to document #" + N(doc)));
  EXPECT_EQ(server.Scalar(Law, "SELECT STATUS FROM PROFILE WHERE DOCNUMBER = " + N(doc)), "0");
}

TEST_F(FilingChecks, EffectiveRightsOnSecuredItemAndParent) {
  SetDefaultRights(Law, doc, 1);
  GrantUser(Law, doc, 255);
  SetDefaultRights(Law, parent, 1);
  EXPECT_EQ(Check(), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("User ADMIN appears to have sufficient rights to document #" + N(doc)));
  EXPECT_TRUE(Log().contains("Error: User ADMIN has insufficient rights to folder #" + N(parent)));

  GrantUser(Law, parent, 255);
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
  EXPECT_TRUE(Log().contains("User ADMIN appears to have sufficient rights to folder #" + N(parent)));
}

TEST_F(FilingChecks, RightsThatCannotBeDeterminedAllowTheFiling) {
  SetDefaultRights(Law, doc, 1);
  // The user is unknown to the trustee list of this library: no effective rights.
  server.Exec(Law, "UPDATE PEOPLE SET USER_ID = 'SOMEONE' WHERE USER_ID = 'ADMIN'");
  // Without a PEOPLE row the user has no primary group; the group without a name gets the
  // universal access that lets the parent's checks pass.
  server.Exec(Law, "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) VALUES (990100, '', 'none', 255)");
  EXPECT_EQ(Check(), FilingVerdict::GoOn);
  EXPECT_TRUE(Log().contains("Error: Unable to determine rights for ADMIN to document #" + N(doc)));
}

TEST_F(FilingChecks, AcrossLibrariesAsksTheItemsLibraryAndItsRemoteRight) {
  const qint64 oraDoc = Document(Ora);
  SetRight(Ora, "User.SaveToRemoteLibrary", 0);
  EXPECT_EQ(CheckFiling(cx, oraDoc, parent, Law, Ora), FilingVerdict::Refused);
  EXPECT_TRUE(Log().contains("Error: ADMIN does not have rights to save folders to the (remote) Library LAWLIB from library ORALIB"));

  SetRight(Ora, "User.SaveToRemoteLibrary", -1);
  // The item's library records the filing in a folder of LAWLIB.
  server.Exec(Ora, "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, NEXT, ISFIRST) "
                   "SELECT 990004, " + N(parent) + ", SYSTEM_ID, " + N(oraDoc) +
                   ", 0, 0, 'Y' FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LAWLIB'");
  EXPECT_EQ(CheckFiling(cx, oraDoc, parent, Law, Ora), FilingVerdict::AlreadyFiled);
  EXPECT_TRUE(Log().contains("Folder_Item #" + N(oraDoc) + " in library ORALIB exists in folder #" + N(parent) + " in library LAWLIB"));
  EXPECT_EQ(Current(), Ora);
}

TEST_F(FilingChecks, FailingStatementEndsTheChecksAsAFailure) {
  test::FailStatements(cx, statements, "FOLDER_ITEM WHERE DOCNUMBER = ");
  // A count that could not be made is not taken for "not filed yet".
  EXPECT_THROW(Check(), DmCallFailure);
}

TEST(FilingQueries, NamesAreQuotedForTheirLiterals) {
  EXPECT_EQ(filing::FiledAlreadyQuery(12, 34, "O'LIB", "LAW'LIB ").Text(),
            "SELECT COUNT(*) FROM [OWNER].FOLDER_ITEM WHERE DOCNUMBER = 12 AND PARENT = 34 AND LIBRARY = (SELECT "
            "SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'O''LIB') AND PARENT_LIBRARY = (SELECT "
            "SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LAW''LIB')");
  const QString rights = filing::ParentRightsQuery(7, "O'BRIEN").Text();
  EXPECT_EQ(rights.count("USER_ID = 'O''BRIEN'"), 2);
  EXPECT_FALSE(rights.contains("'O'BRIEN'"));
}

TEST(FilingRights, OnlyTrueGrantsARight) {
  EXPECT_TRUE(filing::RightGranted(QVariant(qint64(-1))));
  EXPECT_TRUE(filing::RightGranted(QVariant(QStringLiteral("-1"))));
  EXPECT_TRUE(filing::RightGranted(QVariant(true)));
  EXPECT_FALSE(filing::RightGranted(QVariant(qint64(0))));
  EXPECT_FALSE(filing::RightGranted(QVariant(false)));
  EXPECT_FALSE(filing::RightGranted(QVariant()));
}

TEST_F(FilingChecks, LibraryNoteOnlyWithDisplayErrorsAndAnotherLibrary) {
  CDoc(cx, Ora);
  EXPECT_FALSE(Log().contains("NOTE: Object library is"));

  cx.ui->controls.displayErrors = true;
  CDoc(cx, "lawlib");
  EXPECT_FALSE(Log().contains("NOTE: Object library is"));
  CDoc(cx, "oralib");
  EXPECT_TRUE(Log().contains("NOTE: Object library is: ORALIB and current library is: LAWLIB"));

  cx.session.CurrentLibrary.reset();
  CDoc(cx, Ora);
  EXPECT_TRUE(Log().contains("Error: Lib object not set - cannot continue"));
}

}  // namespace
}  // namespace sw
