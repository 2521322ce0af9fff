// Extra tables from the rule's Stackwright text, and the walk over the template items that
// builds the lists of the rule's statement.
#include "run/source_lists.h"

#include <set>

#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/folder_template.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString Profile = QStringLiteral("PROFILE");

bool ContainsUpper(const QString& text, const QString& part) { return text.toUpper().contains(part.toUpper()); }

QString SidEntry(const QString& table) {
  const QString column = table + QStringLiteral(".SYSTEM_ID");
  return QStringLiteral(", ") + column + QStringLiteral(" AS \"") + column + QStringLiteral("\"");
}

// A literal keeps its blanks (fixed text such as " - " is part of a folder name) and has its
// apostrophes doubled.
QString TextLiteral(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text.at(first) == QLatin1Char(' ')) ++first;
  while (last > first && text.at(last - 1) == QLatin1Char(' ')) --last;
  return QStringLiteral("'") + text.left(first) + StripQuotes(text) + text.mid(last) + QStringLiteral("'");
}

// Work values of one walk over the items.
struct Walk {
  RunContext& cx;
  SourceListState& lists;
  const TemplateTable& items;
  bool initialize;
  bool descending;
  std::set<QString> deferred;  // tables whose filter term a later item places
};

// Places the filter term for `table` unless the filter has it already.
void PlaceFilterTerm(Walk& w, const QString& table, const QString& marker) {
  SourceListState& l = w.lists;
  if (ContainsUpper(l.ProcessedRowFilter, table + QStringLiteral(".SYSTEM_ID"))) return;
  if (!w.initialize) ++l.LevelFilterCount;
  if (!l.ProcessedRowFilter.isEmpty()) {
    l.ProcessedRowFilter += QStringLiteral(" OR ");
  } else {
    l.ProcessedRowFilter += QStringLiteral("(");
    ++l.FilterGroupCount;
  }
  if (l.LevelFilterCount == 1) {
    LogThenHyphens(w.cx, QStringLiteral("Placing start parenthesis into Stackwright qualifier text ") + marker);
    l.ProcessedRowFilter += QStringLiteral("(");
  }
  l.ProcessedRowFilter += ProcessedRowTerm(w.cx, table, w.cx.runState.rule.RuleName);
  l.FilteredTables << table;
}

void AddSourceTable(Walk& w, const QString& table) {
  if (ContainsUpper(w.lists.SidSelectList, table + QStringLiteral(".SYSTEM_ID"))) return;
  w.lists.SidSelectList += SidEntry(table);
  w.lists.SourceTables << table;
}

// Fixed text, separators, external links and paths that are no column: literal columns.
void WalkOtherItem(Walk& w, int row) {
  SourceListState& l = w.lists;
  TemplateTable& items = w.cx.runState.tmpl.ParsedTemplate;
  if (items(row, TemplateKind) == QLatin1String("/")) {
    if (l.LevelFilterCount > 0 && !l.ProcessedRowFilter.isEmpty()) {
      LogThenHyphens(w.cx, QStringLiteral("Placing end parenthesis into Stackwright qualifier text"));
      l.ProcessedRowFilter += QStringLiteral(")");
    }
    l.LevelFilterCount = 0;
  }
  QString text = items(row, TemplateItemText);
  if (text.isEmpty()) return;
  if (text.startsWith(OwnerPlaceholder)) text = TrimBlanks(text.mid(OwnerPlaceholder.size()));
  const QString ownerPrefix = w.cx.library.DatabaseOwner + QLatin1Char('.');
  if (!w.cx.library.DatabaseOwner.isEmpty() && text.startsWith(ownerPrefix)) text = TrimBlanks(text.mid(ownerPrefix.size()));
  items.Set(row, TemplateItemText, text);

  if (!l.SelectList.isEmpty()) l.SelectList += QStringLiteral(", ");
  bool linkColumns = false;
  for (const ExternalLink& link : w.cx.runState.tmpl.ExternalLinkTable)
    if (link.Item == FormatNumber(row) && !link.Tables.isEmpty()) linkColumns = true;
  if (linkColumns)
    l.SelectList += text + QStringLiteral(" AS \"") + text + QStringLiteral("\"");
  else
    l.SelectList += TextLiteral(text);
}

void AddSelectAndOrder(Walk& w, const QString& table, const QString& column) {
  SourceListState& l = w.lists;
  const QString name = table + QLatin1Char('.') + column;
  const QString select = (name + QStringLiteral(" AS \"") + name + QStringLiteral("\"")).toUpper();
  if (l.SelectList.isEmpty()) {
    l.SelectList = select;
  } else if (!(column == QLatin1String("SYSTEM_ID") && ContainsUpper(l.SelectList, table + QStringLiteral(".SYSTEM_ID")))) {
    l.SelectList += QStringLiteral(", ") + select;
  }
  if (column == QLatin1String("SYSTEM_ID")) return;
  const QString direction = w.descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
  if (l.OrderList.isEmpty())
    l.OrderList = name + direction;
  else if (!ContainsUpper(l.OrderList, name))
    l.OrderList += QStringLiteral(", ") + name.toUpper() + direction;
}

