// Column path resolution: "MATTER.CLIENT_ID.CLIENT_ID" goes PROFILE.MATTER -> MATTER,
// MATTER.CLIENT_ID -> CLIENT and ends at CLIENT.CLIENT_ID; only the first and the last key of a
// path are written into the item's row.
#include "run/column_paths.h"

#include "core/library_checks.h"
#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString Profile = QStringLiteral("PROFILE");

const TemplateItemRow* CachedLink(RunContext& cx, const QString& library, const QString& column, const QString& table) {
  for (const TemplateItemRow& row : cx.runState.columnLinks.TemplateItemTable)
    if (row.Library == library && row.Column == column && row.Table == table) return &row;
  return nullptr;
}

// The catalogue's entry for the column; a failed statement gives no entry and says it failed.
ColumnLink CatalogueLink(RunContext& cx, const QString& column, const QString& table) {
  ColumnLink link;
  const QString sql = QStringLiteral("SELECT FTBNAME, FCOLNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = '") +
                      StripQuotes(column) + QStringLiteral("' AND TBNAME = '") + StripQuotes(table) + QStringLiteral("'");
  const bool handed = RunSQL(cx, sql);
  if (!cx.session.pSQL) {
    link.readFailed = true;
    return link;
  }
  dm::PcdSql& result = *cx.session.pSQL;
  if (!handed || !IsSqlSuccess(result.SqlErrorCode())) {
    link.readFailed = true;
    link.error = result.ErrDescription();
  } else if (result.RowCount() > 0) {
    link.found = true;
    link.ForeignTable = result.ColumnValue(1);
    link.ForeignColumn = result.ColumnValue(2);
  }
  result.ReleaseResults();
  return link;
}

void ReportUnreadCatalogue(RunContext& cx, const QString& path, const ColumnLink& stop) {
  QString text = QStringLiteral("Error: Unable to read the column catalogue for ") + path + QStringLiteral(" in library ") +
                 CurrentLibraryNameOrEmpty(cx);
  if (!stop.error.isEmpty()) text += QStringLiteral(" (") + TrimBlanks(stop.error) + QStringLiteral(")");
  LogMessage(cx, text + QStringLiteral(" - cannot continue"));
  LogMessage(cx, HyphenLine);
}

// A name a table or column can have; a path of other names ("Smith & Co. Ltd", "2024.Q1") is
// text that happens to hold a dot.
bool IsColumnName(const QString& name) {
  if (name.isEmpty() || name.front().isDigit()) return false;
  for (const QChar c : name)
    if (!IsNameCharacter(c)) return false;
  return true;
}

// Whether the item names tables and columns: every name of a path with a dot is one a column can
// have, and the item is no built-in value.
bool NamesColumns(RunContext& cx, int row, const QString& path) {
  if (cx.runState.tmpl.BuiltInRows.contains(row) || !path.contains(QLatin1Char('.'))) return false;
  for (const QString& name : path.split(QLatin1Char('.')))
    if (!IsColumnName(name)) return false;
  return true;
}

// A path the catalogue does not follow would otherwise become a folder named after the path, for
// every row, each recorded as done.
void ReportUnknownPath(RunContext& cx, const QString& path, const std::vector<PathStep>& steps) {
  const QString table = steps.empty() ? Profile : steps.back().ForeignTable;
  const QString name = path.split(QLatin1Char('.')).value(static_cast<qsizetype>(steps.size()));
  LogMessage(cx, QStringLiteral("Error: The template path ") + path + QStringLiteral(" names ") + name +
                     QStringLiteral(", which the column catalogue of library ") + CurrentLibraryNameOrEmpty(cx) +
                     QStringLiteral(" does not list as a key of ") + table + QStringLiteral(" - cannot continue"));
  LogMessage(cx, HyphenLine);
}

// Follows one path row; the row's kind becomes empty when a name that is no column name is not a
// key of its table. False when the catalogue could not be read, or does not list a name the path
// gives.
bool ResolveRow(RunContext& cx, int row) {
  TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  std::vector<PathStep> steps;
  QString rest;
  ColumnLink stop;
  const QString path = items(row, TemplateItemText);
  const bool followed = FollowColumnPath(cx, path, steps, rest, true, &stop);
  if (!followed && stop.readFailed) {
    ReportUnreadCatalogue(cx, path, stop);
    return false;
  }
  if (!followed && NamesColumns(cx, row, path)) {
    ReportUnknownPath(cx, path, steps);
    return false;
  }
  if (!steps.empty()) {
    const PathStep& first = steps.front();
    items.Set(row, TemplateProfileLink,
              (first.Column + QStringLiteral(" = ") + first.ForeignTable + QLatin1Char('.') + first.ForeignColumn).toUpper());
  }
  if (!followed) {
    items.Set(row, TemplateKind, QString());
    return true;
  }
  const QString table = steps.empty() ? Profile : steps.back().ForeignTable;
  if (table == Profile) {
    items.Set(row, TemplateKind, QStringLiteral("P"));
    items.Set(row, TemplateFinalTable, QString());
  } else {
    items.Set(row, TemplateFinalTable, table.toUpper());
  }
  items.Set(row, TemplateFinalColumn, rest.toUpper());
  if (steps.empty()) return true;
  items.Set(row, TemplateKeyColumn, steps.back().ForeignColumn.toUpper());
  items.Set(row, TemplateLinkColumn, steps.back().Column.toUpper());
  items.Set(row, TemplateLinkTable, steps.back().Table.toUpper());
  return true;
}

}  // namespace

ColumnLink FindColumnLink(RunContext& cx, const QString& column, const QString& table, bool logLookUp) {
  const QString library = CurrentLibraryNameOrEmpty(cx);
  const TemplateItemRow* cached = CachedLink(cx, library, column, table);
  if (cached && !cached->ForeignColumn.isEmpty()) {
    ColumnLink link;
    link.found = true;
    link.ForeignTable = cached->ForeignTable;
    link.ForeignColumn = cached->ForeignColumn;
    return link;
  }
  if (logLookUp) {
    LogMessage(cx, QStringLiteral("Identifying foreign key links to ") + table + QLatin1Char('.') + column);
    LogMessage(cx, HyphenLine);
  }
  const ColumnLink link = CatalogueLink(cx, column, table);
  if (link.found)
    cx.runState.columnLinks.TemplateItemTable.push_back({library, column, table, link.ForeignTable, link.ForeignColumn});
  return link;
}

bool FollowColumnPath(RunContext& cx, const QString& path, std::vector<PathStep>& steps, QString& lastName, bool logLookUp,
                      ColumnLink* stop) {
  QString rest = path;
  QString table = Profile;
  for (qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0; dot = rest.indexOf(QLatin1Char('.'))) {
    const QString column = rest.left(dot);
    rest = rest.mid(dot + 1);
    const ColumnLink link = FindColumnLink(cx, column, table, logLookUp);
    if (!link.found) {
      if (stop) *stop = link;
      return false;
    }
    steps.push_back({table, column, link.ForeignTable, link.ForeignColumn});
    table = link.ForeignTable;
  }
  lastName = rest;
  return true;
}

bool ResolveColumnPaths(RunContext& cx) {
  const TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  for (int row = 1; row <= items.Count(); ++row) {
    if (items(row, TemplateKind) != QLatin1String("X") || items(row, TemplateItemText).isEmpty()) continue;
    if (!ResolveRow(cx, row)) return false;
  }
  return true;
}

}  // namespace sw
