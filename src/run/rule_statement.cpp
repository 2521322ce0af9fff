// The rule's statement: the saved-statement search, the assembly from the rule's lists, the
// choice between saved and built statement, and the Initialize option. Also the entry point
// that takes a rule from its template to its statement.
#include "run/rule_statement.h"

#include "core/library_checks.h"
#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/column_paths.h"
#include "run/document_source.h"
#include "run/folder_template.h"
#include "run/rule_parameters.h"
#include "run/run.h"
#include "run/run_context.h"
#include "run/source_lists.h"

namespace sw {

namespace {

const QString Profile = QStringLiteral("PROFILE");
const QString Working = QStringLiteral("Working...");
constexpr int ResultsColumn = 2;

bool IsOracle(RunContext& cx) { return IsOracleEngine(cx.session.DatabaseEngine); }

// SQL the administrator wrote: the owner placeholders inside its literals mean the owner there
// too. RunSQL leaves every literal as it stands, for the values the system's literals carry.
QString AdministratorSql(RunContext& cx, const QString& text) {
  return ReplaceOwnerPlaceholdersInLiterals(text, cx.library.DatabaseOwner);
}

// Comments and brackets ahead of the SELECT are the administrator's own, as in the editor's test.
bool BeginsWithSelect(const QString& text) { return FirstSqlWord(text) == QLatin1String("SELECT"); }

// A "SELECT COUNT(*)" statement's value, 0 when it failed.
qint64 CountOf(RunContext& cx, const QString& sql) {
  if (!RunSQL(cx, sql) || !cx.session.pSQL) return 0;
  const qint64 n = static_cast<qint64>(NumericValue(cx.session.pSQL->ColumnValue(1)));
  cx.session.pSQL->ReleaseResults();
  return n;
}

// A parameter's condition as the statement can hold it: a one-dot path names a table of the
// statement, or the table that PROFILE's column of that name leads to; a longer path starts
// from the table of its first key, and each name before its last must be a key, or its
// sub-select would name a table that is nowhere. Empty, with a warning, when the statement has
// no such table.
QString QualifierCondition(RunContext& cx, const RuleQualifier& q, const QStringList& tables) {
  const QString& path = q.ColumnPath;
  const qsizetype dot = path.indexOf(QLatin1Char('.'));
  if (dot < 0) return (path + q.Comparison).toUpper();
  const bool oneDot = path.count(QLatin1Char('.')) == 1;
  if (oneDot && tables.contains(path.left(dot).toUpper())) return (path + q.Comparison).toUpper();
  std::vector<PathStep> steps;
  QString lastName;
  if (FollowColumnPath(cx, path, steps, lastName, false) && tables.contains(steps.front().ForeignTable.toUpper()))
    return oneDot ? (steps.front().ForeignTable + path.mid(dot) + q.Comparison).toUpper() : q.SubSelect.toUpper();
  LogThenHyphens(cx, QStringLiteral("Warning: The rule parameter ") + path +
                      QStringLiteral(" names no table of the SQL statement - the parameter is not used"));
  return {};
}

// The group of the rule's parameters: " (" conditions ")", empty without kept parameters.
QString ParameterClause(RunContext& cx, const QStringList& tables) {
  QString clause;
  QString connector;
  for (const RuleQualifier& q : cx.runState.params.RuleQualifiers) {
    const QString condition = QualifierCondition(cx, q, tables);
    if (condition.isEmpty()) continue;
    if (!clause.isEmpty()) clause += connector;
    LogThenHyphens(cx, QStringLiteral("Adding Select column ") + condition);
    clause += condition;
    connector = NumericValue(q.AndOr) > 0 ? QStringLiteral(" OR ") : QStringLiteral(" AND ");
    LogThenHyphens(cx, QStringLiteral("Qualifier for this Select column will be") + connector);
  }
  return clause.isEmpty() ? QString() : QStringLiteral(" (") + AdministratorSql(cx, clause) + QStringLiteral(")");
}

// The tables named by external links with "|" join the table list.
void AddExternalLinkTables(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  const QString ownerPrefix = cx.library.DatabaseOwner + QLatin1Char('.');
  for (const ExternalLink& link : cx.runState.tmpl.ExternalLinkTable) {
    if (link.Tables.isEmpty()) continue;
    for (const QString& part : TrimBlanks(link.Tables).toUpper().split(QLatin1Char(','))) {
      QString name = TrimBlanks(part).toUpper();
      if (name.isEmpty()) continue;
      if (!cx.library.DatabaseOwner.isEmpty() && name.startsWith(ownerPrefix))
        name = OwnerPlaceholder + name.mid(ownerPrefix.size());
      else if (!name.startsWith(OwnerPlaceholder))
        name = OwnerPlaceholder + name;
      if (TableListed(l.TableList, name)) continue;
      LogThenHyphens(cx, QStringLiteral("Adding external linked table: ") + name);
      AddTableListEntry(l.TableList, name);
      l.LastAddedTable = name;
    }
  }
}

// The system-id column of a table the template mentions without a path of its own.
void AddSidColumn(RunContext& cx, const QString& table) {
  SourceListState& l = cx.runState.lists;
  const QString column = table + QStringLiteral(".SYSTEM_ID");
  if (l.SidSelectList.contains(column)) return;
  // Every column after the first needs its separator, also after a select list of literals.
  if (!l.SelectList.isEmpty() || !l.SidSelectList.isEmpty()) l.SidSelectList += QStringLiteral(", ");
  l.SidSelectList += column + QStringLiteral(" AS \"") + column + QStringLiteral("\"");
  l.SourceTables << table;
}

bool TableListHas(RunContext& cx, const QString& table) {
  const QString& list = cx.runState.lists.TableList;
  return list.contains(OwnerPlaceholder + table) ||
         (!cx.library.DatabaseOwner.isEmpty() && list.contains(cx.library.DatabaseOwner + QLatin1Char('.') + table));
}

void AddListedTable(RunContext& cx, const QString& table) {
  QString& list = cx.runState.lists.TableList;
  if (!list.isEmpty()) list += QStringLiteral(", ");
  list += OwnerPlaceholder + table;
}

void AddProfileAndTypeColumns(RunContext& cx) {
  const QString& templateText = cx.runState.rule.RULE_TEMPLATE;
  if (templateText.contains(QStringLiteral("DOCUMENTTYPE"))) {
    AddSidColumn(cx, QStringLiteral("DOCUMENTTYPES"));
    if (!TableListHas(cx, QStringLiteral("DOCUMENTTYPES"))) {
      AddListedTable(cx, QStringLiteral("DOCUMENTTYPES"));
      LogThenHyphens(cx, QStringLiteral("Adding join qualifier [OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = PROFILE.DOCUMENTTYPE "));
      cx.runState.lists.JoinList +=
          QStringLiteral("LEFT OUTER JOIN [OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = PROFILE.DOCUMENTTYPE ");
    }
  }
  if (templateText.contains(QStringLiteral("PROFILE"))) {
    AddSidColumn(cx, QStringLiteral("PROFILE"));
    if (!TableListHas(cx, QStringLiteral("PROFILE"))) AddListedTable(cx, QStringLiteral("PROFILE"));
  }
}

// With a bottom-level table, the budget is the per-cycle maximum for each of its rows.
void BottomLevelBudget(RunContext& cx) {
  const QString last = cx.runState.lists.LastAddedTable;
  if (last.isEmpty()) return;
  LogThenHyphens(cx, QStringLiteral("Getting count of bottom-level items from table ") + last);
  QString table = last.startsWith(OwnerPlaceholder) ? TrimBlanks(last.mid(OwnerPlaceholder.size())) : last;
  const qsizetype dot = table.indexOf(QLatin1Char('.'));
  if (dot >= 0) table = table.left(dot);
  const qint64 disabled = CountOf(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'DISABLED' AND TBNAME = '") +
                                          StripQuotes(table) + QStringLiteral("'"));
  const QString filter = disabled != 0 ? QStringLiteral(" WHERE (DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)") : QString();
  const qint64 rows = CountOf(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].") + table + filter);
  if (rows != 0) cx.runState.tmpl.RowBudget = cx.runState.tmpl.CycleMaximum * rows;
}

// "SELECT DISTINCT ... FROM ..." with the row cap of SQL Server.
QString StatementHead(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  RuleStatementState& s = cx.runState.statement;
  TemplateState& t = cx.runState.tmpl;
  SetStatus(cx, QStringLiteral("Fetching SQL Values in library ") + CurrentLibraryNameOrEmpty(cx) + QStringLiteral(" for rule ") +
                    cx.runState.rule.RuleName);
  LogMessage(cx, HyphenLine);
  if (IsOracle(cx)) {
    QString head = QStringLiteral("SELECT DISTINCT ") + l.SelectList + l.SidSelectList + QStringLiteral(" FROM ") + s.FromTable;
    if (!TrimBlanks(l.JoinList).isEmpty()) head += QLatin1Char(' ') + TrimBlanks(l.JoinList);
    return head;
  }
  const qint64 maxFolders = static_cast<qint64>(NumericValue(cx.ui->Options().maxFolders));
  if (maxFolders > 0) t.RowBudget = maxFolders;
  LogThenHyphens(cx, QStringLiteral("Processing a maximum of ") + FormatNumber(t.RowBudget) + QStringLiteral(" folder(s) per cycle"));
  const QString cap = t.RowBudget != 0 && !cx.ui->Options().initialize
                          ? QStringLiteral(" TOP ") + FormatNumber(t.RowBudget) + QLatin1Char(' ')
                          : QStringLiteral(" ");
  return QStringLiteral("SELECT DISTINCT") + cap + l.SelectList + l.SidSelectList + QStringLiteral("\r\n") + QStringLiteral(" FROM ") +
         TrimBlanks(s.FromTable) + QLatin1Char(' ') + TrimBlanks(l.JoinList);
}

// The first table of the table list, with PROFILE when the template names it.
QString FirstTables(RunContext& cx) {
  const QString& list = cx.runState.lists.TableList;
  const qsizetype comma = list.indexOf(QLatin1Char(','));
  QString from = comma < 0 ? list : list.left(comma);
  const bool fromProfile = TrimBlanks(from) == QLatin1String("[OWNER].PROFILE") ||
                           TrimBlanks(from) == cx.library.DatabaseOwner + QStringLiteral(".PROFILE");
  if (cx.runState.rule.RULE_TEMPLATE.contains(QStringLiteral("PROFILE")) && TableListHas(cx, QStringLiteral("PROFILE")) && !fromProfile)
    from += QStringLiteral(", [OWNER].PROFILE");
  return from;
}

// A client list joined to its matters reads every matter once: the matter becomes the first table.
void RewriteClientMatter(QString& statement) {
  const QString matterFirst =
      QStringLiteral(" FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID");
  const QString clientFirst =
      QStringLiteral(" FROM [OWNER].CLIENT LEFT OUTER JOIN [OWNER].MATTER ON MATTER.CLIENT_ID = CLIENT.SYSTEM_ID");
  const QString matterTwice =
      QStringLiteral("FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].MATTER ON MATTER.CLIENT_ID = CLIENT.SYSTEM_ID");
  qsizetype at = statement.indexOf(clientFirst);
  if (at >= 0) statement.replace(at, clientFirst.size(), matterFirst);
  at = statement.indexOf(matterTwice);
  if (at >= 0) statement.replace(at, matterTwice.size(), matterFirst);
}

// The tables that the statement's FROM clause and joins name.
QStringList StatementTables(RunContext& cx) {
  QString text = QStringLiteral(" FROM ") + TrimBlanks(cx.runState.statement.FromTable) + QLatin1Char(' ') +
                 TrimBlanks(cx.runState.lists.JoinList);
  RewriteClientMatter(text);
  return NamedTables(text);
}

// Whether the statement holds every table it names without reading the documents: a listed
// table that no path reaches becomes a cross join, related by the rule's own conditions. False
// when a table of the template's paths, or PROFILE that a join starts from, is missing.
bool HoldsItsTables(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  const QStringList present = StatementTables(cx);
  if (l.JoinList.toUpper().contains(QStringLiteral("= PROFILE.")) && !present.contains(QStringLiteral("PROFILE"))) return false;
  const QStringList paths = PathTables(cx.runState.tmpl.ParsedTemplate);
  QStringList unrelated;
  for (const QString& table : NamedTables(l.TableList)) {
    if (present.contains(table)) continue;
    if (paths.contains(table)) return false;
    unrelated << table;
  }
  for (const QString& table : unrelated) l.JoinList += QStringLiteral("CROSS JOIN [OWNER].") + table + QLatin1Char(' ');
  return true;
}

bool Meaningful(const QString& text) {
  const QString t = TrimBlanks(text);
  return !t.isEmpty() && t != QLatin1String("()");
}

void AppendCondition(QString& whereText, const QString& condition, const QString& connector) {
  if (!TrimBlanks(whereText).isEmpty()) whereText += connector;
  whereText += condition;
}

// The WHERE text: the processed-row filter, the parameters, the external links' conditions.
QString WhereText(RunContext& cx, bool fromDocuments) {
  SourceListState& l = cx.runState.lists;
  RuleStatementState& s = cx.runState.statement;
  if (l.FilterGroupCount != 0 && !l.ProcessedRowFilter.isEmpty()) l.ProcessedRowFilter += QString(l.FilterGroupCount, QLatin1Char(')'));
  if (l.FilteredTables.contains(Profile))
    l.ProcessedRowFilter += QStringLiteral(" AND [OWNER].PROFILE.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE "
                                           "UPPER(TABLE_NAME) = 'PROFILE' AND UPPER(RULE_NAME) ") +
                            RuleNameLike(cx, cx.runState.rule.RuleName) + QStringLiteral(")");
  // The rule's own folders are profiles too, and would come back as rows of their own.
  if (fromDocuments) {
    l.ProcessedRowFilter +=
        QStringLiteral(" AND PROFILE.APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER')");
    const QString firstLevel = FirstLevelCondition(cx.runState.tmpl.ParsedTemplate, cx.session.DatabaseEngine);
    if (!firstLevel.isEmpty()) l.ProcessedRowFilter += QStringLiteral(" AND ") + firstLevel;
  }
  QString where;
  if (Meaningful(l.ProcessedRowFilter)) AppendCondition(where, l.ProcessedRowFilter, QStringLiteral(" AND "));
  if (Meaningful(s.ParameterClause)) AppendCondition(where, s.ParameterClause, QStringLiteral(" AND "));
  for (const ExternalLink& link : cx.runState.tmpl.ExternalLinkTable)
    if (!link.Joins.isEmpty()) AppendLinkConditions(AdministratorSql(cx, link.Joins), where);
  where = TrimBlanks(where);
  while (where.startsWith(QStringLiteral("AND "))) where = TrimBlanks(where.mid(4));
  return where;
}

// The qualifier text of the rule's Stackwright text, joined to the statement's WHERE clause or
// opening one.
void AppendOwnQualifier(RunContext& cx, QString& statement, bool hasWhere) {
  const QString text = cx.runState.rule.RULE_STACKWRIGHT_TEXT;
  if (text.isEmpty()) return;
  const qsizetype bar = text.indexOf(QLatin1Char('|'));
  QString qualifier = TrimBlanks(bar < 0 ? text : text.mid(bar + 1)).toUpper();
  LogMessage(cx, QStringLiteral("Adding the following qualifier to the SQL statement:"));
  LogMessage(cx, qualifier);
  LogMessage(cx, HyphenLine);
  if (qualifier.isEmpty()) return;  // a lone "WHERE" or "AND" would break the statement
  if (hasWhere) {
    if (qualifier.startsWith(QStringLiteral("WHERE "))) qualifier = TrimBlanks(qualifier.mid(6));
    if (!qualifier.startsWith(QStringLiteral("AND "))) qualifier = QStringLiteral("AND ") + qualifier;
  } else {
    if (qualifier.startsWith(QStringLiteral("AND "))) qualifier = TrimBlanks(qualifier.mid(4));
    if (!qualifier.startsWith(QStringLiteral("WHERE "))) qualifier = QStringLiteral("WHERE ") + qualifier;
  }
  statement += QLatin1Char(' ') + AdministratorSql(cx, qualifier);
}

// The built statement replaces the rule's saved one, or becomes a new saved row.
void SaveBuiltStatement(RunContext& cx, const QString& statement) {
  RuleSqlTable& cache = cx.rules.RuleSqlCache;
  const QString& rule = cx.runState.rule.RuleName;
  int row = cache.Find(CurrentLibraryNameOrEmpty(cx), rule);
  if (row == 0) row = cache.Add(CurrentLibraryNameOrEmpty(cx), rule);
  cache.Set(row, sqlcol::Sql, TrimBlanks(statement));
  LogThenHyphens(cx, QStringLiteral("Saving the SQL statement from this run of rule ") + rule);
  cx.rules.RuleSqlIndex = FormatNumber(row);
}

// The first table and its joins, or the documents when the template reaches through them or the
// first table cannot join its paths. True when the statement selects from the documents.
bool ChooseSource(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  AddProfileAndTypeColumns(cx);
  bool fromDocuments = SelectsFromDocuments(cx.runState.tmpl.ParsedTemplate);
  if (!fromDocuments) {
    cx.runState.statement.FromTable = FirstTables(cx);
    fromDocuments = !HoldsItsTables(cx);
  }
  if (fromDocuments) {
    UseDocumentSource(cx);
    AddSidColumn(cx, Profile);
  }
  // A statement that lists the documents leaves out the documents recorded for the rule.
  if (l.TableList.contains(OwnerPlaceholder + Profile) && !l.FilteredTables.contains(Profile)) l.FilteredTables << Profile;
  return fromDocuments;
}

// Forgets the processed rows of the rule's last source table.
void InitializeRule(RunContext& cx) {
  const QStringList& tables = cx.runState.lists.SourceTables;
  for (qsizetype i = tables.size() - 1; i >= 0; --i) {
    const QString table = tables.at(i);
    if (table.isEmpty()) continue;
    LogThenHyphens(cx, QStringLiteral("Initializing folder column item ") + table);
    RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE TABLE_NAME = '") + StripQuotes(table) +
                   QStringLiteral("' AND UPPER(RULE_NAME) ") + RuleNameLike(cx, cx.runState.rule.RuleName));
    if (cx.session.pSQL) cx.session.pSQL->ReleaseResults();
    return;
  }
  LogThenHyphens(cx, QStringLiteral("NOT Initializing folders because no System_ID values found"));
}

bool StatementIncomplete(RunContext& cx) {
  const SourceListState& l = cx.runState.lists;
  if (!TrimBlanks(l.TableList).isEmpty() && !(l.SidSelectList.isEmpty() && l.SelectList.isEmpty())) return false;
  SetStatus(cx, QStringLiteral("Notice: SQL incomplete - check rule syntax. Unable to process rule ") + cx.runState.rule.RuleName);
  const int row = cx.runState.control.ResultRow;
  if (row >= 0 && cx.ui->ResultText(row, ResultsColumn) == Working) cx.ui->SetResultText(row, ResultsColumn, QStringLiteral("Syntax Error"));
  return true;
}

// The first "=" that is an equality of its own (not part of "<=", ">=", "!=" or "<>").
qsizetype EqualitySign(const QString& condition) {
  for (qsizetype i = 0; i < condition.size(); ++i) {
    if (condition.at(i) != QLatin1Char('=')) continue;
    const QChar before = i > 0 ? condition.at(i - 1) : QChar();
    if (before == QLatin1Char('<') || before == QLatin1Char('>') || before == QLatin1Char('!')) continue;
    return i;
  }
  return -1;
}

// The next connector word ("AND " or "OR ") that starts a word, -1 for none.
qsizetype ConnectorAt(const QString& upper, const QString& word) {
  for (qsizetype at = upper.indexOf(word); at >= 0; at = upper.indexOf(word, at + 1))
    if (at == 0 || upper.at(at - 1) == QLatin1Char(' ') || upper.at(at - 1) == QLatin1Char(')')) return at;
  return -1;
}

}  // namespace

