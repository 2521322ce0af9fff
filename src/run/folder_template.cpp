// The first pass over a rule's folder template: the level cut, the rule's log lines, the level
// count and the item table. Column paths are resolved afterwards (column_paths.cpp).
#include "run/folder_template.h"

#include <QDate>
#include <QLocale>
#include <array>
#include <utility>

#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/run.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString BackSeparator = QStringLiteral("%\\%");
const QString SlashSeparator = QStringLiteral("%/%");
constexpr qint64 MostFoldersPerCycle = 10000;

bool EndsWithSeparator(const QString& text) {
  return text.endsWith(BackSeparator) || text.endsWith(SlashSeparator);
}

// The position of the first separator of either form, -1 for none.
qsizetype FirstSeparator(const QString& text) {
  const qsizetype back = text.indexOf(BackSeparator);
  const qsizetype slash = text.indexOf(SlashSeparator);
  if (back < 0) return slash;
  if (slash < 0) return back;
  return std::min(back, slash);
}

int CountAfter(const QString& templateText, const QString& separator) {
  int count = 0;
  QString copy = templateText;
  for (qsizetype at = copy.indexOf(separator); at >= 0; at = copy.indexOf(separator)) {
    copy = TrimBlanks(copy.mid(at + separator.size()));
    if (!copy.isEmpty()) ++count;
  }
  return count;
}

// The built-in items in the order they are checked, with their values for this pass.
using BuiltIns = std::array<std::pair<QString, QString>, 10>;

BuiltIns BuiltInValues(RunContext& cx) {
  const QDate today = cx.runState.control.Now().date();
  const dm::DmLibraryPtr& library = cx.session.CurrentLibrary;
  const QString name = library ? library->Name() : QString();
  const QString description = library ? library->Description() : QString();
  const QLocale locale = QLocale::system();
  return {{
      {QStringLiteral("LIBRARY"), name},
      {QStringLiteral("DATE"), today.toString(QStringLiteral("yyyy-MM-dd"))},
      {QStringLiteral("YEAR"), today.toString(QStringLiteral("yyyy"))},
      {QStringLiteral("MONTH"), today.toString(QStringLiteral("MM"))},
      {QStringLiteral("DAY"), today.toString(QStringLiteral("dd"))},
      {QStringLiteral("MONTHNAME"), locale.monthName(today.month(), QLocale::LongFormat)},
      {QStringLiteral("LIBRARY_DESC"), description},
      {QStringLiteral("DOCUMENT_LIBRARY"), name},
      {QStringLiteral("FOLDER_LIBRARY"), name},
      {QStringLiteral("TODAY"), locale.toString(today, QLocale::LongFormat)},
  }};
}

// Replaces a built-in item by its value and, names 1 to 9, the first occurrence of each name in
// the e-mail template; every item read gives each name one more replacement there.
void ApplyBuiltIns(RunContext& cx, const BuiltIns& builtIns, int row) {
  TemplateState& t = cx.runState.tmpl;
  for (size_t i = 0; i < builtIns.size(); ++i) {
    const auto& [name, value] = builtIns[i];
    if (t.ParsedTemplate(row, TemplateItemText).compare(name, Qt::CaseInsensitive) == 0) {
      t.ParsedTemplate.Set(row, TemplateItemText, value);
      if (!t.BuiltInRows.contains(row)) t.BuiltInRows << row;
    }
    const bool inEmail = i < 9;
    if (inEmail && !t.EmailTemplate.isEmpty()) {
      const qsizetype at = t.EmailTemplate.indexOf(name);
      if (at >= 0) t.EmailTemplate.replace(at, name.size(), TrimBlanks(value));
    }
    if (t.EmailTemplate != t.LastLoggedEmailTemplate) {
      LogThenHyphens(cx, QStringLiteral("eMail Template set to ") + t.EmailTemplate);
      t.LastLoggedEmailTemplate = t.EmailTemplate;
    }
  }
}

// A link written without "|": the columns are the whole text, the table everything before its
// last dot.
void ExtractLinkTable(RunContext& cx, const QString& linkText, ExternalLink& link) {
  SourceListState& lists = cx.runState.lists;
  LogThenHyphens(cx, QStringLiteral("Extracting table from ") + linkText);
  link.Columns = linkText;
  const qsizetype lastDot = linkText.lastIndexOf(QLatin1Char('.'));
  QString table = lastDot < 0 ? QString() : linkText.left(lastDot);
  if (!table.isEmpty()) {
    table = WithOwnerPlaceholder(table, cx.library.DatabaseOwner);
    if (!TableListed(lists.TableList, table)) {
      LogThenHyphens(cx, QStringLiteral("Adding table (1): ") + table);
      AddTableListEntry(lists.TableList, table);
      lists.LastAddedTable = table.toUpper();
    }
  }
  link.Tables = table;
  const int number = static_cast<int>(cx.runState.tmpl.ExternalLinkTable.size());
  LogThenHyphens(cx, QStringLiteral("Item #") + FormatNumber(number) + QStringLiteral(": Columns [") + link.Columns +
                  QStringLiteral("] Tables [") + link.Tables + QStringLiteral("] Joins [") + link.Joins +
                  QStringLiteral("]"));
  if (link.Columns == QLatin1String("*NONE*") || link.Columns == QLatin1String("*EMPTY*")) link.Columns.clear();
}

