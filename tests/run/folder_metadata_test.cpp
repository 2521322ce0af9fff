// What a new folder gets written into its profile: the row's linked columns (the document type
// only at the deepest level), the e-mail address at the rule's level, and an author.
#include <gtest/gtest.h>

#include "run/folder_metadata.h"
#include "row_session.h"

namespace sw {
namespace {

using test::Law;

class FolderMetadataTest : public test::RowSession {
 protected:
  void OneRow(const QString& selectList) {
    cx.runState.statement.RuleStatement =
        QStringLiteral("SELECT ") + selectList + QStringLiteral(" FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER'");
    ASSERT_TRUE(ReadRuleRows(cx));
  }
  QString Column(const QString& column, const QString& docName) const {
    return Sql(Law, QStringLiteral("SELECT %1 FROM PROFILE WHERE DOCNAME = '%2'").arg(column, docName));
  }
  // A demo document standing in for a new folder that the step is given.
  qint64 Document(int nth = 0) const {
    return Number(Law, QStringLiteral("SELECT DOCNUMBER FROM PROFILE ORDER BY DOCNUMBER LIMIT 1 OFFSET %1").arg(nth));
  }
  QString OfDocument(const QString& column, qint64 doc) const {
    return Sql(Law, QStringLiteral("SELECT %1 FROM PROFILE WHERE DOCNUMBER = %2").arg(column).arg(doc));
  }
  void GiveAddress(int row, const QString& address) {
    cx.runState.rows.RowEmailAddresses.assign(static_cast<size_t>(row) + 1, QString());
    cx.runState.rows.RowEmailAddresses[static_cast<size_t>(row)] = address;
  }
};

TEST_F(FolderMetadataTest, EveryNewFolderOfTheRowGetsTheLinkedColumns) {
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID", "", "CLIENT_ID = CLIENT.SYSTEM_ID"});
  cx.runState.statement.RuleStatement = test::MatterStatement(1);
  ASSERT_TRUE(ReadRuleRows(cx));
  ProcessRuleRows(cx);
  const QString matter = Sql(Law, "SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = 'M00001'");
  const QString client = Sql(Law, "SELECT CLIENT_ID FROM MATTER WHERE MATTER_ID = 'M00001'");
  const QString clientFolder = Sql(Law, "SELECT CLIENT_ID FROM CLIENT WHERE SYSTEM_ID = " + client);
  EXPECT_EQ(Column("MATTER", "M00001"), matter);
  EXPECT_EQ(Column("CLIENT_ID", "M00001"), client);
  EXPECT_EQ(Column("MATTER", clientFolder), matter);
  EXPECT_EQ(Column("CLIENT_ID", clientFolder), client);
  EXPECT_TRUE(Log().contains("Updating folder profile metadata from input value(s) in library LAWLIB"));
}

TEST_F(FolderMetadataTest, DocumentTypeGoesToTheDeepestFolderOnly) {
  const QString type = Sql(Law, "SELECT MAX(SYSTEM_ID) FROM DOCUMENTTYPES");
  OneRow("'DT1' AS \"T.A\", '\\' AS \"S\", 'DT2' AS \"T.B\", " + type + " AS \"DOCUMENTTYPES.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(Column("DOCUMENTTYPE", "DT2"), type);
  EXPECT_NE(Column("DOCUMENTTYPE", "DT1"), type);
  EXPECT_EQ(Log().count("Unable to identify folder profile metadata from input value(s)"), 1);
}

TEST_F(FolderMetadataTest, BlankLastLevelLeavesEveryFolderWithoutTheDocumentType) {
  const QString type = Sql(Law, "SELECT MAX(SYSTEM_ID) FROM DOCUMENTTYPES");
  OneRow("'DT3' AS \"T.A\", '\\' AS \"S\", '' AS \"T.B\", " + type + " AS \"DOCUMENTTYPES.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_NE(Column("DOCUMENTTYPE", "DT3"), type);
}

TEST_F(FolderMetadataTest, UpdateThatChangesNoRowIsReported) {
  cx.runState.rows.FolderMetadataList = QStringLiteral("MATTER = 1");
  UpdateFolderMetadata(cx, 987654, Law, 1);
  EXPECT_TRUE(Log().contains("Unable to set folder profile metadata from input value(s)"));
}

TEST_F(FolderMetadataTest, FoldersOfTheEmailLevelGetTheRowsAddress) {
  cx.runState.rule.RULE_EMAIL_LEVEL = 2;
  cx.runState.tmpl.EmailTemplate = QStringLiteral("%MATTER.MATTER_ID%@law.example");
  cx.runState.statement.RuleStatement = test::MatterStatement(2);
  ASSERT_TRUE(ReadRuleRows(cx));
  ProcessRuleRows(cx);
  EXPECT_EQ(Column("PD_ADDRESSEE", "M00001"), "M00001@law.example");
  EXPECT_EQ(Column("PD_ADDRESSEE", "M00002"), "M00002@law.example");
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM PROFILE WHERE PD_ADDRESSEE LIKE '%@law.example'"), 2);
}

TEST_F(FolderMetadataTest, AnAddressInUseIsNotGivenTwice) {
  cx.runState.rule.RULE_EMAIL_LEVEL = 2;
  cx.runState.tmpl.EmailTemplate = QStringLiteral("shared@law.example");
  cx.runState.statement.RuleStatement = test::MatterStatement(2);
  ASSERT_TRUE(ReadRuleRows(cx));
  ProcessRuleRows(cx);
  EXPECT_EQ(Column("PD_ADDRESSEE", "M00001"), "shared@law.example");
  EXPECT_EQ(Column("PD_ADDRESSEE", "M00002"), "");
  EXPECT_TRUE(Log().contains("Cannot set the eMail address for this folder to \"shared@law.example\" - the address is "
                             "currently assigned to another item in library LAWLIB"));
}

TEST_F(FolderMetadataTest, EmailLevelZeroSetsNoAddress) {
  cx.runState.tmpl.EmailTemplate = QStringLiteral("%MATTER.MATTER_ID%@law.example");
  cx.runState.statement.RuleStatement = test::MatterStatement(1);
  ASSERT_TRUE(ReadRuleRows(cx));
  ProcessRuleRows(cx);
  EXPECT_EQ(statements->Count(Law, "PD_ADDRESSEE"), 0);
}

TEST_F(FolderMetadataTest, AnExistingAddressIsKept) {
  const qint64 doc = Document();
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET PD_ADDRESSEE = 'old@law.example' WHERE DOCNUMBER = %1").arg(doc));
  cx.runState.rule.RULE_EMAIL_LEVEL = 1;
  GiveAddress(1, QStringLiteral("new@law.example"));
  SetFolderEmailAddress(cx, doc, Law, 1, 1);
  EXPECT_EQ(OfDocument("PD_ADDRESSEE", doc), "old@law.example");
  EXPECT_FALSE(Log().contains("eMail address for this folder"));
}

TEST_F(FolderMetadataTest, AddressWithAnApostropheIsWrittenAsItIs) {
  const qint64 doc = Document();
  cx.runState.rule.RULE_EMAIL_LEVEL = 1;
  GiveAddress(1, QStringLiteral("o'brien@law.example"));
  SetFolderEmailAddress(cx, doc, Law, 1, 1);
  EXPECT_EQ(OfDocument("PD_ADDRESSEE", doc), "o'brien@law.example");
}

TEST_F(FolderMetadataTest, FailedAddressLookUpWritesNothing) {
  const qint64 doc = Document();
  cx.runState.rule.RULE_EMAIL_LEVEL = 1;
  GiveAddress(1, QStringLiteral("new@law.example"));
  test::FailStatements(cx, statements, "SELECT COUNT(*) FROM DOCSADM.PROFILE WHERE PD_ADDRESSEE");
  SetFolderEmailAddress(cx, doc, Law, 1, 1);
  EXPECT_EQ(OfDocument("PD_ADDRESSEE", doc), "");
  EXPECT_EQ(statements->Count(Law, "UPDATE DOCSADM.PROFILE SET PD_ADDRESSEE"), 0);
}

TEST_F(FolderMetadataTest, MissingAuthorBecomesTheConnectedUser) {
  const qint64 doc = Document();
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET AUTHOR = 0 WHERE DOCNUMBER = %1").arg(doc));
  SetFolderAuthor(cx, doc, Law);
  EXPECT_EQ(OfDocument("AUTHOR", doc), Sql(Law, "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'ADMIN'"));
  EXPECT_TRUE(Log().contains(QStringLiteral("Author is not set - changing author for document #%1 to ADMIN").arg(doc)));
}

TEST_F(FolderMetadataTest, ExistingAuthorIsKept) {
  const qint64 doc = Document(1);
  const QString author = OfDocument("AUTHOR", doc);
  ASSERT_NE(author.toLongLong(), 0);
  SetFolderAuthor(cx, doc, Law);
  EXPECT_EQ(OfDocument("AUTHOR", doc), author);
  EXPECT_EQ(statements->Count(Law, "SET AUTHOR"), 0);
}

TEST_F(FolderMetadataTest, FailedAuthorLookUpKeepsTheAuthor) {
  const qint64 doc = Document(1);
  const QString author = OfDocument("AUTHOR", doc);
  test::FailStatements(cx, statements, "SELECT AUTHOR FROM");
  SetFolderAuthor(cx, doc, Law);
  EXPECT_EQ(OfDocument("AUTHOR", doc), author);
  EXPECT_EQ(statements->Count(Law, "SET AUTHOR"), 0);
}

}  // namespace
}  // namespace sw
