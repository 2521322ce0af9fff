#pragma once
// An in-memory library connection for the translator tests: a tiny DM schema, prepared as the
// emulator prepares its connections, and a runner that translates and executes like PcdSql.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QList>
#include <QString>
#include <QStringList>

#include "platform/dm/sql_translator.h"

namespace sw::dm::test {

struct SqlRun {
  bool ok = false;
  QString error;
  QStringList columns;
  QList<QStringList> rows;  // NULL reads as "<null>"
};

class SqlTestDb {
 public:
  explicit SqlTestDb(ServerFacts facts = DefaultFacts()) : facts_(std::move(facts)) {
    sqlite3_open(":memory:", &db_);
    QString error;
    prepared_ = PrepareConnection(db_, facts_, &error);
    EXPECT_TRUE(prepared_) << error.toStdString();
    Native(
        "CREATE TABLE PROFILE (SYSTEM_ID INTEGER, DOCNUMBER INTEGER, DOCNAME TEXT COLLATE NOCASE, "
        "AUTHOR INTEGER, STATUS INTEGER, LAST_EDIT DATETIME);"
        "CREATE TABLE FOLDER (DOCNUMBER INTEGER, PATH TEXT COLLATE NOCASE);"
        "CREATE TABLE FOLDER_ITEM (SYSTEM_ID INTEGER, PARENT INTEGER, DOCNUMBER INTEGER, "
        "DISPLAYNAME TEXT COLLATE NOCASE, NEXT INTEGER, ISFIRST TEXT COLLATE NOCASE);"
        "CREATE TABLE TARN_SETTINGS (MASTER_KEY TEXT COLLATE NOCASE, SECTION_KEY TEXT COLLATE NOCASE, "
        "SUB_KEY TEXT COLLATE NOCASE, CHAR_VAL TEXT COLLATE NOCASE, INT_VAL INTEGER, DATE_VAL DATETIME);"
        "CREATE TABLE CLIENT (SYSTEM_ID INTEGER, CLIENT_ID TEXT COLLATE NOCASE, CLIENT_NAME TEXT COLLATE NOCASE);");
  }
  ~SqlTestDb() { sqlite3_close(db_); }
  SqlTestDb(const SqlTestDb&) = delete;
  SqlTestDb& operator=(const SqlTestDb&) = delete;

  static ServerFacts DefaultFacts() {
    ServerFacts f;
    f.engine = 10;
    f.owner = QStringLiteral("DOCSADM");
    f.versionText = QStringLiteral("Microsoft SQL Server 2016 (SP2) - 13.0.5026.0 (X64)");
    f.productVersion = QStringLiteral("13.0.5026.0");
    f.compatibilityLevel = 130;
    f.serverName = QStringLiteral("DMSQL01");
    f.databaseName = QStringLiteral("LAWLIB_DB");
    f.userName = QStringLiteral("admin");
    return f;
  }
  static ServerFacts OracleFacts() {
    ServerFacts f = DefaultFacts();
    f.engine = 2;
    return f;
  }

  // Plain SQLite, for arranging.
  void Native(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
  }

  // Translates and runs one statement, buffering its rows.
  SqlRun Run(const QString& sql) {
    SqlRun run;
    const SqlTranslation t = TranslateSql(sql, facts_);
    if (!t.ok) {
      run.error = t.error;
      return run;
    }
    lastSql = t.sql;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = t.sql.toUtf8();
    if (sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK) {
      run.error = QString::fromUtf8(sqlite3_errmsg(db_));
      return run;
    }
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) run.columns << QString::fromUtf8(sqlite3_column_name(stmt, c));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      QStringList row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        row << (text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
      }
      run.rows << row;
    }
    if (rc != SQLITE_DONE) run.error = QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_finalize(stmt);
    run.ok = run.error.isEmpty();
    return run;
  }

  // The first value of a statement that must run.
  QString Value(const QString& sql) {
    const SqlRun r = Run(sql);
    EXPECT_TRUE(r.ok) << sql.toStdString() << " -> " << r.error.toStdString() << " [" << lastSql.toStdString() << "]";
    if (r.rows.isEmpty() || r.rows[0].isEmpty()) return QStringLiteral("<no row>");
    return r.rows[0][0];
  }

  // Column 1 of every row.
  QStringList Column(const QString& sql) {
    const SqlRun r = Run(sql);
    EXPECT_TRUE(r.ok) << sql.toStdString() << " -> " << r.error.toStdString() << " [" << lastSql.toStdString() << "]";
    QStringList out;
    for (const QStringList& row : r.rows) out << row.value(0);
    return out;
  }

  sqlite3* Handle() const { return db_; }
  QString lastSql;

 private:
  ServerFacts facts_;
  sqlite3* db_ = nullptr;
  bool prepared_ = false;
};

inline QString Translated(const QString& sql, const ServerFacts& facts = SqlTestDb::DefaultFacts()) {
  const SqlTranslation t = TranslateSql(sql, facts);
  EXPECT_TRUE(t.ok) << sql.toStdString() << " -> " << t.error.toStdString();
  return t.sql;
}

inline QString TranslationError(const QString& sql, const ServerFacts& facts = SqlTestDb::DefaultFacts()) {
  const SqlTranslation t = TranslateSql(sql, facts);
  EXPECT_FALSE(t.ok) << sql.toStdString() << " translated to " << t.sql.toStdString();
  return t.error;
}

}  // namespace sw::dm::test
