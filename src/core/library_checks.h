#pragma once
// What a library switch learns about a library beyond its engine and owner, and the repairs it
// makes to the library's database. Each step reads its LibraryTable cell when the cell is
// filled and asks the database only when it is not; the values land in cx.library.
#include <QString>

#include "core/library_state.h"
#include "platform/dm/dm_api.h"

namespace sw {

class Context;

// One statement's answer as a check reads it: column 1 of the first row.
struct SqlAnswer {
  bool succeeded = false;  // handed to the SQL object and the database reported no error
  QString value;           // empty when the statement delivered nothing
  qint64 rowsAffected = 0;
};

// Runs a statement through RunSQL, reads column 1 of the first row and releases the results.
SqlAnswer QueryFirstValue(Context& cx, const QString& sql);
// True when the SQL object reports no error for the last statement.
bool LastStatementSucceeded(Context& cx);

// A cached flag reads true when its numeric value is not 0; flags are written "-1" and "0".
bool CellFlag(const QString& cell);
QString FlagText(bool flag);
// The whole number of a text: its numeric value, rounded.
qint64 WholeNumber(const QString& text);

// The current library's name; a missing library object is a run-time failure.
QString CurrentLibraryName(Context& cx);
// The current library's name, empty when no library is current.
QString CurrentLibraryNameOrEmpty(const Context& cx);
// A library right (such as "User.CreateFolder") is granted when the library says True: a Boolean
// true or -1 as a number. A missing property grants nothing.
bool LibraryRightGranted(const dm::DmLibraryPropertiesPtr& properties, const QString& right);

// The parsed parts of a SQL Server version text (after the "Microsoft SQL Server " prefix).
struct ServerVersion {
  int major = 0;
  int minor = 0;
  QString text;  // "Microsoft SQL Server <major> - <minor as #0.00>"
};
ServerVersion ParseServerVersion(const QString& versionWithoutPrefix);

// The monitor's SQL login value "login:password" split as the monitor needs it.
struct SqlLoginParts {
  QString login;
  QString password;
};
SqlLoginParts SplitSqlLogin(const QString& storedValue, const QString& databaseOwner);

// Version facts and the date format (SQL Server and Sybase libraries).
void LearnServerVersion(Context& cx, LibraryRow& row);
// Product version and compatibility level (every engine but Oracle).
void LearnProductVersion(Context& cx, LibraryRow& row);

// The checks that follow the name check of a switch, in their order. A DM call that fails
// raises DmCallFailure, which the switch turns into its error path.
void RunLibraryChecks(Context& cx, LibraryRow& row);
// What a switch back to a library whose answers are kept still does: the checks made at every
// switch (the unique-names warning and the quoted-identifier check, both answered by the open
// transaction's facts when it has them) and the missing-TARN_STACKWRIGHT line.
void RunSwitchBackChecks(Context& cx);

void WarnUniqueDocNames(Context& cx);
void LearnServerAndDatabase(Context& cx, LibraryRow& row);
void CheckQuotedIdentifier(Context& cx);
void LearnTablePresence(Context& cx, LibraryRow& row);
void LearnSqlLogin(Context& cx, LibraryRow& row);
void LearnLibrarySettings(Context& cx, LibraryRow& row);
void EnsureSecurityReason(Context& cx, LibraryRow& row);
void LoadValidationTables(Context& cx, LibraryRow& row);
void LearnColumnChecks(Context& cx, LibraryRow& row);
void FixFolderLastUpdate(Context& cx, LibraryRow& row);

}  // namespace sw
