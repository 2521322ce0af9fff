// Filing into a folder: the guards, a document and a subfolder filed in one library, the
// failures after the checks, the rule's security steps, the filing across libraries and the
// way back to the library that was current on entry.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "filing_session.h"
#include "folders/folders.h"
#include "rules/rule_table.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

// Rule 0 is the rule record with every field empty.
constexpr int NoRule = 0;

class AddFolderItemTest : public test::FilingSession {
 protected:
  void SetUp() override {
    FilingSession::SetUp();
    parent = NewFolder(Law, QStringLiteral("Filing Parent"));
    doc = Document(Law);
  }
  bool File(const QString& docType = QStringLiteral("D"), const QString& folderLibrary = Law,
            const QString& documentLibrary = Law, int rule = NoRule) {
    return AddFolderItem(cx, doc, parent, docType, rule, folderLibrary, documentLibrary);
  }
  void ExpectSlotsEmpty() const {
    EXPECT_EQ(cx.items.FolderObject, nullptr);
    EXPECT_EQ(cx.items.ProfileObject, nullptr);
  }
  QString NodeType(const QString& library, qint64 folder, qint64 item) {
    return server.Scalar(library, QStringLiteral("SELECT NODE_TYPE FROM FOLDER_ITEM WHERE PARENT = %1 AND DOCNUMBER = %2")
                                      .arg(folder)
                                      .arg(item));
  }
  // The groups that hold a trustee row on an item.
  QList<QStringList> TrusteeGroups(const QString& library, qint64 item) {
    return server.Rows(library, QStringLiteral("SELECT G.GROUP_ID FROM SECURITY S JOIN GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
                                               "JOIN PROFILE P ON P.SYSTEM_ID = S.THING WHERE P.DOCNUMBER = %1 ORDER BY 1")
                                    .arg(item));
  }
  void GrantGroup(const QString& library, qint64 item, const QString& group, int rights) {
    server.Exec(library, QStringLiteral("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT P.SYSTEM_ID, "
                                        "G.SYSTEM_ID, %1 FROM PROFILE P, GROUPS G WHERE P.DOCNUMBER = %2 AND G.GROUP_ID = '%3'")
                             .arg(rights)
                             .arg(item)
                             .arg(group));
  }
  // The ISFIRST values of the rows ORALIB keeps for the item's filing in the LAWLIB parent.
  QString RecordedInOra(qint64 item) {
    return server.Scalar(Ora, QStringLiteral("SELECT GROUP_CONCAT(FI.ISFIRST) FROM FOLDER_ITEM FI JOIN REMOTE_LIBRARIES PL ON "
                                             "PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE PL.LIBRARY_NAME = 'LAWLIB' AND FI.PARENT = %1 "
                                             "AND FI.DOCNUMBER = %2")
                                  .arg(parent)
                                  .arg(item));
  }
  qint64 parent = 0;
  qint64 doc = 0;
};

TEST_F(AddFolderItemTest, GuardsEndWithoutTouchingAnything) {
  const int before = static_cast<int>(statements->items.size());
  const QString logBefore = Log();
  cx.items.ProfileObject = SessionLibrary(Law)->OpenProfile(doc);

  // An item is never filed into itself.
  EXPECT_TRUE(AddFolderItem(cx, parent, parent, "F", NoRule, Law, Law));
  EXPECT_FALSE(AddFolderItem(cx, 0, parent, "D", NoRule, Law, Law));
  EXPECT_FALSE(AddFolderItem(cx, doc, 0, "D", NoRule, Law, Law));
  EXPECT_EQ(static_cast<int>(statements->items.size()), before);
  EXPECT_EQ(Log(), logBefore);
  // The guards leave the shared objects as they were.
  EXPECT_NE(cx.items.ProfileObject, nullptr);

  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(AddFolderItem(cx, doc, parent, "D", NoRule, Law, Law));
  EXPECT_TRUE(Log().contains("Error: Library object not set - cannot continue"));
}

TEST_F(AddFolderItemTest, SameNumberInLibraryNamesOfAnotherCaseGoesToTheChecks) {
  const int before = static_cast<int>(statements->items.size());
  // The "item" is the parent itself seen from another library text: the checks decide.
  EXPECT_FALSE(AddFolderItem(cx, parent, parent, "F", NoRule, Law, "lawlib"));
  EXPECT_GT(static_cast<int>(statements->items.size()), before);
  EXPECT_EQ(FiledRows(Law, parent, parent), 0);
}

