#pragma once
// Running one SQL statement on the current library, adapted to its engine.
#include <QString>

#include "platform/dm/sql_dialect.h"

namespace sw {

class Context;

// True whenever the statement was handed to the SQL object (SQL errors included); the results
// stay open on the context's pSQL for the caller to read and release.
bool RunSQL(Context& cx, const QString& sql);
// Runs a statement and releases its result; true when it ran without an SQL error.
bool RunAndRelease(Context& cx, const QString& sql);

// Statements on the current library that stand or fall together. A transaction begun while
// another is open on the same library joins it: only the outermost part ends it, and a part that
// ends without committing makes the whole of it roll back.
struct SqlTransaction {
  QString Library;        // where it was begun
  bool Opened = false;    // begun or joined: the work may start
  bool Outermost = false;  // this part began it and ends it
};
SqlTransaction BeginTransaction(Context& cx);
// Ends this part: commits (when `commit` and no part asked to roll back) or rolls back. True when
// the work stands, or still may for a part that joined; false when it was rolled back or the
// commit failed.
bool EndTransaction(Context& cx, const SqlTransaction& transaction, bool commit);
// A transaction is open on the current library: work begun now would become part of it.
bool TransactionOpen(Context& cx);
// A statement that fails inside a transaction makes it roll back at its end (RunSQL marks it);
// a step that fails without a failing statement marks every open transaction the same way.
void FailOpenTransactions(Context& cx);
// True when a transaction is open and something of its work failed.
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
inline const QString OwnerPlaceholder = QStringLiteral("[OWNER].");
// Closes a comparison with an empty literal left open at the end ("= '" or "='").
QString RepairTrailingApostrophe(const QString& sql);
// The engine's dialect rewrites, made only in the SQL text itself: quoted literals and quoted
// names stay as written. TRY_CAST stays only on servers from version 11 whose database runs at
// compatibility level 110 or higher.
QString RewriteDialect(const QString& sql, qint64 engine, const QString& serverProductVersion,
                       const QString& compatibilityLevel);
// [OWNER] (any case) becomes dbo before ".ZK_" and the owner elsewhere; then {OWNER} (any case)
// becomes a literal [OWNER].
QString ReplaceOwnerPlaceholders(const QString& sql, const QString& databaseOwner);
// Appends " OPTION (MAXDOP 1)" to a plain SELECT on engines other than Oracle.
QString AddParallelismHint(const QString& sql, qint64 engine);
// A driver's error text without its leading bracketed names ("[vendor][driver][server]").
QString CleanErrorDescription(const QString& description);

}  // namespace sw
