// The processing run: set-up, cycles over the rules tree, the pause window, the loop delay, the
// end of the run and its error handler.
#include <QLocale>
#include <QTime>
#include <cmath>
#include <cstdio>
#include <exception>

#include "core/library.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "platform/monitor/monitor_platform.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"
#include "rules/running_nodes.h"
#include "run/run.h"
#include "run/run_context.h"
#include "run/run_control.h"
#include "security/workspace.h"

namespace sw {

namespace {

const QString kLibraryNotSet = QStringLiteral("Error: Library object not set - cannot continue");
const QString kWorking = QStringLiteral("Working...");

bool HasSwitch(const Context& cx, const QString& name) { return cx.app.CommandLine.contains(name); }

// Runs one step whose run-time failures the run passes over.
template <class Step>
void IgnoringErrors(Step&& step) {
  try {
    step();
  } catch (...) {
    // These steps tidy up; a failure in one must not keep the others from running.
  }
}

qint64 WindowHandle(Context& cx) { return cx.monitorPlatform ? cx.monitorPlatform->ThisWindow() : 0; }

void UnregisterWhenActive(Context& cx) {
  if (cx.run.MonitorActive) UnregisterFromMonitor(cx, WindowHandle(cx));
}

void SaveIsRunning(Context& cx, const QString& value) {
  if (cx.settings) cx.settings->SaveSetting(ProductName, QStringLiteral("General"), QStringLiteral("IsRunning"), value);
}

// Puts back the search flags the run found at its start, by position in the session's collection.
void RestoreSearchFlags(RunContext& cx) {
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries) return;
  const std::vector<SearchFlagEntry>& snapshot = cx.runState.control.SearchFlagSnapshot;
  const qint64 count = libraries->Count();
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (!library) continue;
    const bool on = i <= qint64(snapshot.size()) && NumericValue(snapshot[size_t(i - 1)].flag) != 0;
    library->SetSearchFlag(on ? -1 : 0);
  }
}

void TakeSearchFlagSnapshot(RunContext& cx) {
  std::vector<SearchFlagEntry>& snapshot = cx.runState.control.SearchFlagSnapshot;
  snapshot.clear();
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  const qint64 count = libraries->Count();
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (!library) {
      snapshot.push_back({});
      continue;
    }
    snapshot.push_back({TrimBlanks(library->Name()).toUpper(), FormatNumber(library->SearchFlag())});
  }
}

// What the rule steps remember from one rule to the next, forgotten when a run starts.
void ResetRunMemory(RunContext& cx) { cx.runState.tmpl.LastLoggedEmailTemplate.clear(); }

// What lives for one cycle: the workspace cache is made (while it has no rows) and the users of
// the workspace step are forgotten.
void ResetCycleMemory(RunContext& cx) {
  CreateWorkspaceCache(cx.security);
  cx.runState.rows.WorkspaceUsers.clear();
}

void MarkResultRow(RunContext& cx, const QString& text) {
  const int row = cx.runState.control.ResultRow;
  if (row < 0) return;
  if (cx.ui->ResultText(row, ResultsColumn) == kWorking) cx.ui->SetResultText(row, ResultsColumn, text);
}

// --- set-up ---------------------------------------------------------------------------------------

