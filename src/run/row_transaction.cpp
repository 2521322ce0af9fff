#include "run/row_transaction.h"

#include <algorithm>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "run/run_context.h"
#include "security/workspace.h"

namespace sw {

namespace {

// The libraries the row may write to, in the order their parts are opened.
QStringList RowLibraries(RunContext& cx) {
  const RuleWorkingValues& rule = cx.runState.rule;
  QStringList libraries{rule.LibraryName};
  const bool elsewhere = !rule.EmailOverrideName.isEmpty() && !rule.EmailOverrideLibrary.isEmpty() &&
                         rule.EmailOverrideLibrary.compare(rule.LibraryName, Qt::CaseInsensitive) != 0;
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
      if (!IsRuleLibrary(cx, part.Library)) continue;
      // Only a row that wrote to another library has work there that now stands alone.
      const QString text = QStringLiteral("Error: The work in library ") + cx.runState.rule.LibraryName +
                           QStringLiteral(" could not be committed");
      LogMessage(cx, row.parts.size() > 1 ? text + QStringLiteral(" after the work in the other library was") : text);
    }
  }
  if (!stands) CutWorkspaceCache(cx.security, row.workspaceCacheRows);
  return stands;
}

bool RunRowStep(RunContext& cx, const QString& library, const std::function<void()>& work) {
  const int cacheRows = cx.security.WorkspaceCacheCount;
  const QString remembered = CurrentLibraryNameOrEmpty(cx);
  SqlTransaction step;
  // A step whose library cannot be reached runs as it is: its own statements then fail by themselves.
  if (library.isEmpty() || ConnectLibrary(cx, library)) step = BeginSavepoint(cx);
  if (!remembered.isEmpty()) ConnectLibrary(cx, remembered);
  try {
    work();
  } catch (...) {
    EndTransaction(cx, step, false);
    CutWorkspaceCache(cx.security, cacheRows);
    throw;
  }
  if (!step.Opened) return !OpenTransactionFailed(cx);
  if (EndTransaction(cx, step, true)) return true;
  CutWorkspaceCache(cx.security, cacheRows);
  return false;
}

}  // namespace sw
