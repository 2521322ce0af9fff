#pragma once
// Running one SQL statement on the current library, adapted to its engine.
#include <QString>

namespace sw {

class Context;

// True whenever the statement was handed to the SQL object (SQL errors included); the results
// stay open on the context's pSQL for the caller to read and release.
bool RunSQL(Context& cx, const QString& sql);

}  // namespace sw