TEST_F(AddFolderItemTest, FilesADocumentAndSavesTheParent) {
  cx.items.ProfileObject = SessionLibrary(Law)->OpenProfile(doc);  // left open by a caller
  ASSERT_TRUE(File());
  EXPECT_EQ(FiledRows(Law, parent, doc), 1);
  EXPECT_EQ(NodeType(Law, parent, doc), "D");
  ExpectSlotsEmpty();
  EXPECT_EQ(Current(), Law);
  const QString log = Log();
  EXPECT_TRUE(log.contains("Setting document object #" + N(doc)));
  EXPECT_TRUE(log.contains("Profile object set with 0 trustee(s)"));
  EXPECT_TRUE(log.contains("to folder #" + N(parent) + " \"Filing Parent description\" in library LAWLIB"));
  EXPECT_TRUE(log.contains("Folder object saved to #" + N(parent) + " in library LAWLIB"));
  EXPECT_TRUE(log.contains("Folder Item #" + N(doc) + " successfully added to folder #" + N(parent) + "."));

  // Filed already: True again, nothing added.
  EXPECT_TRUE(File());
  EXPECT_EQ(FiledRows(Law, parent, doc), 1);
}

TEST_F(AddFolderItemTest, OnlyUpperCaseFMakesASubfolder) {
  const qint64 sub = NewFolder(Law, QStringLiteral("Sub"));
  doc = sub;
  ASSERT_TRUE(File("F"));
  EXPECT_EQ(NodeType(Law, parent, sub), "F");
  EXPECT_TRUE(Log().contains("Adding subfolder #" + N(sub) + " \"Sub description\" in library LAWLIB to folder #" + N(parent)));

  doc = NewFolder(Law, QStringLiteral("Lower"));
  ASSERT_TRUE(File("f"));
  EXPECT_EQ(NodeType(Law, parent, doc), "D");
}

TEST_F(AddFolderItemTest, NoSessionLibraryOfTheItemsNameAddsNothing) {
  // The switch trims the name; the session's collection has no library named with the blank.
  EXPECT_FALSE(File("D", Law, "LAWLIB "));
  EXPECT_EQ(FiledRows(Law, parent, doc), 0);
  EXPECT_TRUE(Log().contains("Error: Unable to add item #" + N(doc) + " to folder #" + N(parent) + " \"Filing Parent description\""));
  ExpectSlotsEmpty();
}

TEST_F(AddFolderItemTest, FailedAddLogsBothErrorLines) {
  server.Exec(Law, "CREATE TRIGGER NO_FILING BEFORE INSERT ON FOLDER_ITEM BEGIN SELECT RAISE(ABORT, 'filing refused'); END");
  EXPECT_FALSE(File());
  const QString log = Log();
  EXPECT_TRUE(log.contains(QRegularExpression("Error: #\\d+ - .*filing refused")));
  EXPECT_TRUE(log.contains(QRegularExpression("Error: #\\d+  \\(.*filing refused.*\\) Unable to add item #" + N(doc) +
                                              " to folder #" + N(parent))));
  EXPECT_FALSE(log.contains("Folder object saved to"));
  ExpectSlotsEmpty();
}

TEST_F(AddFolderItemTest, FailingMetadataStepAnswersFalseAfterTheFiling) {
  // The item's profile disappears once the parent is saved, so the metadata step cannot open it.
  ui->onStatus = [&](const QString& text) {
    if (text.startsWith("Processing Metadata between Parent #"))
      server.Exec(Law, "UPDATE PROFILE SET DOCNUMBER = -DOCNUMBER WHERE DOCNUMBER = " + N(doc));
  };
  EXPECT_FALSE(File());
  ui->onStatus = nullptr;
  EXPECT_EQ(FiledRows(Law, parent, doc), 1);
  EXPECT_TRUE(Log().contains("Error: Unable to process Inherit Metadata Option"));
  EXPECT_FALSE(Log().contains("successfully added to folder"));
  ExpectSlotsEmpty();
}

TEST_F(AddFolderItemTest, FailingSortIsLoggedAndTheFilingStillSucceeds) {
  // The sort cannot switch to the parent's library; the switch works again by the metadata step.
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  ui->onStatus = [&](const QString& text) {
    if (text.startsWith("Preparing to sort folder #")) {
      cx.library.SwitchIncomplete = true;
      test::InjectLibraryFaults(cx, {Law, false, true, QString()});
    } else if (text.startsWith("Processing Metadata between Parent #")) {
      cx.session.FusionLibraries = libraries;
    }
  };
  EXPECT_TRUE(File());
  ui->onStatus = nullptr;
  EXPECT_TRUE(Log().contains("Error: Unable to sort the parent folder in library LAWLIB"));
  EXPECT_TRUE(Log().contains("Folder Item #" + N(doc) + " successfully added to folder #" + N(parent) + "."));
  EXPECT_EQ(FiledRows(Law, parent, doc), 1);
  EXPECT_EQ(Current(), Law);
}

TEST_F(AddFolderItemTest, RuleInheritingSecurityWithoutTemplateCopiesTheParentsTrustees) {
  GrantGroup(Law, parent, "LITIGATION", 255);
  const int rule = cx.rules.RuleTable.AddRule();
  cx.rules.RuleTable.Set(field::RULE_PROFILE_INHERIT_SECURITY, rule, "1");
  doc = NewFolder(Law, QStringLiteral("Inheriting"));
  ASSERT_TRUE(File("F", Law, Law, rule));
  EXPECT_EQ(TrusteeGroups(Law, doc), (QList<QStringList>{{"LITIGATION"}}));
}

