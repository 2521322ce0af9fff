// The metadata fill between a folder and an item: what is copied in which direction, what counts
// as empty, what is never copied, when each side is saved, and the failures that end it.
#include <gtest/gtest.h>

#include <map>

#include "core/log.h"
#include "security/security.h"
#include "security/security_context.h"
#include "logged_entry.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw {
namespace {

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

using Fields = std::map<QString, QVariant>;

class SyncDataTest : public ::testing::Test {
 protected:
  void SetUp() override { test::AttachSession(cx, server, Law); }

  dm::DmLibraryPtr Library(const QString& name) {
    for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i) {
      auto lib = cx.session.FusionLibraries->Item(i);
      if (lib->Name() == name) return lib;
    }
    ADD_FAILURE() << "no library " << name.toStdString();
    return nullptr;
  }

  // A saved folder with the given profile fields (by column name).
  qint64 MakeFolder(const QString& library, const QString& name, const Fields& fields = {}) {
    dm::DmFolderPtr folder = Library(library)->NewFolder();
    folder->SetFolderName(name);
    for (const auto& [column, value] : fields) {
      dm::DmColumnPtr c = folder->Columns()->Item(column);
      EXPECT_TRUE(c) << column.toStdString();
      if (c) c->SetValue(value);
    }
    EXPECT_TRUE(folder->Save(3)) << folder->Error.ErrDescription.toStdString();
    return folder->DocNumber();
  }

  // A field as the DM profile form shows it now.
  QString Field(const QString& library, qint64 docNumber, const QString& column) {
    dm::DmProfilePtr profile = Library(library)->OpenProfile(docNumber);
    if (!profile) return QStringLiteral("<no profile>");
    dm::DmColumnPtr c = profile->Columns()->Item(column);
    return c ? c->Value().toString() : QStringLiteral("<no column>");
  }

  int LogCount(const QString& fragment) const { return int(cx.LogText().count(fragment)); }

  void ExpectSlotsEmpty() const {
    EXPECT_FALSE(cx.items.FolderObject);
    EXPECT_FALSE(cx.items.ProfileObject);
  }

  // Gives both libraries a form "SHORT_PROF" with only these columns, mapped as given.
  void AddShortForm(const QList<QStringList>& columns) {
    for (const QString& lib : {Law, Ora}) {
      server.Exec(lib, QStringLiteral("INSERT INTO FORMS (SYSTEM_ID, FORM_NAME, FORM_TITLE, FORM_TYPE) "
                                      "VALUES (990001, 'SHORT_PROF', 'Short', 'P')"));
      int ordinal = 0;
      for (const QStringList& c : columns)
        server.Exec(lib, QStringLiteral("INSERT INTO DM_FORM_COLUMNS (FORM, ORDINAL, NAME, PROFILE_COLUMN, TYPE_CODE, "
                                        "PROTECTED) VALUES (990001, %1, '%2', '%3', 1, 'N')")
                             .arg(++ordinal)
                             .arg(c[0], c[1]));
    }
  }
  void UseShortForm(const QString& library, qint64 docNumber) {
    server.Exec(library, QStringLiteral("UPDATE PROFILE SET FORM = 990001 WHERE DOCNUMBER = %1").arg(docNumber));
  }

  test::DmTestServer server;
  test::TestContext<SecurityContext> cx;
};

