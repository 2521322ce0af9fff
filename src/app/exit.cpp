// Stop, exit and the orderly end: the one decision that the Exit button, Esc, File Exit and
// closing the window share, the lock toggle, and the end that saves every setting.
#include <QDateTime>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

#include "app/app_context.h"
#include "app/handlers.h"
#include "app/stop_signals.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/session.h"
#include "core/sql.h"
#include "platform/dm/dm_server.h"
#include "platform/monitor/monitor_platform.h"
#include "platform/settings/settings_store.h"
#include "rules/running_nodes.h"
#include "run/run_control.h"

namespace sw {

namespace {

constexpr int KeyInsert = 45;
constexpr int ShiftOnly = 1;

template <class Step>
void Resume(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
    // The orderly end goes on past any step that fails.
  }
}

bool StopIsDue(const AppContext& cx) {
  return cx.run.TaskRunning && !cx.run.StopRequested && !cx.run.InLoopDelay;
}

// The current item completes first; the task sees the flag at its next check.
void RequestStop(AppContext& cx) {
  cx.ui->SetStatusColour(StatusColourEnd);
  cx.run.TaskRunning = false;
  cx.run.StopRequested = true;
  cx.ui->MessageBox(QStringLiteral("Task Canceled - the current item (if any) will complete first."), MsgIcon::Information,
                    MsgButtons::OK, cx.app.AppTitle);
  cx.ui->SetExitEnabled(false);
}

void ReleaseDmObjects(AppContext& cx) {
  SessionState& s = cx.session;
  Resume([&] { s.FusionLibraries.reset(); });
  Resume([&] { s.CurrentLibrary.reset(); });
  Resume([&] { s.pSQL.reset(); });
  Resume([&] {
    if (cx.items.ProfileObject) cx.items.ProfileObject->Close();
  });
  cx.items.ProfileObject.reset();
  Resume([&] { cx.items.FolderObject.reset(); });
  Resume([&] { s.FusionApplication.reset(); });
  Resume([&] {
    if (s.SessionHelper) s.SessionHelper->Stop();
  });
  s.SessionHelper.reset();
}

QString EndLine(const AppContext& cx) {
  const StartupState& st = cx.window.startup;
  const QDateTime now = QDateTime::currentDateTime();
  return ProductName + QStringLiteral(" Build ") + st.BuildNumber + QStringLiteral(" (") + st.BuildDateText +
         QStringLiteral(") Ended on ") + LongDateText(now.date()) + QStringLiteral(" at ") + LongTimeText(now.time());
}

// What made the status what it is: the errors logged, or an unattended run that had nothing
// ticked to process.
QString EndCause(const AppContext& cx) {
  if (cx.log.ErrorsLogged == 0 && cx.run.NothingProcessed) return QStringLiteral("nothing was ticked to process");
  const QString count = QString::number(cx.log.ErrorsLogged) + QStringLiteral(" error(s) logged");
  // Which libraries and rules failed, so that the reader knows where to look.
  if (cx.log.FailedSubjects.isEmpty()) return count;
  return count + QStringLiteral(" (") + cx.log.FailedSubjects.join(QStringLiteral(", ")) + QStringLiteral(")");
}

// Where the log tells more: its files in the order the run wrote them, and whether lines are
// missing from them.
QString LogPlace(const AppContext& cx) {
  const QString log = TodaysLogFileName(cx);
  if (log.isEmpty()) return QStringLiteral("no log file was written");
  if (!QFileInfo::exists(log)) return QStringLiteral("no log file was written at ") + log;
  const QString files = QStringList(cx.log.ContinuedFrom + QStringList{log}).join(QStringLiteral(" and "));
  if (cx.log.LinesLost > 0)
    return QStringLiteral("the log lost ") + QString::number(cx.log.LinesLost) +
           QStringLiteral(" line(s) that no log folder could take; the rest is in ") + files;
  return (cx.log.ContinuedFrom.isEmpty() ? QStringLiteral("see the log ") : QStringLiteral("see the logs ")) + files;
}

}  // namespace

