// Rule parameters: RULE_VALUES is upper-cased, its date tokens replaced, and cut into clauses;
// each clause's column path must relate to the template for the clause to be kept.
#include "run/rule_parameters.h"

#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/column_paths.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString Profile = QStringLiteral("PROFILE");
const QString DateToken = QStringLiteral("%TODAY");

QString DropOwner(const QString& text) {
  return text.startsWith(OwnerPlaceholder) ? text.mid(OwnerPlaceholder.size()) : text;
}

QString FirstPart(const QString& path) {
  const qsizetype dot = path.indexOf(QLatin1Char('.'));
  return dot < 0 ? path : path.left(dot);
}

// Takes the next clause off the front of `text`. Inside parentheses a clause runs to the first
// ")"; outside to the first " AND " or " OR ".
QString CutClause(QString& text, int& level) {
  QString clause;
  if (level > 0) {
    const qsizetype close = text.indexOf(QLatin1Char(')'));
    clause = TrimBlanks(close < 0 ? text : text.left(close));
    text = close < 0 ? QString() : TrimBlanks(text.mid(close + 1));
    --level;
    return clause;
  }
  const qsizetype andAt = text.indexOf(QStringLiteral(" AND "));
  const qsizetype orAt = text.indexOf(QStringLiteral(" OR "));
  if (andAt < 0 && orAt < 0) {
    clause = text;
    text.clear();
    return clause;
  }
  const qsizetype at = orAt < 0 ? andAt : (andAt < 0 ? orAt : std::min(andAt, orAt));
  clause = TrimBlanks(text.left(at));
  text = TrimBlanks(text.mid(at));
  return clause;
}

// A leading "OR " or "AND " sets the connector and is dropped.
void TakeConnector(QString& text, int& andOr) {
  if (text.startsWith(QStringLiteral("OR "))) {
    andOr = 1;
    text = TrimBlanks(text.mid(3));
  } else if (text.startsWith(QStringLiteral("AND "))) {
    andOr = -1;
    text = TrimBlanks(text.mid(4));
  }
}

// The column path runs from after the clause's first "%" to the next "%" or blank.
bool SplitClause(const QString& clause, QString& path, QString& comparison) {
  const qsizetype percent = clause.indexOf(QLatin1Char('%'));
  const QString rest = percent < 0 ? clause : clause.mid(percent + 1);
  const qsizetype blank = rest.indexOf(QLatin1Char(' '));
  if (blank < 0) return false;
  const qsizetype close = rest.indexOf(QLatin1Char('%'));
  const qsizetype end = close >= 0 && close < blank ? close : blank;
  path = rest.left(end);
  comparison = rest.mid(end + 1);
  return !path.isEmpty() && !comparison.isEmpty();
}

// The table that PROFILE's column `firstPart` refers to, for templates with external links.
QString ProfileLinkedTable(RunContext& cx, const QString& firstPart) {
  const QString sql = QStringLiteral("SELECT FTBNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = '") +
                      StripQuotes(firstPart) + QStringLiteral("'");
  if (!RunSQL(cx, sql) || !cx.session.pSQL) return {};
  const QString table = cx.session.pSQL->RowCount() > 0 ? TrimBlanks(cx.session.pSQL->ColumnValue(1)) : QString();
  cx.session.pSQL->ReleaseResults();
  return table;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Whether the clause's path relates to the template: its first part starts a template path, or
// (with external links) the table it leads to is one of the template's tables.
bool RelatesToTemplate(RunContext& cx, const QString& path, const QString& comparison) {
  const QString first = FirstPart(path);
  const bool external = !cx.runState.tmpl.ExternalLinkTable.empty();
  const QString linked = path.contains(QLatin1Char('.')) && external ? ProfileLinkedTable(cx, first) : QString();
  const TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  if (items.Count() == 0) return false;
  LogThenHyphens(cx, QStringLiteral("Checking for match on syntax qualifier ") + first +
                  (linked.isEmpty() ? QString() : QStringLiteral(" (") + linked + QStringLiteral(")")));
  for (int row = 1; row <= items.Count(); ++row) {
    const QString text = DropOwner(items(row, TemplateItemText));
    if (!items(row, TemplateItemText).contains(QLatin1Char('.'))) continue;
    const QString itemFirst = FirstPart(text);
    // Names compare as SQL compares them, without regard to case.
    if (SameName(itemFirst, first)) {
      LogThenHyphens(cx, QStringLiteral("Found Internal qualifier: ") + first + QStringLiteral(" (") + path + QStringLiteral(")"));
      return true;
    }
    if (external && !linked.isEmpty() &&
        (SameName(linked, itemFirst) || SameName(linked, items(row, TemplateFinalTable)) ||
         SameName(linked, items(row, TemplateLinkTable)))) {
      LogThenHyphens(cx, QStringLiteral("Found External qualifier: ") + linked + QStringLiteral(" (") + path + QStringLiteral(")") +
                      comparison);
      return true;
    }
  }
  return external && linked.isEmpty() && first != Profile;
}

// The condition through the path's keys: every table after the first is reached with an
// "IN (SELECT ...)" on its key.
QString SubSelect(RunContext& cx, const QString& path, const QString& comparison) {
  QString table = Profile;
  QString rest = path;
  QString text;
  int depth = 0;
  for (qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0; dot = rest.indexOf(QLatin1Char('.'))) {
    const QString column = rest.left(dot).toUpper();
    rest = rest.mid(dot + 1);
    if (table != Profile) {
      text += OwnerPlaceholder + table + QLatin1Char('.') + column + QStringLiteral(" IN (");
      ++depth;
    }
    const ColumnLink link = FindColumnLink(cx, column, table, false);
    if (!link.found) break;
    table = link.ForeignTable;
    if (!text.isEmpty())
      text += QStringLiteral("SELECT ") + link.ForeignColumn + QStringLiteral(" FROM [OWNER].") + table + QStringLiteral(" WHERE ");
  }
  return text + rest + comparison + QString(depth, QLatin1Char(')'));
}

void AddQualifier(RunContext& cx, const QString& path, QString comparison, int level, int andOr) {
  // The apostrophe is completed before the sub-select is built, so both texts are whole.
  if (comparison.count(QLatin1Char('\'')) % 2 != 0) comparison += QLatin1Char('\'');
  const QString subSelect = SubSelect(cx, path, comparison);
  LogThenHyphens(cx, QStringLiteral("Adding qualifier: ") + subSelect + QStringLiteral(" as level ") + FormatNumber(level) +
                  QStringLiteral(" with AndOr value ") + FormatNumber(andOr));
  cx.runState.params.RuleQualifiers.push_back({path, comparison, FormatNumber(level), FormatNumber(andOr), subSelect});
}

}  // namespace