// A link with "|": columns, then optionally tables and joins.
void SplitLinkParts(RunContext& cx, const QString& linkText, ExternalLink& link) {
  const qsizetype bar = linkText.indexOf(QLatin1Char('|'));
  QString columns = TrimBlanks(linkText.left(bar));
  const QString rest = TrimBlanks(linkText.mid(bar + 1));
  if (columns != QLatin1String("*NONE*") && columns != QLatin1String("NULL")) {
    LogThenHyphens(cx, QStringLiteral("Column(s) added are ") + columns);
  } else {
    LogThenHyphens(cx, QStringLiteral("Not adding column ") + columns);
    columns.clear();
  }
  link.Columns = columns;
  const qsizetype second = rest.indexOf(QLatin1Char('|'));
  if (second < 0) return;
  link.Tables = TrimBlanks(rest.left(second));
  link.Joins = TrimBlanks(rest.mid(second + 1));
  if (!link.Tables.isEmpty()) LogThenHyphens(cx, QStringLiteral("Table(s) to be added are ") + link.Tables);
  if (link.Joins.isEmpty()) return;
  for (const QString& lead : {QStringLiteral("AND "), QStringLiteral("OR "), QStringLiteral("WHERE ")}) {
    if (!link.Joins.startsWith(lead)) continue;
    link.Joins = TrimBlanks(link.Joins.mid(lead.size()));
    break;
  }
  LogThenHyphens(cx, QStringLiteral("Join(s) to be added are ") + link.Joins);
}

// An item "%<...>%": recorded in ExternalLinkTable; the row keeps the link's columns and no kind.
void AddExternalLink(RunContext& cx, int row, const QString& itemText) {
  TemplateState& t = cx.runState.tmpl;
  const QString upper = TrimBlanks(itemText).toUpper();
  const QString linkText = TrimBlanks(upper.mid(1, upper.size() - 2));
  if (linkText.isEmpty()) {
    LogThenHyphens(cx, QStringLiteral("Warning: Unable to parse this external link (check syntax for template)"));
    t.ParsedTemplate.Set(row, TemplateItemText, itemText);
    return;
  }
  LogMessage(cx, QStringLiteral("Special handling for an external link:"));
  LogThenHyphens(cx, linkText);
  t.ExternalLinkTable.push_back({});
  ExternalLink& link = t.ExternalLinkTable.back();
  link.Item = FormatNumber(row);
  if (linkText.contains(QLatin1Char('|')))
    SplitLinkParts(cx, linkText, link);
  else
    ExtractLinkTable(cx, linkText, link);
  t.ParsedTemplate.Set(row, TemplateItemText, link.Columns);
}

// Reads one "%"-item into `row`: an external link, or a column path whose text may be a built-in.
void AddPercentItem(RunContext& cx, const BuiltIns& builtIns, int row, const QString& itemText) {
  const QString upper = TrimBlanks(itemText).toUpper();
  if (upper.startsWith(QLatin1Char('<')) && upper.endsWith(QLatin1Char('>'))) {
    AddExternalLink(cx, row, itemText);
    return;
  }
  TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  items.Set(row, TemplateItemText, itemText);
  ApplyBuiltIns(cx, builtIns, row);
  const QString text = items(row, TemplateItemText);
  const bool separator = text == QLatin1String("\\") || text == QLatin1String("/");
  items.Set(row, TemplateKind, separator ? QStringLiteral("/") : QStringLiteral("X"));
}

// Splits the cut template into item rows, left to right.
void ExtractItems(RunContext& cx, const QString& templateText) {
  TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  const BuiltIns builtIns = BuiltInValues(cx);
  QString work = templateText;
  while (!TrimBlanks(work).isEmpty()) {
    int row = items.AddRow();
    if (work.startsWith(QLatin1Char('{'))) {
      // A library part names where the folders belong; the run makes them in the rule's library.
      work = TrimBlanks(work.mid(1));
      const qsizetype close = work.indexOf(QLatin1Char('}'));
      if (close >= 0) work = TrimBlanks(work.mid(close + 1));
      continue;
    }
    const qsizetype percent = work.indexOf(QLatin1Char('%'));
    if (percent < 0) {
      items.Set(row, TemplateItemText, work);
      return;
    }
    if (!TrimBlanks(work.left(percent)).isEmpty()) {
      items.Set(row, TemplateItemText, work.left(percent));
      row = items.AddRow();
    }
    work = work.mid(percent + 1);
    QString itemText;
    const qsizetype close = work.indexOf(QLatin1Char('%'));
    if (close >= 0) {
      itemText = TrimBlanks(work.left(close));
      work = work.mid(close + 1);
    } else {
      const qsizetype blank = work.indexOf(QLatin1Char(' '));
      if (blank < 0) {
        items.Set(row, TemplateItemText, work);
        return;
      }
      itemText = TrimBlanks(work.left(blank));
      work = work.mid(blank + 1);
    }
    AddPercentItem(cx, builtIns, row, itemText);
  }
}