// False when the run must not start; nothing is to be undone then.
bool SetUpRun(RunContext& cx) {
  if (!CheckFusion(cx, QStringLiteral("Button_Go"))) return false;
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, kLibraryNotSet);
    cx.ui->MessageBox(kLibraryNotSet, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return false;
  }
  RunControlState& rc = cx.runState.control;
  rc.LastClaimLibrary.clear();
  if (!cx.session.FusionLibraries || !cx.session.CurrentLibrary) {
    const QString text =
        QStringLiteral("Error: One or more of the API objects is no longer defined - this could be a bug in the API itself");
    if (cx.ui->DisplayErrors() && !HasSwitch(cx, QStringLiteral("/G")))
      cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    LogThenHyphens(cx, text);
    return false;
  }
  cx.ui->SetMousePointer(Pointer::Hourglass);
  MonitorHeartbeat(cx);
  rc.EntryStatusText = StatusCaption(cx);
  rc.EntryLibrary = cx.session.CurrentLibrary->Name();
  rc.TotalRunSeconds = 0;
  rc.CycleStartSeconds = 0;
  rc.CycleSeconds = 0;
  rc.ResultRow = -1;
  ResetRunMemory(cx);
  cx.ui->SetGoEnabled(false);
  // A tool started from the window while the run pumps messages would work inside the run's open
  // transaction and in the library it works in.
  cx.ui->SetToolsEnabled(false);
  SaveIsRunning(cx, QStringLiteral("-1"));
  TakeSearchFlagSnapshot(cx);
  const RunOptions options = cx.ui->Options();
  if (options.lockWorkstation && (options.loop || HasSwitch(cx, QStringLiteral("/G")))) cx.os->LockWorkStation();
  return true;
}

// --- cycle head -----------------------------------------------------------------------------------

// Counts the ticked library nodes and loads the rules of those never expanded. A ticked library
// without children loses its tick but still counts.
int CountAndExpandLibraries(RunContext& cx) {
  int counter = 0;
  // The count is read on every turn: expanding adds rule nodes, which are not looked at.
  for (int i = 0; i < cx.ui->RulesNodeCount(); ++i) {
    const RulesTreeNode node = cx.ui->RulesNode(i);
    if (node.parent >= 0 || !node.checked) continue;
    const std::vector<int> children = cx.ui->RulesNodeChildren(i);
    if (!children.empty())
      ++counter;
    else
      cx.ui->SetRulesNodeChecked(i, false);
    if (children.size() == 1 && cx.ui->RulesNode(children.front()).text == RulesPlaceholder) {
      cx.ui->SelectRulesNode(i);
      cx.LoadRulesOfLibraryNode(i);
    } else {
      ++counter;
    }
  }
  return counter;
}