TEST_F(SyncDataTest, EmptyFieldsOnBothSidesWriteAndSaveNothing) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"));
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  EXPECT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(LogCount(QStringLiteral("Setting Folder ")), 0);
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object")), 0);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Processing Metadata between Parent #") + QString::number(parent) +
                                    QStringLiteral(" in library LAWLIB and Item #") + QString::number(item) +
                                    QStringLiteral(" in library LAWLIB")));
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, ParentValuesFillTheItemWhichIsSavedOnce) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"),
                                   {{QStringLiteral("ABSTRACT"), QStringLiteral("Client work")},
                                    {QStringLiteral("CLIENT_ID"), QStringLiteral("C0002")},
                                    {QStringLiteral("RETENTION"), 30}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  ASSERT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));

  EXPECT_EQ(Field(Law, item, QStringLiteral("ABSTRACT")), QStringLiteral("Client work"));
  EXPECT_EQ(Field(Law, item, QStringLiteral("CLIENT_ID")), QStringLiteral("C0002"));
  EXPECT_EQ(Field(Law, item, QStringLiteral("RETENTION")), QStringLiteral("30"));
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object for child folder #") + QString::number(item) +
                     QStringLiteral(" in library LAWLIB")),
            1);
  EXPECT_EQ(LogCount(QStringLiteral("Folder object saved to #") + QString::number(item) + QStringLiteral(" in library LAWLIB")),
            1);
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object for parent folder")), 0);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Setting Folder RETENTION to 30")));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Setting Folder CLIENT_ID to C0002")));
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, ItemValuesFillTheParentAndFilledFieldsAreNotWrittenBack) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"), {{QStringLiteral("CLIENT_ID"), QStringLiteral("C0001")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"),
                                 {{QStringLiteral("ABSTRACT"), QStringLiteral("From the child")},
                                  {QStringLiteral("MATTER_ID"), QStringLiteral("M00001")}});
  ASSERT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));

  EXPECT_EQ(Field(Law, item, QStringLiteral("CLIENT_ID")), QStringLiteral("C0001"));
  EXPECT_EQ(Field(Law, parent, QStringLiteral("ABSTRACT")), QStringLiteral("From the child"));
  EXPECT_EQ(Field(Law, parent, QStringLiteral("MATTER_ID")), QStringLiteral("M00001"));
  EXPECT_EQ(LogCount(QStringLiteral("Setting Folder CLIENT_ID")), 1);
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object for child folder #")), 1);
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object for parent folder #") + QString::number(parent)), 1);
  const QString log = cx.LogText();
  EXPECT_LT(log.indexOf(QStringLiteral("Processing Metadata columns from parent folder #") + QString::number(parent) +
                        QStringLiteral(" to child folder #") + QString::number(item)),
            log.indexOf(QStringLiteral("Processing Metadata columns from child folder #") + QString::number(item) +
                        QStringLiteral(" to parent folder #") + QString::number(parent)));
}

TEST_F(SyncDataTest, MailColumnsAreNeverCopiedInEitherDirection) {
  // "MAIL" anywhere in the name, in any letter case, keeps a column out.
  AddShortForm({{QStringLiteral("DOCNAME"), QStringLiteral("DOCNAME")},
                {QStringLiteral("Notify_eMail"), QStringLiteral("PD_ADDRESSEE")},
                {QStringLiteral("Summary"), QStringLiteral("ABSTRACT")}});
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"),
                                   {{QStringLiteral("PD_EMAIL_ADDRESS"), QStringLiteral("parent@example.com")},
                                    {QStringLiteral("ABSTRACT"), QStringLiteral("Summary text")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  UseShortForm(Law, parent);
  UseShortForm(Law, item);
  ASSERT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, item, QStringLiteral("Notify_eMail")), QString());
  EXPECT_EQ(Field(Law, item, QStringLiteral("Summary")), QStringLiteral("Summary text"));

  const qint64 otherParent = MakeFolder(Law, QStringLiteral("Other parent"));
  const qint64 otherItem = MakeFolder(Law, QStringLiteral("Other child"),
                                      {{QStringLiteral("PD_EMAIL_ADDRESS"), QStringLiteral("child@example.com")}});
  ASSERT_TRUE(SyncData(cx, otherParent, otherItem, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, otherParent, QStringLiteral("PD_EMAIL_ADDRESS")), QString());
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object for parent folder")), 0);
}

TEST_F(SyncDataTest, BlanksAndZeroCountAsEmptySourcesButBlanksFillATarget) {
  // Blank source text and a zero number are not copied.
  const qint64 blankParent = MakeFolder(Law, QStringLiteral("Blank parent"), {{QStringLiteral("ABSTRACT"), QStringLiteral("   ")}});
  const qint64 emptyItem = MakeFolder(Law, QStringLiteral("Empty child"));
  ASSERT_TRUE(SyncData(cx, blankParent, emptyItem, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, emptyItem, QStringLiteral("ABSTRACT")), QString());
  EXPECT_EQ(LogCount(QStringLiteral("Setting Folder ")), 0);

  // A target holding blanks is taken as filled; a target holding 0 as empty.
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"),
                                   {{QStringLiteral("ABSTRACT"), QStringLiteral("Real text")}, {QStringLiteral("RETENTION"), 7}});
  const qint64 blankItem = MakeFolder(Law, QStringLiteral("Blank child"),
                                      {{QStringLiteral("ABSTRACT"), QStringLiteral("  ")}, {QStringLiteral("RETENTION"), 0}});
  ASSERT_TRUE(SyncData(cx, parent, blankItem, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, blankItem, QStringLiteral("ABSTRACT")), QStringLiteral("  "));
  EXPECT_EQ(Field(Law, blankItem, QStringLiteral("RETENTION")), QStringLiteral("7"));
  EXPECT_EQ(Field(Law, parent, QStringLiteral("ABSTRACT")), QStringLiteral("Real text"));
}