void LogRule(RunContext& cx, const QString& cutTemplate) {
  const RuleWorkingValues& rule = cx.runState.rule;
  if (rule.RULE_OVERRIDERULEPARAMETERS == 0)
    LogMessage(cx, QStringLiteral("Rule Parameters: ") + rule.RULE_VALUES);
  else
    LogThenHyphens(cx, QStringLiteral("Not using Rule Parameters"));
  LogMessage(cx, QStringLiteral("Rule Template: ") + cutTemplate);
  LogMessage(cx, QStringLiteral("Rule Security: ") + rule.RULE_SECURITY);
  LogMessage(cx, QStringLiteral("Rule Form: ") + rule.RULE_FORM);
  if (!rule.RULE_STACKWRIGHT_TEXT.isEmpty())
    LogMessage(cx, QStringLiteral("Rule Stackwright Text: ") + rule.RULE_STACKWRIGHT_TEXT);
  SetStatus(cx, QStringLiteral("Parsing Rule Template ") + cutTemplate);
  LogMessage(cx, HyphenLine);
}

// Everything built for the previous rule goes before this rule's items are read.
void ResetRuleLists(RunContext& cx) {
  TemplateState& t = cx.runState.tmpl;
  t.ParsedTemplate.Clear();
  t.BuiltInRows.clear();
  t.ExternalLinkTable.clear();
  cx.runState.lists = SourceListState{};
  cx.runState.params = RuleParameterState{};
  RuleStatementState& s = cx.runState.statement;
  s.ParameterClause.clear();
  s.FromTable.clear();
  s.WhereText.clear();
  s.RuleStatement.clear();
}

}  // namespace

QString CutTemplateLevels(const QString& templateText, int levels) {
  if (levels == 0) return templateText;
  QString result;
  QString remaining = templateText;
  int counted = 0;
  while (!remaining.isEmpty() && (levels < 0 || counted < levels)) {
    const qsizetype at = FirstSeparator(remaining);
    if (at < 0) {
      result += remaining;
      break;
    }
    result += remaining.left(at + 3);
    remaining = remaining.mid(at + 3);
    ++counted;
  }
  while (EndsWithSeparator(result)) {
    result.chop(3);
    while (result.endsWith(QLatin1Char(' '))) result.chop(1);
  }
  return result;
}

int CountTemplateLevels(const QString& templateText) {
  return 1 + CountAfter(templateText, BackSeparator) + CountAfter(templateText, SlashSeparator);
}

qint64 PerCycleMaximum(const QString& maxFoldersText, bool initialize) {
  const qint64 n = static_cast<qint64>(NumericValue(maxFoldersText));
  if (n <= 0 || n > MostFoldersPerCycle) return MostFoldersPerCycle;
  return initialize ? 0 : n;
}

QString WithOwnerPlaceholder(const QString& table, const QString& databaseOwner) {
  if (table.startsWith(OwnerPlaceholder)) return table;
  const QString ownerPrefix = databaseOwner + QLatin1Char('.');
  if (!databaseOwner.isEmpty() && table.startsWith(ownerPrefix))
    return OwnerPlaceholder + TrimBlanks(table.mid(ownerPrefix.size()));
  return OwnerPlaceholder + table;
}

bool TableListed(const QString& tableList, const QString& entry) {
  const QString list = tableList.toUpper();
  const QString e = entry.toUpper();
  return list.endsWith(e) || list.contains(e + QLatin1Char(','));
}

bool AddTableListEntry(QString& tableList, const QString& entry) {
  if (TableListed(tableList, entry)) return false;
  tableList = tableList.isEmpty() ? entry.toUpper() : tableList.toUpper() + QStringLiteral(", ") + entry.toUpper();
  return true;
}

bool ParseFolderTemplate(RunContext& cx) {
  RuleWorkingValues& rule = cx.runState.rule;
  TemplateState& t = cx.runState.tmpl;
  const RunOptions options = cx.ui->Options();
  const QString cut = CutTemplateLevels(rule.RULE_TEMPLATE, rule.RULE_STACKWRIGHT_LEVEL);
  // The cut template stands for the rule's template for the rest of this rule's processing.
  rule.RULE_TEMPLATE = cut;
  t.CycleMaximum = PerCycleMaximum(options.maxFolders, options.initialize);
  LogRule(cx, cut);
  ResetRuleLists(cx);

  t.TemplateLevelCount = CountTemplateLevels(cut);
  t.RowBudget = t.TemplateLevelCount * t.CycleMaximum;
  LogThenHyphens(cx, FormatNumber(t.TemplateLevelCount) + QStringLiteral(" level(s) identified in the rule template"));

  t.EmailTemplate = rule.RULE_EMAIL_TEMPLATE;
  ExtractItems(cx, cut);
  if (t.ParsedTemplate.Count() > 0) return true;
  LogThenHyphens(cx, QStringLiteral("Notice: Unable to parse template string - cannot continue"));
  if (rule.RuleNode >= 0) UntickAfterFailure(cx, rule.RuleNode);
  return false;
}

}  // namespace sw