// The final table of a path: a new one is a source table with a filter term of its own.
void WalkFinalTable(Walk& w, const QString& table) {
  SourceListState& l = w.lists;
  if (table.isEmpty() || table == Profile) return;
  const QString entry = OwnerPlaceholder + table;
  if (l.TableList.isEmpty()) {
    LogThenHyphens(w.cx, QStringLiteral("Adding table (3a): ") + entry);
    l.TableList = entry;
  } else if (!TableListed(l.TableList, entry)) {
    LogThenHyphens(w.cx, QStringLiteral("Adding table (3b): ") + entry);
    AddTableListEntry(l.TableList, entry);
  } else {
    if (w.deferred.count(table) > 0) PlaceFilterTerm(w, table, QStringLiteral("(1)"));
    return;
  }
  l.LastAddedTable = entry.toUpper();
  PlaceFilterTerm(w, table, QStringLiteral("(1)"));
  AddSourceTable(w, table);
}

// The links of the previous table to GROUPS and PEOPLE, for the workspaces of the rule's folders.
void FindWorkspaceLinks(Walk& w, const QString& previous, const QString& previousColumn) {
  LogThenHyphens(w.cx, QStringLiteral("Identifying any links related to workspaces for ") + previous);
  const QString sql = QStringLiteral("SELECT COLNAME, FTBNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = '") +
                      StripQuotes(previous) + QStringLiteral("' AND FTBNAME IN ('GROUPS', 'PEOPLE')");
  if (!RunSQL(w.cx, sql) || !w.cx.session.pSQL) return;
  dm::PcdSql& result = *w.cx.session.pSQL;
  SourceListState& l = w.lists;
  for (qint64 r = 0; r < result.RowCount(); ++r) {
    if (r > 0 && result.NextRow() == 0) break;
    const QString column = TrimBlanks(result.ColumnValue(1)).toUpper();
    const QString foreign = result.ColumnValue(2);
    if (foreign == QLatin1String("GROUPS")) {
      l.GroupLinkTable = previous;
      l.GroupLinkColumn = column;
      l.GroupLinkKey = previousColumn;
    } else if (foreign == QLatin1String("PEOPLE")) {
      l.PeopleLinkTable = previous;
      l.PeopleLinkColumn = column;
      l.PeopleLinkKey = previousColumn.toUpper();
    }
  }
  result.ReleaseResults();
}

// A later item that ends in `table` through a join of its own places the table's term there.
bool LaterItemEndsIn(const Walk& w, int row, const QString& table) {
  for (int later = row + 1; later <= w.items.Count(); ++later)
    if (w.items(later, TemplateLinkTable) != Profile && w.items(later, TemplateFinalTable) == table) return true;
  return false;
}

// The table before the final one: joined to it, and a source table of its own.
void WalkPreviousTable(Walk& w, int row) {
  SourceListState& l = w.lists;
  const QString previous = w.items(row, TemplateLinkTable);
  if (previous.isEmpty() || previous == Profile) return;
  const QString entry = OwnerPlaceholder + previous;
  if (AddTableListEntry(l.TableList, entry)) LogThenHyphens(w.cx, QStringLiteral("Adding table (4): ") + entry);
  l.LastAddedTable = entry.toUpper();

  const QString previousColumn = w.items(row, TemplateLinkColumn);
  if (w.cx.runState.rule.RULE_WORKSPACE_AUTHOR != 0 && previous != QLatin1String("PEOPLE") &&
      previous != QLatin1String("GROUPS"))
    FindWorkspaceLinks(w, previous, previousColumn);

  if (!ContainsUpper(l.ProcessedRowFilter, previous + QStringLiteral(".SYSTEM_ID"))) {
    if (LaterItemEndsIn(w, row, previous)) {
      LogThenHyphens(w.cx, QStringLiteral("Skipping Stackwright qualifying table ") + previous + QStringLiteral(" for now"));
      w.deferred.insert(previous);
    } else {
      PlaceFilterTerm(w, previous, QStringLiteral("(2)"));
    }
  }
  AddSourceTable(w, previous);

  const QString join = QStringLiteral("LEFT OUTER JOIN [OWNER].") + previous;
  if (l.JoinList.toUpper().contains(join.toUpper() + QLatin1Char(' '))) return;
  const QString condition = (previous + QLatin1Char('.') + previousColumn + QStringLiteral(" = ") +
                             w.items(row, TemplateFinalTable) + QLatin1Char('.') + w.items(row, TemplateKeyColumn))
                                .toUpper();
  LogThenHyphens(w.cx, QStringLiteral("Adding join qualifier ") + previous + QStringLiteral(" ON ") + condition);
  l.JoinList += join + QStringLiteral(" ON ") + condition + QLatin1Char(' ');
}

void WalkPathItem(Walk& w, int row) {
  const QString table = w.items(row, TemplateFinalTable);
  const QString column = w.items(row, TemplateFinalColumn);
  if (table.isEmpty() || column.isEmpty()) return;
  AddSelectAndOrder(w, table, column);
  WalkFinalTable(w, table);
  WalkPreviousTable(w, row);
}

}  // namespace

