#pragma once
// The work of one source row as one unit in every library it writes to: the folders of its
// chain with their saves, stamps, security, filing and metadata, its queue rows and its tracking
// rows stand together, or none of them does and a later run does the row again whole.
//
// Rows are committed in groups: a group is one transaction in each library, each row a savepoint
// inside it. A row that fails goes back to its savepoint alone; a row that stands is done for
// good only when its group commits. A group that cannot commit takes all its rows with it, and
// a kill loses at most the group not yet committed, which the next run does again.
#include <QDateTime>
#include <QStringList>
#include <vector>

#include "core/sql.h"

namespace sw {

class RunContext;
struct RuleRowsState;

// A row of the group whose work waits for the group's commit.
struct GroupRow {
  int item = 0;         // the row's place in the run
  QString levelValues;  // its level names as a path, for the message when it is not kept
  int added = 0;        // the folders it made, taken off the counter when it is not kept
};

struct RowGroup {
  // The group's transaction in each library: the e-mail library's, the libraries the rows reached
  // (users' workspaces), which hold entries linking the rule's folders, then the rule's library's,
  // which holds the rows' records.
  std::vector<SqlTransaction> parts;
  // Libraries rows of the rule reached during the run: later groups open their parts at the start,
  // in name order with the others.
  QStringList reached;
  QDateTime started;                  // when it began, by the run's clock
  int workspaceCacheRows = 0;         // the workspace cache's rows when the group began
  std::vector<GroupRow> rows;         // the rows that stand in it so far
  // Another library committed and the rule's library did not: the other library's committed rows
  // name folder numbers that no folder has (as parents of routed folders, which their rows take
  // back by their values, or as the folders of workspace entries, which the rerun's workspace step
  // relinks). The rule takes no further row in this run: a library that refused one commit is
  // likely to refuse the next, and each group would leave such rows again.
  bool splitCommit = false;
};

struct RowTransaction {
  std::vector<SqlTransaction> parts;  // the row's savepoints, in the order of the group's parts
  bool opened = false;                // every library the row may write to has its part
  QString failure;                    // why it could not be opened, as the database said
  int workspaceCacheRows = 0;         // the workspace cache's rows when the row began
};

// How a row's work ended.
enum class RowOutcome {
  Stands,    // it waits for its group's commit
  Undone,    // it went back to its savepoint; the rest of the group stands
  GroupLost  // the database gave up the group's transaction: every row of it is undone
};

// Opens the row's part in the rule's library and, when one of the row's levels is the folder the
// rule routes to its e-mail library, there too: a savepoint inside the group's transaction, which
// is opened first when no group is open. A group without the e-mail library's part is committed
// first when the row needs that part. The group's transactions are opened in the order of the libraries' names, so
// that two computers taking the same two libraries never wait for each other. Not opened once the
// group's commit has split between the libraries.
RowTransaction BeginRowTransaction(RunContext& cx, RowGroup& group);
// The row writes to `library` as well (a user's workspace in the user's primary library): its
// work there joins the group's transaction and gets a savepoint of the row, so that it stands or
// falls with the row. False when the library cannot take part; the row must then write nothing there.
bool JoinRowLibrary(RunContext& cx, RowGroup& group, RowTransaction& row, const QString& library);
// Ends the row's part: kept when `commit` and nothing of the row failed, else gone back to. A row
// that does not stand also makes the workspace cache forget what it learned during the row: the
// roots and workspaces it names may be gone. A lost group is rolled back here, its earlier rows
// reported as not kept.
RowOutcome EndRowTransaction(RunContext& cx, RowGroup& group, const RowTransaction& row, bool commit);
// The row stood: it joins the group, which commits when it is full or its time is up.
void KeepRowInGroup(RunContext& cx, RowGroup& group, const GroupRow& row);
// Ends the group: commits (when `commit`) or rolls back. The rule's library, which holds the
// rows' records, is ended last, so that a row is never recorded as done without the folders and
// workspace entries it made elsewhere: a refused commit anywhere undoes the group, whose rows a
// later run does again. Rows of a group that does not stand are logged as not kept and taken off
// the counters, and the workspace cache forgets what the group taught it. True when the group's
// work stands (also when no group was open). A commit that stands in another library only sets
// `splitCommit`.
bool EndRowGroup(RunContext& cx, RowGroup& group, bool commit);

// Level k's folder name as the look-up and the creation shape it: a level of blanks and line
// breaks only is blank.
QString LevelFolderName(const RuleRowsState& rows, int k);

// Whether a level's folder name is the one the rule routes to its e-mail library, blanks around
// it and case aside.
bool NamesRoutedFolder(RunContext& cx, const QString& name);

// The message for a row whose folders were not kept.
QString RowNotKeptMessage(int item, const QString& levelValues);

}  // namespace sw
