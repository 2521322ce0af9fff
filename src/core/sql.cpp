#include "core/sql.h"

#include <QDateTime>
#include <QStringMatcher>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "core/context.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/text.h"
#include "platform/settings/settings_store.h"

namespace sw {

namespace {

// Known failure of the DM client's server interface (RPC_E_SERVERFAULT-like result code).
constexpr qint64 ServerInterfaceFault = 0x80010105LL;

// The code is a 32-bit result: a component may hand it over signed (-2147417851) or unsigned.
bool IsServerInterfaceFault(qint64 value) { return (value & 0xFFFFFFFFLL) == ServerInterfaceFault; }

const QString ServerInterfaceMessage = QStringLiteral(
    "Error: Cannot load the DOCSFusion Server Interface. The DOCSFusion server may not be started.\n"
    "This is a known OpenText issue described in SD012671. Use the REGSVR32.EXE utility and register the "
    "PCDSERVERIFPS.DLL file in the following location:\n"
    "C:\\Program Files (x86)\\Open Text\\DM API\\PCDSERVERIFPS.DLL");

// Where each character of a statement stands: outside quotes, opening a quoted literal or
// name, or inside one.
enum class QuoteMark : char { Outside, Opens, Inside };
using QuoteMarks = std::vector<QuoteMark>;

// False when the text cannot be read as SQL (a quote or comment left open).
bool MarkQuotes(const QString& text, QuoteMarks* marks) {
  marks->assign(size_t(text.size()), QuoteMark::Outside);
  std::vector<dm::QuotedSpan> spans;
  if (!dm::FindQuotedSpans(text, &spans)) return false;
  for (const dm::QuotedSpan& span : spans) {
    (*marks)[size_t(span.begin)] = QuoteMark::Opens;
    for (qsizetype k = span.begin + 1; k < span.end; ++k) (*marks)[size_t(k)] = QuoteMark::Inside;
  }
  return true;
}

// The first place where `find` stands in the text as SQL: its own literals line up with whole
// literals of the text and the rest lies outside quotes. -1 for none.
qsizetype FindAsSql(const QString& text, const QuoteMarks& marks, const QStringMatcher& find, const QuoteMarks& findMarks) {
  const qsizetype size = find.pattern().size();
  for (qsizetype at = find.indexIn(text); at >= 0; at = find.indexIn(text, at + 1)) {
    const qsizetype end = at + size;
    bool same = true;
    for (qsizetype k = 0; k < size && same; ++k) same = marks[size_t(at + k)] == findMarks[size_t(k)];
    // A literal that ends the pattern must end in the text too.
    if (same && end < text.size() && findMarks.back() != QuoteMark::Outside) same = marks[size_t(end)] != QuoteMark::Inside;
    if (same) return at;
  }
  return -1;
}

// Whether a quoted span is a literal ('...' or N'...'), not a quoted name.
bool IsLiteralSpan(const QString& text, const dm::QuotedSpan& span) {
  const QChar open = text[span.begin];
  return open == u'\'' || open == u'N' || open == u'n';
}

// The text with `change` made to each of its pieces outside quoted literals, or (`inLiterals`)
// to the inside of each literal. A text that cannot be read is changed whole outside literals, as
// if it had none, and not at all inside them: the server refuses it either way.
template <class Change>
QString ChangePieces(const QString& text, bool inLiterals, Change change) {
  std::vector<dm::QuotedSpan> spans;
  if (!text.contains(u'\'') || !dm::FindQuotedSpans(text, &spans)) return inLiterals ? text : change(text);
  QString out;
  out.reserve(text.size());
  qsizetype done = 0;
  for (const dm::QuotedSpan& span : spans) {
    if (!IsLiteralSpan(text, span)) continue;
    const qsizetype open = text.indexOf(u'\'', span.begin) + 1;  // past the N of N'...'
    const qsizetype close = span.end - 1;
    const QString outside = text.mid(done, open - done);
    const QString inside = text.mid(open, close - open);
    out += inLiterals ? outside : change(outside);
    out += inLiterals ? change(inside) : inside;
    done = close;
  }
  const QString rest = text.mid(done);
  return out + (inLiterals ? rest : change(rest));
}

// A pattern and what stands for it. Every statement is searched for each pattern: a matcher
// made once skips through the text instead of comparing at every character.
struct Rewrite {
  QStringMatcher find;
  QString replacement;
};

Rewrite MakeRewrite(const QString& find, const QString& replacement) { return {QStringMatcher(find), replacement}; }

// Replaces the first occurrence that stands as SQL, searches again from the start, until none
// is left. Quoted literals and names are never touched: they hold names and values as the
// source rows give them. A text that cannot be read is left as it is, for the server to refuse.
void ReplaceLoop(QString& text, const Rewrite& rewrite) {
  const QStringMatcher& find = rewrite.find;
  if (find.indexIn(text) < 0) return;
  QuoteMarks findMarks;
  MarkQuotes(find.pattern(), &findMarks);
  QuoteMarks marks;
  while (MarkQuotes(text, &marks)) {
    const qsizetype at = FindAsSql(text, marks, find, findMarks);
    if (at < 0) return;
    text.replace(at, find.pattern().size(), rewrite.replacement);
  }
}

QString Upper(const QString& text, qsizetype count) { return text.left(count).toUpper(); }

// Whether the text holds `upper` at `at`, each letter in either case. Only for words of ASCII
// upper-case letters and signs that no other character folds to, as the words below are: then
// this is the comparison without regard to case, without folding every character.
template <class Word>
bool AsciiWordAt(QStringView text, qsizetype at, Word upper) {
  if (at < 0 || at + upper.size() > text.size()) return false;
  for (qsizetype k = 0; k < upper.size(); ++k) {
    char16_t c = text[at + k].unicode();
    if (c >= u'a' && c <= u'z') c -= 0x20;
    if (c != char16_t(upper[k].unicode())) return false;
  }
  return true;
}

// Whether the text's first characters, upper-cased, are the word. Every statement is asked a few
// of these: its ASCII letters are upper-cased in place, and only a text with other characters
// there is upper-cased whole, as such a letter may become more than one.
bool UpperIs(const QString& text, QLatin1StringView word) {
  const qsizetype count = std::min(text.size(), word.size());
  for (qsizetype k = 0; k < count; ++k)
    if (text[k].unicode() >= 0x80) return Upper(text, word.size()) == word;
  return AsciiWordAt(text, 0, word);
}

// Where the placeholder stands, in any case, from `from` on; -1 for nowhere. Every statement
// passes here: only the places of its first character are compared.
qsizetype PlaceholderAt(const QString& text, QStringView placeholder, qsizetype from) {
  const QChar first = placeholder.front();
  for (qsizetype at = text.indexOf(first, from); at >= 0; at = text.indexOf(first, at + 1))
    if (AsciiWordAt(text, at, placeholder)) return at;
  return -1;
}

// Whether the statement holds the parallelism hint, upper-cased. A statement without MAXDOP in
// some case cannot hold it, and is not upper-cased whole.
bool HasHint(const QString& sql, const QString& hint) {
  // Found by its X, the one letter of the word that statements seldom hold: a plain scan for the
  // two cases of one character, where a search that folds case would fold every character.
  static const QLatin1StringView maxdop("MAXDOP");
  bool found = false;
  for (const QChar x : {QLatin1Char('X'), QLatin1Char('x')})
    for (qsizetype at = sql.indexOf(x, 2); at >= 0 && !found; at = sql.indexOf(x, at + 1))
      found = AsciiWordAt(sql, at - 2, maxdop);
  if (!found) return false;
  return sql.toUpper().contains(hint);
}

bool KeepsTryCast(const QString& serverProductVersion, const QString& compatibilityLevel) {
  return NumericValue(serverProductVersion) >= 11 && NumericValue(compatibilityLevel) >= 110;
}

QString RowCountText(qint64 n) { return FormatNumber(n < 0 ? -n : n); }

// A refusal because an object of the session went missing: logged and shown.
void ReportLost(Context& cx, const QString& text) {
  LogMessage(cx, HyphenLine);
  LogMessage(cx, text);
  LogMessage(cx, HyphenLine);
  cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
}

// The server-interface failure: always logged, shown once per user.
void ReportServerInterfaceFault(Context& cx) {
  LogMessage(cx, ServerInterfaceMessage);
  const QString seen = cx.settings->GetSetting(ProductName, QStringLiteral("Warning"), QStringLiteral("RegisterAPI"),
                                               QStringLiteral("0"));
  if (NumericValue(seen) != 0) return;
  cx.ui->MessageBox(ServerInterfaceMessage, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
  cx.settings->SaveSetting(ProductName, QStringLiteral("Warning"), QStringLiteral("RegisterAPI"), QStringLiteral("-1"));
}

// Logs the outcome of an executed statement; `composed` takes the message it composes, for the
// report of a failure that follows.
void LogOutcome(Context& cx, dm::PcdSql& sql, const QString& text, const QString& library, qint64 status,
                QString& composed) {
  const auto success = [&] { return QStringLiteral("SQL Instruction Executed Successfully on ") + library; };
  if (status != 0) {
    const qint64 code = sql.SqlErrorCode();
    if (IsSqlSuccess(code)) {
      if (PlainEntriesWritten(cx))
        LogMessage(cx, success() + QStringLiteral("."));
      else
        LogUnwrittenEntry(cx);
      return;
    }
    if (IsServerInterfaceFault(code) || IsServerInterfaceFault(status)) {
      composed = ServerInterfaceMessage;
      ReportServerInterfaceFault(cx);
      return;
    }
    composed = QStringLiteral("SQL Error #") + FormatNumber(code);
    const QString description = CleanErrorDescription(sql.ErrDescription());
    if (!description.isEmpty()) composed += QStringLiteral(" (") + description + QStringLiteral(")");
    composed += QStringLiteral(" encountered in library ") + library;
    LogFailure(cx, composed);
    return;
  }
  const qint64 affected = sql.RowsAffected();
  const qint64 returned = affected == 0 ? sql.RowCount() : 0;
  // Outcomes are plain entries: composed only when written.
  if (!PlainEntriesWritten(cx)) {
    if (returned != 0) sql.SetRow(1);
    LogUnwrittenEntry(cx);
    return;
  }
  if (affected != 0) {
    LogMessage(cx, success() + QStringLiteral(" with ") + RowCountText(affected) + QStringLiteral(" row(s) processed."));
  } else if (returned != 0) {
    LogMessage(cx, success() + QStringLiteral(" with ") + RowCountText(returned) + QStringLiteral(" row(s) returned."));
    sql.SetRow(1);
  } else {
    if (UpperIs(text, QLatin1String("INSERT")) || UpperIs(text, QLatin1String("UPDATE")) ||
        UpperIs(text, QLatin1String("DELETE")))
      LogMessage(cx, QStringLiteral("SQL Instruction Executed with nothing added or changed in library ") + library);
    else
      LogMessage(cx, success());
  }
  if (UpperIs(text, QLatin1String("SELECT COUNT(*)")))
    LogMessage(cx, QStringLiteral("SQL Results: ") + FormatNumber(std::llround(NumericValue(sql.ColumnValue(1)))));
}

// The statement as it will run on the current library.
QString AdaptStatement(Context& cx, const QString& sql) {
  const qint64 engine = cx.session.DatabaseEngine;
  QString text = RepairTrailingApostrophe(sql);
  text = RewriteDialect(text, engine, cx.library.ServerProductVersion, cx.library.CompatibilityLevel);
  text = ReplaceOwnerPlaceholders(text, cx.library.DatabaseOwner);
  return AddParallelismHint(text, engine);
}

// What the adapting of a statement may tell apart in a literal: an empty text is rewritten by
// some engines, a number or any other text never. 0 for a literal that might not stay as it is
// whatever is adapted around it: the parallelism hint is found in literals too.
char16_t LiteralKind(const QString& literal) {
  for (const QChar c : literal) {
    if ((c == u'X' || c == u'x') && literal.contains(QLatin1String("MAXDOP"), Qt::CaseInsensitive)) return 0;
  }
  if (literal.startsWith(u'\'')) return literal == QLatin1String("''") ? u'e' : u't';
  return literal.startsWith(u'N') || literal.startsWith(u'n') ? u'u' : u'n';
}

// The patterns adapted for the current library, kept for each adaptation met; a set grown large
// starts again, as do all of them when a run meets unusually many adaptations.
AdaptedPatterns& PatternsOfLibrary(Context& cx) {
  std::vector<AdaptedPatterns>& sets = cx.session.Patterns;
  const LibraryState& library = cx.library;
  AdaptedPatterns fresh;
  fresh.engine = cx.session.DatabaseEngine;
  fresh.owner = library.DatabaseOwner;
  fresh.productVersion = library.ServerProductVersion;
  fresh.compatibilityLevel = library.CompatibilityLevel;
  for (AdaptedPatterns& patterns : sets) {
    if (patterns.engine != fresh.engine || patterns.owner != fresh.owner || patterns.productVersion != fresh.productVersion ||
        patterns.compatibilityLevel != fresh.compatibilityLevel)
      continue;
    if (patterns.count >= 1024) patterns = std::move(fresh);
    return patterns;
  }
  if (sets.size() >= 16) sets.clear();
  sets.push_back(std::move(fresh));
  return sets.back();
}

// A statement without lifted literals as it will run on the current library, adapted once.
QString AdaptPlain(Context& cx, const QString& sql) {
  QHash<QString, QString>& plain = PatternsOfLibrary(cx).plain;
  const auto known = plain.constFind(sql);
  if (known != plain.cend()) return *known;
  // Statements that carry their values in their text come once each: they must not pile up.
  if (plain.size() >= 256) plain.clear();
  return *plain.insert(sql, AdaptStatement(cx, sql));
}

// The statement as it will run on the current library: its pattern adapted once and kept, once
// the pattern has read, for its first statements, as each statement adapted on its own.
dm::FilledSql AdaptFilled(Context& cx, const dm::FilledSql& sql) {
  if (sql.literals.isEmpty()) return {AdaptPlain(cx, sql.pattern), {}};
  QVarLengthArray<char16_t, 8> kinds;
  for (const QString& literal : sql.literals) {
    const char16_t kind = LiteralKind(literal);
    if (kind == 0) return {AdaptStatement(cx, sql.Text()), {}};
    kinds.push_back(kind);
  }
  const QStringView kindsText(kinds.constData(), kinds.size());
  AdaptedPatterns& patterns = PatternsOfLibrary(cx);
  std::vector<AdaptedPattern>& ofPattern = patterns.byPattern[sql.pattern];
  auto found = std::find_if(ofPattern.begin(), ofPattern.end(), [&](const AdaptedPattern& p) { return p.kinds == kindsText; });
  if (found != ofPattern.end() && found->usable && found->checksLeft == 0) return {found->text, sql.literals};
  if (found == ofPattern.end()) {
    ofPattern.push_back(AdaptedPattern{kindsText.toString(), AdaptStatement(cx, sql.pattern)});
    ++patterns.count;
    found = ofPattern.end() - 1;
  }
  const QString direct = AdaptStatement(cx, sql.Text());
  if (found->usable && dm::FilledSql{found->text, sql.literals}.Text() != direct) found->usable = false;
  if (found->usable) --found->checksLeft;
  return {direct, {}};
}

void ReportFailure(Context& cx, qint64 number, const QString& source, const QString& description,
                   const QString& composed) {
  LogMessage(cx, HyphenLine);
  const QString text = composed.isEmpty() ? description : description + QStringLiteral(" (") + composed + QStringLiteral(")");
  ReportError(cx, number, source, text);
  LogMessage(cx, HyphenLine);
}

// The statements that open and end a transaction on the current library's engine: Oracle knows no
// BEGIN, SET TRANSACTION opens one there.
QString BeginStatement(qint64 engine) {
  return IsOracleEngine(engine) ? QStringLiteral("SET TRANSACTION READ WRITE") : QStringLiteral("BEGIN TRANSACTION");
}
QString EndStatement(qint64 engine, bool commit) {
  if (IsOracleEngine(engine)) return commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK");
  return commit ? QStringLiteral("COMMIT TRANSACTION") : QStringLiteral("ROLLBACK TRANSACTION");
}
// Savepoints: neither engine releases one; a savepoint kept simply ends with its transaction.
QString SaveStatement(qint64 engine, const QString& name) {
  return (IsOracleEngine(engine) ? QStringLiteral("SAVEPOINT ") : QStringLiteral("SAVE TRANSACTION ")) + name;
}
QString BackStatement(qint64 engine, const QString& name) {
  return (IsOracleEngine(engine) ? QStringLiteral("ROLLBACK TO SAVEPOINT ") : QStringLiteral("ROLLBACK TRANSACTION ")) + name;
}

// A statement that failed dooms the innermost level of the library's transaction.
void FailTransactionOf(Context& cx, const QString& library) {
  auto found = cx.session.OpenTransactions.find(library.toUpper());
  if (found != cx.session.OpenTransactions.end() && !found->second.Levels.empty())
    found->second.Levels.back().RollbackOnly = true;
}

// Runs a statement on the part's library, the library current before current again afterwards.
// False when the library cannot be reached or the statement fails.
bool RunOnLibrary(Context& cx, const QString& library, const std::function<bool()>& run) {
  if (CurrentLibraryNameOrEmpty(cx).compare(library, Qt::CaseInsensitive) == 0) return run();
  // A failed switch falls back to the session's own library, which need not be the one current.
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true});
  if (!ConnectLibrary(cx, library)) {
    LogMessage(cx, QStringLiteral("Error: The transaction in library ") + library +
                       QStringLiteral(" could not be ended - cannot continue"));
    return false;
  }
  return run();
}

// Ends a savepoint: kept as it is, or its work undone. A savepoint that cannot be gone back to
// (the database already dropped the whole transaction) dooms the transaction.
bool EndSavepoint(Context& cx, OpenTransaction& open, const SqlTransaction& part, bool commit) {
  auto level = std::find_if(open.Levels.begin(), open.Levels.end(),
                            [&](const TransactionLevel& l) { return l.Savepoint == part.Savepoint; });
  if (level == open.Levels.end()) return false;
  // Levels inside it that were left open end with it.
  bool kept = commit;
  for (auto inner = level; inner != open.Levels.end(); ++inner) kept = kept && !inner->RollbackOnly;
  open.Levels.erase(level, open.Levels.end());
  if (kept) return true;
  const qint64 engine = cx.session.DatabaseEngine;
  if (!RunOnLibrary(cx, part.Library, [&] { return RunAndRelease(cx, BackStatement(engine, part.Savepoint)); })) {
    for (TransactionLevel& l : open.Levels) l.RollbackOnly = true;
  }
  return false;
}

// Ends the transaction open on the current library; true when it was committed.
bool FinishTransaction(Context& cx, bool commit) {
  if (commit && RunAndRelease(cx, EndStatement(cx.session.DatabaseEngine, true))) return true;
  // A commit that failed leaves the transaction open: it is rolled back, never left to hold the
  // library's write lock.
  RunAndRelease(cx, EndStatement(cx.session.DatabaseEngine, false));
  return false;
}

}  // namespace