TEST_F(SyncDataTest, ProtectedSourceColumnsAreCopiedOnlyWithTypeCode128) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"));
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET AUTHOR = NULL, CREATION_DATE = NULL WHERE DOCNUMBER = %1").arg(item));
  ASSERT_EQ(Field(Law, item, QStringLiteral("AUTHOR_ID")), QString());
  ASSERT_FALSE(Field(Law, parent, QStringLiteral("CREATION_DATE")).isEmpty());

  ASSERT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, item, QStringLiteral("AUTHOR_ID")), QStringLiteral("ADMIN"));  // protected, type 128
  EXPECT_EQ(Field(Law, item, QStringLiteral("CREATION_DATE")), QString());          // protected text
  EXPECT_EQ(LogCount(QStringLiteral("Setting Folder DOCNUM")), 0);
}

TEST_F(SyncDataTest, SourceFieldTheTargetLacksIsPassedOver) {
  AddShortForm({{QStringLiteral("DOCNAME"), QStringLiteral("DOCNAME")}, {QStringLiteral("ABSTRACT"), QStringLiteral("ABSTRACT")}});
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"), {{QStringLiteral("CLIENT_ID"), QStringLiteral("C0003")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  UseShortForm(Law, item);
  EXPECT_TRUE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(LogCount(QStringLiteral("Saving profile object")), 0);
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT CLIENT_ID FROM PROFILE WHERE DOCNUMBER = %1").arg(item)), QString());
}

