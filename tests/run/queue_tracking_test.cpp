// The queue of documents for a row's new deepest folder and the tracking rows of processed rows.
#include <gtest/gtest.h>

#include "run/queue_tracking.h"
#include "row_session.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

class QueueTrackingTest : public test::RowSession {
 protected:
  QString MatterId(const QString& matter) const {
    return Sql(Law, QStringLiteral("SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = '%1'").arg(matter));
  }
  qint64 DocumentsOfMatter(const QString& matter) const {
    return Number(Law, QStringLiteral("SELECT COUNT(*) FROM PROFILE WHERE MATTER = %1 AND APPLICATION <> (SELECT SYSTEM_ID "
                                      "FROM APPS WHERE APPLICATION = 'FOLDER')")
                           .arg(MatterId(matter)));
  }
  qint64 Queued(const QString& where = QString()) const {
    return Number(Law, QStringLiteral("SELECT COUNT(*) FROM NEEDS_FOLDERING ") + where);
  }
  QList<QStringList> Tracking() const {
    return server.Rows(Law, "SELECT SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY FROM TARN_STACKWRIGHT ORDER BY ROWID");
  }
  void Track(int row) {
    ASSERT_TRUE(ReadRuleRows(cx));
    TrackRow(cx, row);
  }
  void QueueFor(const QString& matter) {
    cx.runState.rows.LevelCount = 2;
    cx.runState.rows.QueueCondition = QStringLiteral("MATTER = ") + MatterId(matter);
    QueueNewDocuments(cx, 2);
  }
};

TEST_F(QueueTrackingTest, NewDeepestFolderQueuesTheDocumentsOfItsMatter) {
  cx.ui->controls.options.addNewDocs = true;
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
  cx.runState.statement.RuleStatement = test::MatterStatement(1);
  ASSERT_TRUE(ReadRuleRows(cx));
  ProcessRuleRows(cx);
  const qint64 documents = DocumentsOfMatter("M00001");
  ASSERT_GT(documents, 0);
  EXPECT_EQ(Queued(), documents);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM NEEDS_FOLDERING N JOIN PROFILE P ON P.DOCNUMBER = N.SID WHERE N.STATUS = 0 "
                        "AND N.LOCKED_BY = '' AND N.RETRY_COUNT = 0 AND N.DOCSTATUS = P.STATUS AND N.TABLE_NAME = 'PROFILE' "
                        "AND N.MACHINE_NAME = '' AND N.LOCK_TIME IS NULL AND P.MATTER = " +
                        MatterId("M00001")),
            documents);
  EXPECT_TRUE(Log().contains("Adding New Documents to Queue in library LAWLIB"));

  // The folders exist now: a second pass queues nothing more.
  StartRule(test::DemoRule);
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
  cx.runState.statement.RuleStatement = test::MatterStatement(1);
  ASSERT_TRUE(ReadRuleRows(cx));
  const int inserts = statements->Count(Law, "INSERT INTO DOCSADM.NEEDS_FOLDERING");
  ProcessRuleRows(cx);
  EXPECT_EQ(statements->Count(Law, "INSERT INTO DOCSADM.NEEDS_FOLDERING"), inserts);
}

TEST_F(QueueTrackingTest, QueuedDocumentsAreNeverQueuedTwice) {
  cx.ui->controls.options.addNewDocs = true;
  QueueFor("M00002");
  const qint64 once = Queued();
  ASSERT_EQ(once, DocumentsOfMatter("M00002"));
  QueueFor("M00002");
  EXPECT_EQ(Queued(), once);
}

TEST_F(QueueTrackingTest, NothingIsQueuedWithoutTheOptionOrAboveTheDeepestLevel) {
  QueueFor("M00002");
  EXPECT_EQ(Queued(), 0);
  cx.ui->controls.options.addNewDocs = true;
  cx.runState.rows.QueueCondition = QStringLiteral("MATTER = ") + MatterId("M00002");
  cx.runState.rows.LevelCount = 2;
  QueueNewDocuments(cx, 1);
  EXPECT_EQ(Queued(), 0);
}

TEST_F(QueueTrackingTest, EmptyConditionQueuesNothingAndWarns) {
  cx.ui->controls.options.addNewDocs = true;
  cx.runState.rows.LevelCount = 1;
  QueueNewDocuments(cx, 1);
  EXPECT_EQ(Queued(), 0);
  EXPECT_TRUE(Log().contains("Not adding new documents to Queue - unable to form SQL statement"));
  EXPECT_EQ(statements->Count(Law, "INSERT INTO DOCSADM.NEEDS_FOLDERING"), 0);
}

