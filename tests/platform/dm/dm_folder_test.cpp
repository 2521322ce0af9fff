#include <gtest/gtest.h>

#include "platform/dm/dm_api.h"
#include "support/dm_fixture.h"

namespace sw::dm {
namespace {

class DmFolderTest : public ::testing::Test {
 protected:
  DmFolderTest() {
    app = server.Components()->CreateApplication();
    app->Login(0);
    law = app->Libraries()->Item(1);
    ora = app->Libraries()->Item(2);
  }
  DmFolderPtr SavedFolder(const QString& name, bool isPublic = false, const DmLibraryPtr& lib = nullptr) {
    DmFolderPtr f = (lib ? lib : law)->NewFolder();
    f->SetFolderName(name);
    f->SetDescription(name);
    f->SetPublic(isPublic);
    EXPECT_TRUE(f->Save(3)) << f->Error.ErrDescription.toStdString();
    return f;
  }
  QString Law(const QString& sql) { return server.Scalar("LAWLIB", sql); }

  test::DmTestServer server;
  DmApplicationPtr app;
  DmLibraryPtr law, ora;
};

TEST_F(DmFolderTest, SavingANewFolderWritesItsRows) {
  DmFolderPtr f = SavedFolder("Acme Corporation");
  const qint64 doc = f->DocNumber();
  ASSERT_GT(doc, 0);
  EXPECT_EQ(f->Library(), "LAWLIB");
  const QString d = QString::number(doc);
  EXPECT_EQ(Law("SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER = " + d), "Acme Corporation");
  EXPECT_EQ(Law("SELECT A.APPLICATION FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE P.DOCNUMBER = " + d), "FOLDER");
  EXPECT_EQ(Law("SELECT U.USER_ID FROM PROFILE P JOIN PEOPLE U ON U.SYSTEM_ID = P.AUTHOR WHERE P.DOCNUMBER = " + d), "ADMIN");
  EXPECT_EQ(Law("SELECT U.USER_ID FROM PROFILE P JOIN PEOPLE U ON U.SYSTEM_ID = P.TYPIST WHERE P.DOCNUMBER = " + d), "ADMIN");
  EXPECT_EQ(Law("SELECT STATUS || '/' || DEFAULT_RIGHTS FROM PROFILE WHERE DOCNUMBER = " + d), "0/0");
  EXPECT_EQ(Law("SELECT F.FORM_NAME FROM PROFILE P JOIN FORMS F ON F.SYSTEM_ID = P.FORM WHERE P.DOCNUMBER = " + d), "FOLDER_PROF");
  EXPECT_EQ(Law("SELECT COUNT(*) FROM FOLDER WHERE DOCNUMBER = " + d), "1");
  EXPECT_EQ(Law("SELECT COUNT(*) FROM VERSIONS WHERE DOCNUMBER = " + d), "1");
  EXPECT_EQ(Law("SELECT GROUP_CONCAT(ACTIVITY_TYPE) FROM (SELECT ACTIVITY_TYPE FROM ACTIVITYLOG WHERE DOCNUMBER = " + d +
                " ORDER BY ACTIVITY_TYPE)"),
            "45,46,47");
  EXPECT_EQ(Law("SELECT COUNT(*) FROM ACTIVITYLOG WHERE START_DATE = date('now', 'localtime') AND DOCNUMBER = " + d), "3");
  EXPECT_EQ(Law("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "0");
  EXPECT_NE(Law("SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + d), d) << "ids and numbers come from separate sequences";
}

TEST_F(DmFolderTest, APublicFolderHasARootObjectUntilItIsMadePrivate) {
  DmFolderPtr f = SavedFolder("Globex", true);
  const QString d = QString::number(f->DocNumber());
  EXPECT_EQ(Law("SELECT DISPLAYNAME FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "Globex");
  f->SetFolderName("Globex Ltd");
  ASSERT_TRUE(f->Save(3));
  EXPECT_EQ(Law("SELECT DISPLAYNAME FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "Globex Ltd");
  // DOCNAME holds 240 characters: a longer name is refused, not cut.
  f->SetFolderName(QString(241, QLatin1Char('G')));
  EXPECT_FALSE(f->Save(3));
  EXPECT_TRUE(f->Error.ErrDescription.contains("truncated"));
  f->SetFolderName("Globex Ltd");
  f->SetPublic(false);
  ASSERT_TRUE(f->Save(3));
  EXPECT_EQ(Law("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "0");
  // Made private with nothing else changed: the save is the DELETE alone.
  f->SetPublic(true);
  ASSERT_TRUE(f->Save(3));
  ASSERT_EQ(Law("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "1");
  f->SetPublic(false);
  ASSERT_TRUE(f->Save(3));
  EXPECT_EQ(Law("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = " + d), "0");
}

TEST_F(DmFolderTest, FilingAppendsAtTheEndOfTheParentsChain) {
  DmFolderPtr parent = SavedFolder("Client");
  DmFolderPtr sub = SavedFolder("Matter");
  ASSERT_TRUE(parent->AddSubfolder(sub)) << parent->Error.ErrDescription.toStdString();
  ASSERT_TRUE(parent->AddDocument(law->OpenProfile(3)));
  DmProfilePtr remote = ora->OpenProfile(5);
  ASSERT_TRUE(remote);
  ASSERT_TRUE(parent->AddDocument(remote));
  const QString p = QString::number(parent->DocNumber());
  const auto rows = server.Rows("LAWLIB", "SELECT SYSTEM_ID, DOCNUMBER, NODE_TYPE, ISFIRST, \"NEXT\", LIBRARY, PARENT_LIBRARY, "
                                          "DISPLAYNAME, PARENT_VERSION FROM FOLDER_ITEM WHERE PARENT = " + p + " ORDER BY SYSTEM_ID");
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0][1], QString::number(sub->DocNumber()));
  EXPECT_EQ(rows[0][2], "F");
  EXPECT_EQ(rows[1][2], "D");
  EXPECT_EQ(rows[0][3], "Y");
  EXPECT_EQ(rows[1][3], "N");
  EXPECT_EQ(rows[2][3], "N");
  EXPECT_EQ(rows[0][4], rows[1][0]);
  EXPECT_EQ(rows[1][4], rows[2][0]);
  EXPECT_EQ(rows[2][4], "0");
  EXPECT_EQ(rows[1][5], "0") << "an item of the folder's own library";
  EXPECT_EQ(rows[2][5], Law("SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'"));
  EXPECT_EQ(rows[2][6], "0");
  EXPECT_EQ(rows[2][7], remote->DocumentName());
  EXPECT_EQ(rows[0][8], Law("SELECT MIN(VERSION_ID) FROM VERSIONS WHERE DOCNUMBER = " + p));
  EXPECT_TRUE(parent->Save(3)) << "the parent's save after filing succeeds";
}

TEST_F(DmFolderTest, FilingIsRefusedForUnsavedDuplicateOrSelf) {
  DmFolderPtr parent = SavedFolder("Parent");
  DmFolderPtr unsaved = law->NewFolder();
  EXPECT_FALSE(parent->AddSubfolder(unsaved));
  EXPECT_NE(parent->Error.ErrNumber, 0);
  EXPECT_FALSE(unsaved->AddDocument(law->OpenProfile(1)));
  EXPECT_FALSE(parent->AddSubfolder(parent));
  ASSERT_TRUE(parent->AddDocument(law->OpenProfile(1)));
  EXPECT_TRUE(parent->Error.ErrNumber == 0);
  EXPECT_FALSE(parent->AddDocument(law->OpenProfile(1)));
  EXPECT_NE(parent->Error.ErrNumber, 0);
  EXPECT_EQ(Law("SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = " + QString::number(parent->DocNumber())), "1");
}

TEST_F(DmFolderTest, ParentFoldersListTheFoldersThatHoldTheItem) {
  DmFolderPtr a = SavedFolder("Alpha");
  DmFolderPtr b = SavedFolder("Beta");
  ASSERT_TRUE(a->AddDocument(law->OpenProfile(7)));
  ASSERT_TRUE(b->AddDocument(law->OpenProfile(7)));
  auto parents = law->OpenProfile(7)->ParentFolders();
  ASSERT_EQ(parents->Count(), 2);
  EXPECT_EQ(parents->Item(1).DocNumber, a->DocNumber());
  EXPECT_EQ(parents->Item(1).Name, "Alpha");
  EXPECT_EQ(parents->Item(2).Library, "LAWLIB");
  EXPECT_EQ(law->OpenProfile(8)->ParentFolders()->Count(), 0);
}

TEST_F(DmFolderTest, OpeningAMissingOrNonFolderItemGivesNoneWithAnError) {
  EXPECT_FALSE(law->OpenProfile(987654));
  EXPECT_NE(law->Error.ErrNumber, 0);
  EXPECT_FALSE(law->OpenFolder(1)) << "document 1 is not a folder";
  ASSERT_TRUE(law->OpenProfile(3, 1));
  EXPECT_EQ(law->Error.ErrNumber, 0);
  DmFolderPtr f = SavedFolder("Openable");
  ASSERT_TRUE(law->OpenFolder(3, f->DocNumber()));
  ASSERT_TRUE(law->GetProject(f->DocNumber()));
  EXPECT_EQ(law->GetProject(f->DocNumber())->Description(), "Openable");
  // Opened after a folder, whose layout is tried first: still missing, still no folder.
  EXPECT_FALSE(law->OpenProfile(987654));
  EXPECT_NE(law->Error.ErrNumber, 0);
  EXPECT_FALSE(law->OpenFolder(1));
  EXPECT_NE(law->Error.ErrNumber, 0);
}

TEST_F(DmFolderTest, ColumnsFollowTheFormWithTypesAndProtection) {
  DmProfilePtr doc = law->OpenProfile(2);
  auto cols = doc->Columns();
  ASSERT_GT(cols->Count(), 5);
  EXPECT_FALSE(cols->Item("NO_SUCH_COLUMN"));
  auto docnum = cols->Item("DOCNUM");
  ASSERT_TRUE(docnum);
  EXPECT_EQ(docnum->TypeCode(), 4);
  EXPECT_TRUE(docnum->Protected());
  EXPECT_EQ(docnum->Value().toLongLong(), 2);
  docnum->SetValue(99);
  EXPECT_NE(docnum->Error.ErrNumber, 0) << "a protected column refuses a value";
  EXPECT_EQ(docnum->Value().toLongLong(), 2);
  auto author = cols->Item("author_id");
  ASSERT_TRUE(author);
  EXPECT_TRUE(author->Protected());
  EXPECT_EQ(author->TypeCode(), 128);
  EXPECT_EQ(author->Value().toString(),
            Law("SELECT U.USER_ID FROM PROFILE P JOIN PEOPLE U ON U.SYSTEM_ID = P.AUTHOR WHERE P.DOCNUMBER = 2"));
  EXPECT_EQ(cols->Item("MATTER_ID")->Value().toString(),
            Law("SELECT M.MATTER_ID FROM PROFILE P JOIN MATTER M ON M.SYSTEM_ID = P.MATTER WHERE P.DOCNUMBER = 2"));
  EXPECT_FALSE(cols->Item("DOCNAME")->Protected());
  EXPECT_EQ(cols->Item(qint64(1))->Name(), "DOCNUM");
  EXPECT_FALSE(cols->Item(cols->Count() + 1));
  // "$" and a name reach a stored PROFILE column that the form does not show, and only a column.
  server.Exec("LAWLIB", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = 2");
  ASSERT_TRUE(cols->Item("$default_rights"));
  EXPECT_EQ(cols->Item("$DEFAULT_RIGHTS")->Value().toLongLong(), 1);
  // Names fold as SQLite folds them, ASCII letters alone: "\u017F" is no "S".
  for (const char* none : {"$NO_SUCH_COLUMN", "$ROWID", "$oid", "$", "$DOCNAME FROM PEOPLE --", "$default_right\u017F"})
    EXPECT_FALSE(cols->Item(none)) << none;
  // Inside a transaction the value comes from the row the profile read while PROFILE stands as
  // read; a write of the program's own makes it read again.
  PcdSqlPtr own = server.Components()->CreatePcdSql();
  own->SetToken(app->Token());
  own->SetLibrary("LAWLIB");
  ASSERT_EQ(own->Execute("BEGIN TRANSACTION"), 0);
  DmColumnPtr rights = law->OpenProfile(2)->Columns()->Item("$DEFAULT_RIGHTS");
  EXPECT_EQ(rights->Value().toLongLong(), 1);
  ASSERT_EQ(own->Execute("UPDATE PROFILE SET DEFAULT_RIGHTS = 2 WHERE DOCNUMBER = 2"), 0);
  EXPECT_EQ(rights->Value().toLongLong(), 2);
  ASSERT_EQ(own->Execute("ROLLBACK TRANSACTION"), 0);
  EXPECT_EQ(rights->Value().toLongLong(), 1);
  // A column added to PROFILE later, by another program or through the SQL object, is found then.
  EXPECT_FALSE(cols->Item("$LATE_ONE"));
  server.Exec("LAWLIB", "ALTER TABLE PROFILE ADD LATE_ONE INTEGER");
  EXPECT_TRUE(cols->Item("$LATE_ONE"));
  PcdSqlPtr alter = server.Components()->CreatePcdSql();
  alter->SetToken(app->Token());
  alter->SetLibrary("LAWLIB");
  EXPECT_FALSE(cols->Item("$LATE_TWO"));
  ASSERT_EQ(alter->Execute("ALTER TABLE PROFILE ADD LATE_TWO INTEGER"), 0);
  EXPECT_TRUE(cols->Item("$LATE_TWO"));

  // A field added to the form, by another program or through the SQL object, is in every
  // profile opened afterwards.
  const QString form = Law("SELECT FORM FROM PROFILE WHERE DOCNUMBER = 2");
  server.Exec("LAWLIB", "INSERT INTO DM_FORM_COLUMNS (FORM, ORDINAL, NAME, PROFILE_COLUMN) VALUES (" + form +
                            ", 90, 'STATUS_SEEN', 'STATUS')");
  EXPECT_TRUE(law->OpenProfile(2)->Columns()->Item("STATUS_SEEN"));
  PcdSqlPtr sql = server.Components()->CreatePcdSql();
  sql->SetToken(app->Token());
  sql->SetLibrary("LAWLIB");
  ASSERT_EQ(sql->Execute("INSERT INTO DM_FORM_COLUMNS (FORM, ORDINAL, NAME, PROFILE_COLUMN) VALUES (" + form +
                         ", 91, 'PATH_SEEN', 'PATH')"),
            0);
  EXPECT_TRUE(law->OpenProfile(2)->Columns()->Item("PATH_SEEN"));
  // Emptied whole, the table reports no row written: the layout is read again all the same.
  ASSERT_EQ(sql->Execute("TRUNCATE TABLE DM_FORM_COLUMNS"), 0);
  EXPECT_FALSE(law->OpenProfile(2)->Columns()->Item("PATH_SEEN"));
}

TEST_F(DmFolderTest, LookUpValuesAreCheckedAndSavedAsIds) {
  DmProfilePtr doc = law->OpenProfile(4);
  auto matter = doc->Columns()->Item("MATTER_ID");
  matter->SetValue("NOT-A-MATTER");
  EXPECT_FALSE(matter->IsValid());
  EXPECT_FALSE(doc->Save(3));
  EXPECT_NE(doc->Error.ErrNumber, 0);
  const QString target = Law("SELECT MATTER_ID FROM MATTER ORDER BY SYSTEM_ID DESC LIMIT 1");
  matter->SetValue(target.toLower());
  EXPECT_TRUE(matter->IsValid()) << "look-ups ignore case";
  ASSERT_TRUE(doc->Save(3)) << doc->Error.ErrDescription.toStdString();
  EXPECT_EQ(Law("SELECT M.MATTER_ID FROM PROFILE P JOIN MATTER M ON M.SYSTEM_ID = P.MATTER WHERE P.DOCNUMBER = 4"), target);
}

TEST_F(DmFolderTest, NullStaysApartFromEmptyText) {
  DmFolderPtr f = law->NewFolder();
  auto cols = f->Columns();
  EXPECT_FALSE(cols->Item("ABSTRACT")->Value().isNull()) << "a new profile's fields are empty, not Null";
  EXPECT_EQ(cols->Item("ABSTRACT")->Value().toString(), "");
  f->SetFolderName("Nulls");
  cols->Item("PD_EMAIL_ADDRESS")->SetValue(QVariant());
  EXPECT_TRUE(cols->Item("PD_EMAIL_ADDRESS")->Value().isNull());
  cols->Item("ABSTRACT")->SetValue(QString(""));
  ASSERT_TRUE(f->Save(3));
  const QString d = QString::number(f->DocNumber());
  EXPECT_EQ(Law("SELECT PD_ADDRESSEE IS NULL FROM PROFILE WHERE DOCNUMBER = " + d), "1");
  EXPECT_EQ(Law("SELECT ABSTRACT IS NULL FROM PROFILE WHERE DOCNUMBER = " + d), "0");
}

TEST_F(DmFolderTest, AFolderSavedThroughItsProfileKeepsColumnValues) {
  const auto valuesOf = [](const DmProfilePtr& profile) {
    QStringList values;
    const DmColumnsPtr columns = profile->Columns();
    for (qint64 i = 1; i <= columns->Count(); ++i) values << columns->Item(i)->Value().toString();
    return values;
  };
  // A document of a form of its own, whose columns stand elsewhere than a folder's.
  server.Exec("LAWLIB", "INSERT INTO FORMS (SYSTEM_ID, FORM_NAME) VALUES (4242, 'SHORT_PROF')");
  server.Exec("LAWLIB", "INSERT INTO DM_FORM_COLUMNS (FORM, ORDINAL, NAME, PROFILE_COLUMN, LOOKUP_TABLE, LOOKUP_COLUMN) VALUES "
                        "(4242, 1, 'MATTER_ID', 'MATTER', 'MATTER', 'MATTER_ID'), (4242, 2, 'DOCNAME', 'DOCNAME', NULL, NULL)");
  server.Exec("LAWLIB", "UPDATE PROFILE SET FORM = 4242, MATTER = (SELECT MIN(SYSTEM_ID) FROM MATTER) WHERE DOCNUMBER = 2");
  const QStringList documentValues = valuesOf(law->OpenProfile(2));
  ASSERT_EQ(documentValues.size(), 2);
  EXPECT_EQ(documentValues[0], Law("SELECT MATTER_ID FROM MATTER ORDER BY SYSTEM_ID LIMIT 1"));
  DmFolderPtr f = law->NewFolder();
  f->SetFolderName("Typed");
  DmProfilePtr profile = f;
  profile->Columns()->Item("TYPE_ID")->SetValue("FOLDER");
  profile->Columns()->Item("CLIENT_ID")->SetValue(Law("SELECT CLIENT_ID FROM CLIENT LIMIT 1"));
  ASSERT_TRUE(profile->Save(2)) << profile->Error.ErrDescription.toStdString();
  DmFolderPtr again = law->OpenFolder(f->DocNumber());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Columns()->Item("TYPE_ID")->Value().toString(), "FOLDER");
  EXPECT_EQ(again->Columns()->Item("CLIENT_ID")->Value().toString(), Law("SELECT CLIENT_ID FROM CLIENT LIMIT 1"));
  EXPECT_EQ(again->FormName(), "FOLDER_PROF");
  // Profiles of other forms opened in turn each read with their own layout.
  for (int turn = 0; turn < 2; ++turn) {
    DmProfilePtr doc = law->OpenProfile(2);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->FormName(), "SHORT_PROF");
    EXPECT_EQ(valuesOf(doc), documentValues);
    DmFolderPtr folder = law->OpenFolder(f->DocNumber());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->Columns()->Item("TYPE_ID")->Value().toString(), "FOLDER");
    EXPECT_EQ(folder->FolderName(), "Typed");
  }
}

TEST_F(DmFolderTest, AProfileWhoseFormIsMissingHasNoColumns) {
  server.Exec("LAWLIB", "UPDATE PROFILE SET FORM = 424242 WHERE DOCNUMBER = 6");
  auto cols = law->OpenProfile(6)->Columns();
  EXPECT_EQ(cols->Count(), 0);
  EXPECT_FALSE(cols->Item("DOCNAME"));
}

TEST_F(DmFolderTest, UserDefaultsFillTheirColumns) {
  server.Exec("LAWLIB", "INSERT INTO DM_USER_DEFAULTS (USER_ID, FORM, NAME, VALUE) "
                        "SELECT 'ADMIN', SYSTEM_ID, 'ABSTRACT', 'From defaults' FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'");
  DmFolderPtr f = law->NewFolder();
  auto cols = f->Columns();
  cols->LoadUserDefaults();
  EXPECT_EQ(cols->Item("ABSTRACT")->Value().toString(), "From defaults");
  EXPECT_EQ(cols->Item("DOCNAME")->Value().toString(), "");
}

TEST_F(DmFolderTest, EffectiveRightsComeFromTheUserTheGroupsAndEveryone) {
  DmProfilePtr doc = law->OpenProfile(9);
  const QString sid = Law("SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = 9");
  EXPECT_EQ(doc->Trustees()->Count(), 0);
  EXPECT_FALSE(doc->Trustees()->EffectiveRights("NOBODY"));
  EXPECT_TRUE(doc->Trustees()->EffectiveRights("JSMITH")->CanAct()) << "unsecured";
  server.Exec("LAWLIB", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = 9");
  EXPECT_FALSE(doc->Trustees()->EffectiveRights("JSMITH")->CanAct());
  server.Exec("LAWLIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT " + sid +
                            ", SYSTEM_ID, 63 FROM GROUPS WHERE GROUP_ID = 'LITIGATION'");
  EXPECT_EQ(doc->Trustees()->Count(), 1);
  EXPECT_TRUE(doc->Trustees()->EffectiveRights("JSMITH")->CanAct()) << "through the group";
  EXPECT_FALSE(doc->Trustees()->EffectiveRights("MJONES")->CanAct());
  server.Exec("LAWLIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" + sid + ", 0, 191)");
  EXPECT_TRUE(doc->Trustees()->EffectiveRights("MJONES")->CanAct()) << "everyone";
}

TEST_F(DmFolderTest, ASaveByAUserOutsideTheLibraryFailsAndWritesNothing) {
  const QString before = Law("SELECT COUNT(*) FROM PROFILE");
  server.Exec("LAWLIB", "DELETE FROM PEOPLE WHERE USER_ID = 'ADMIN'");
  DmFolderPtr f = law->NewFolder();
  f->SetFolderName("Orphan");
  EXPECT_FALSE(f->Save(3)) << "the logged-on user is not a member of the library";
  EXPECT_NE(f->Error.ErrNumber, 0);
  EXPECT_EQ(f->DocNumber(), 0);
  EXPECT_EQ(Law("SELECT COUNT(*) FROM PROFILE"), before);
}

TEST_F(DmFolderTest, AFailedSaveInsideAnOpenTransactionLeavesNothingOfItself) {
  server.Exec("LAWLIB", "CREATE TRIGGER FULL_DISK BEFORE INSERT ON VERSIONS BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  PcdSqlPtr sql = server.Components()->CreatePcdSql();
  sql->SetToken(app->Token());
  sql->SetLibrary("LAWLIB");
  const auto profiles = [&] {
    sql->Execute("SELECT COUNT(*) FROM PROFILE");
    return sql->ColumnValue(1);
  };
  ASSERT_EQ(sql->Execute("BEGIN TRANSACTION"), 0);
  const QString before = profiles();
  DmFolderPtr f = law->NewFolder();
  f->SetFolderName("Half made");
  EXPECT_FALSE(f->Save(3));
  EXPECT_EQ(profiles(), before) << "the profile row written before the failure is undone at once";
  EXPECT_EQ(sql->Execute("COMMIT"), 0);
}

}  // namespace
}  // namespace sw::dm