bool RunAndRelease(Context& cx, const QString& sql) { return RunAndRelease(cx, dm::FilledSql{sql, {}}); }

bool RunAndRelease(Context& cx, const dm::FilledSql& sql) {
  const bool handed = RunSQL(cx, sql);
  if (!cx.session.pSQL) return false;
  const qint64 code = cx.session.pSQL->SqlErrorCode();
  cx.session.pSQL->ReleaseResults();
  return handed && IsSqlSuccess(code);
}

SqlTransaction BeginTransaction(Context& cx) {
  SqlTransaction transaction;
  transaction.Library = CurrentLibraryNameOrEmpty(cx).toUpper();
  if (transaction.Library.isEmpty()) return transaction;
  OpenTransaction& open = cx.session.OpenTransactions[transaction.Library];
  if (!open.Levels.empty()) {
    ++open.Levels.back().Joined;
    transaction.Opened = true;
    return transaction;
  }
  if (!RunAndRelease(cx, BeginStatement(cx.session.DatabaseEngine))) {
    cx.session.OpenTransactions.erase(transaction.Library);
    return transaction;
  }
  cx.session.OpenTransactions[transaction.Library].Levels = {TransactionLevel{}};
  transaction.Opened = transaction.Outermost = true;
  return transaction;
}

SqlTransaction BeginSavepoint(Context& cx) {
  const QString library = CurrentLibraryNameOrEmpty(cx).toUpper();
  const auto found = cx.session.OpenTransactions.find(library);
  if (library.isEmpty() || found == cx.session.OpenTransactions.end() || found->second.Levels.empty())
    return BeginTransaction(cx);
  SqlTransaction transaction;
  transaction.Library = library;
  // Named by depth: going back to a name reaches the newest savepoint of that name, which is
  // this one while it is open.
  const QString name = QStringLiteral("SW_LEVEL") + QString::number(found->second.Levels.size());
  if (!RunAndRelease(cx, SaveStatement(cx.session.DatabaseEngine, name))) return transaction;
  cx.session.OpenTransactions[library].Levels.push_back(TransactionLevel{name, 0, false});
  transaction.Opened = true;
  transaction.Savepoint = name;
  return transaction;
}

