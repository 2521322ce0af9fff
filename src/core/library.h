#pragma once
// The library switch, table presence and the library SQL settings.
#include <QString>

namespace sw {

class Context;

bool ConnectLibrary(Context& cx, const QString& libraryName);
bool CheckForTable(Context& cx, const QString& tableName);
bool CheckSQLSettings(Context& cx, const QString& targetLibrary);

}  // namespace sw
