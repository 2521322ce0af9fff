// The source of a rule whose template combines several columns of the documents.
#include "run/document_source.h"

#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/column_paths.h"
#include "run/folder_template.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString Profile = QStringLiteral("PROFILE");

// The PROFILE column through which a resolved item's path leaves the documents.
QString ProfileColumn(const TemplateTable& items, int row) {
  const QString link = items(row, TemplateProfileLink);
  const qsizetype eq = link.indexOf(QLatin1Char('='));
  return eq < 0 ? QString() : TrimBlanks(link.left(eq));
}

bool IsPathItem(const TemplateTable& items, int row) {
  return items(row, TemplateKind) == QLatin1String("X") && !items(row, TemplateFinalTable).isEmpty();
}

// The joins of one statement; a table is joined once, by the first key that reaches it.
struct Joins {
  explicit Joins(RunContext& context) : cx(context) {}
  RunContext& cx;
  QStringList joined{Profile};
  QString text;

  void Add(const PathStep& step) {
    const QString table = step.ForeignTable.toUpper();
    if (joined.contains(table)) return;
    joined << table;
    const QString condition =
        (table + QLatin1Char('.') + step.ForeignColumn + QStringLiteral(" = ") + step.Table + QLatin1Char('.') + step.Column).toUpper();
    LogThenHyphens(cx, QStringLiteral("Adding join qualifier ") + table + QStringLiteral(" ON ") + condition);
    text += QStringLiteral("LEFT OUTER JOIN [OWNER].") + table + QStringLiteral(" ON ") + condition + QLatin1Char(' ');
  }
  void AddUnrelated(const QString& table) {
    joined << table;
    text += QStringLiteral("CROSS JOIN [OWNER].") + table + QLatin1Char(' ');
  }
};

// PROFILE's key to a table, when the catalogue names exactly one.
bool ProfileKeyTo(RunContext& cx, const QString& table, PathStep& step) {
  const QString sql = QStringLiteral("SELECT COLNAME, FCOLNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND FTBNAME = '") +
                      StripQuotes(table) + QStringLiteral("'");
  if (!RunSQL(cx, sql) || !cx.session.pSQL) return false;
  dm::PcdSql& result = *cx.session.pSQL;
  const bool one = result.RowCount() == 1 && !TrimBlanks(result.ColumnValue(2)).isEmpty();
  if (one) step = {Profile, TrimBlanks(result.ColumnValue(1)), table, TrimBlanks(result.ColumnValue(2))};
  result.ReleaseResults();
  return one;
}

}  // namespace

bool SelectsFromDocuments(const TemplateTable& items) {
  QString first;
  for (int row = 1; row <= items.Count(); ++row) {
    if (!IsPathItem(items, row)) continue;
    const QString column = ProfileColumn(items, row);
    if (column.isEmpty()) continue;
    if (first.isEmpty())
      first = column;
    else if (column != first)
      return true;
  }
  return false;
}

void UseDocumentSource(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  const TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  LogThenHyphens(cx, QStringLiteral("Note: The template combines columns of the documents - selecting from [OWNER].PROFILE"));
  Joins joins(cx);
  for (int row = 1; row <= items.Count(); ++row) {
    if (!IsPathItem(items, row)) continue;
    std::vector<PathStep> steps;
    QString column;
    FollowColumnPath(cx, items(row, TemplateItemText), steps, column, false);
    for (const PathStep& step : steps) joins.Add(step);
  }
  // The tables of the rule's Stackwright text and of its external links.
  for (const QString& table : NamedTables(l.TableList)) {
    if (joins.joined.contains(table)) continue;
    PathStep step;
    if (ProfileKeyTo(cx, table, step))
      joins.Add(step);
    else
      joins.AddUnrelated(table);
  }
  l.JoinList = joins.text;
  AddTableListEntry(l.TableList, OwnerPlaceholder + Profile);
  // Each document is recorded as processed; the tables it reaches are no rows of their own.
  l.ProcessedRowFilter.clear();
  l.FilteredTables.clear();
  l.FilterGroupCount = 0;
  cx.runState.statement.FromTable = OwnerPlaceholder + Profile;
}

QString FirstLevelCondition(const TemplateTable& items, qint64 engine) {
  QStringList columns;
  for (int row = 1; row <= items.Count(); ++row) {
    if (items(row, TemplateKind) == QLatin1String("/")) break;
    if (IsPathItem(items, row)) {
      // Blank after trimming, empty or NULL: the level's name would be blank. Oracle holds an
      // empty text as NULL, whose length is NULL too.
      const QString column = (items(row, TemplateFinalTable) + QLatin1Char('.') + items(row, TemplateFinalColumn)).toUpper();
      columns << (IsOracleEngine(engine) ? QStringLiteral("LENGTH(TRIM(") : QStringLiteral("LEN(LTRIM(RTRIM(")) + column +
                     (IsOracleEngine(engine) ? QStringLiteral(")) > 0") : QStringLiteral("))) > 0"));
      continue;
    }
    // Any text of its own makes the level a name whatever the columns hold.
    if (!items(row, TemplateItemText).isEmpty()) return {};
  }
  if (columns.isEmpty()) return {};
  return QStringLiteral("(") + columns.join(QStringLiteral(" OR ")) + QStringLiteral(")");
}

QStringList NamedTables(const QString& fromAndJoins) {
  QStringList tables;
  for (qsizetype at = fromAndJoins.indexOf(OwnerPlaceholder); at >= 0; at = fromAndJoins.indexOf(OwnerPlaceholder, at + 1)) {
    qsizetype end = at + OwnerPlaceholder.size();
    while (end < fromAndJoins.size() && IsNameCharacter(fromAndJoins.at(end))) ++end;
    const QString table = fromAndJoins.mid(at + OwnerPlaceholder.size(), end - at - OwnerPlaceholder.size()).toUpper();
    if (!table.isEmpty() && !tables.contains(table)) tables << table;
  }
  return tables;
}

QStringList PathTables(const TemplateTable& items) {
  QStringList tables;
  for (int row = 1; row <= items.Count(); ++row) {
    if (!IsPathItem(items, row)) continue;
    for (const QString& table : {items(row, TemplateFinalTable), items(row, TemplateLinkTable)})
      if (!table.isEmpty() && table != Profile && !tables.contains(table)) tables << table;
  }
  return tables;
}

}  // namespace sw