bool EndTransaction(Context& cx, const SqlTransaction& transaction, bool commit) {
  if (!transaction.Opened) return false;
  auto found = cx.session.OpenTransactions.find(transaction.Library);
  if (found == cx.session.OpenTransactions.end() || found->second.Levels.empty()) return false;
  OpenTransaction& open = found->second;
  if (!transaction.Savepoint.isEmpty()) return EndSavepoint(cx, open, transaction, commit);
  if (!transaction.Outermost) {
    TransactionLevel& level = open.Levels.back();
    if (!commit) level.RollbackOnly = true;
    if (level.Joined > 0) --level.Joined;
    return !level.RollbackOnly;
  }
  bool wanted = commit;
  for (const TransactionLevel& level : open.Levels) wanted = wanted && !level.RollbackOnly;
  cx.session.OpenTransactions.erase(found);
  // The transaction lives on its library's connection: it is ended there, and the library that
  // was current is current again afterwards.
  return RunOnLibrary(cx, transaction.Library, [&] { return FinishTransaction(cx, wanted); });
}

bool TransactionPartFailed(const Context& cx, const SqlTransaction& transaction) {
  const auto found = cx.session.OpenTransactions.find(transaction.Library);
  if (!transaction.Opened || found == cx.session.OpenTransactions.end() || found->second.Levels.empty()) return false;
  const std::vector<TransactionLevel>& levels = found->second.Levels;
  if (transaction.Outermost) return levels.front().RollbackOnly;
  if (transaction.Savepoint.isEmpty()) return levels.back().RollbackOnly;
  for (const TransactionLevel& level : levels)
    if (level.Savepoint == transaction.Savepoint) return level.RollbackOnly;
  return true;  // already gone back
}