void FindSavedStatement(RunContext& cx) {
  RuleState& rules = cx.rules;
  RuleStatementState& s = cx.runState.statement;
  rules.RuleSqlIndex = QStringLiteral("0");
  s.SavedStatement.clear();
  if (!cx.ui->Options().reuseSql) return;
  const QString& ruleName = cx.runState.rule.RuleName;
  const QString buffer = TrimBlanks(rules.RuleSqlBuffer);
  const int row = rules.RuleSqlCache.Find(cx.runState.rule.LibraryName, ruleName);
  if (row != 0) {
    const QString saved = TrimBlanks(rules.RuleSqlCache(row, sqlcol::Sql));
    if (!buffer.isEmpty()) {
      s.SavedStatement = buffer;
      rules.RuleSqlCache.Set(row, sqlcol::Sql, buffer);
    } else if (!saved.isEmpty() && BeginsWithSelect(saved)) {
      s.SavedStatement = saved;
    }
    if (!s.SavedStatement.isEmpty()) {
      rules.RuleSqlIndex = FormatNumber(row);
      LogThenHyphens(cx, QStringLiteral("Using the existing saved SQL statement for this run of rule ") + ruleName);
    }
    return;
  }
  if (buffer.isEmpty() || !BeginsWithSelect(buffer)) return;
  const int added = rules.RuleSqlCache.Add(cx.runState.rule.LibraryName, ruleName);
  rules.RuleSqlCache.Set(added, sqlcol::Sql, buffer);
  s.SavedStatement = buffer;
  rules.RuleSqlIndex = FormatNumber(added);
  LogThenHyphens(cx, QStringLiteral("Using the existing saved SQL statement for this run of rule ") + ruleName);
}

