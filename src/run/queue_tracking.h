#pragma once
// The two records the run keeps of a row: the documents of its new deepest folder queued in
// NEEDS_FOLDERING for the outside filing component, and one TARN_STACKWRIGHT row per source
// table, so that the row is never selected again for the rule.
#include <QString>

namespace sw {

class RunContext;

// Queues the documents of the row's new folder at `level` (only the deepest level qualifies,
// and only while "Add documents for new folders to queue" is ticked).
void QueueNewDocuments(RunContext& cx, int level);
// Records row `row` for every SYSTEM_ID column of the result, replacing an earlier record of the
// same source row, table and rule.
void TrackRow(RunContext& cx, int row);

}  // namespace sw
