#pragma once
// Terms that let SQLite find rows by an index where the system's statement compares a function
// of a column: the index is on the column, in the collation its comparisons use.
#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

// "UPPER(col) LIKE 'pattern'" gets a term on col itself that the pattern implies ("col =" for a
// pattern without wildcards, a range for one that begins with plain text), so the look-up of a
// folder by name seeks instead of walking every folder. The statement's result stays the same.
void AddSeekTerms(Seq& seq, bool bracketClasses);

}  // namespace sw::dm::sql
