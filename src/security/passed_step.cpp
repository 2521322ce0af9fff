#include "security/passed_step.h"

#include <vector>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/screen_guard.h"
#include "core/session_state.h"
#include "core/sql.h"
#include "security/security_context.h"
#include "security/workspace.h"

namespace sw {

namespace {

// The libraries other than the step's own that hold an open transaction: a step may reach them
// (a sort's items in another library, a user's workspace in the user's primary library), and a
// failure there must undo the step, never the work around it.
std::vector<QString> OtherOpenLibraries(const SecurityContext& cx, const QString& library) {
  std::vector<QString> others;
  for (const auto& [name, open] : cx.session.OpenTransactions)
    if (!open.Levels.empty() && name.compare(library, Qt::CaseInsensitive) != 0) others.push_back(name);
  return others;
}

// Ends every part of the step alike: kept only when nothing of any part failed.
bool EndStep(SecurityContext& cx, const std::vector<SqlTransaction>& parts, bool keep) {
  for (const SqlTransaction& part : parts)
    if (TransactionPartFailed(cx, part)) keep = false;
  bool stands = keep;
  // The step's own library last: outside a run its part is the transaction that commits.
  for (const SqlTransaction& part : parts)
    if (!EndTransaction(cx, part, keep)) stands = false;
  return stands;
}

}  // namespace

bool RunPassedStep(SecurityContext& cx, const QString& library, const std::function<void()>& work) {
  const int cacheRows = cx.security.WorkspaceCacheCount;
  // The step runs with its library current, where its statements go anyway: its own switch there
  // is then none, and the library current on entry is made current once, afterwards.
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true, .onlyWhenLeft = true});
  const QString own = library.isEmpty() ? back.Library() : library;
  std::vector<SqlTransaction> parts;
  for (const QString& other : OtherOpenLibraries(cx, own))
    if (ConnectLibrary(cx, other)) parts.push_back(BeginSavepoint(cx));
  // A step whose library cannot be reached runs as it is: its own statements then fail by themselves.
  if (!own.isEmpty() && ConnectLibrary(cx, own)) {
    parts.push_back(BeginSavepoint(cx));
  } else if (!back.Library().isEmpty()) {
    ConnectLibrary(cx, back.Library());
  }
  std::erase_if(parts, [](const SqlTransaction& part) { return !part.Opened; });
  try {
    work();
  } catch (...) {
    EndStep(cx, parts, false);
    CutWorkspaceCache(cx.security, cacheRows);
    throw;
  }
  if (parts.empty()) return !OpenTransactionFailed(cx);
  if (EndStep(cx, parts, true)) return true;
  CutWorkspaceCache(cx.security, cacheRows);
  return false;
}

}  // namespace sw
