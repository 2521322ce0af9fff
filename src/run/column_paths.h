#pragma once
// Column paths of the folder template: each path is followed from PROFILE through the foreign
// keys of the library's column catalogue, and every key learned is kept in TemplateItemTable.
#include <QString>

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

// Resolves every column-path row of ParsedTemplate into its tables, columns and joins.
void ResolveColumnPaths(RunContext& cx);

}  // namespace sw
