#pragma once
// Column paths of the folder template: each path is followed from PROFILE through the foreign
// keys of the library's column catalogue, and every key learned is kept in TemplateItemTable.
#include <QString>
#include <vector>

namespace sw {

class RunContext;

// One foreign key of the current library: the table and column that `column` of `table` refers
// to.
struct ColumnLink {
  bool found = false;
  QString ForeignTable;
  QString ForeignColumn;
  bool readFailed = false;  // the catalogue could not be read: not found says nothing then
  QString error;            // the SQL object's description of that failure
};

// The key from the cache, or else from the catalogue (then cached). A cached key without a
// foreign column is looked up again. `logLookUp` logs the catalogue look-up.
ColumnLink FindColumnLink(RunContext& cx, const QString& column, const QString& table, bool logLookUp);

// One foreign key a column path follows: `Column` of `Table` refers to `ForeignColumn` of
// `ForeignTable`.
struct PathStep {
  QString Table;
  QString Column;
  QString ForeignTable;
  QString ForeignColumn;
};

// The keys a path follows from PROFILE, one per name before its last, into `steps`; `lastName`
// gets the last name. False when a name is no key of the table reached (the steps before it are
// kept); `stop` (when given) then gets the look-up that ended the path, which tells a failed read.
bool FollowColumnPath(RunContext& cx, const QString& path, std::vector<PathStep>& steps, QString& lastName, bool logLookUp,
                      ColumnLink* stop = nullptr);

// Resolves every column-path row of ParsedTemplate into its tables, columns and joins. False (an
// error logged) when the catalogue could not be read, or does not list a name of a path written
// in column names: such a path is no fixed text, and folders named after it must not be made.
// Built-in values and paths with names no column can have stay fixed text.
bool ResolveColumnPaths(RunContext& cx);

}  // namespace sw