QString NormaliseOrderList(const QString& orderList) {
  if (orderList.endsWith(QStringLiteral(" ASC")) || orderList.endsWith(QStringLiteral(" DESC"))) return orderList;
  return orderList + QStringLiteral(" ASC");
}

void AppendLinkConditions(const QString& joins, QString& whereText) {
  QString rest = TrimBlanks(joins);
  // Each condition is joined with the connector written before it in the link.
  QString next = QStringLiteral(" AND ");
  while (!rest.isEmpty()) {
    const QString upper = rest.toUpper();
    QString condition;
    const QString connector = next;
    const qsizetype andAt = ConnectorAt(upper, QStringLiteral("AND "));
    const qsizetype orAt = andAt < 0 ? ConnectorAt(upper, QStringLiteral("OR ")) : -1;
    if (andAt >= 0) {
      condition = rest.left(andAt);
      rest = TrimBlanks(rest.mid(andAt + 4));
      next = QStringLiteral(" AND ");
    } else if (orAt >= 0) {
      condition = rest.left(orAt);
      rest = TrimBlanks(rest.mid(orAt + 3));
      next = QStringLiteral(" OR ");
    } else {
      condition = rest;
      rest.clear();
    }
    condition = TrimBlanks(condition);
    if (!Meaningful(condition)) continue;
    const QString where = whereText.toUpper();
    const qsizetype eq = EqualitySign(condition);
    if (eq >= 0) {
      const QString left = TrimBlanks(condition.left(eq));
      const QString right = TrimBlanks(condition.mid(eq + 1));
      condition = left + QStringLiteral(" = ") + right;
      if (where.contains((left + QStringLiteral(" = ") + right).toUpper()) ||
          where.contains((right + QStringLiteral(" = ") + left).toUpper()))
        continue;
    } else if (where.contains(condition.toUpper())) {
      continue;
    }
    AppendCondition(whereText, condition, connector);
  }
}

