#include "platform/dm/sql_translator.h"

#include <exception>

#include "platform/dm/sql_functions.h"
#include "platform/dm/sql_rewrites.h"
#include "platform/dm/sql_seek.h"
#include "platform/dm/sql_tokens.h"
#include "platform/dm/sql_values.h"
#include "platform/os/utf8_text.h"

namespace sw::dm {

namespace {

using namespace sql;

bool IsKind(const Node& n, TokenKind k) { return !n.group && n.tok.kind == k; }

// A statement that SQLite prepares and runs without touching anything and without a result:
// SQLite ignores a pragma it does not know.
const QString kNoOperation = QStringLiteral("PRAGMA sw_no_operation");

Seq TopLevel(const QString& text) {
  Seq seq = Parse(text);
  while (!seq.empty() && IsSym(seq.back(), ";")) seq.pop_back();
  for (const Node& n : seq)
    if (IsSym(n, ";")) throw SqlError{QStringLiteral("Only one statement can run at a time.")};
  if (seq.empty()) throw SqlError{QStringLiteral("The statement is empty.")};
  return seq;
}

// SET options of a session: the emulated server keeps none of them.
QString TranslateSet(const Seq& seq) {
  if (seq.size() < 2) throw SqlError{QStringLiteral("Incorrect syntax near 'SET'.")};
  const QString option = seq[1].tok.text.toUpper();
  if (option == u"DATEFORMAT") {
    // Dates are always read month first (or ISO), which is what the system asks for.
    if (seq.size() == 3 && (IsWord(seq[2], "MDY") || IsWord(seq[2], "YMD"))) return kNoOperation;
    throw SqlError{QStringLiteral("SET DATEFORMAT supports mdy only here: dates are read month first.")};
  }
  if (option == u"ROWCOUNT") {
    if (seq.size() == 3 && seq[2].tok.text == u"0") return kNoOperation;
    throw SqlError{QStringLiteral("SET ROWCOUNT is not supported; use TOP.")};
  }
  static const char* const accepted[] = {"NOCOUNT", "QUOTED_IDENTIFIER", "ANSI_NULLS", "ANSI_WARNINGS",
                                          "ANSI_PADDING", "ARITHABORT", "CONCAT_NULL_YIELDS_NULL", "LANGUAGE",
                                          "DATEFIRST", "LOCK_TIMEOUT", "TRANSACTION", "XACT_ABORT",
                                          "DEADLOCK_PRIORITY", "TEXTSIZE", "IMPLICIT_TRANSACTIONS"};
  for (const char* a : accepted)
    if (option == QLatin1String(a)) return kNoOperation;
  throw SqlError{QStringLiteral("SET %1 is not supported by the DM emulator.").arg(seq[1].tok.text)};
}

// BEGIN TRAN[SACTION], COMMIT [TRAN[SACTION] | WORK] [name], ROLLBACK ...; empty when the
// statement is none of these.
QString TranslateTransaction(const Seq& seq) {
  const bool tranWord = seq.size() > 1 && IsWordIn(seq[1], {"TRAN", "TRANSACTION", "WORK"});
  if (IsWord(seq[0], "BEGIN")) {
    const size_t t = seq.size() > 1 && IsWord(seq[1], "DISTRIBUTED") ? 2 : 1;
    if (seq.size() > t && IsWordIn(seq[t], {"TRAN", "TRANSACTION"})) {
      if (seq.size() > t + 2) throw SqlError{QStringLiteral("Incorrect syntax near '%1'.").arg(seq[t + 2].tok.text)};
      // Taking the write lock at once: a transaction that must be all or nothing should
      // wait for another writer rather than fail half-way.
      return QStringLiteral("BEGIN IMMEDIATE TRANSACTION");
    }
    return QString();
  }
  // SAVE TRAN[SACTION] name sets a savepoint; ROLLBACK TRAN[SACTION] name goes back to it and
  // leaves the transaction open, as on SQL Server (the name of a transaction itself is not kept
  // here, so a name always means a savepoint).
  if (IsWord(seq[0], "SAVE") && tranWord) {
    if (seq.size() != 3) throw SqlError{QStringLiteral("Incorrect syntax near '%1'.").arg(seq.back().tok.text)};
    return QStringLiteral("SAVEPOINT ") + seq[2].tok.text;
  }
  if (IsWordIn(seq[0], {"COMMIT", "ROLLBACK"})) {
    if (seq.size() > 1 && IsWord(seq[1], "TO")) return QString();  // a savepoint: SQLite's own form
    if (seq.size() > (tranWord ? 3u : 1u))
      throw SqlError{QStringLiteral("Incorrect syntax near '%1'.").arg(seq[tranWord ? 3 : 1].tok.text)};
    if (IsWord(seq[0], "ROLLBACK") && tranWord && seq.size() == 3) return QStringLiteral("ROLLBACK TO ") + seq[2].tok.text;
    return IsWord(seq[0], "COMMIT") ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK");
  }
  return QString();
}

void RejectUnsupportedStatement(const Seq& seq) {
  static const char* const unsupported[] = {"EXEC", "EXECUTE", "DECLARE", "IF", "WHILE", "PRINT", "USE", "GO",
                                            "GRANT", "REVOKE", "DENY", "MERGE", "BACKUP", "RESTORE", "DBCC",
                                            "RAISERROR", "WAITFOR", "BULK", "OPEN", "FETCH", "CLOSE",
                                            "DEALLOCATE", "RETURN", "THROW", "SAVE", "CALL"};
  for (const char* w : unsupported)
    if (IsWord(seq[0], w))
      throw SqlError{QStringLiteral("%1 statements are not supported by the DM emulator.").arg(seq[0].tok.text.toUpper())};
  if (IsWord(seq[0], "SELECT")) {
    for (const Node& n : seq) {
      if (IsWord(n, "FROM")) break;
      if (IsWord(n, "INTO")) throw SqlError{QStringLiteral("SELECT ... INTO is not supported by the DM emulator.")};
    }
  }
}

// A column definition in SQL Server types: (MAX) goes (SQLite has no length limits), text
// columns compare without regard to case like the rest of the schema.
void MapColumnDefinition(Seq& def) {
  if (def.size() < 2 || !IsName(def[0])) return;
  size_t typeEnd = 2;  // the name, then the type's word(s) and its (length)
  while (typeEnd < def.size() && IsWordIn(def[typeEnd], {"PRECISION", "VARYING"})) ++typeEnd;
  if (typeEnd < def.size() && def[typeEnd].group) {
    if (def[typeEnd].kids.size() == 1 && IsWord(def[typeEnd].kids[0], "MAX")) def.erase(def.begin() + qsizetype(typeEnd));
    else ++typeEnd;
  }
  bool hasCollate = false;
  for (size_t k = typeEnd; k + 1 < def.size(); ++k) {
    if (!IsWord(def[k], "COLLATE")) continue;
    hasCollate = true;
    const QString name = def[k + 1].tok.text.toUpper();
    if (name.contains(u"_CS")) def[k + 1] = Word(QStringLiteral("BINARY"), def[k + 1].tok.pre);
    else if (name.contains(u"_CI")) def[k + 1] = Word(QStringLiteral("NOCASE"), def[k + 1].tok.pre);
  }
  if (!IsKind(def[1], TokenKind::Word)) return;
  const SqlType type = ParseSqlType(def[1].tok.text);
  if (type.family == TypeFamily::Text && !hasCollate)
    def.insert(def.begin() + qsizetype(typeEnd), {Word(QStringLiteral("COLLATE")), Word(QStringLiteral("NOCASE"))});
}

bool IsTableConstraint(const Node& n) {
  return IsWordIn(n, {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"});
}

void MapAlterTable(Seq& seq) {
  size_t add = 0;
  for (size_t k = 2; k < seq.size(); ++k)
    if (IsWord(seq[k], "ADD")) {
      add = k;
      break;
    }
  if (add == 0) return;
  size_t col = add + 1;
  if (col < seq.size() && IsWord(seq[col], "COLUMN")) ++col;
  if (col >= seq.size() || IsTableConstraint(seq[col])) return;
  Seq def(seq.begin() + qsizetype(col), seq.end());
  for (const Node& n : def)
    if (IsSym(n, ",")) throw SqlError{QStringLiteral("ALTER TABLE can add one column per statement here.")};
  MapColumnDefinition(def);
  seq.erase(seq.begin() + qsizetype(col), seq.end());
  seq.insert(seq.end(), def.begin(), def.end());
}

void MapCreateTable(Seq& seq) {
  for (Node& n : seq) {
    if (!n.group) continue;
    std::vector<Seq> defs = SplitCommas(n.kids);
    for (Seq& def : defs) {
      if (def.empty() || IsTableConstraint(def[0])) continue;
      MapColumnDefinition(def);
    }
    n.kids = JoinCommas(defs);
    return;  // the column list is the first group
  }
}

void DropOptionClause(Seq& seq) {
  for (size_t i = 0; i + 1 < seq.size(); ++i) {
    if (IsWord(seq[i], "OPTION") && seq[i + 1].group) {
      seq.erase(seq.begin() + qsizetype(i), seq.begin() + qsizetype(i) + 2);
      --i;
    }
  }
}

QString Translate(const QString& text, const ServerFacts& facts) {
  Seq seq = TopLevel(text);
  RejectParameterMarkers(seq);
  // Oracle knows no BEGIN: SET TRANSACTION opens the transaction that COMMIT or ROLLBACK ends.
  if (IsOracleEngine(facts.engine) && seq.size() > 1 && IsWord(seq[0], "SET") && IsWord(seq[1], "TRANSACTION"))
    return QStringLiteral("BEGIN IMMEDIATE TRANSACTION");
  if (IsWord(seq[0], "SET")) return TranslateSet(seq);
  if (IsWord(seq[0], "ALTER") && seq.size() > 1 && IsWord(seq[1], "SESSION")) return kNoOperation;
  // Oracle's LOCK TABLE holds a table for the rest of a transaction; here every transaction holds
  // the whole library's write lock from its start (BEGIN IMMEDIATE), so there is nothing to add.
  if (IsWord(seq[0], "LOCK") && seq.size() > 1 && IsWord(seq[1], "TABLE")) return kNoOperation;
  const QString transaction = TranslateTransaction(seq);
  if (!transaction.isEmpty()) return transaction;
  RejectUnsupportedStatement(seq);
  if (IsWord(seq[0], "TRUNCATE") && seq.size() > 2 && IsWord(seq[1], "TABLE")) {
    seq[0].tok.text = QStringLiteral("DELETE");
    seq[1].tok.text = QStringLiteral("FROM");
  }
  DropOwnerQualifiers(seq, facts);
  if (IsWord(seq[0], "ALTER") && seq.size() > 1 && IsWord(seq[1], "TABLE")) MapAlterTable(seq);
  if (IsWord(seq[0], "CREATE") && seq.size() > 1 && IsWord(seq[1], "TABLE")) MapCreateTable(seq);
  if (!facts.quotedIdentifierOn && !IsOracleEngine(facts.engine)) QuotedNamesAsStrings(seq);
  DropTableHints(seq);
  DropOptionClause(seq);
  if (IsOracleEngine(facts.engine)) {
    EmptyTextIsNull(seq);
    RewriteOuterJoins(seq);
  }
  RejectOuterJoinOperator(seq);
  RewriteFunctions(seq);
  RewriteTop(seq);
  RewriteRownum(seq);
  if (!IsOracleEngine(facts.engine)) RewriteStringPlus(seq);
  CollateTextComparisons(seq);
  CollateOrderBy(seq);
  AddSeekTerms(seq, !IsOracleEngine(facts.engine));
  RewriteMinus(seq);
  return Emit(seq).trimmed();
}

}  // namespace

SqlTranslation TranslateSql(const QString& sql, const ServerFacts& facts) {
  try {
    return SqlTranslation{true, Translate(sql, facts), QString()};
  } catch (const SqlError& e) {
    return SqlTranslation{false, QString(), e.message};
  } catch (const std::exception& e) {
    return SqlTranslation{false, QString(), QStringLiteral("The statement could not be translated: %1").arg(Utf8Text(e.what()))};
  } catch (...) {
    return SqlTranslation{false, QString(), QStringLiteral("The statement could not be translated.")};
  }
}

}  // namespace sw::dm