bool TransactionOpen(Context& cx) {
  const auto open = cx.session.OpenTransactions.find(CurrentLibraryNameOrEmpty(cx).toUpper());
  return open != cx.session.OpenTransactions.end() && !open->second.Levels.empty();
}

void FailOpenTransactions(Context& cx) {
  for (auto& [library, open] : cx.session.OpenTransactions)
    if (!open.Levels.empty()) open.Levels.back().RollbackOnly = true;
}

bool OpenTransactionFailed(const Context& cx) {
  for (const auto& [library, open] : cx.session.OpenTransactions)
    if (!open.Levels.empty() && open.Levels.back().RollbackOnly) return true;
  return false;
}

void RollBackOpenTransactions(Context& cx) {
  while (!cx.session.OpenTransactions.empty()) {
    const auto first = cx.session.OpenTransactions.begin();
    if (first->second.Levels.empty()) {
      cx.session.OpenTransactions.erase(first);
      continue;
    }
    SqlTransaction whole;
    whole.Library = first->first;
    whole.Opened = whole.Outermost = true;
    EndTransaction(cx, whole, false);
  }
}

QString SqlText(const QString& text) { return QStringLiteral("'") + StripQuotes(text) + QStringLiteral("'"); }

QString RepairTrailingApostrophe(const QString& sql) {
  if (!sql.endsWith(QLatin1String("= '")) && !sql.endsWith(QLatin1String("='"))) return sql;
  std::vector<dm::QuotedSpan> spans;
  if (dm::FindQuotedSpans(sql, &spans)) return sql;
  const QString closed = sql + QLatin1Char('\'');
  return dm::FindQuotedSpans(closed, &spans) ? closed : sql;
}

