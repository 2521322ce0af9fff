#pragma once
// Keeping the folders the system fills in display-name order. A folder's items form a linked
// list through its FOLDER_ITEM rows (each row's NEXT names the following row, the first row has
// ISFIRST 'Y'); an item that lives in another library also has a row in its own library's
// FOLDER_ITEM for that filing. The sort rewrites both directly in the libraries' databases.
#include <QString>
#include <vector>

#include "platform/dm/dm_api.h"

namespace sw {

class Context;

namespace dm {
class PcdSql;
}

// One FOLDER_ITEM row of a folder as the sort reads it; every value is trimmed text.
struct FolderItemRow {
  QString SystemId;
  QString DisplayName;
  QString Next;
  QString IsFirst;
  QString NodeType;
  QString FolderLibrary;  // name of the library that holds the folder
  QString ItemLibrary;    // name of the library the item lives in
  QString DocNumber;
};

// A row of the chain whose NEXT or ISFIRST has to be rewritten.
struct ChainLink {
  int row = 0;  // index into the rows, from 0
  qint64 next = 0;
  QString isFirst;
};

// The rewrites that make rows, taken in display order, one chain: every row names the next,
// the last names 0, only the first is "Y" (read without regard to case). Rows already right
// are left out, so a sorted folder needs none.
std::vector<ChainLink> PlanChainLinks(const std::vector<FolderItemRow>& rows);

// Whether an item filed in a folder of folderLibrary lives in another library and so needs a
// row in its own library. Library names are compared without regard to case, as the DM itself
// compares them: a folder library named in another case is still the item's own library.
bool IsRemoteItem(const QString& itemLibrary, const QString& folderLibrary);

// The rows of one folder in display order. Only the rows of the folder in `folderLibrary`
// (the library whose database is asked): a row for a folder of another library that happens
// to have the same number is that library's filing record, not part of this chain.
dm::FilledSql FolderItemsQuery(qint64 parent, const QString& nextColumn, const QString& folderLibrary);

// Helpers shared by the folder procedures that read results themselves.
namespace folder_sql {

// The session's SQL object; a missing one is the run-time failure "object not set".
dm::PcdSql& Results(Context& cx);
// The current library's name; a missing library object is the run-time failure "object not set".
QString CurrentName(Context& cx);
// A value read as a number and kept whole ("12" gives 12, "" gives 0).
qint64 WholeValue(const QString& text);
// Time of day in seconds, from the clock the log uses.
double SecondsOfDay(Context& cx);
// Logs the line that closes each step.
void Hyphens(Context& cx);

}  // namespace folder_sql

}  // namespace sw
