#include <gtest/gtest.h>

#include <set>

#include "platform/dm/dm_schema.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"
#include "support/dm_fixture.h"

namespace sw::dm {
namespace {

class PcdSqlTest : public ::testing::Test {
 protected:
  PcdSqlPtr Bound(const QString& library = QStringLiteral("LAWLIB")) {
    auto app = server.Components()->CreateApplication();
    app->Login(0);
    PcdSqlPtr sql = server.Components()->CreatePcdSql();
    EXPECT_EQ(sql->SetToken(app->Token()), 0);
    EXPECT_EQ(sql->SetLibrary(library), 0);
    return sql;
  }
  test::DmTestServer server;
};

TEST_F(PcdSqlTest, BuffersTheWholeResultPositionedOnTheFirstRow) {
  PcdSqlPtr sql = Bound();
  ASSERT_EQ(sql->Execute("SELECT USER_ID, SYSTEM_ID FROM PEOPLE ORDER BY USER_ID"), 0);
  const qint64 people = server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PEOPLE").toLongLong();
  ASSERT_GT(people, 2);
  EXPECT_EQ(sql->RowCount(), people);
  EXPECT_EQ(sql->ColumnCount(), 2);
  EXPECT_EQ(sql->ColumnValue(1), server.Scalar("LAWLIB", "SELECT USER_ID FROM PEOPLE ORDER BY USER_ID LIMIT 1"));
  qint64 visited = 1;
  while (sql->NextRow() != 0) ++visited;
  EXPECT_EQ(visited, people);
  EXPECT_EQ(sql->NextRow(), 0);
  EXPECT_EQ(sql->ColumnValue(1), "") << "past the last row there is no current row";
  EXPECT_EQ(sql->SetRow(2), 0);
  EXPECT_EQ(sql->ColumnValue(1), server.Scalar("LAWLIB", "SELECT USER_ID FROM PEOPLE ORDER BY USER_ID LIMIT 1 OFFSET 1"));
  EXPECT_NE(sql->SetRow(people + 1), 0);
  sql->ReleaseResults();
  sql->ReleaseResults();
  EXPECT_EQ(sql->RowCount(), 0);
  EXPECT_EQ(sql->ColumnValue(1), "");
}

TEST_F(PcdSqlTest, AnEmptyResultStillHasItsColumns) {
  PcdSqlPtr sql = Bound();
  ASSERT_EQ(sql->Execute("SELECT USER_ID, FULL_NAME, EMAIL_ADDRESS FROM PEOPLE WHERE USER_ID = 'NOBODY'"), 0);
  EXPECT_EQ(sql->RowCount(), 0);
  EXPECT_EQ(sql->ColumnCount(), 3);
  EXPECT_EQ(sql->ColumnName(2), "FULL_NAME");
  EXPECT_EQ(sql->ColumnValue(1), "");
  EXPECT_EQ(sql->NextRow(), 0);
}

TEST_F(PcdSqlTest, ValuesAndNamesReadAsTheDmGivesThem) {
  server.Exec("LAWLIB", "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
                        "VALUES ('T', 'S', 'K', NULL, 123)");
  PcdSqlPtr sql = Bound();
  ASSERT_EQ(sql->Execute("SELECT CHAR_VAL, INT_VAL, INT_VAL * 1.0 AS REAL_VAL, '\\', SUB_KEY AS \"TARN_SETTINGS.SUB_KEY\" "
                         "FROM TARN_SETTINGS WHERE MASTER_KEY = 'T'"),
            0);
  ASSERT_EQ(sql->RowCount(), 1);
  EXPECT_EQ(sql->ColumnValue(1), "") << "NULL reads as empty text";
  EXPECT_EQ(sql->ColumnValue(2), "123");
  EXPECT_EQ(sql->ColumnValue(3), "123") << "a whole number has no decimals";
  EXPECT_EQ(sql->ColumnValue(4), "\\");
  EXPECT_EQ(sql->ColumnName(1), "CHAR_VAL");
  EXPECT_EQ(sql->ColumnName(3), "REAL_VAL");
  EXPECT_EQ(sql->ColumnName(4), "") << "a literal the statement does not name has no name";
  EXPECT_EQ(sql->ColumnName(5), "TARN_SETTINGS.SUB_KEY");
  EXPECT_EQ(sql->ColumnValue(6), "");
  EXPECT_EQ(sql->ColumnName(0), "");
  // A statement's texts are bound as parameters: short, long and beyond ASCII, each stored whole
  // and read back as stored (a leading U+FEFF is a character of the value, not a byte-order mark).
  for (const QString& text : {QStringLiteral("M\u00FCller \u4E2D"), QString(300, QLatin1Char('x')), QStringLiteral("plain"),
                              QStringLiteral("\uFEFFC0001")}) {
    ASSERT_EQ(sql->Execute("UPDATE TARN_SETTINGS SET CHAR_VAL = '" + text + "' WHERE MASTER_KEY = 'T'"), 0);
    EXPECT_EQ(server.Scalar("LAWLIB", "SELECT CHAR_VAL FROM TARN_SETTINGS WHERE MASTER_KEY = 'T'"), text);
  }
}

TEST_F(PcdSqlTest, RowsAffectedBelongsToTheStatementItself) {
  PcdSqlPtr sql = Bound();
  ASSERT_EQ(sql->Execute("UPDATE PROFILE SET STATUS = 0 WHERE DOCNUMBER <= 4"), 0);
  EXPECT_EQ(sql->RowsAffected(), 4);
  ASSERT_EQ(sql->Execute("SELECT COUNT(*) FROM PROFILE"), 0);
  EXPECT_EQ(sql->RowsAffected(), 0) << "a query changes nothing";
  ASSERT_EQ(sql->Execute("DELETE FROM PROFILE WHERE DOCNUMBER = 2"), 0);
  EXPECT_EQ(sql->RowsAffected(), 1);
  ASSERT_EQ(sql->Execute("CREATE TABLE TARN_PROXY (SID INTEGER)"), 0);
  EXPECT_EQ(sql->RowsAffected(), 0) << "DDL does not repeat the previous count";
  ASSERT_EQ(sql->Execute("INSERT INTO TARN_PROXY (SID) SELECT SYSTEM_ID FROM PEOPLE WHERE 1 = 0"), 0);
  EXPECT_EQ(sql->RowsAffected(), 0);
}

TEST_F(PcdSqlTest, ASuccessfulAlterTableCountsAndAFailedOneDoesNot) {
  PcdSqlPtr sql = Bound();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(sql->Execute("SELECT * FROM FOLDER"), 0);  // a statement kept
  const int columns = sql->ColumnCount();
  ASSERT_EQ(sql->Execute("ALTER TABLE FOLDER ADD LAST_UPDATE DATETIME NULL"), 0);
  EXPECT_NE(sql->RowsAffected(), 0);
  EXPECT_EQ(sql->SqlErrorCode(), 0);
  // The kept statement reads the new column the first time it runs again.
  ASSERT_EQ(sql->Execute("SELECT * FROM FOLDER"), 0);
  EXPECT_EQ(sql->ColumnCount(), columns + 1);
  EXPECT_EQ(sql->ColumnName(columns + 1), "LAST_UPDATE");
  EXPECT_NE(sql->Execute("ALTER TABLE FOLDER ADD LAST_UPDATE DATETIME NULL"), 0);
  EXPECT_EQ(sql->RowsAffected(), 0);
  EXPECT_NE(sql->SqlErrorCode(), 0);
}

TEST_F(PcdSqlTest, ARejectedStatementReportsCodeAndDescription) {
  PcdSqlPtr sql = Bound();
  EXPECT_NE(sql->Execute("SELECT NOSUCHCOLUMN FROM PEOPLE"), 0);
  EXPECT_NE(sql->SqlErrorCode(), 0);
  EXPECT_NE(sql->SqlErrorCode(), 9) << "9 would read as success";
  EXPECT_NE(sql->ErrNumber(), 0);
  EXPECT_TRUE(sql->ErrDescription().contains("NOSUCHCOLUMN", Qt::CaseInsensitive)) << sql->ErrDescription().toStdString();
  EXPECT_EQ(sql->RowCount(), 0);
  // The next good statement clears the error.
  ASSERT_EQ(sql->Execute("SELECT COUNT(*) FROM PEOPLE"), 0);
  EXPECT_EQ(sql->SqlErrorCode(), 0);
  EXPECT_EQ(sql->ErrDescription(), "");
}

TEST_F(PcdSqlTest, ABatchOfStatementsIsRefusedWholeNotRunInPart) {
  PcdSqlPtr sql = Bound();
  const QString before = server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PEOPLE");
  EXPECT_NE(sql->Execute("DELETE FROM PEOPLE; DELETE FROM GROUPS"), 0);
  EXPECT_NE(sql->SqlErrorCode(), 0);
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PEOPLE"), before);
  EXPECT_EQ(sql->Execute("SELECT COUNT(*) FROM PEOPLE; -- counted\n"), 0) << "a closing semicolon or comment is fine";
  EXPECT_EQ(sql->ColumnValue(1), before);
}

TEST_F(PcdSqlTest, DuplicateUserIdsAndDocumentNumbersAreRefused) {
  PcdSqlPtr sql = Bound();
  EXPECT_NE(sql->Execute("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID) VALUES (999999, 'admin')"), 0)
      << "USER_ID is unique without regard to case";
  EXPECT_NE(sql->Execute("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER) VALUES (999998, 1)"), 0);
  EXPECT_NE(sql->SqlErrorCode(), 0);
}

TEST_F(PcdSqlTest, TextComparesAndSortsWithoutRegardToCase) {
  PcdSqlPtr sql = Bound();
  ASSERT_EQ(sql->Execute("SELECT COUNT(*) FROM PEOPLE WHERE USER_ID = 'admin'"), 0);
  EXPECT_EQ(sql->ColumnValue(1), "1");
  server.Exec("LAWLIB", "INSERT INTO TARN_STACKWRIGHT (SID, RULE_NAME) VALUES (1, 'beta'), (2, 'Alpha'), (3, 'GAMMA')");
  ASSERT_EQ(sql->Execute("SELECT RULE_NAME FROM TARN_STACKWRIGHT ORDER BY RULE_NAME"), 0);
  QStringList order;
  do order << sql->ColumnValue(1);
  while (sql->NextRow() != 0);
  EXPECT_EQ(order, QStringList({"Alpha", "beta", "GAMMA"}));
}

// Everything a statement gives back, for comparing two runs of it.
QString Outcome(PcdSql& sql, const QString& text) {
  const qint64 status = sql.Execute(text);
  QString out = QString::number(status) + "/" + QString::number(sql.SqlErrorCode()) + "/" + QString::number(sql.RowsAffected()) + ":";
  for (int c = 1; c <= sql.ColumnCount(); ++c) out += sql.ColumnName(c) + "|";
  for (qint64 r = 0; r < sql.RowCount(); ++r, sql.NextRow()) {
    out += "\n";
    for (int c = 1; c <= sql.ColumnCount(); ++c) out += sql.ColumnValue(c) + "|";
  }
  return out;
}

TEST_F(PcdSqlTest, StatementsThatDifferOnlyInTheirValuesGiveWhatEachGivesAlone) {
  // The statements a run sends for every row share one translation and one prepared statement
  // with the values as parameters. Run again and again with other values (among them values a
  // translation treats apart), each gives exactly what the same statement gives on an object
  // that never saw it, on either engine.
  const char* statements[] = {
      "SELECT USER_ID, '%1' AS LABEL, '%1' FROM PEOPLE WHERE USER_ID = '%1' OR SYSTEM_ID = %2 ORDER BY 1",
      "SELECT COUNT(*) FROM PEOPLE WHERE SYSTEM_ID IN (%2, %2) OR FULL_NAME <> '%1'",
      "SELECT USER_ID, %2 FROM PEOPLE WHERE SYSTEM_ID > %2 ORDER BY 2, 1",
      "SELECT TOP %3 USER_ID FROM PEOPLE ORDER BY USER_ID",
      "SELECT USER_ID FROM PEOPLE WHERE ROWNUM <= %3 ORDER BY USER_ID",
      "SELECT COUNT(*) FROM PEOPLE WHERE UPPER(USER_ID) LIKE '%1' AND SYSTEM_ID <> %2",
      "SELECT USER_ID FROM PEOPLE WHERE SYSTEM_ID > %2 OR UPPER(USER_ID) LIKE '%1%' ESCAPE '!' OPTION (MAXDOP 1)",
      "UPDATE PEOPLE SET EMAIL_ADDRESS = '%1' WHERE SYSTEM_ID = %2 OR USER_ID = '%1'",
      "SELECT EMAIL_ADDRESS FROM PEOPLE WHERE SYSTEM_ID = %2 AND EMAIL_ADDRESS = '%1'",
  };
  const struct {
    const char* text;
    const char* number;
  } values[] = {{"ADMIN", "1"},    {"JSMITH", "1004"}, {"MJONES", "0"},    {"admin ", "2"}, {"", "3"},
                {"M\u00FCller", "007"}, {"O''Brien", "5"}, {"J%", "1"},        {"ADMIN", "12345"}, {"", "1004"},
                {"LGARCIA", "2"},  {"1004", "1004"},   {"TNGUYEN", "4"},   {"", "5"},       {"", "0"}};
  PcdSqlPtr kept = Bound("LAWLIB");
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    ASSERT_EQ(kept->SetLibrary(library), 0);  // what it kept for one library serves no other
    for (const char* statement : statements) {
      int rank = 0;
      for (const auto& v : values) {
        const QString text = QString(statement)
                                 .replace("%3", QString::number(++rank % 4 + 1))
                                 .replace("%2", v.number)
                                 .replace("%1", QString::fromUtf8(v.text));
        PcdSqlPtr fresh = Bound(library);
        const QString alone = Outcome(*fresh, text);
        EXPECT_EQ(Outcome(*kept, text).toStdString(), alone.toStdString()) << library.toStdString() << ": " << text.toStdString();
      }
    }
  }
}

TEST_F(PcdSqlTest, AParameterMarkerIsRefusedOnEveryRunAsNothingIsBound) {
  // SQLite binds NULL to a marker it is given no value for, and a kept template's first value.
  PcdSqlPtr sql = Bound();
  const QString abstract = server.Scalar("LAWLIB", "SELECT ABSTRACT FROM PROFILE WHERE DOCNUMBER = 3");
  for (const QString marker : {"?", "?2", ":name", "$name", "@name", "#name"}) {
    const QString text = "UPDATE PROFILE SET ABSTRACT = " + marker + " WHERE DOCNUMBER = 3";
    for (int run = 1; run <= 5; ++run) {
      EXPECT_NE(sql->Execute(text), 0) << marker.toStdString() << ", run " << run;
      EXPECT_TRUE(sql->ErrDescription().contains(marker)) << sql->ErrDescription().toStdString();
    }
  }
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT ABSTRACT FROM PROFILE WHERE DOCNUMBER = 3"), abstract);
  ASSERT_EQ(sql->Execute("UPDATE PROFILE SET ABSTRACT = '? :a $b @c #d' WHERE DOCNUMBER = 3"), 0) << "quoted, they are text";
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT ABSTRACT FROM PROFILE WHERE DOCNUMBER = 3"), "? :a $b @c #d");
}

TEST_F(PcdSqlTest, ATextSentAgainAfterASwitchRunsAsTheNewLibraryReadsIt) {
  // Oracle reads '' as NULL: the same text counts other rows there.
  const QString text = "SELECT COUNT(*) FROM PEOPLE WHERE FULL_NAME <> ''";
  PcdSqlPtr sql = Bound("LAWLIB");
  const QString onSqlServer = Outcome(*sql, text);
  ASSERT_EQ(sql->SetLibrary("ORALIB"), 0);
  const QString onOracle = Outcome(*Bound("ORALIB"), text);
  EXPECT_NE(onSqlServer, onOracle);
  EXPECT_EQ(Outcome(*sql, text), onOracle);
}

TEST_F(PcdSqlTest, InjectedFaultsReplaceTheStatement) {
  PcdSqlPtr sql = Bound();
  const QString before = server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE");
  server.Components()->Server()->hooks.sqlFault = [](const QString& library, const QString& text) -> std::optional<SqlFault> {
    if (library == "LAWLIB" && text.startsWith("DELETE")) return SqlFault{1, 9, "code nine"};
    if (text.contains("REMOTE_LIBRARIES")) return SqlFault{0x80010105, 0x80010105, "server interface failed"};
    return std::nullopt;
  };
  EXPECT_EQ(sql->Execute("DELETE FROM PROFILE"), 1);
  EXPECT_EQ(sql->SqlErrorCode(), 9);
  EXPECT_EQ(sql->ErrDescription(), "code nine");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE"), before) << "the faulted statement did not run";
  EXPECT_EQ(sql->Execute("SELECT * FROM REMOTE_LIBRARIES"), 0x80010105);
  EXPECT_EQ(sql->SqlErrorCode(), 0x80010105);
  EXPECT_EQ(sql->Execute("SELECT COUNT(*) FROM PROFILE"), 0);
  EXPECT_EQ(sql->ColumnValue(1), before);
}

TEST_F(PcdSqlTest, AnUnboundObjectRunsNothing) {
  PcdSqlPtr sql = server.Components()->CreatePcdSql();
  EXPECT_EQ(sql->DatabaseVendor(), 0);
  EXPECT_NE(sql->Execute("SELECT 1"), 0);
  EXPECT_NE(sql->SqlErrorCode(), 0);
  EXPECT_EQ(sql->NextKey("SYSTEMKEY"), 0);
  EXPECT_NE(sql->SetLibrary("NOLIB"), 0);
}

TEST_F(PcdSqlTest, DatabaseVendorIsTheLibrarysEngine) {
  EXPECT_EQ(Bound("LAWLIB")->DatabaseVendor(), 10);
  EXPECT_EQ(Bound("oralib")->DatabaseVendor(), 2);
}

TEST_F(PcdSqlTest, NextKeyHandsOutFreshIdsAboveEveryExistingOne) {
  PcdSqlPtr sql = Bound();
  const qint64 first = sql->NextKey("SYSTEMKEY");
  const qint64 second = sql->NextKey("SYSTEMKEY");
  EXPECT_GT(first, 0);
  EXPECT_GT(second, first);
  for (const char* table : {"PEOPLE", "GROUPS", "REGISTRY", "REMOTE_LIBRARIES", "DOCSCOLUMN", "PROFILE"})
    EXPECT_GT(first, server.Scalar("LAWLIB", QString("SELECT MAX(SYSTEM_ID) FROM %1").arg(table)).toLongLong()) << table;
  EXPECT_EQ(sql->NextKey("NOSUCHKEY"), 0);

  // A file written by other means: rows above the counters, the counters gone, an index of the
  // look-ups missing. Opening the library puts all three right.
  const qint64 docNumber = server.Scalar("LAWLIB", "SELECT MAX(DOCNUMBER) FROM PROFILE").toLongLong();
  server.Exec("LAWLIB", "INSERT INTO REGISTRY (SYSTEM_ID, NAME) VALUES (5000000, 'X'); DELETE FROM DM_NEXTKEY; "
                        "DROP INDEX MATTER_MATTER_ID");
  const auto reopened = server.Reconfigured([](DmServerConfig&) {});
  ASSERT_TRUE(reopened);
  PcdSqlPtr again = reopened->CreatePcdSql();
  again->SetToken("token");
  ASSERT_EQ(again->SetLibrary("LAWLIB"), 0);
  EXPECT_EQ(again->NextKey("SYSTEMKEY"), 5000001);
  EXPECT_EQ(again->NextKey("systemkey"), 5000002);
  EXPECT_EQ(again->NextKey("DOCNUMBER"), docNumber + 1);
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM sqlite_master WHERE name = 'MATTER_MATTER_ID'"), "1");
  reopened->Server()->hooks.nextKeyFails = true;
  EXPECT_EQ(again->NextKey("SYSTEMKEY"), 0);
}

TEST_F(PcdSqlTest, AKeptReadNeverOutlivesAChangeToWhatItRead) {
  // The emulator's own reads are answered again inside a transaction; every way this
  // connection can change a table read (the system's write, a full-table delete, going back to
  // a savepoint, the transaction's end) gives the new answer. A write elsewhere keeps it.
  QString error;
  SqliteDbPtr db = server.Components()->Server()->Connection("LAWLIB", &error);
  ASSERT_TRUE(db) << error.toStdString();
  PcdSqlPtr sql = Bound();
  const QString read = "SELECT COUNT(*) FROM APPS WHERE APPLICATION <> ?";
  const auto apps = [&] { return db->ReadScalar(read, {"NONE"}).toLongLong(); };
  const qint64 before = apps();
  const SqliteDb::Stamp forms = db->ConfigurationStamp();
  ASSERT_TRUE(db->Query("BEGIN IMMEDIATE").ok);
  EXPECT_EQ(db->ConfigurationStamp(), forms) << "beginning a transaction writes nothing";
  EXPECT_EQ(apps(), before);
  ASSERT_EQ(sql->Execute("INSERT INTO APPS (SYSTEM_ID, APPLICATION) VALUES (900001, 'X1')"), 0);
  EXPECT_EQ(apps(), before + 1);
  ASSERT_EQ(sql->Execute("UPDATE PEOPLE SET EMAIL_ADDRESS = 'x' WHERE 1 = 0"), 0);
  EXPECT_EQ(apps(), before + 1);
  ASSERT_TRUE(db->Query("SAVEPOINT s").ok);
  ASSERT_EQ(sql->Execute("DELETE FROM APPS"), 0);
  EXPECT_EQ(apps(), 0);
  ASSERT_TRUE(db->Query("ROLLBACK TO s").ok);
  EXPECT_EQ(apps(), before + 1);
  // A trigger made after a statement was kept: SQLite prepares the statement anew, and what it
  // writes then (through the trigger) changes the kept reads of those tables.
  const QString insert = "INSERT INTO APPS (SYSTEM_ID, APPLICATION) VALUES (?, ?)";
  for (const qint64 id : {900002, 900003}) ASSERT_TRUE(db->Query(insert, {id, QString::number(id)}).ok);
  ASSERT_TRUE(db->Query("CREATE TRIGGER APPS_SEEN AFTER INSERT ON APPS BEGIN UPDATE PEOPLE SET EMAIL_ADDRESS = NEW.APPLICATION; END").ok);
  const auto seen = [&] { return db->ReadScalar("SELECT COUNT(*) FROM PEOPLE WHERE EMAIL_ADDRESS = ?", {"SEEN"}).toLongLong(); };
  EXPECT_EQ(seen(), 0);
  ASSERT_TRUE(db->Query(insert, {qint64(900004), "SEEN"}).ok);
  EXPECT_GT(seen(), 0);
  ASSERT_TRUE(db->Query("ROLLBACK").ok);
  EXPECT_EQ(apps(), before);
}

TEST_F(PcdSqlTest, NoKeyDrawnIsHandedOutAgainWhateverRollsBack) {
  // Ids drawn in a savepoint and a transaction that both roll back, more than the connection had
  // reserved among them, are handed out again neither by this connection nor by another one (another
  // process's). A connection that closes in order gives its unused ids back: no gap after the last.
  DmServerPtr dm = server.Components()->Server();
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    QString error;
    SqliteDbPtr db = dm->Connection(library, &error);
    ASSERT_TRUE(db) << error.toStdString();
    std::set<qint64> drawn;
    const auto draw = [&](SqliteDb& on, const QString& key, int count) {
      qint64 id = 0;
      for (int i = 0; i < count; ++i) {
        id = NextKeyOn(on, key, &error);
        EXPECT_TRUE(id > 0 && drawn.insert(id).second) << library.toStdString() << " " << id;
      }
      return id;
    };
    ASSERT_TRUE(db->Query("BEGIN IMMEDIATE").ok);
    ASSERT_TRUE(db->Query("SAVEPOINT s").ok);
    draw(*db, SystemKeyName, 3000);
    draw(*db, DocNumberKeyName, 300);
    ASSERT_TRUE(db->Query("ROLLBACK TO s").ok);
    draw(*db, "systemkey", 5);
    ASSERT_TRUE(db->Query("ROLLBACK").ok);
    SqliteDbPtr other = SqliteDb::Open(dm->LibraryFile(*dm->FindLibrary(library)), false, &error);
    ASSERT_TRUE(other) << error.toStdString();
    draw(*other, SystemKeyName, 20);
    draw(*other, DocNumberKeyName, 20);
    draw(*db, DocNumberKeyName, 3);
    ASSERT_TRUE(db->Query("BEGIN IMMEDIATE").ok);
    const qint64 last = draw(*db, DocNumberKeyName, 2);
    ASSERT_TRUE(db->Query("COMMIT").ok);
    other.reset();
    db.reset();
    dm->CloseConnections();
    EXPECT_EQ(server.Scalar(library, "SELECT LAST_KEY FROM DM_NEXTKEY WHERE KEY_NAME = 'DOCNUMBER'").toLongLong(), last);
  }
}

