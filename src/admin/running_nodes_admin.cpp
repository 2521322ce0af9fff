// "Clear Running Nodes": removes the running-node claims of every computer from every library of
// the session, for claims left behind by a computer that crashed or was ended from outside.
#include "admin/admin.h"
#include "admin/tool_steps.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "core/text.h"

namespace sw {

namespace admin {

namespace {

const QString ClearQuestion =
    QStringLiteral("This procedure will reset your enterprise libraries to remove the RUNNING_NODES setting ") +
    QStringLiteral("in the TARN_SETTINGS table so that any library that is 'held' from processing (due to a crash of ") +
    QStringLiteral("a computer running TARN_STACKWRIGHT, or ending the program from outside with kill or a system ") +
    QStringLiteral("monitor). You should only run ") +
    QStringLiteral("this procedure if NO computers are running TARN_STACKWRIGHT on any library, otherwise unpredictable ") +
    QStringLiteral("results may occur.") + QStringLiteral("\r\n\r\nAre you sure you want to run this procedure?");

struct ClearOutcome {
  qint64 removed = 0;      // rows the deletes really removed
  qint64 libraries = 0;    // the libraries of the session
  QStringList failed;      // libraries whose claims may still be there
  QString closing;         // the closing status text
};

// Removes the claims of one library; false when the switch or the delete failed. Only a delete
// that went through is counted: what a failed one reports is no removal.
bool ClearLibrary(RunContext& cx, const QString& name, ClearOutcome& outcome) {
  SetStatusCaption(cx, QStringLiteral("Connecting to library ") + name);
  if (!ConnectLibrary(cx, name)) return false;
  SetStatus(cx, QStringLiteral("Clearing library ") + CurrentLibraryNameOrEmpty(cx));
  LogMessage(cx, HyphenLine);
  const SqlOutcome deleted = RunStatement(
      cx, QStringLiteral("DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SUB_KEY = 'RUNNING_NODES'"));
  if (!deleted.ok) return false;
  outcome.removed += deleted.rowsAffected;
  return true;
}

// Visits every library of the session in order; the library current before is current again when
// it returns.
ClearOutcome ClearEveryLibrary(RunContext& cx) {
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true});
  ClearOutcome outcome;
  const dm::DmLibrariesPtr all = cx.session.FusionLibraries;
  outcome.libraries = all ? all->Count() : 0;
  for (qint64 i = 1; i <= outcome.libraries; ++i) {
    QString name;
    // A library the session cannot hand out, or whose switch fails, is skipped like a failed switch.
    TrapErrors(cx, [&] {
      const dm::DmLibraryPtr library = all->Item(i);
      if (library) name = library->Name();
    });
    if (name.isEmpty()) continue;
    bool cleared = false;
    TrapErrors(cx, [&] { cleared = ClearLibrary(cx, name, outcome); });
    if (!cleared) outcome.failed << name;
  }
  return outcome;
}

// Clears every library with the controls held and the hourglass shown, and shows the closing text.
ClearOutcome ClearHeld(RunContext& cx) {
  const HeldControls controls(cx);
  const ScreenGuard pointer(cx, ScreenParts{.library = false, .pointer = PointerBack::Default});
  cx.ui->SetMousePointer(Pointer::Hourglass);
  ClearOutcome outcome = ClearEveryLibrary(cx);
  outcome.closing = QStringLiteral("Finished clearing ") + FormatNumber(outcome.removed) + QStringLiteral(" item(s) from ") +
                    FormatNumber(outcome.libraries) + QStringLiteral(" libraries");
  SetStatus(cx, outcome.closing);
  LogMessage(cx, HyphenLine);
  return outcome;
}

// The outcome, said once at the end in a box: the status line is given back its earlier text, so
// a result told only there would go unseen. The libraries whose claims may remain are named.
void ShowOutcome(RunContext& cx, const ClearOutcome& outcome) {
  if (outcome.failed.isEmpty()) {
    cx.ui->MessageBox(outcome.closing, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    return;
  }
  const QString text = QStringLiteral("Error: The running nodes could not be cleared in library ") +
                       outcome.failed.join(QStringLiteral(", ")) + QStringLiteral(" - their claims may remain");
  LogMessage(cx, text);
  cx.ui->MessageBox(outcome.closing + QStringLiteral("\r\n\r\n") + text, MsgIcon::Exclamation, MsgButtons::OK,
                    cx.app.AppTitle);
}

}  // namespace

}  // namespace admin

void MNClearRunningNodes_Click(RunContext& cx) {
  if (cx.ui->MessageBox(admin::ClearQuestion, MsgIcon::Question, MsgButtons::YesNoDefaultNo, cx.app.AppTitle) !=
      MsgResult::Yes)
    return;
  // The caption comes back last, after the closing text and the box that tells the outcome.
  const ScreenGuard caption(
      cx, ScreenParts{.library = false, .status = true, .statusWindow = StatusCaptionWindow(cx), .idleStatus = true});
  admin::ShowOutcome(cx, admin::ClearHeld(cx));
}

}  // namespace sw