QString NormaliseTableList(const QString& tableList) {
  QString list = TrimBlanks(tableList);
  while (list.startsWith(QLatin1Char(','))) list = TrimBlanks(list.mid(1));
  while (list.endsWith(QLatin1Char(','))) {
    list.chop(1);
    list = TrimBlanks(list);
  }
  while (list.contains(QStringLiteral("  "))) list.replace(QStringLiteral("  "), QStringLiteral(" "));
  while (list.contains(QStringLiteral(",,"))) list.replace(QStringLiteral(",,"), QStringLiteral(","));
  return list;
}

QStringList QualifierTables(const QString& qualifier) {
  QStringList tables;
  qsizetype from = 0;
  for (qsizetype at = qualifier.indexOf(OwnerPlaceholder, from); at >= 0; at = qualifier.indexOf(OwnerPlaceholder, from)) {
    const qsizetype start = at + OwnerPlaceholder.size();
    const qsizetype dot = qualifier.indexOf(QLatin1Char('.'), start);
    if (dot < 0) break;
    const QString table = TrimBlanks(qualifier.mid(start, dot - start));
    if (!table.isEmpty()) tables << table;
    from = dot + 1;
  }
  return tables;
}

QString RuleNameLike(RunContext& cx, const QString& ruleName) {
  const qint64 engine = cx.session.DatabaseEngine;
  const QString name = EscapeLikeText(StripQuotes(ruleName).toUpper(), engine);
  return QStringLiteral("LIKE '") + name + QStringLiteral("'") + LikeEscapeClause(name, engine);
}

QString ProcessedRowTerm(RunContext& cx, const QString& table, const QString& ruleName) {
  const QString t = table.toUpper();
  return t + QStringLiteral(".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(TABLE_NAME) = '") +
         StripQuotes(t) + QStringLiteral("' AND UPPER(RULE_NAME) ") + RuleNameLike(cx, ruleName) + QStringLiteral(")");
}

void AddStackwrightTables(RunContext& cx) {
  const QString text = cx.runState.rule.RULE_STACKWRIGHT_TEXT;
  if (text.isEmpty()) return;
  SourceListState& l = cx.runState.lists;
  LogThenHyphens(cx, QStringLiteral("Working on Rule Stackwright Text: ") + text);
  const qsizetype bar = text.indexOf(QLatin1Char('|'));
  const QString tableList = bar < 0 ? QString() : TrimBlanks(text.left(bar));
  const QString qualifier = bar < 0 ? TrimBlanks(text) : TrimBlanks(text.mid(bar + 1));
  if (!tableList.isEmpty()) {
    const QString list = NormaliseTableList(tableList);
    LogThenHyphens(cx, QStringLiteral("Stackwright Text is: ") + list);
    for (const QString& part : list.split(QLatin1Char(','))) {
      const QString name = TrimBlanks(part);
      if (name.isEmpty()) continue;
      const QString entry = WithOwnerPlaceholder(name, cx.library.DatabaseOwner);
      if (AddTableListEntry(l.TableList, entry)) l.LastAddedTable = entry.toUpper();
    }
  }
  if (!l.TableList.isEmpty()) LogThenHyphens(cx, QStringLiteral("Stackwright TableList (1) is: ") + l.TableList);
  for (const QString& table : QualifierTables(qualifier)) {
    const QString entry = OwnerPlaceholder + table;
    LogThenHyphens(cx, QStringLiteral("Adding table (2): ") + entry);
    AddTableListEntry(l.TableList, entry);
    l.LastAddedTable = entry.toUpper();
  }
  if (!l.TableList.isEmpty()) LogThenHyphens(cx, QStringLiteral("Stackwright TableList (2) is: ") + l.TableList);
  LogThenHyphens(cx, QStringLiteral("Finished working on Rule Stackwright Text"));
}

void BuildSourceLists(RunContext& cx) {
  AddStackwrightTables(cx);
  SourceListState& l = cx.runState.lists;
  l.GroupLinkTable.clear();
  l.GroupLinkColumn.clear();
  l.GroupLinkKey.clear();
  l.PeopleLinkTable.clear();
  l.PeopleLinkColumn.clear();
  l.PeopleLinkKey.clear();
  cx.runState.rows.GroupLinkValue.clear();
  cx.runState.rows.PeopleLinkValue.clear();
  l.LevelFilterCount = 0;

  const RunOptions options = cx.ui->Options();
  Walk w{cx, l, cx.runState.tmpl.ParsedTemplate, options.initialize, options.processDescending, {}};
  for (int row = 1; row <= w.items.Count(); ++row) {
    if (w.items(row, TemplateKind) != QLatin1String("X"))
      WalkOtherItem(w, row);
    else
      WalkPathItem(w, row);
  }
  if (l.LevelFilterCount != 0 && !l.ProcessedRowFilter.isEmpty()) {
    LogThenHyphens(cx, QStringLiteral("Placing last end parenthesis into Stackwright qualifier text"));
    l.ProcessedRowFilter += QStringLiteral(")");
  }
  LogThenHyphens(cx, QStringLiteral("Stackwright Join list so far: ") + l.JoinList);
}

}  // namespace sw