TEST_F(PcdSqlTest, SavepointsSetAgainForEachRowGoBackToTheirOwnWorkOnly) {
  // A row's savepoint and its steps' are set again, by name, for every row of one transaction:
  // going back undoes the newest's work alone, and what earlier rows did stands to the commit.
  // A savepoint that began the transaction is not ended by being set again.
  PcdSqlPtr sql = Bound();
  const auto insert = [&](const QString& name) {
    static int id = 900100;
    return sql->Execute(QString("INSERT INTO APPS (SYSTEM_ID, APPLICATION) VALUES (%1, '%2')").arg(++id).arg(name));
  };
  const auto kept = [&] { return server.Scalar("LAWLIB", "SELECT GROUP_CONCAT(APPLICATION, ' ') FROM APPS WHERE APPLICATION LIKE 'SP%'"); };
  ASSERT_EQ(sql->Execute("BEGIN TRANSACTION"), 0);
  for (const QString row : {"SP1", "SP2", "SP3"}) {
    ASSERT_EQ(sql->Execute("SAVE TRANSACTION SW_LEVEL1"), 0);
    ASSERT_EQ(sql->Execute("SAVE TRANSACTION SW_LEVEL2") + insert(row + "A"), 0);
    ASSERT_EQ(sql->Execute("SAVE TRANSACTION SW_LEVEL2") + insert(row + "B"), 0);
    const QString back = row == "SP2" ? "ROLLBACK TRANSACTION SW_LEVEL2" : row == "SP3" ? "ROLLBACK TRANSACTION SW_LEVEL1" : "";
    if (!back.isEmpty()) {
      ASSERT_EQ(sql->Execute(back), 0);
    }
  }
  ASSERT_EQ(sql->Execute("COMMIT TRANSACTION"), 0);
  EXPECT_EQ(kept(), "SP1A SP1B SP2A");

  ASSERT_EQ(sql->Execute("SAVE TRANSACTION T") + insert("SP4"), 0);
  ASSERT_EQ(sql->Execute("SAVE TRANSACTION T"), 0);
  ASSERT_EQ(sql->Execute("ROLLBACK TRANSACTION"), 0);
  EXPECT_EQ(kept(), "SP1A SP1B SP2A");
}

}  // namespace
}  // namespace sw::dm
