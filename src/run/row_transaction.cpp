#include "run/row_transaction.h"

#include <algorithm>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/text.h"
#include "folders/check_for_folder.h"
#include "run/run_context.h"
#include "security/workspace.h"

namespace sw {

namespace {

// Whether one of the row's levels is the folder the rule routes to its e-mail library, named
// as the level loop compares it.
bool RoutesALevel(RunContext& cx) {
  const QString routed = TrimBlanks(cx.runState.rule.EmailOverrideName).toUpper();
  const RuleRowsState& rows = cx.runState.rows;
  const int levels = std::min(rows.LevelCount, static_cast<int>(rows.LevelNames.size()) - 1);
  for (int k = 1; k <= levels; ++k)
    if (TrimBlanks(NormaliseFolderName(rows.LevelNames[static_cast<size_t>(k)])).toUpper() == routed) return true;
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

}  // namespace

RowTransaction BeginRowTransaction(RunContext& cx) {
  RowTransaction row;
  row.workspaceCacheRows = cx.security.WorkspaceCacheCount;
  const QString remembered = CurrentLibraryNameOrEmpty(cx);
  row.opened = true;
  for (const QString& library : RowLibraries(cx)) {
    const bool rules = IsRuleLibrary(cx, library);
    // A library that cannot be reached gets no part: its level then fails by itself.
    if (!ConnectLibrary(cx, library)) {
      if (rules) row.opened = false;
      continue;
    }
    const SqlTransaction part = BeginTransaction(cx);
    if (!part.Opened) {
      row.opened = false;
      if (cx.session.pSQL) row.failure = CleanErrorDescription(cx.session.pSQL->ErrDescription());
      break;
    }
    if (rules)
      row.parts.push_back(part);
    else
      row.parts.insert(row.parts.begin(), part);
  }
  if (!row.opened) {
    for (const SqlTransaction& part : row.parts) EndTransaction(cx, part, false);
    row.parts.clear();
  }
  if (!remembered.isEmpty()) ConnectLibrary(cx, remembered);
  return row;
}

bool EndRowTransaction(RunContext& cx, const RowTransaction& row, bool commit) {
  bool stands = commit && row.opened && !OpenTransactionFailed(cx);
  for (const SqlTransaction& part : row.parts) {
    const bool committed = EndTransaction(cx, part, stands);
    if (stands && !committed) {
      stands = false;
      if (IsRuleLibrary(cx, part.Library))
        LogMessage(cx, QStringLiteral("Error: The work in library ") + cx.runState.rule.LibraryName +
                           QStringLiteral(" could not be committed after the work in the other library was"));
    }
  }
  if (!stands) CutWorkspaceCache(cx.security, row.workspaceCacheRows);
  return stands;
}

}  // namespace sw