QString ReplaceDateTokens(const QString& input, const QDate& today, const std::function<void(const QString&)>& logDate) {
  QString text = input;
  for (qsizetype at = text.indexOf(DateToken); at >= 0; at = text.indexOf(DateToken)) {
    qsizetype i = at + DateToken.size();
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) ++i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) ++i;
    const qsizetype digits = i;
    while (i < text.size() && text.at(i).isDigit() && i - digits < 9) ++i;
    const qint64 days = i > digits ? text.mid(digits, i - digits).toLongLong() : 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) ++i;
    const qsizetype end = i < text.size() && text.at(i) == QLatin1Char('%') ? i + 1 : at + DateToken.size();
    const QString date = today.addDays(-days).toString(QStringLiteral("yyyy-MM-dd"));
    if (logDate) logDate(date);
    text.replace(at, end - at, date);
  }
  return text;
}

void ParseRuleParameters(RunContext& cx) {
  const RuleWorkingValues& rule = cx.runState.rule;
  RuleParameterState& params = cx.runState.params;
  params.RuleQualifiers.clear();
  if (rule.RULE_OVERRIDERULEPARAMETERS != 0) {
    LogThenHyphens(cx, QStringLiteral("Skipping rule parameters"));
    return;
  }
  SetStatus(cx, QStringLiteral("Parsing Rule Syntax ") + rule.RULE_VALUES);
  LogMessage(cx, HyphenLine);

  int level = 0;
  int andOr = 0;
  QString text = ReplaceDateTokens(TrimBlanks(rule.RULE_VALUES).toUpper(), cx.runState.control.Now().date(),
                                   [&cx](const QString& date) { LogThenHyphens(cx, QStringLiteral("Date String in rule parsed to ") + date); });
  while (!TrimBlanks(text).isEmpty()) {
    text = TrimBlanks(text);
    if (level < 0) level = 0;
    while (text.startsWith(QLatin1Char('('))) {
      ++level;
      text = TrimBlanks(text.mid(1));
    }
    if (text.isEmpty()) break;
    QString clause = CutClause(text, level);
    TakeConnector(text, andOr);
    if (clause.endsWith(QStringLiteral(" OR"))) {
      andOr = 1;
      clause = TrimBlanks(clause.chopped(3));
    } else if (clause.endsWith(QStringLiteral(" AND"))) {
      andOr = -1;
      clause = TrimBlanks(clause.chopped(4));
    }
    if (andOr == 0) andOr = -1;

    QString path, comparison;
    if (!SplitClause(clause, path, comparison)) continue;
    path = DropOwner(path);
    if (path.isEmpty()) continue;
    if (RelatesToTemplate(cx, path, comparison)) {
      if (!comparison.isEmpty()) AddQualifier(cx, path, comparison, level, andOr);
    } else {
      // Said by name, so that an administrator sees which condition does not hold the rows back.
      LogThenHyphens(cx, QStringLiteral("Notice: The rule parameter ") + path +
                             QStringLiteral(" is not associated with the template - the parameter is not used"));
    }

    if (TrimBlanks(text).isEmpty()) break;
    if (level > 0) {
      while (text.startsWith(QLatin1Char(')'))) {
        --level;
        text = TrimBlanks(text.mid(1));
      }
    }
    andOr = 0;
    TakeConnector(text, andOr);
  }
  if (params.RuleQualifierCount() == 0)
    LogThenHyphens(cx, QStringLiteral("Notice: There are no rule qualifiers to compare - none of the rule values are associated with the template."));
}

}  // namespace sw