TEST_F(QueueTrackingTest, QueueGoesToTheRuleLibraryAndSwitchesBack) {
  cx.ui->controls.options.addNewDocs = true;
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  QueueFor("M00003");
  EXPECT_EQ(Queued(), DocumentsOfMatter("M00003"));
  EXPECT_EQ(Current(), Ora);
}

TEST_F(QueueTrackingTest, EverySystemIdColumnGetsARowLastColumnFirst) {
  Track(1);
  const QList<QStringList> rows = Tracking();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0], (QStringList{Sql(Law, "SELECT CLIENT_ID FROM MATTER WHERE MATTER_ID = 'M00001'"), "CLIENT",
                                  "CLIENT MATTERS", "0", ""}));
  EXPECT_EQ(rows[1], (QStringList{MatterId("M00001"), "MATTER", "CLIENT MATTERS", "0", ""}));
  EXPECT_TRUE(Log().contains("Adding Folder column item MATTER.SYSTEM_ID to TARN_STACKWRIGHT"));
}

TEST_F(QueueTrackingTest, ARecordOfTheSameRowIsReplacedNotDuplicated) {
  const QString matter = MatterId("M00001");
  for (int i = 0; i < 2; ++i)
    server.Exec(Law, "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + matter +
                         ", 'MATTER', 'client matters', 5, 'X')");
  Track(1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER' AND SID = " + matter), 1);
  EXPECT_EQ(Sql(Law, "SELECT STATUS FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'"), "0");
}

TEST_F(QueueTrackingTest, RuleNameWithAnApostropheIsWrittenWhole) {
  StartRule(QStringLiteral("O'Neil Matters"));
  Track(1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'O''NEIL MATTERS'"), 2);
  Track(1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'O''NEIL MATTERS'"), 2);
}

TEST_F(QueueTrackingTest, RuleNameWildcardsMatchOnlyTheRulesOwnRecords) {
  const QString matter = MatterId("M00001");
  server.Exec(Law, "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + matter +
                       ", 'MATTER', 'CLIENTXMATTERS', 0, '')");
  StartRule(QStringLiteral("CLIENT_MATTERS"));
  Track(1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENTXMATTERS'"), 1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENT_MATTERS'"), 2);
}

TEST_F(QueueTrackingTest, RuleNameWildcardsMatchOnlyTheRulesOwnRecordsOnOracleToo) {
  StartRule(QStringLiteral("CLIENT_MATTERS"));
  ASSERT_TRUE(ReadRuleRows(cx));
  server.Exec(Ora, "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + MatterId("M00001") +
                       ", 'MATTER', 'CLIENTXMATTERS', 0, '')");
  cx.runState.rule.LibraryName = Ora;
  TrackRow(cx, 1);
  EXPECT_EQ(Number(Ora, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENTXMATTERS'"), 1);
  EXPECT_EQ(Number(Ora, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENT_MATTERS'"), 2);
}

TEST_F(QueueTrackingTest, FailedInsertKeepsTheEarlierRecord) {
  const QString matter = MatterId("M00001");
  server.Exec(Law, "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + matter +
                       ", 'MATTER', 'CLIENT MATTERS', 0, '')");
  ASSERT_TRUE(ReadRuleRows(cx));
  test::FailStatements(cx, statements, "INSERT INTO DOCSADM.TARN_STACKWRIGHT");
  TrackRow(cx, 1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER' AND SID = " + matter), 1);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT"), 1);
}

TEST_F(QueueTrackingTest, TrackingGoesToTheRuleLibraryAndSwitchesBack) {
  ASSERT_TRUE(ReadRuleRows(cx));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  TrackRow(cx, 2);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE SID = " + MatterId("M00002")), 1);
  EXPECT_EQ(Number(Ora, "SELECT COUNT(*) FROM TARN_STACKWRIGHT"), 0);
  EXPECT_EQ(Current(), Ora);
  EXPECT_TRUE(Log().contains("Updating TARN_STACKWRIGHT information in LAWLIB for newly created folder(s)"));
}

}  // namespace
}  // namespace sw
