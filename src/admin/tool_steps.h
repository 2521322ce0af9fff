#pragma once
// Steps the administration tools share: remembering and restoring the main window's status text
// and the current library around a tool, running one statement and reading its outcome, and the
// error trap of a tool.
#include <QString>
#include <exception>

#include "core/log.h"
#include "core/session.h"
#include "platform/ui/ui.h"
#include "run/run_context.h"
#include "run/run_control.h"

namespace sw::admin {

// The failure raised for a menu item the clicked index does not name.
inline constexpr qint64 ErrNoSuchMenuItem = 340;

// Go and the other tools as a tool found them. They are taken away while it works: every status
// text pumps the window's messages, and a run or tool started then would work inside it, in its
// library and its transaction.
struct HeldControls {
  bool taken = false;
  bool go = false;
  bool tools = false;
};
HeldControls HoldControls(RunContext& cx);
// Gives back what HoldControls took; nothing when it took nothing.
void GiveBackControls(RunContext& cx, const HeldControls& held);

// What a tool that may work in another library found on entry.
struct ToolEntry {
  QString status;   // caption of the status label
  QString library;  // the current library's name (empty when none was current)
  HeldControls controls;
};

// Remembers the status caption and the current library, holds Go and the other tools, shows the
// hourglass and pumps messages.
ToolEntry EnterTool(RunContext& cx);
// Makes the remembered library current again (when there was one), restores the caption, the
// controls and the default pointer.
void ReturnFromTool(RunContext& cx, const ToolEntry& entry);

// One statement's outcome, read before its result is released.
struct SqlOutcome {
  bool ok = false;           // handed over and no SQL error (code 9 counts as success)
  qint64 rowsAffected = 0;
  QString firstValue;        // column 1 of the first row
  QString error;             // the SQL object's description when it failed
};
SqlOutcome RunStatement(RunContext& cx, const QString& sql);

// The rule name a rule menu holds at `index`; raises the run-time failure of a missing item.
QString RuleMenuCaption(RunContext& cx, RuleMenu menu, int index);

// The box that tells the user a library could not be made current, and what follows from it.
void ShowNoLibrary(RunContext& cx, const QString& library, const QString& consequence);

// The box that tells the user the chosen library has no settings table.
void ShowMissingSettingsTable(RunContext& cx, const QString& library);

// Runs a tool's body; a run-time failure is reported with its number, source and description
// instead of reaching the window.
template <class Body>
void TrapErrors(RunContext& cx, Body&& body) {
  try {
    body();
  } catch (const DmCallFailure& failure) {
    ReportError(cx, failure.Number(), failure.Source(), failure.Description());
  } catch (const std::exception& failure) {
    ReportError(cx, ErrInternal, cx.app.AppTitle, QString::fromLocal8Bit(failure.what()));
  }
}

}  // namespace sw::admin