// False when nothing is selected: the run then ends without its summary.
bool CycleHead(RunContext& cx) {
  cx.run.InLoopDelay = false;
  if (CountAndExpandLibraries(cx) == 0) {
    const QString text = QStringLiteral("No libraries or rules selected - cannot continue.");
    LogThenHyphens(cx, text);
    if (!HasSwitch(cx, QStringLiteral("/G")))
      cx.ui->MessageBox(text, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    return false;
  }
  cx.ui->SetStatusColour(StatusColourCycle);
  cx.run.TaskRunning = true;
  cx.run.StopRequested = false;
  cx.ui->ClearResults();
  // The row it named went with the list.
  cx.runState.control.ResultRow = -1;
  ResetCycleMemory(cx);
  return true;
}

// --- pause window ---------------------------------------------------------------------------------

// False when today's node of the weekday list is not ticked. A day that no node names pauses.
bool PausesToday(RunContext& cx, const RunOptions& options) {
  const QDate today = cx.runState.control.Now().date();
  const QString dayName = QLocale::system().dayName(today.dayOfWeek(), QLocale::LongFormat).toUpper();
  for (int i = 0; i < options.pauseDayNames.size(); ++i) {
    const bool ticked = size_t(i) < options.pauseDayChecked.size() && options.pauseDayChecked[size_t(i)];
    if (options.pauseDayNames[i].toUpper() == dayName && !ticked) return false;
  }
  return true;
}

void WaitOutPauseWindow(RunContext& cx) {
  RunOptions options = cx.ui->Options();
  if (!options.pauseTime || options.pauseStart.isEmpty() || options.pauseEnd.isEmpty()) return;
  if (!PausesToday(cx, options)) return;
  for (;;) {
    const QString now = cx.runState.control.Now().time().toString(QStringLiteral("HH:mm"));
    const QString start = FormatTimeOfDay(options.pauseStart);
    const QString end = FormatTimeOfDay(options.pauseEnd);
    if (!InsidePauseWindow(now, start, end)) return;
    SetStatusCaption(cx, QStringLiteral("Paused until ") + end);
    cx.ui->SetExitToolTip(QStringLiteral("Exit pausing"));
    FlushLog(cx);
    cx.os->Sleep(1000);
    cx.ui->PumpMessages();
    if (cx.run.StopRequested) return;
    options = cx.ui->Options();
    if (!options.pauseTime) return;
  }
}

void PauseWindow(RunContext& cx) {
  const QString caption = StatusCaption(cx);
  const QString tip = cx.ui->ExitToolTip();
  WaitOutPauseWindow(cx);
  SetStatusCaption(cx, caption);
  cx.ui->SetExitToolTip(tip);
  cx.runState.control.CycleStartSeconds = SecondsSinceMidnight(cx.runState.control.Now());
}

// --- node walk ------------------------------------------------------------------------------------

// One ticked rule node: preparation, statement, rows. A rule that went through its rows gets the
// end-of-rule step here; every rule then gets the end of its node from the walk. A stop asked for
// during the rows ends the rule after the row in hand.
void RunRule(RunContext& cx, int node) {
  if (!PrepareRule(cx, node)) return;
  if (!BuildRuleSql(cx)) return;
  if (!ReadRuleRows(cx)) return;
  ProcessRuleRows(cx);
  SetStatus(cx, QStringLiteral("Finished with library ") + cx.session.CurrentLibrary->Name());
  LogMessage(cx, HyphenLine);
  // Undoes any search library the rule switched on.
  RestoreSearchFlags(cx);
}

void EndNode(RunContext& cx) {
  IgnoringErrors([&] { UnregisterWhenActive(cx); });
  IgnoringErrors([&] { DropClaimsEverywhere(cx); });
  IgnoringErrors([&] { MarkResultRow(cx, QStringLiteral("Finished")); });
}

void WalkNodes(RunContext& cx) {
  const int count = cx.ui->RulesNodeCount();
  for (int i = count - 1; i >= 0; --i) {
    if (cx.run.StopRequested) break;
    if (!CheckFusion(cx, QStringLiteral("Button_Go"))) break;
    if (!cx.session.CurrentLibrary) {
      LogThenHyphens(cx, kLibraryNotSet);
      break;
    }
    cx.ui->SetMousePointer(Pointer::Hourglass);
    MonitorHeartbeat(cx);
    const RulesTreeNode node = cx.ui->RulesNode(i);
    if (node.parent >= 0 && node.checked) RunRule(cx, i);
    EndNode(cx);
    MonitorHeartbeat(cx);
    if (cx.run.StopRequested) break;
  }
}

// --- end of cycle, loop delay ---------------------------------------------------------------------

// True when another cycle is to follow (after the loop delay), false for the summary.
bool EndCycle(RunContext& cx) {
  RunControlState& rc = cx.runState.control;
  UnregisterWhenActive(cx);
  rc.CycleSeconds = rc.CycleStartSeconds == 0 ? 0 : SecondsSinceMidnight(rc.Now()) - rc.CycleStartSeconds;
  if (!CheckFusion(cx, QStringLiteral("Button_Go"))) return false;
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, kLibraryNotSet);
    return false;
  }
  ConnectLibrary(cx, rc.EntryLibrary);
  rc.TotalRunSeconds += rc.CycleSeconds;
  rc.CycleSeconds = 0;
  MonitorHeartbeat(cx);
  if (cx.run.StopRequested) return false;
  return cx.ui->Options().loop;
}

