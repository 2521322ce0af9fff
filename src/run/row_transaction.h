#pragma once
// The work of one source row as one unit in every library it writes to: the folders of its
// chain with their saves, stamps, security, filing and metadata, its queue rows and its tracking
// rows stand together, or none of them does and a later run does the row again whole.
#include <vector>

#include "core/sql.h"

namespace sw {

class RunContext;

struct RowTransaction {
  std::vector<SqlTransaction> parts;  // the rule's library last
  bool opened = false;                // every library the row may write to has its part
  QString failure;                    // why it could not be opened, as the database said
  int workspaceCacheRows = 0;         // the workspace cache's rows when the row began
};

// Opens the row's transaction in the rule's library and, when one of the row's levels is the
// folder the rule routes to its e-mail library, there too. Both are opened in the order of their names, so that two computers taking
// the same two libraries never wait for each other.
RowTransaction BeginRowTransaction(RunContext& cx);
// Ends it: commits when `commit` and nothing of the work failed, else rolls it back. The other
// library is ended first, so that the rule's library, which holds the row's record, never stands
// without the folder made elsewhere. A row that does not stand also makes the workspace cache
// forget what it learned during the row: the roots and workspaces it names may be gone. True
// when the row's work stands.
bool EndRowTransaction(RunContext& cx, const RowTransaction& row, bool commit);

}  // namespace sw