QString RewriteDialect(const QString& sql, qint64 engine, const QString& serverProductVersion,
                       const QString& compatibilityLevel) {
  QString text = sql;
  if (IsOracleEngine(engine)) {
    static const Rewrite oracle[] = {
        MakeRewrite(QStringLiteral(" <> "), QStringLiteral(" != ")),
        MakeRewrite(QStringLiteral(" != '' "), QStringLiteral(" != ' ' ")),
        MakeRewrite(QStringLiteral("GETUTCDATE()"), QStringLiteral("SYSDATE")),
        MakeRewrite(QStringLiteral("TO_DATE('',"), QStringLiteral("TO_DATE(NULL,")),
    };
    for (const Rewrite& rewrite : oracle) ReplaceLoop(text, rewrite);
    return text;
  }
  static const Rewrite emptyCast = MakeRewrite(QStringLiteral("CAST('' AS "), QStringLiteral("CAST(NULL AS "));
  static const Rewrite tryCast = MakeRewrite(QStringLiteral("TRY_CAST"), QStringLiteral("CAST"));
  static const Rewrite sysdate = MakeRewrite(QStringLiteral("SYSDATE"), QStringLiteral("GETUTCDATE()"));
  ReplaceLoop(text, emptyCast);
  // The server facts are read as numbers only for a statement that has TRY_CAST at all: most
  // have none, and every statement passes here.
  if (tryCast.find.indexIn(text) >= 0 && !KeepsTryCast(serverProductVersion, compatibilityLevel))
    ReplaceLoop(text, tryCast);
  ReplaceLoop(text, sysdate);
  return text;
}

