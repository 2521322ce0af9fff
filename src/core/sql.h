#pragma once
// Running one SQL statement on the current library, adapted to its engine.
#include <QString>

#include "platform/dm/dm_api.h"
#include "platform/dm/sql_dialect.h"

namespace sw {

class Context;

// True whenever the statement was handed to the SQL object (SQL errors included); the results
// stay open on the context's pSQL for the caller to read and release.
bool RunSQL(Context& cx, const QString& sql);
// The same for a statement written as a pattern and its literals: a pattern met before is adapted
// to the engine once, and the statement's text is made only where it is logged.
bool RunSQL(Context& cx, const dm::FilledSql& sql);
// Runs a statement and releases its result; true when it ran without an SQL error.
bool RunAndRelease(Context& cx, const QString& sql);
bool RunAndRelease(Context& cx, const dm::FilledSql& sql);
// A text as a literal of a statement: quoted, its quotes doubled.
QString SqlText(const QString& text);

// Statements on the current library that stand or fall together. A transaction begun while
// another is open on the same library joins it: only the outermost part ends it, and a part that
// ends without committing makes the level it joined roll back. A savepoint is a level of its own
// inside the open transaction: what fails within it is undone alone and the work around it goes
// on.
struct SqlTransaction {
  QString Library;        // where it was begun
  bool Opened = false;    // begun or joined: the work may start
  bool Outermost = false;  // this part began it and ends it
  QString Savepoint;      // this part is a savepoint of its own (empty otherwise)
};
SqlTransaction BeginTransaction(Context& cx);
// A part that may fail alone: a savepoint inside the transaction open on the current library, or
// a transaction of its own when none is open.
SqlTransaction BeginSavepoint(Context& cx);
// Ends this part: commits (when `commit` and nothing of its level failed) or rolls back, a
// savepoint back to where it began. True when the work stands, or still may for a part inside
// another; false when it was rolled back or the commit failed.
bool EndTransaction(Context& cx, const SqlTransaction& transaction, bool commit);
// Something of the level this part began or joined has failed: it will roll back at its end.
bool TransactionPartFailed(const Context& cx, const SqlTransaction& transaction);
// A transaction is open on the current library: work begun now would become part of it.
bool TransactionOpen(Context& cx);
// A statement that fails inside a transaction makes its innermost level roll back at its end
// (RunSQL marks it); a step that fails without a failing statement marks the innermost level of
// every open transaction the same way.
void FailOpenTransactions(Context& cx);
// True when a transaction is open and something of the work of its innermost level failed.
bool OpenTransactionFailed(const Context& cx);
// Rolls back every transaction still open: for ways out that cannot finish the work.
void RollBackOpenTransactions(Context& cx);

// An SQL error code that means success: 0, or 9, which the DM SQL object also gives for a
// statement that worked.
inline bool IsSqlSuccess(qint64 code) { return code == 0 || code == 9; }

// The steps RunSQL takes on the text before it runs, each on its own.

using dm::IsOracleEngine;

// Stands before a table name in the system's statements; RunSQL puts the library's database
// owner in its place.
inline const QString OwnerPlaceholderName = QStringLiteral("[OWNER]");
inline const QString OwnerPlaceholder = OwnerPlaceholderName + QLatin1Char('.');
// Stands for the text of the placeholder itself, which RunSQL then leaves as it is.
inline const QString LiteralOwnerPlaceholder = QStringLiteral("{OWNER}");
// Closes a comparison with an empty literal left open at the end ("= '" or "='"); a literal
// that the text closes itself ("LIKE 'X ='") is a value's own end and stays as it is.
QString RepairTrailingApostrophe(const QString& sql);
// The engine's dialect rewrites, made only in the SQL text itself: quoted literals and quoted
// names stay as written. TRY_CAST stays only on servers from version 11 whose database runs at
// compatibility level 110 or higher.
QString RewriteDialect(const QString& sql, qint64 engine, const QString& serverProductVersion,
                       const QString& compatibilityLevel);
// The placeholder (any case) becomes dbo before ".ZK_" and the owner elsewhere; then {OWNER}
// (any case) becomes the placeholder's text. Only in the statement's own text: its quoted
// literals carry values, which reach the library as they stand.
QString ReplaceOwnerPlaceholders(const QString& sql, const QString& databaseOwner);
// The same steps inside the quoted literals of SQL that an administrator or the system wrote as
// it stands (a rule's own SQL and qualifiers, a catalogue look-up naming an owner's table): their
// placeholders mean the owner there too, resolved before the text is run.
QString ReplaceOwnerPlaceholdersInLiterals(const QString& sql, const QString& databaseOwner);
// Appends " OPTION (MAXDOP 1)" to a plain SELECT on engines other than Oracle.
QString AddParallelismHint(const QString& sql, qint64 engine);
// A driver's error text without its leading bracketed names ("[vendor][driver][server]").
QString CleanErrorDescription(const QString& description);

}  // namespace sw
