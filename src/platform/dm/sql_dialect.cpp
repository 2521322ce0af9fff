#include "platform/dm/sql_dialect.h"

#include "platform/dm/sql_tokens.h"

namespace sw::dm {

bool FindQuotedSpans(const QString& sql, std::vector<QuotedSpan>* spans) {
  spans->clear();
  try {
    // Only the places matter: nothing of the text is copied.
    for (const sql::TokenPlace& t : sql::TokenPlaces(sql)) {
      if (t.kind == sql::TokenKind::String || t.kind == sql::TokenKind::QuotedName || t.kind == sql::TokenKind::BracketName)
        spans->push_back({t.begin, t.end});
    }
  } catch (const sql::SqlError&) {
    return false;
  }
  return true;
}

}  // namespace sw::dm
