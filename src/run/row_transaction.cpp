#include "run/row_transaction.h"

#include <algorithm>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/text.h"
#include "run/run_context.h"
#include "security/workspace.h"

namespace sw {

namespace {

// Whether one of the row's levels is the folder the rule routes to its e-mail library, its name
// made as the level loop makes it.
bool RoutesALevel(RunContext& cx) {
  const RuleRowsState& rows = cx.runState.rows;
  const int levels = std::min(rows.LevelCount, static_cast<int>(rows.LevelNames.size()) - 1);
  for (int k = 1; k <= levels; ++k)
    if (NamesRoutedFolder(cx, LevelFolderName(rows, k))) return true;
  return false;
}

// The libraries the row may write to, in the order their parts are opened. The e-mail library
// only for a row that routes a level there: a part opened for nothing costs two switches and a
// transaction in that library for every row.
QStringList RowLibraries(RunContext& cx) {
  const RuleWorkingValues& rule = cx.runState.rule;
  QStringList libraries{rule.LibraryName};
  const bool elsewhere = !rule.EmailOverrideName.isEmpty() && !rule.EmailOverrideLibrary.isEmpty() &&
                         rule.EmailOverrideLibrary.compare(rule.LibraryName, Qt::CaseInsensitive) != 0 && RoutesALevel(cx);
  if (elsewhere) libraries << rule.EmailOverrideLibrary;
  std::sort(libraries.begin(), libraries.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return libraries;
}

bool IsRuleLibrary(RunContext& cx, const QString& library) {
  return library.compare(cx.runState.rule.LibraryName, Qt::CaseInsensitive) == 0;
}

// Rows per group. Each commit is a durable write to the library's disk and the moment other
// computers get the write lock: sixty-four rows share that cost (the time limit below ends a
// group of slow rows first), while a kill or a refused commit costs at most sixty-four rows
// done again, a few seconds of work at worst.
constexpr int RowsPerGroup = 64;
// The longest a group stays open by the run's clock: another computer waiting for the library's
// write lock gets it between two groups, after a few groups at most, far within the database's
// busy timeout.
constexpr qint64 GroupMilliseconds = 50;

bool HasPart(const std::vector<SqlTransaction>& parts, const QString& library) {
  return std::any_of(parts.begin(), parts.end(),
                     [&](const SqlTransaction& part) { return part.Library.compare(library, Qt::CaseInsensitive) == 0; });
}

// Opens the group's transaction in every library a row of the rule may write to, and in those
// its rows reached before. False, with the database's reason, when the rule's library cannot take
// part.
bool BeginGroup(RunContext& cx, RowGroup& group, QString& failure) {
  const QString remembered = CurrentLibraryNameOrEmpty(cx);
  const QStringList needed = RowLibraries(cx);
  QStringList libraries = needed;
  for (const QString& library : group.reached)
    if (!libraries.contains(library, Qt::CaseInsensitive)) libraries << library;
  std::sort(libraries.begin(), libraries.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  // Opened in name order, held as the group ends them: the e-mail library's, the reached ones,
  // the rule library's.
  std::vector<SqlTransaction> elsewhere, own, reachedParts;
  bool opened = true;
  for (const QString& library : libraries) {
    const bool rules = IsRuleLibrary(cx, library);
    const bool reached = !needed.contains(library, Qt::CaseInsensitive);
    // A library that cannot be reached gets no part: its level then fails by itself, and a
    // reached one is joined again when a row needs it.
    if (!ConnectLibrary(cx, library)) {
      if (rules) opened = false;
      continue;
    }
    const SqlTransaction part = BeginTransaction(cx);
    if (part.Opened) {
      (reached ? reachedParts : rules ? own : elsewhere).push_back(part);
      continue;
    }
    if (reached) continue;
    opened = false;
    if (cx.session.pSQL) failure = CleanErrorDescription(cx.session.pSQL->ErrDescription());
    break;
  }
  group.parts = elsewhere;
  group.parts.insert(group.parts.end(), reachedParts.begin(), reachedParts.end());
  group.parts.insert(group.parts.end(), own.begin(), own.end());
  if (!opened) {
    for (const SqlTransaction& part : group.parts) EndTransaction(cx, part, false);
    group.parts.clear();
  }
  if (!remembered.isEmpty()) ConnectLibrary(cx, remembered);
  group.started = cx.runState.control.Now();
  group.workspaceCacheRows = cx.security.WorkspaceCacheCount;
  return opened;
}

bool GroupHolds(const RowGroup& group, const QStringList& libraries) {
  return std::all_of(libraries.begin(), libraries.end(), [&](const QString& library) { return HasPart(group.parts, library); });
}

bool GroupDue(RunContext& cx, const RowGroup& group) {
  if (static_cast<int>(group.rows.size()) >= RowsPerGroup) return true;
  const qint64 elapsed = group.started.msecsTo(cx.runState.control.Now());
  // A clock set back counts as time up.
  return elapsed >= GroupMilliseconds || elapsed < 0;
}

// The database gave up the group's transaction in some library: nothing of it can commit.
bool GroupLost(RunContext& cx, const RowGroup& group) {
  for (const SqlTransaction& part : group.parts)
    if (TransactionPartFailed(cx, part)) return true;
  return false;
}

// Only a group with work committed in another library before has work there that now stands
// alone: routed folders filed under the rule library's lost numbers, or workspace entries
// linking them.
void LogRefusedCommit(RunContext& cx, RowGroup& group, const QString& library, bool afterOtherLibrary) {
  const QString text = (IsRuleLibrary(cx, library) ? QStringLiteral("Error: The work in library ")
                                                   : QStringLiteral("Error: The workspace entries in library ")) +
                       library + QStringLiteral(" could not be committed");
  group.splitCommit = afterOtherLibrary;
  LogMessage(cx, group.splitCommit ? text + QStringLiteral(" after the work in the other library was") : text);
}

// Where a library newly joined goes among the group's parts: before the rule library's, which
// ends last.
std::vector<SqlTransaction>::iterator JoinedPartPlace(RunContext& cx, std::vector<SqlTransaction>& parts) {
  return std::find_if(parts.begin(), parts.end(), [&](const SqlTransaction& part) { return IsRuleLibrary(cx, part.Library); });
}

}  // namespace

bool NamesRoutedFolder(RunContext& cx, const QString& name) {
  return TrimBlanks(cx.runState.rule.EmailOverrideName).toUpper() == TrimBlanks(name).toUpper();
}

QString RowNotKeptMessage(int item, const QString& levelValues) {
  return QStringLiteral("Error: The folders of item #") + FormatNumber(item) + QStringLiteral(" (") + levelValues +
         QStringLiteral(") were not kept - the item will be processed again");
}

RowTransaction BeginRowTransaction(RunContext& cx, RowGroup& group) {
  RowTransaction row;
  row.workspaceCacheRows = cx.security.WorkspaceCacheCount;
  const QStringList needed = RowLibraries(cx);
  // The group's transactions are opened together, in name order; one the row needs and the group
  // lacks comes with the next group.
  if (!group.parts.empty() && !GroupHolds(group, needed)) EndRowGroup(cx, group, true);
  if (group.splitCommit) return row;
  if (group.parts.empty() && !BeginGroup(cx, group, row.failure)) return row;
  const QString remembered = CurrentLibraryNameOrEmpty(cx);
  row.opened = true;
  for (const SqlTransaction& part : group.parts) {
    if (!needed.contains(part.Library, Qt::CaseInsensitive)) continue;
    const SqlTransaction own = ConnectLibrary(cx, part.Library) ? BeginSavepoint(cx) : SqlTransaction{};
    if (!own.Opened) {
      row.opened = false;
      if (cx.session.pSQL) row.failure = CleanErrorDescription(cx.session.pSQL->ErrDescription());
      break;
    }
    row.parts.push_back(own);
  }
  if (!row.opened) {
    for (const SqlTransaction& part : row.parts) EndTransaction(cx, part, false);
    row.parts.clear();
  }
  if (!remembered.isEmpty()) ConnectLibrary(cx, remembered);
  return row;
}

bool JoinRowLibrary(RunContext& cx, RowGroup& group, RowTransaction& row, const QString& library) {
  if (library.isEmpty() || HasPart(row.parts, library)) return true;
  if (!row.opened) return false;
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true, .onlyWhenLeft = true});
  if (!ConnectLibrary(cx, library)) return false;
  if (!HasPart(group.parts, library)) {
    const SqlTransaction part = BeginTransaction(cx);
    if (!part.Opened) return false;
    group.parts.insert(JoinedPartPlace(cx, group.parts), part);
    if (!group.reached.contains(library, Qt::CaseInsensitive)) group.reached << library;
  }
  const SqlTransaction own = BeginSavepoint(cx);
  if (!own.Opened) return false;
  row.parts.push_back(own);
  return true;
}

RowOutcome EndRowTransaction(RunContext& cx, RowGroup& group, const RowTransaction& row, bool commit) {
  bool stands = commit && row.opened && !OpenTransactionFailed(cx);
  for (const SqlTransaction& part : row.parts)
    if (!EndTransaction(cx, part, stands)) stands = false;
  if (GroupLost(cx, group)) {
    EndRowGroup(cx, group, false);
    return RowOutcome::GroupLost;
  }
  if (stands) return RowOutcome::Stands;
  CutWorkspaceCache(cx.security, row.workspaceCacheRows);
  return RowOutcome::Undone;
}

void KeepRowInGroup(RunContext& cx, RowGroup& group, const GroupRow& row) {
  group.rows.push_back(row);
  if (GroupDue(cx, group)) EndRowGroup(cx, group, true);
}

bool EndRowGroup(RunContext& cx, RowGroup& group, bool commit) {
  if (group.parts.empty()) return true;
  // Written before the commit, not after it: a kill in between would lose lines of rows that
  // stand, while lines of rows that a kill undoes are logged again by the run that redoes them.
  FlushLog(cx);
  bool stands = commit;
  bool othersCommitted = false;
  for (const SqlTransaction& part : group.parts) {
    const bool committed = EndTransaction(cx, part, stands);
    if (stands && !committed) {
      stands = false;
      LogRefusedCommit(cx, group, part.Library, othersCommitted);
    }
    othersCommitted = othersCommitted || (stands && committed);
  }
  group.parts.clear();
  if (!stands) {
    RuleWorkingValues& rule = cx.runState.rule;
    CutWorkspaceCache(cx.security, group.workspaceCacheRows);
    for (const GroupRow& row : group.rows) {
      rule.AddedCount -= row.added;
      ++rule.ErrorCount;
      LogMessage(cx, RowNotKeptMessage(row.item, row.levelValues));
    }
    if (!group.rows.empty())
      cx.ui->SetErrorAndAddedLabels(FormatNumber(rule.ErrorCount), FormatNumber(rule.AddedCount));
  }
  group.rows.clear();
  return stands;
}

}  // namespace sw