TEST_F(AddFolderItemTest, RuleWithTemplateOnlyAppliesOnlyTheTemplate) {
  GrantGroup(Law, parent, "LITIGATION", 255);
  const int rule = cx.rules.RuleTable.AddRule();
  cx.rules.RuleTable.Set(field::RULE_PROFILE_INHERIT_SECURITY, rule, "0");
  cx.rules.RuleTable.Set(field::RULE_SECURITY, rule, "GROUP:CORPORATE = 63");
  doc = NewFolder(Law, QStringLiteral("Templated"));
  ASSERT_TRUE(File("F", Law, Law, rule));
  EXPECT_EQ(TrusteeGroups(Law, doc), (QList<QStringList>{{"CORPORATE"}}));
}

TEST_F(AddFolderItemTest, AcrossLibrariesTheLastRowWithoutNumberReceivesIt) {
  const qint64 oraDoc = Document(Ora);
  doc = oraDoc;
  // The DM left the new row without the item's number.
  ui->onStatus = [&](const QString& text) {
    if (text.startsWith("Verifying that document # "))
      server.Exec(Law, "UPDATE FOLDER_ITEM SET DOCNUMBER = 0 WHERE PARENT = " + N(parent) + " AND NEXT = 0");
  };
  ASSERT_TRUE(File("D", Law, Ora));
  ui->onStatus = nullptr;
  EXPECT_EQ(FiledRows(Law, parent, oraDoc), 1);
  EXPECT_TRUE(Log().contains("Inserting Document # for the new Folder Item"));
  // The parent holds this one item and so is never sorted: the filing itself records the item
  // in its own library, once.
  EXPECT_EQ(RecordedInOra(oraDoc), "Y");
  doc = Document(Ora, 1);
  ASSERT_TRUE(File("D", Law, Ora));
  EXPECT_EQ(RecordedInOra(oraDoc), "N");
  EXPECT_EQ(RecordedInOra(doc), "N");
  EXPECT_EQ(Current(), Law);
  ExpectSlotsEmpty();
}

TEST_F(AddFolderItemTest, AcrossLibrariesAFilingTheItemsLibraryCannotRecordFails) {
  doc = Document(Ora);
  server.Exec(Ora, "CREATE TRIGGER NO_FILING BEFORE INSERT ON FOLDER_ITEM BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  EXPECT_FALSE(File("D", Law, Ora));
  EXPECT_TRUE(Log().contains("Error: Unable to record item #" + N(doc) + " of library ORALIB as filed in folder #" + N(parent)));
  EXPECT_FALSE(Log().contains("successfully added to folder"));
  EXPECT_EQ(Current(), Law);
}

TEST_F(AddFolderItemTest, AcrossLibrariesARowWithANumberIsLeftAlone) {
  doc = Document(Ora);
  ui->onStatus = [&](const QString& text) {
    if (text.startsWith("Verifying that document # "))
      server.Exec(Law, "UPDATE FOLDER_ITEM SET DOCNUMBER = 4242 WHERE PARENT = " + N(parent) + " AND NEXT = 0");
  };
  ASSERT_TRUE(File("D", Law, Ora));
  ui->onStatus = nullptr;
  EXPECT_TRUE(Log().contains("Document #4242 is currently set to Folder Item system_id #"));
  EXPECT_FALSE(Log().contains("Inserting Document # for the new Folder Item"));
  EXPECT_EQ(FiledRows(Law, parent, 4242), 1);
}

TEST_F(AddFolderItemTest, EntryLibraryIsCurrentAgainOnEveryWayOut) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  // Filed.
  EXPECT_TRUE(File());
  EXPECT_EQ(Current(), Ora);
  // Filed already.
  EXPECT_TRUE(File());
  EXPECT_EQ(Current(), Ora);
  // Refused by a check in the item's library.
  SetStatusOf(Law, Document(Law, 1), 7);
  doc = Document(Law, 1);
  EXPECT_FALSE(File());
  EXPECT_EQ(Current(), Ora);
  ExpectSlotsEmpty();
}

TEST_F(AddFolderItemTest, FailureRaisedDuringTheChecksGoesToTheErrorReport) {
  test::FailStatements(cx, statements, "FROM DOCSADM.FOLDER WHERE DOCNUMBER = ");
  EXPECT_FALSE(File());
  const QString log = Log();
  EXPECT_TRUE(log.contains("AddFolderItem:"));
  EXPECT_TRUE(log.contains("Injected failure"));
  EXPECT_EQ(FiledRows(Law, parent, doc), 0);
  ExpectSlotsEmpty();
  EXPECT_EQ(Current(), Law);
}

}  // namespace
}  // namespace sw