namespace {

// The owner steps on a piece of SQL text.
QString ReplaceOwnerInText(const QString& piece, const QString& databaseOwner) {
  const QString& placeholder = OwnerPlaceholderName;  // the dot stays after the owner
  static const QString dbo = QStringLiteral("dbo");
  QString text = piece;
  // Each replacement removes one "[" and one "]"; an owner without one of them cannot rebuild
  // placeholders for ever, so the search looks again where a placeholder rebuilt around the
  // replacement would begin (nothing before it holds one). An owner holding both could (it may
  // even hold the placeholder itself): then the search goes on after it.
  const bool mayRebuild = databaseOwner.contains(QLatin1Char('[')) && databaseOwner.contains(QLatin1Char(']'));
  for (qsizetype at = PlaceholderAt(text, placeholder, 0); at >= 0;) {
    const bool zkTable = QStringView(text).mid(at + placeholder.size(), 4) == QLatin1String(".ZK_");
    const QString& owner = zkTable ? dbo : databaseOwner;
    text.replace(at, placeholder.size(), owner);
    const qsizetype from = mayRebuild ? at + owner.size() : std::max<qsizetype>(0, at - placeholder.size() + 1);
    at = PlaceholderAt(text, placeholder, from);
  }
  if (text.contains(QLatin1Char('{'))) text.replace(LiteralOwnerPlaceholder, placeholder, Qt::CaseInsensitive);
  return text;
}

}  // namespace