// The last word of a program that did not end well, for whoever reads its standard error (a
// scheduler's mail, a service manager's journal): why, and where the log tells more. A start-up
// that failed says it wherever the program was started from; a run's errors where nobody watches.
void ReportEndOnStandardError(const AppContext& cx, int status) {
  if (status == ExitDone) return;
  if (status != ExitStartupFailed && !cx.ui->AnswersUnattended()) return;
  // Ended by a stop signal, the caller sees that signal's status, not this one.
  const int signal = cx.window.EndingSignal;
  const QString how = signal != 0 ? QStringLiteral(" ended by ") + StopSignalName(signal)
                                  : QStringLiteral(" ended with status ") + QString::number(status);
  const QString line = ProductName + how + QStringLiteral(": ") + EndCause(cx) + QStringLiteral("; ") + LogPlace(cx);
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

void ApplyLockStatus(AppContext& cx) { cx.ui->ShowLockState(cx.window.UiLocked); }

void Button_Exit_Click(AppContext& cx) {
  if (StopIsDue(cx)) {
    RequestStop(cx);
    return;
  }
  if (cx.run.InLoopDelay) {
    cx.run.InLoopDelay = false;
    return;
  }
  Form_Unload(cx, 0);
}

int Form_Unload(AppContext& cx, int cancel) {
  if (StopIsDue(cx)) {
    RequestStop(cx);
    return 1;
  }
  if (cx.run.InLoopDelay) {
    cx.ui->MessageBox(QStringLiteral("Loop Delay exited"), MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    cx.run.InLoopDelay = false;
    return 1;
  }
  (void)cancel;
  EndProgram(cx);
}

void Form_KeyDown(AppContext& cx, int keyCode, int shift) {
  if (keyCode != KeyInsert || shift != ShiftOnly) return;
  cx.window.UiLocked = !cx.window.UiLocked;
  ApplyLockStatus(cx);
}

void EndProgram(AppContext& cx) {
  Resume([&] { cx.ui->SetStatusLabel(StatusCaptionWindow(cx), QStringLiteral("Ending program - please wait...")); });
  Resume([&] { MonitorHeartbeat(cx); });
  // A row the end cut short is undone, to be done again whole by a later run.
  Resume([&] { RollBackOpenTransactions(cx); });
  // Before the session (a stop signal early in start-up) this computer holds no claim, and the
  // session check would log an error for the end of a run that had none. A start-up that failed
  // ran nothing that claims, and its library may be the one that cannot be worked in: its failure
  // is not to be told again.
  if (cx.session.FusionApplication && !cx.window.startup.Failed) Resume([&] {
    const OneFailure drops(cx);
    DropClaimsEverywhere(cx);
  });
  // Controls that never received the saved values would overwrite them with designed ones.
  if (cx.window.startup.SettingsRestored) Resume([&] { SaveAllSettings(cx); });
  ReleaseDmObjects(cx);
  // Closed here, the libraries' write-ahead logs are folded in by this program, not read through
  // again by the next one before its first statement.
  Resume([&] {
    if (cx.dm && cx.dm->Server()) cx.dm->Server()->CloseConnections();
  });
  Resume([&] { SetStatus(cx, EndLine(cx)); });
  Resume([&] { LogMessage(cx, HyphenLine); });
  // The monitor's shared memory holds a password: it goes before the process does.
  Resume([&] { cx.monitorPlatform.reset(); });
  const int status = cx.window.startup.Failed                                ? ExitStartupFailed
                     : cx.log.ErrorsLogged > 0 || cx.run.NothingProcessed ? ExitErrorsLogged
                                                                          : ExitDone;
  // Written first, so that the last line knows of every line the log lost.
  Resume([&] { FlushLog(cx); });
  Resume([&] { ReportEndOnStandardError(cx, status); });
  // Neither exit() nor an ending signal destroys the settings store: its private folder goes here.
  Resume([&] { cx.settings->Close(); });
  cx.ExitProcess(status);
  // Nothing of the program runs after the orderly end, even should an override return.
  std::exit(status);
}

}  // namespace sw
