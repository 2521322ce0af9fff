#include "admin/rule_sql_store.h"

#include "admin/tool_steps.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "core/sql.h"
#include "core/text.h"
#include "rules/rule_table.h"
#include "run/run_context.h"

namespace sw::admin {

namespace {

const QString kToken = QStringLiteral("<SPC>");
const QChar kBlank = QLatin1Char(' ');

bool IsLineBreak(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

// Keeps the separation of a line break that stands at a chunk's edge (see RuleSqlChunks).
QString GuardChunkEdges(QString chunk) {
  if (chunk.isEmpty()) return chunk;
  if (IsLineBreak(chunk.front())) chunk[0] = QLatin1Char('\t');
  if (IsLineBreak(chunk.back())) chunk[chunk.size() - 1] = QLatin1Char('\t');
  return chunk;
}

// The library switch must have landed where the statement belongs: a statement tested or stored
// in whatever library happened to be current would report or change the wrong database.
bool LibraryIsCurrent(RunContext& cx, const QString& library) {
  return CurrentLibraryNameOrEmpty(cx).compare(TrimBlanks(library), Qt::CaseInsensitive) == 0 && !library.isEmpty();
}

bool MakeLibraryCurrent(RunContext& cx, const QString& library) {
  ConnectLibrary(cx, library);
  return LibraryIsCurrent(cx, library);
}

// What a test's statement gave, read before its transaction is ended.
struct TestResult {
  bool passed = false;
  qint64 rows = 0;
  qint64 code = 0;
  QString error;
};

void ShowTestResult(RunContext& cx, const QString& rule, const TestResult& result) {
  QString text;
  if (result.passed) {
    text = QStringLiteral("Results: ") + FormatNumber(result.rows) + QStringLiteral(" item(s) returned from test on ") +
           rule + QStringLiteral("\r\nThe test ran in a transaction that has been rolled back: nothing was changed.");
  } else {
    text = QStringLiteral("SQL Error: ") + FormatNumber(result.code) + QStringLiteral("\r\n (") + TrimBlanks(result.error) +
           QStringLiteral(")\r\n occurred trying to run test on ") + rule;
  }
  cx.ui->MessageBox(text, MsgIcon::None, MsgButtons::OK, cx.app.AppTitle);
}

// The statements a test can undo on every engine: those that read or change rows. A change to the
// schema commits at once on an Oracle database, and a statement that ends the transaction itself
// would leave nothing to roll back.
bool TestableStatement(const QString& statement) {
  static const QStringList testable = {QStringLiteral("SELECT"), QStringLiteral("WITH"),   QStringLiteral("INSERT"),
                                       QStringLiteral("UPDATE"), QStringLiteral("DELETE"), QStringLiteral("MERGE")};
  return testable.contains(FirstSqlWord(statement));
}

void ShowTestRefused(RunContext& cx, const QString& rule, const QString& why) {
  cx.ui->MessageBox(QStringLiteral("Error: The SQL statement for the rule ") + rule + QStringLiteral(" has not been run: ") + why,
                    MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
}

// Runs the statement in a transaction that is rolled back whatever it did.
RuleSqlTest RunTestStatement(RunContext& cx, const QString& library, const QString& rule, const QString& statement) {
  if (!TestableStatement(statement)) {
    ShowTestRefused(cx, rule,
                    QStringLiteral("only a SELECT, WITH, INSERT, UPDATE, DELETE or MERGE statement can be tested, in a "
                                   "transaction that is rolled back afterwards."));
    return RuleSqlTest::Failed;
  }
  // Joining another task's open work would roll that work back with the test.
  if (TransactionOpen(cx)) {
    ShowTestRefused(cx, rule, QStringLiteral("other work is being written to library ") + library +
                                  QStringLiteral("; test it again when that work has finished."));
    return RuleSqlTest::Failed;
  }
  const SqlTransaction test = BeginTransaction(cx);
  if (!test.Opened) {
    ShowTestRefused(cx, rule, QStringLiteral("no transaction could be opened in library ") + library + QStringLiteral("."));
    return RuleSqlTest::Failed;
  }
  TestResult result;
  // Tested as it will be stored and run: the administrator's placeholders inside literals mean
  // the owner there too.
  const QString stored = StoredRuleSql(statement);
  const bool handed = RunSQL(cx, ReplaceOwnerPlaceholdersInLiterals(stored, cx.library.DatabaseOwner));
  if (dm::PcdSql* sql = cx.session.pSQL.get()) {
    result.code = sql->SqlErrorCode();
    result.passed = handed && IsSqlSuccess(result.code);
    result.rows = sql->RowCount();
    result.error = sql->ErrDescription();
    sql->ReleaseResults();
  }
  // Ended before the result is shown: the library stays locked no longer than the statement ran.
  EndTransaction(cx, test, false);
  ShowTestResult(cx, rule, result);
  return result.passed ? RuleSqlTest::Passed : RuleSqlTest::Failed;
}

// The delete and the inserts of a save, as one unit of work; true when it stands.
bool WriteChunks(RunContext& cx, const QString& rule, const QStringList& chunks) {
  const SqlTransaction work = BeginTransaction(cx);
  if (!work.Opened) return false;
  bool written = RunStatement(cx, RuleSqlDeleteStatement(rule)).ok;
  for (int n = 1; written && n <= chunks.size(); ++n)
    written = RunStatement(cx, RuleSqlInsertStatement(n, rule, chunks.at(n - 1))).ok;
  return EndTransaction(cx, work, written);
}

}  // namespace

QString EncodeRuleSql(const QString& statement) {
  QString encoded;
  encoded.reserve(statement.size() * 2);
  for (qsizetype i = 0; i < statement.size(); ++i) {
    const QChar c = statement.at(i);
    if (c != kBlank) {
      encoded += c;
      continue;
    }
    const bool blankFollows = i + 1 < statement.size() && statement.at(i + 1) == kBlank;
    if (!blankFollows) encoded += kToken;
  }
  return encoded;
}

QStringList RuleSqlChunks(const QString& statement) {
  const QString encoded = EncodeRuleSql(statement);
  QStringList chunks;
  for (qsizetype at = 0; at < encoded.size(); at += RuleSqlChunkLength)
    chunks << GuardChunkEdges(encoded.mid(at, RuleSqlChunkLength));
  return chunks;
}

bool RuleSqlFitsStorage(const QString& statement) {
  return EncodeRuleSql(statement).size() <= RuleSqlChunkLength * RuleSqlReadChunks &&
         statement.size() <= RuleSqlFieldLength * RuleSqlReadChunks;
}

QString StoredRuleSql(const QString& statement) {
  QString stored = statement;
  return stored.replace(LiteralOwnerPlaceholder, OwnerPlaceholderName, Qt::CaseInsensitive);
}

QString RuleSqlDeleteStatement(const QString& ruleName) {
  return QStringLiteral(
             "DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY LIKE "
             "'RULE_STACKWRIGHT_SQL%' AND SUB_KEY = '") +
         StripQuotes(ruleName) + QStringLiteral("'");
}

QString RuleSqlInsertStatement(int chunkNumber, const QString& ruleName, const QString& chunk) {
  return QStringLiteral(
             "INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE) "
             "VALUES('QUILLMARK', 'RULE_STACKWRIGHT_SQL_") +
         QString::number(chunkNumber) + QStringLiteral("', '") + StripQuotes(ruleName) + QStringLiteral("', '") +
         StripQuotes(chunk) + QStringLiteral("', NULL, 1)");
}

RuleSqlEditorStart PrepareRuleSqlEditor(RuleState& rules, const QString& libraryName, const QString& ruleName) {
  rules.RuleSqlIndex = QStringLiteral("0");
  int row = rules.RuleSqlCache.Find(libraryName, ruleName);
  if (row != 0) {
    rules.RuleSqlIndex = FormatNumber(row);
    return {rules.RuleSqlCache(row, sqlcol::Library), rules.RuleSqlCache(row, sqlcol::RuleName),
            TrimBlanks(rules.RuleSqlCache(row, sqlcol::Sql))};
  }
  row = rules.RuleSqlCache.Add(libraryName, ruleName);
  rules.RuleSqlIndex = FormatNumber(row);
  return {libraryName, ruleName, QString()};
}

RuleSqlTest TestRuleSql(RunContext& cx, const QString& library, const QString& rule, const QString& statement) {
  if (statement.isEmpty()) return RuleSqlTest::NotRun;
  const ToolGuard guard(cx);
  RuleSqlTest outcome = RuleSqlTest::Failed;
  TrapErrors(cx, [&] {
    if (!MakeLibraryCurrent(cx, library)) {
      ShowNoLibrary(cx, library, QStringLiteral("the SQL statement has not been tested"));
      return;
    }
    outcome = RunTestStatement(cx, library, rule, statement);
  });
  return outcome;
}

void UpdateRuleSqlCopies(RuleState& rules, const QString& library, const QString& rule, const QString& statement) {
  rules.RuleSqlIndex = QStringLiteral("0");
  int row = rules.RuleSqlCache.Find(library, rule);
  if (row == 0) row = rules.RuleSqlCache.Add(library, rule);
  rules.RuleSqlCache.Set(row, sqlcol::Sql, statement);
  rules.RuleSqlCache.Set(row, sqlcol::Status, QString());
  rules.RuleSqlIndex = FormatNumber(row);

  const QString wantedLibrary = library.toUpper();
  const QString wantedRule = rule.toUpper();
  for (int r = 1; r <= rules.RuleCount(); ++r) {
    if (rules.RuleTable(field::RuleLibrary, r).toUpper() != wantedLibrary) continue;
    if (rules.RuleTable(field::RuleName, r).toUpper() != wantedRule) continue;
    const int fields[] = {field::RULE_STACKWRIGHT_SQL_1, field::RULE_STACKWRIGHT_SQL_2, field::RULE_STACKWRIGHT_SQL_3};
    for (int slot = 0; slot < RuleSqlReadChunks; ++slot) {
      const QString part = statement.mid(slot * RuleSqlFieldLength, RuleSqlFieldLength);
      rules.RuleTable.Set(fields[slot], r, part.leftJustified(RuleSqlFieldLength, kBlank));
    }
    return;
  }
}

bool SaveRuleSql(RunContext& cx, const QString& library, const QString& rule, const QString& statement) {
  const QString plain = StoredRuleSql(statement.trimmed());
  const ToolGuard guard(cx);
  bool saved = false;
  TrapErrors(cx, [&] {
    if (!MakeLibraryCurrent(cx, library)) {
      ShowNoLibrary(cx, library, QStringLiteral("the SQL statement has not been saved"));
      return;
    }
    if (!WriteChunks(cx, rule, RuleSqlChunks(plain))) {
      cx.ui->MessageBox(QStringLiteral("Error: Rule Stackwright SQL text could not be saved for the rule ") + rule +
                            QStringLiteral(" in library ") + library,
                        MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
      return;
    }
    UpdateRuleSqlCopies(cx.rules, library, rule, plain);
    saved = true;
    cx.ui->MessageBox(QStringLiteral("Rule Stackwright SQL text saved for the rule ") + rule +
                          QStringLiteral(" in library ") + library,
                      MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
  });
  return saved;
}

}  // namespace sw::admin