QString ReplaceOwnerPlaceholders(const QString& sql, const QString& databaseOwner) {
  return ChangePieces(sql, false, [&](const QString& piece) { return ReplaceOwnerInText(piece, databaseOwner); });
}

QString ReplaceOwnerPlaceholdersInLiterals(const QString& sql, const QString& databaseOwner) {
  return ChangePieces(sql, true, [&](const QString& piece) { return ReplaceOwnerInText(piece, databaseOwner); });
}

QString AddParallelismHint(const QString& sql, qint64 engine) {
  static const QString hint = QStringLiteral(" OPTION (MAXDOP 1)");
  if (IsOracleEngine(engine) || sql.isEmpty()) return sql;
  if (!UpperIs(sql, QLatin1String("SELECT ")) || UpperIs(sql, QLatin1String("SELECT INTO "))) return sql;
  if (HasHint(sql, hint)) return sql;
  return sql + hint;
}

QString CleanErrorDescription(const QString& description) {
  QString text = TrimBlanks(description);
  for (qsizetype bracket = text.indexOf(QLatin1Char(']')); bracket >= 0; bracket = text.indexOf(QLatin1Char(']'))) {
    const qsizetype apostrophe = text.indexOf(QLatin1Char('\''));
    if (apostrophe >= 0 && apostrophe < bracket) break;  // the bracket belongs to a quoted name
    text = TrimBlanks(text.mid(bracket + 1));
  }
  return text;
}