TEST_F(SyncDataTest, ParentInAnotherLibraryIsOpenedThereWithoutSwitching) {
  const qint64 parent = MakeFolder(Ora, QStringLiteral("Parent"), {{QStringLiteral("ABSTRACT"), QStringLiteral("Oracle side")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"), {{QStringLiteral("MATTER_ID"), QStringLiteral("M00002")}});
  ASSERT_TRUE(SyncData(cx, parent, item, QStringLiteral("oralib"), QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, item, QStringLiteral("ABSTRACT")), QStringLiteral("Oracle side"));
  EXPECT_EQ(Field(Ora, parent, QStringLiteral("MATTER_ID")), QStringLiteral("M00002"));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Opening folder object #") + QString::number(parent) +
                                    QStringLiteral(" in library ORALIB")));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(SyncDataTest, UnknownLibrariesEndWithTheirMessage) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"));
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  EXPECT_FALSE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, QStringLiteral("NOLIB")));
  EXPECT_TRUE(test::Logged(cx.LogText(), QStringLiteral("Error: Unable to open profile object #") + QString::number(item) +
                                    QStringLiteral(" for SyncData in library NOLIB")));
  ExpectSlotsEmpty();

  EXPECT_FALSE(SyncData(cx, parent, item, QStringLiteral("NOLIB"), QStringLiteral("F"), 1, Law));
  EXPECT_TRUE(test::Logged(cx.LogText(), QStringLiteral("Error: Unable to open folder object #") + QString::number(parent) +
                                    QStringLiteral(" for SyncData in library NOLIB")));
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, ItemThatIsNoFolderCannotBeOpenedAsOne) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"), {{QStringLiteral("ABSTRACT"), QStringLiteral("Folder text")}});
  const qint64 document = server.Scalar(Law, QStringLiteral("SELECT P.DOCNUMBER FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = "
                                                             "P.APPLICATION WHERE A.APPLICATION <> 'FOLDER' LIMIT 1"))
                              .toLongLong();
  ASSERT_NE(document, 0);
  EXPECT_FALSE(SyncData(cx, parent, document, Law, QStringLiteral("F"), 1, Law));
  EXPECT_TRUE(test::Logged(cx.LogText(), QStringLiteral("Error: Unable to open folder object #") + QString::number(document) +
                                    QStringLiteral(" for SyncData in library LAWLIB")));

  // Any type other than exactly "F" opens the item as a document profile.
  EXPECT_TRUE(SyncData(cx, parent, document, Law, QStringLiteral("f"), 1, Law));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Opening profile object #") + QString::number(document) +
                                    QStringLiteral(" in library LAWLIB")));
  EXPECT_EQ(Field(Law, document, QStringLiteral("ABSTRACT")), QStringLiteral("Folder text"));
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, ParentEqualToTheItemGivesTrueWithNothingWritten) {
  const qint64 folder = MakeFolder(Law, QStringLiteral("Self"), {{QStringLiteral("ABSTRACT"), QStringLiteral("x")}});
  EXPECT_TRUE(SyncData(cx, folder, folder, Law, QStringLiteral("F"), 1, QStringLiteral("lawlib")));
  EXPECT_EQ(LogCount(QStringLiteral("Processing Metadata columns")), 0);
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, FailedItemSaveEndsBeforeTheParentIsTouched) {
  // The parent's client exists only in its own library, so the item's save in the other one fails.
  server.Exec(Law, QStringLiteral("INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (990100, 'CLAWONLY', 'Only here')"));
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"), {{QStringLiteral("CLIENT_ID"), QStringLiteral("CLAWONLY")}});
  const qint64 item = MakeFolder(Ora, QStringLiteral("Child"), {{QStringLiteral("ABSTRACT"), QStringLiteral("Child text")}});

  EXPECT_FALSE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Ora));
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Saving profile object for child folder #") + QString::number(item) +
                           QStringLiteral(" in library ORALIB")));
  EXPECT_TRUE(test::Logged(log, QStringLiteral("Error: (")));
  EXPECT_TRUE(log.contains(QStringLiteral(") - Invalid value 'CLAWONLY' for column CLIENT_ID")));
  EXPECT_FALSE(log.contains(QStringLiteral("Processing Metadata columns from child folder")));
  EXPECT_EQ(Field(Law, parent, QStringLiteral("ABSTRACT")), QString());
  EXPECT_EQ(server.Scalar(Ora, QStringLiteral("SELECT CLIENT_ID FROM PROFILE WHERE DOCNUMBER = %1").arg(item)), QString());
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, FailedParentSaveLeavesTheItemFilled) {
  server.Exec(Law, QStringLiteral("INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (990100, 'CLAWONLY', 'Only here')"));
  const qint64 parent = MakeFolder(Ora, QStringLiteral("Parent"), {{QStringLiteral("ABSTRACT"), QStringLiteral("Parent text")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"), {{QStringLiteral("CLIENT_ID"), QStringLiteral("CLAWONLY")}});

  EXPECT_FALSE(SyncData(cx, parent, item, Ora, QStringLiteral("F"), 1, Law));
  EXPECT_EQ(Field(Law, item, QStringLiteral("ABSTRACT")), QStringLiteral("Parent text"));
  EXPECT_EQ(Field(Ora, parent, QStringLiteral("CLIENT_ID")), QString());
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Saving profile object for parent folder #") + QString::number(parent)));
  ExpectSlotsEmpty();
}

TEST_F(SyncDataTest, MissingSessionOrLibraryEndsAtOnce) {
  const qint64 parent = MakeFolder(Law, QStringLiteral("Parent"), {{QStringLiteral("ABSTRACT"), QStringLiteral("x")}});
  const qint64 item = MakeFolder(Law, QStringLiteral("Child"));
  cx.items.ProfileObject = Library(Law)->OpenProfile(item);  // left alone by the early ends

  const dm::DmLibraryPtr current = cx.session.CurrentLibrary;
  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_TRUE(test::Logged(cx.LogText(), QStringLiteral("Error: Library object not set - cannot continue")));
  EXPECT_TRUE(cx.items.ProfileObject);

  cx.session.CurrentLibrary = current;
  cx.session.FusionApplication.reset();
  cx.scripted->Answer(MsgResult::No);  // keep the program running
  EXPECT_FALSE(SyncData(cx, parent, item, Law, QStringLiteral("F"), 1, Law));
  EXPECT_TRUE(test::Logged(cx.LogText(), QStringLiteral("Error: CheckFusion failed on SyncData")));
  EXPECT_EQ(LogCount(QStringLiteral("Processing Metadata between")), 0);
  EXPECT_EQ(Field(Law, item, QStringLiteral("ABSTRACT")), QString());
}

}  // namespace
}  // namespace sw