// True when the delay ran out (next cycle), false when it was ended or a stop was requested.
bool LoopDelay(RunContext& cx) {
  RunControlState& rc = cx.runState.control;
  cx.run.InLoopDelay = true;
  const double delay = NumericValue(cx.ui->Options().loopDelay);
  if (delay > 0) {
    rc.LoopDelayLeft = delay;
  } else {
    cx.ui->SetLoopDelayText(QStringLiteral("3"));
    rc.LoopDelayLeft = 3;
  }
  for (;;) {
    if (rc.LoopDelayLeft <= 0) return true;
    SetStatusCaption(cx, QStringLiteral("Waiting ") + FormatNumber(std::llround(rc.LoopDelayLeft)) +
                             QStringLiteral(" seconds before starting"));
    MonitorHeartbeat(cx);
    FlushLog(cx);
    cx.os->Sleep(1000);
    rc.LoopDelayLeft -= 1;
    if (cx.run.StopRequested) return false;
    if (!cx.run.InLoopDelay) return false;
  }
}

// --- summary, end of run, error handler ---------------------------------------------------------

void Summary(RunContext& cx) {
  QString text = QStringLiteral("Finished processing.");
  const qint64 total = cx.runState.control.TotalRunSeconds;
  if (total > 0) text += QStringLiteral(" (total time: ") + FormatNumber(total) + QStringLiteral(" seconds)");
  LogThenHyphens(cx, text);
  if (!HasSwitch(cx, QStringLiteral("/G")))
    cx.ui->MessageBox(text, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
  else
    SetStatusCaption(cx, text);
}

void EndRun(RunContext& cx) {
  RunControlState& rc = cx.runState.control;
  // Work that a failure left unfinished must not hold a library's write lock, nor stand half done.
  IgnoringErrors([&] { RollBackOpenTransactions(cx); });
  IgnoringErrors([&] { RestoreSearchFlags(cx); });
  IgnoringErrors([&] { UnregisterWhenActive(cx); });
  IgnoringErrors([&] {
    SaveIsRunning(cx, QStringLiteral("0"));
    LogMessage(cx, HyphenLine);
  });
  IgnoringErrors([&] { ConnectLibrary(cx, rc.EntryLibrary); });
  // A stop or a failure may leave the rule's claim in another library than the entry one.
  IgnoringErrors([&] { DropClaimsEverywhere(cx); });
  IgnoringErrors([&] { cx.ui->SetStatusColour(StatusColourEnd); });
  cx.run.TaskRunning = false;
  cx.run.StopRequested = false;
  IgnoringErrors([&] {
    cx.ui->SetPauseTextsEnabled(true);
    cx.ui->SetGoEnabled(true);
    cx.ui->SetToolsEnabled(true);
    cx.ui->SetExitEnabled(true);
  });
  IgnoringErrors([&] {
    cx.ui->SetMousePointer(Pointer::Default);
    SetStatusCaption(cx, rc.EntryStatusText);
    MonitorHeartbeat(cx);
  });
  FlushLog(cx);
  if (HasSwitch(cx, QStringLiteral("/X"))) cx.EndProgramWhenIdle();
}

void HandleRunError(RunContext& cx, qint64 number, const QString& source, const QString& description) {
  IgnoringErrors([&] {
    LogMessage(cx, HyphenLine);
    ReportError(cx, number, source, description);
  });
  IgnoringErrors([&] {
    SetStatus(cx, QStringLiteral("Error: Unable to complete this process"));
    LogMessage(cx, HyphenLine);
  });
  IgnoringErrors([&] { MarkResultRow(cx, QStringLiteral("Error")); });
}

enum class RunEnd { Returned, WithSummary, WithoutSummary };

RunEnd Cycles(RunContext& cx) {
  for (;;) {
    if (!CycleHead(cx)) return RunEnd::WithoutSummary;
    NormalisePauseTexts(cx);
    PauseWindow(cx);
    WalkNodes(cx);
    if (!EndCycle(cx)) return RunEnd::WithSummary;
    // Between cycles the run holds no library, claim or transaction, so the tools may work.
    cx.ui->SetToolsEnabled(true);
    const bool nextCycle = LoopDelay(cx);
    cx.ui->SetToolsEnabled(false);
    if (!nextCycle) return RunEnd::WithSummary;
  }
}

RunEnd SetUpAndCycle(RunContext& cx) {
  if (!SetUpRun(cx)) return RunEnd::Returned;
  const RunEnd end = Cycles(cx);
  if (end == RunEnd::WithSummary) Summary(cx);
  return end;
}

// A part of the pause text formatted with at least `digits` digits, when it reads as a number;
// otherwise the part as it is.
QString FormatNumberPart(const QString& part, int digits) {
  bool ok = false;
  const double value = part.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(value)) return part;
  const long long whole = std::llround(value);
  QString text = QString::number(std::llabs(whole)).rightJustified(digits, QLatin1Char('0'));
  if (whole < 0) text.prepend(QLatin1Char('-'));
  return text;
}

}  // namespace

