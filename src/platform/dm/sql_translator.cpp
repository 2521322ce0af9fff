#include "platform/dm/sql_translator.h"

namespace sw::dm {

// Placeholder until the translator lands: passes the statement through.
SqlTranslation TranslateSql(const QString& sql, const ServerFacts&) {
  return {true, sql, QString()};
}

bool PrepareConnection(sqlite3*, const ServerFacts&, QString*) { return true; }

}  // namespace sw::dm