bool AssembleRuleStatement(RunContext& cx) {
  SourceListState& l = cx.runState.lists;
  RuleStatementState& s = cx.runState.statement;
  TemplateState& t = cx.runState.tmpl;
  AddExternalLinkTables(cx);
  if (cx.run.StopRequested) return false;
  const bool fromDocuments = ChooseSource(cx);
  s.ParameterClause = ParameterClause(cx, StatementTables(cx));
  if (IsOracle(cx)) {
    l.SelectList.replace(QStringLiteral(" AS \""), QStringLiteral(" \""));
    l.SidSelectList.replace(QStringLiteral(" AS \""), QStringLiteral(" \""));
  }
  if (!l.SidSelectList.isEmpty()) LogThenHyphens(cx, QStringLiteral("Table Sid List: ") + l.SidSelectList);
  if (StatementIncomplete(cx)) return false;
  BottomLevelBudget(cx);

  QString statement = StatementHead(cx);
  RewriteClientMatter(statement);
  s.WhereText = WhereText(cx, fromDocuments);
  const bool hasWhere = Meaningful(s.WhereText);
  if (hasWhere) statement += QStringLiteral(" WHERE ") + s.WhereText;
  AppendOwnQualifier(cx, statement, hasWhere);
  if (IsOracle(cx) && statement.contains(QStringLiteral(" WHERE ")) && t.RowBudget > 0 && !cx.ui->Options().initialize)
    statement += QStringLiteral(" AND ROWNUM <= ") + FormatNumber(t.RowBudget);
  statement = TrimBlanks(statement);
  if (statement.endsWith(QStringLiteral("AND"))) statement.chop(3);
  if (!l.OrderList.isEmpty()) statement += QStringLiteral(" ORDER BY ") + NormaliseOrderList(l.OrderList);

  if (cx.ui->Options().reuseSql && !s.SavedStatement.isEmpty()) {
    // A statement saved from the template holds the administrator's parts as they were taken in.
    const bool ownSql = s.SavedStatement == TrimBlanks(cx.rules.RuleSqlBuffer);
    s.RuleStatement = ownSql ? AdministratorSql(cx, s.SavedStatement) : s.SavedStatement;
  } else {
    s.RuleStatement = statement;
    SaveBuiltStatement(cx, statement);
  }
  if (cx.ui->Options().initialize) InitializeRule(cx);
  return true;
}

