#pragma once
// Steps the administration tools share: the guard that holds the controls and puts back the
// status text and the current library around a tool, running one statement and reading its
// outcome, and the error trap of a tool.
#include <QString>
#include <exception>

#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "platform/ui/ui.h"
#include "run/run_context.h"
#include "run/run_control.h"

namespace sw::admin {

// The failure raised for a menu item the clicked index does not name.
inline constexpr qint64 ErrNoSuchMenuItem = 340;

// Go and the other tools as a tool found them, taken away while it lives and given back when it
// goes. They are taken away while a tool works: every status text pumps the window's messages,
// and a run or tool started then would work inside it, in its library and its transaction.
class HeldControls {
 public:
  explicit HeldControls(RunContext& cx);
  ~HeldControls();
  HeldControls(const HeldControls&) = delete;
  HeldControls& operator=(const HeldControls&) = delete;

 private:
  RunContext& cx_;
  bool go_ = false;
  bool tools_ = false;
};

// What a tool that may work in another library puts back on every way out: the library current
// on entry (when there was one), the idle status in the status label, and the default pointer.
ScreenParts ToolScreen(RunContext& cx);

// A tool's entry and every way out: holds Go and the other tools, shows the hourglass and pumps
// messages; on the way out puts back the tool's screen (above) and then the controls.
class ToolGuard {
 public:
  explicit ToolGuard(RunContext& cx);

 private:
  HeldControls controls_;  // made first, so given back last
  ScreenGuard screen_;
};

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
