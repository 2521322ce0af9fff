#pragma once
// The library switch, table presence and the library SQL settings.
#include <QString>

namespace sw {

class Context;

// Makes the named library current (name trimmed, compared without regard to case). False when
// the switch did not complete; the library object, the SQL object and the library state then
// all belong to the library that is current afterwards (the previous one, the session's own
// library, or none).
bool ConnectLibrary(Context& cx, const QString& libraryName);
bool CheckForTable(Context& cx, const QString& tableName);
// Finds the target library's owner in the current library's REMOTE_LIBRARIES. True when the
// check ran; ownerFound (when given) tells whether an owner was found for the target.
bool CheckSQLSettings(Context& cx, const QString& targetLibrary, bool* ownerFound = nullptr);

// The statement CheckForTable counts the table with on an engine.
QString TablePresenceQuery(qint64 engine, const QString& tableName);

}  // namespace sw