// --- helpers open to tests --------------------------------------------------------------------

qint64 SecondsSinceMidnight(const QDateTime& moment) {
  const QTime t = moment.time();
  return qint64(t.hour()) * 3600 + t.minute() * 60 + t.second();
}

QString FormatTimeOfDay(const QString& text) {
  const QString trimmed = text.trimmed();
  for (const char* form : {"H:mm", "HH:mm", "H:mm:ss", "HH:mm:ss"}) {
    const QTime t = QTime::fromString(trimmed, QLatin1String(form));
    if (t.isValid()) return t.toString(QStringLiteral("HH:mm"));
  }
  return text;
}

void NormalisePauseTexts(RunContext& cx) {
  const RunOptions options = cx.ui->Options();
  if (!options.pauseTime) return;
  const QString end = NormalisePauseText(options.pauseEnd);
  const QString start = NormalisePauseText(options.pauseStart);
  cx.ui->SetPauseTexts(start, end);
  if ((start.isEmpty() && !end.isEmpty()) || (!start.isEmpty() && end.isEmpty()) || start == end) {
    LogThenHyphens(cx, QStringLiteral("Warning: You have enabled the pause timer, but the start and/or end times are not "
                                 "entered properly. The pause timer will be disabled"));
    cx.ui->SetPauseTimeChecked(false);
  }
}

QString NormalisePauseText(const QString& text) {
  QString field = text.left(5);
  while (field.size() < 5) field.prepend(QLatin1Char('0'));
  field = FormatNumberPart(field.left(2), 1) + QLatin1Char(':') + FormatNumberPart(field.right(2), 2);
  return FormatTimeOfDay(field);
}

bool InsidePauseWindow(const QString& now, const QString& start, const QString& end) {
  if (start < end) return !(now < start || now >= end);
  // The window crosses midnight.
  return !(now < start && now >= end);
}

void UntickAfterFailure(RunContext& cx, int node) {
  cx.ui->SetRulesNodeChecked(node, false);
  const RulesTreeNode unticked = cx.ui->RulesNode(node);
  RulesTreeNode top = unticked;
  while (top.parent >= 0) top = cx.ui->RulesNode(top.parent);
  const QString library = top.text;
  // Said loudly: the tick is saved, and a later unattended run skips the node without a word.
  const QString text =
      unticked.parent < 0
          ? QStringLiteral("Warning: Library ") + library +
                QStringLiteral(" was unticked after this failure; it and its rules stay unticked, in this and every later "
                               "run, until it is ticked again")
          : QStringLiteral("Warning: Rule ") + unticked.text + QStringLiteral(" in library ") + library +
                QStringLiteral(" was unticked after this failure; it stays unticked, in this and every later run, until it "
                               "is ticked again");
  LogThenHyphens(cx, text);
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// --- the run ------------------------------------------------------------------------------------

void Button_Go_Click(RunContext& cx) {
  RunEnd end = RunEnd::WithoutSummary;
  try {
    end = SetUpAndCycle(cx);
  } catch (const DmCallFailure& failure) {
    HandleRunError(cx, failure.Number(), failure.Source(), failure.Description());
  } catch (const std::exception& failure) {
    HandleRunError(cx, ErrInternal, QStringLiteral("Stackwright"), QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    HandleRunError(cx, 0, QStringLiteral("Stackwright"), QString());
  }
  if (end == RunEnd::Returned) return;
  EndRun(cx);
}

}  // namespace sw