bool BuildRuleSql(RunContext& cx) {
  FindSavedStatement(cx);
  if (!ParseFolderTemplate(cx)) return false;
  if (!ResolveColumnPaths(cx)) return false;
  BuildSourceLists(cx);
  if (cx.run.StopRequested) return false;
  ParseRuleParameters(cx);
  return AssembleRuleStatement(cx);
}

bool ProcessedRowTables(RunContext& cx, int rule, QStringList& tables) {
  // Only the steps up to the statement's source are taken, on working values of their own that
  // go on every way out.
  struct Kept {
    RunContext& cx;
    const RunState state = cx.runState;
    const QString buffer = cx.rules.RuleSqlBuffer;
    ~Kept() {
      cx.runState = state;
      cx.rules.RuleSqlBuffer = buffer;
    }
  } kept{cx};
  TakeRuleValues(cx, rule, cx.rules.RuleTable(field::RuleName, rule));
  cx.runState.rule.RuleNode = -1;
  // Workspaces decide nothing about the source rows; their links are not looked up.
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 0;
  if (!ParseFolderTemplate(cx) || !ResolveColumnPaths(cx)) return false;
  BuildSourceLists(cx);
  AddExternalLinkTables(cx);
  ChooseSource(cx);
  tables = cx.runState.lists.FilteredTables;
  return true;
}

}  // namespace sw