bool RunSQL(Context& cx, const QString& sql) { return RunSQL(cx, dm::FilledSql{sql, {}}); }

bool RunSQL(Context& cx, const dm::FilledSql& sql) {
  if (sql.pattern.isEmpty()) return false;
  QString composed;  // the last message of this call, for the error report
  // The statement's announcement, composed only when it is written or reported: while
  // `announcedOn` names a library and nothing was composed since, it is the last message.
  QString announcedOn;
  const auto announcement = [&] {
    return QStringLiteral("Executing ") + cx.library.EngineName + QStringLiteral(" SQL Instruction on ") + announcedOn;
  };
  try {
    if (!CheckFusion(cx, QStringLiteral("RunSQL"))) return false;
    auto& s = cx.session;
    if (!s.pSQL) {
      composed = QStringLiteral("Error: psql Object connection has been lost!");
      ReportLost(cx, composed);
      return false;
    }
    dm::PcdSql& pcd = *s.pSQL;
    const dm::PcdSqlPtr keepAlive = s.pSQL;  // the statement finishes on the object it started on
    if (!s.CurrentLibrary)
      throw DmCallFailure(ErrObjectNotSet, cx.app.AppTitle, QStringLiteral("Object variable or With block variable not set"));
    const QString library = s.CurrentLibrary->Name();
    if (library.isEmpty()) {
      composed = QStringLiteral("Error: Library Name appears to have been lost");
      ReportLost(cx, composed);
      return false;
    }
    pcd.ReleaseResults();
    // Whole seconds on the clock, as the local time shows them; counted from the epoch, which
    // needs no look at the time zone for every statement.
    const qint64 started = QDateTime::currentSecsSinceEpoch();
    const dm::FilledSql adapted = AdaptFilled(cx, sql);
    announcedOn = library;
    if (PlainEntriesWritten(cx)) {
      composed = announcement();
      LogMessage(cx, composed);
      LogMessage(cx, adapted.Text());
    } else {
      LogUnwrittenEntry(cx);
    }
    pcd.ReleaseResults();
    const qint64 status = adapted.literals.isEmpty() ? pcd.Execute(adapted.pattern) : pcd.ExecuteFilled(adapted);
    // The outcome looks at the statement's first words only, which its pattern holds.
    LogOutcome(cx, pcd, adapted.pattern, library, status, composed);
    if (status != 0 && !IsSqlSuccess(pcd.SqlErrorCode())) FailTransactionOf(cx, library);
    LogMessage(cx, HyphenLine);
    const qint64 elapsed = QDateTime::currentSecsSinceEpoch() - started;
    if (elapsed > 1) {
      LogMessage(cx, QStringLiteral("Note: Execution took ") + FormatNumber(elapsed) + QStringLiteral(" second(s) to complete"));
      LogMessage(cx, HyphenLine);
    }
    return true;
  } catch (const DmCallFailure& e) {
    if (composed.isEmpty() && !announcedOn.isEmpty()) composed = announcement();
    ReportFailure(cx, e.Number(), e.Source(), e.Description(), composed);
  } catch (const std::exception& e) {
    if (composed.isEmpty() && !announcedOn.isEmpty()) composed = announcement();
    ReportFailure(cx, ErrAutomation, QStringLiteral("PCDClient.PCDSQL"), QString::fromStdString(e.what()), composed);
  }
  return false;
}

}  // namespace sw
