// The DM SQL object over the library's SQLite file.
#include <QRegularExpression>

#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_schema.h"
#include "platform/dm/sql_chars.h"
#include "platform/dm/sql_functions.h"
#include "platform/dm/sql_template.h"
#include "platform/dm/sql_translator.h"

namespace sw::dm {

using namespace Qt::Literals::StringLiterals;

namespace {

// The error code a failing statement reports. SQLite's own result codes are used as they are,
// except that 0 and 9 never stand for a failure here: the system reads 9 as success.
qint64 FailureCode(int sqliteCode) {
  return (sqliteCode == 0 || sqliteCode == 9) ? 1 : sqliteCode;
}

bool IsAsciiLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The word is ASCII letters only: comparing in any case is comparing upper-cased.
bool IsWord(QStringView word, QLatin1StringView upper) { return word.compare(upper, Qt::CaseInsensitive) == 0; }

// The name of the savepoint a translated statement sets ("SAVEPOINT name"), or empty.
QString SavepointSet(const QString& sql) {
  const QStringView word = sql::FirstWord(sql);
  if (!IsWord(word, "SAVEPOINT"_L1)) return QString();
  return sql.mid(word.data() - sql.data() + word.size()).trimmed();
}

bool IsAlterTable(const QString& sql) {
  static const QRegularExpression alter(QStringLiteral("^\\s*ALTER\\s+TABLE\\b"), QRegularExpression::CaseInsensitiveOption);
  return alter.match(sql).hasMatch();
}

// A result column gets a name when the statement names it (an alias) or when it is a table's
// column; an expression or literal that the statement leaves unnamed has an empty name, as on a
// SQL Server. SQLite names such a column after its text, which an alias can never look like: an
// alias begins with a letter, _, #, @ or $ and holds those, digits, dots and blanks.
QString ResultColumnName(const QString& sqliteName, bool computed) {
  if (!computed) return sqliteName;
  const auto start = [](QChar c) { return IsAsciiLetter(c) || c == u'_' || c == u'#' || c == u'@' || c == u'$'; };
  if (sqliteName.isEmpty() || !start(sqliteName[0])) return QString();
  for (const QChar c : sqliteName)
    if (!start(c) && !(c >= u'0' && c <= u'9') && c != u'.' && c != u' ') return QString();
  if (sqliteName.compare(QStringLiteral("NULL"), Qt::CaseInsensitive) == 0) return QString();
  return sqliteName;
}

}  // namespace

QString FilledSql::Text() const { return sql::FilledText(pattern, literals); }

int EmPcdSql::SetToken(const QString& token) {
  token_ = token;
  return token.isEmpty() ? 1 : 0;
}

int EmPcdSql::SetLibrary(const QString& library) {
  const DmLibraryConfig* lib = server_->FindLibrary(library);
  if (!lib) {
    bound_ = false;
    return 1;
  }
  memory_ = server_->StatementMemory(lib->name);
  library_ = *lib;
  bound_ = true;
  return 0;
}

// The statements the system sends for every row differ only in their values: with those lifted
// out, one translation and one prepared statement serve them all. A template is built when its
// text comes the second time, and it serves only after its marked translation, filled with the
// values of two statements, read exactly as those statements translated in full.
EmPcdSql::Ready EmPcdSql::TranslatedAnew(const HashedText& sql) {
  const bool bracketClasses = !sql::IsOracleEngine(library_.engine);
  // A shape learnt before that does not serve yet (or at all) is not scanned a second time to learn it.
  bool shapeKnown = false;
  if (std::optional<sql::LiftShapes::Quick> quick = memory_->shapes.Lift(sql.text, bracketClasses, &shapeKnown)) {
    if (std::optional<Ready> served = Served(HashedText(quick->key, quick->keyHash), quick->values)) return *served;
  }
  sql::LiftedStatement lifted = sql::LiftValues(sql.text, bracketClasses);
  if (!shapeKnown) memory_->shapes.Learn(sql.text, lifted);
  const HashedText key(lifted.key);
  if (std::optional<Ready> served = Served(key, lifted.values)) return *served;
  const auto translate = [this](const QString& text) { return TranslateSql(text, server_->FactsFor(library_)); };
  if (std::optional<Kept> kept = memory_->translations.Take(key)) {
    Kept k = std::move(*kept);
    const SqlTranslation direct = translate(sql.text);
    if (k.usable && (!direct.ok || sql::WithLiterals(k.marked, lifted.Literals()) != direct.sql)) k.usable = false;
    if (k.usable) --k.checksLeft;
    memory_->translations.Put(key, std::move(k));
    return {direct, {}};
  }
  const SqlTranslation direct = translate(sql.text);
  Kept k;
  if (direct.ok && lifted.values.isEmpty()) {
    k = Kept{true, direct.sql, direct.sql, 0, qHash(direct.sql)};
  } else if (direct.ok && memory_->translations.Seen(key)) {
    const SqlTranslation marked = translate(lifted.Marked());
    const std::optional<QString> parameters =
        marked.ok ? sql::WithParameters(marked.sql, lifted.values.size()) : std::nullopt;
    if (parameters && sql::WithLiterals(marked.sql, lifted.Literals()) == direct.sql)
      k = Kept{true, *parameters, marked.sql, 1, qHash(*parameters)};
  }
  memory_->translations.Put(key, std::move(k));
  return {direct, {}};
}

// The statement of the key, with these values, when its template is checked and serves.
std::optional<EmPcdSql::Ready> EmPcdSql::Served(const HashedText& key, QVariantList& values) {
  const Kept* kept = memory_->translations.Peek(key);
  if (!kept || !kept->usable || kept->checksLeft != 0) return std::nullopt;
  return Ready{SqlTranslation{true, kept->sqlite, QString()}, std::move(values), kept->sqliteHash};
}

// A text among the last ones is ready as it is; another is translated and, when it can run,
// kept among them.
EmPcdSql::Ready EmPcdSql::Translated(const HashedText& sql) {
  if (auto same = memory_->lastTexts.constFind(sql); same != memory_->lastTexts.constEnd()) return *same;
  Ready ready = TranslatedAnew(sql);
  if (ready.translation.ok) KeepText(sql, ready);
  return ready;
}

void EmPcdSql::KeepText(const HashedText& sql, const Ready& ready) {
  if (qsizetype(memory_->lastTextOrder.size()) >= EmStatementMemory::KeptTexts) {
    memory_->lastTexts.remove(memory_->lastTextOrder.front());
    memory_->lastTextOrder.pop_front();
  }
  memory_->lastTexts.insert(sql, ready);
  memory_->lastTextOrder.push_back(sql);
}

void EmPcdSql::Fail(qint64 status, qint64 code, const QString& description) {
  Q_UNUSED(status);
  sqlErrorCode_ = code;
  errNumber_ = code;
  errDescription_ = description;
}

qint64 EmPcdSql::Execute(const QString& sql) { return Run(sql, nullptr); }

qint64 EmPcdSql::ExecuteFilled(const FilledSql& sql) {
  if (sql.literals.isEmpty()) return Run(sql.pattern, nullptr);
  return Run(QString(), &sql);
}

// A statement of a pattern met before needs neither its text nor any lifting; the first of each
// goes the way of its text and teaches the pattern.
EmPcdSql::Ready EmPcdSql::TranslatedFilled(const FilledSql& sql) {
  const bool bracketClasses = !sql::IsOracleEngine(library_.engine);
  sql::LiftPatterns& patterns = memory_->patterns;
  if (std::optional<sql::LiftShapes::Quick> quick = patterns.Lift(sql.pattern, sql.literals, bracketClasses)) {
    if (std::optional<Ready> served = Served(HashedText(quick->key, quick->keyHash), quick->values)) return *served;
  }
  const HashedText text(sql.Text());
  if (!patterns.Knows(sql.pattern, sql.literals))
    patterns.Learn(sql.pattern, sql.literals, sql::LiftValues(text.text, bracketClasses));
  return Translated(text);
}

qint64 EmPcdSql::Run(const QString& text, const FilledSql* filled) {
  ReleaseResults();
  sqlErrorCode_ = 0;
  errNumber_ = 0;
  errDescription_.clear();
  rowsAffected_ = 0;

  if (!bound_ || token_.isEmpty()) {
    Fail(1, 1, QStringLiteral("The SQL object is not connected to a library"));
    return 1;
  }
  if (server_->hooks.sqlFault) {
    if (auto fault = server_->hooks.sqlFault(library_.name, filled ? filled->Text() : text)) {
      Fail(fault->status, fault->code, fault->description);
      rowsAffected_ = fault->rowsAffected;
      return fault->status;
    }
  }
  // A text is hashed once: it is looked up among the last ones and may be kept.
  const Ready ready = filled ? TranslatedFilled(*filled) : Translated(HashedText(text));
  const SqlTranslation& translated = ready.translation;
  if (!translated.ok) {
    Fail(1, 1, translated.error);
    return 1;
  }
  QString error;
  SqliteDbPtr db = server_->Connection(library_.name, &error);
  if (!db) {
    Fail(1, 1, error);
    return 1;
  }
  // A SQL Server or Oracle savepoint is never released: each stays open to the end of the
  // transaction, and SQLite tracks every page written for every one of them, a cost that grows
  // with each row of a transaction that holds many. The system names its savepoints by their
  // depth and never goes back to one it has left: when the oldest open one is set again (a
  // row's, in a transaction of many rows), the older one ends, with all set after it, as a
  // release would end them.
  if (const QString name = SavepointSet(translated.sql); !name.isEmpty()) db->ReleaseOldestSavepoint(name);
  const SqliteResult r =
      db->QueryTexts(ready.sqliteHash ? HashedText(translated.sql, ready.sqliteHash) : HashedText(translated.sql), ready.values);
  if (!r.ok) {
    const qint64 code = FailureCode(r.code);
    Fail(code, code, r.error);
    return code;
  }
  for (int i = 0; i < r.columns.size(); ++i) columns_ << ResultColumnName(r.columns[i], r.computed.value(i));
  texts_ = r.texts;
  width_ = r.width;
  row_ = RowCount() == 0 ? 0 : 1;
  // Rows affected: what this statement inserted, updated or deleted; 0 for queries and for
  // schema statements, except that a successful ALTER TABLE reports 1. A SQL Server reports no
  // count for DDL at all, and the system's schema fix-up takes a count of 0 as "the column was
  // not added", so a successful change must not read as 0.
  const QStringView word = sql::FirstWord(translated.sql);
  if (IsWord(word, "INSERT"_L1) || IsWord(word, "UPDATE"_L1) || IsWord(word, "DELETE"_L1) ||
      IsWord(word, "REPLACE"_L1) || IsWord(word, "WITH"_L1))
    rowsAffected_ = r.changes;
  else if (IsWord(word, "ALTER"_L1) && IsAlterTable(translated.sql))
    rowsAffected_ = 1;
  return 0;
}

QString EmPcdSql::TableStamp(const QString& table) {
  if (!bound_ || token_.isEmpty()) return QString();
  SqliteDbPtr db = server_->Connection(library_.name, nullptr);
  if (!db) return QString();
  const SqliteDb::Stamp stamp = db->TableStamp(table);
  return QString::number(db->Identity()) + QLatin1Char(':') + QString::number(stamp.first) + QLatin1Char(':') +
         QString::number(stamp.second);
}

QString EmPcdSql::ColumnName(int column) const {
  if (column < 1 || column > columns_.size()) return QString();
  return columns_[column - 1];
}

qint64 EmPcdSql::RowCount() const { return width_ > 0 ? texts_.size() / width_ : 0; }

QString EmPcdSql::ColumnValue(int column) const {
  if (row_ < 1 || row_ > RowCount() || column < 1 || column > width_) return QString();
  return texts_[(row_ - 1) * width_ + column - 1];
}

int EmPcdSql::SetRow(qint64 row) {
  if (row < 1 || row > RowCount()) return 1;
  row_ = row;
  return 0;
}

int EmPcdSql::NextRow() {
  if (row_ < 1 || row_ >= RowCount()) {
    row_ = RowCount() + 1;  // past the last row: no current row
    return 0;
  }
  ++row_;
  return 1;
}

void EmPcdSql::ReleaseResults() {
  columns_.clear();
  texts_.clear();
  width_ = 0;
  row_ = 0;
}

qint64 EmPcdSql::NextKey(const QString& key) {
  if (!bound_ || server_->hooks.nextKeyFails) return 0;
  if (key.compare(SystemKeyName, Qt::CaseInsensitive) != 0 && key.compare(DocNumberKeyName, Qt::CaseInsensitive) != 0)
    return 0;
  QString error;
  SqliteDbPtr db = server_->Connection(library_.name, &error);
  if (!db) return 0;
  return NextKeyOn(*db, key, &error);
}

}  // namespace sw::dm
