#pragma once
// What callers outside the emulator may rely on of how it reads the system's SQL: which engine
// codes speak Oracle's dialect, and where a statement's quoted literals and names stand.
#include <QString>
#include <vector>

namespace sw::dm {

// Engine codes 2 and 5 are Oracle; every other code gets the SQL Server forms.
inline bool IsOracleEngine(qint64 engine) { return engine == 2 || engine == 5; }

// A quoted literal ('...'), quoted name ("...") or bracketed name ([...]): where its opening
// quote stands and one past its closing one.
struct QuotedSpan {
  qsizetype begin = 0;
  qsizetype end = 0;
};

// The quoted spans of a statement as the emulator's reader splits it, in order. False when the
// text cannot be read as SQL (a quote or comment left open); `spans` is then undefined.
bool FindQuotedSpans(const QString& sql, std::vector<QuotedSpan>* spans);

}  // namespace sw::dm
