#pragma once
// Terms that let SQLite find rows by an index where the system's statement compares a function
// of a column: the index is on the column, in the collation its comparisons use.
#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

// "UPPER(col) LIKE 'pattern'" gets a term on col itself that the pattern implies ("col =" for a
// pattern without wildcards, a range for one that begins with plain text), so the look-up of a
// folder by name seeks instead of walking every folder. The statement's result stays the same.
void AddSeekTerms(Seq& seq, bool bracketClasses);

// What a LIKE pattern on UPPER(col) implies of col, compared without regard to case: col equal
// to a text, col in a range from low (inclusive) to high (exclusive), or nothing worth a term.
struct SeekBounds {
  enum Kind { None, Equal, Range } kind = None;
  QString low;
  QString high;
};
SeekBounds BoundsOf(const QString& pattern, bool bracketClasses, QChar escape);

}  // namespace sw::dm::sql
