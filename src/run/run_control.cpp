// The processing run: set-up, cycles over the rules tree, the pause window, the loop delay, the
// end of the run and its error handler.
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <exception>
#include <tuple>

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

// Where the run remembers, per node, when a failure unticked it: the saved tick alone cannot
// tell such a node from one the user unticked.
const QString UntickedSection = QStringLiteral("UntickedAfterFailure");

struct NodeNames {
  QString library;
  QString rule;  // empty for a library node
};

NodeNames NamesOf(RunContext& cx, int node) {
  const RulesTreeNode named = cx.ui->RulesNode(node);
  RulesTreeNode top = named;
  while (top.parent >= 0) top = cx.ui->RulesNode(top.parent);
  return {top.text, named.parent < 0 ? QString() : named.text};
}

QString UntickKey(const QString& library, const QString& rule) {
  return rule.isEmpty() ? TrimBlanks(library.toUpper()) : RuleStateKey(library, rule);
}

// " (reason)", or nothing without one.
QString ReasonText(const QString& reason) {
  return reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QStringLiteral(")");
}

QString NodeTitle(const NodeNames& names) {
  return names.rule.isEmpty() ? QStringLiteral("Library ") + names.library
                              : QStringLiteral("Rule ") + names.rule + QStringLiteral(" in library ") + names.library;
}

// A node that a failure of an earlier run unticked is skipped without a word unless it is told
// here, once a run.
void TellSkippedAfterFailure(RunContext& cx, int index, const RulesTreeNode& node) {
  if (node.checked || node.text == RulesPlaceholder || !cx.settings) return;
  const NodeNames names = NamesOf(cx, index);
  const QString key = UntickKey(names.library, names.rule);
  QStringList& lookedAt = cx.runState.control.UnticksLookedAt;
  if (lookedAt.contains(key)) return;
  lookedAt << key;
  const QString since = cx.settings->GetSetting(ProductName, UntickedSection, key);
  if (since.isEmpty()) return;
  WarnLoudly(cx, QStringLiteral("Warning: ") + NodeTitle(names) +
                     QStringLiteral(" is skipped: it was unticked after a failure on ") + since +
                     QStringLiteral(" and stays unticked until it is ticked again"));
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
  rc.UnticksLookedAt.clear();
  rc.ClaimSkipsTold.clear();
  rc.StopPoint.clear();
  rc.PauseTimerOff = false;
  ResetRunMemory(cx);
  cx.ui->SetGoEnabled(false);
  // A tool started from the window while the run pumps messages would work inside the run's open
  // transaction and in the library it works in.
  cx.ui->SetToolsEnabled(false);
  SaveIsRunning(cx, QStringLiteral("-1"));
  TakeSearchFlagSnapshot(cx);
  const RunOptions options = cx.ui->Options();
  if (options.lockWorkstation && (options.loop || HasSwitch(cx, QStringLiteral("/G")))) cx.os->LockWorkStation();
  // Every library switch reads a setting; the file need not be looked at on disk for each.
  if (cx.settings) cx.settings->LookAtDiskOncePerCycle(true);
  return true;
}

// --- cycle head -----------------------------------------------------------------------------------

// Loads the rules of a library node never expanded. One that its load leaves ticked without rules
// is remembered with why, for the cycle head that unticks it.
void ExpandLibrary(RunContext& cx, int node) {
  const int errorsBefore = cx.log.ErrorsLogged;
  cx.ui->SelectRulesNode(node);
  cx.LoadRulesOfLibraryNode(node);
  if (!cx.ui->RulesNode(node).checked || !cx.ui->RulesNodeChildren(node).empty()) return;
  // The switch and the rules' reading log their own errors; a library loaded without one holds no
  // rule to run.
  cx.runState.control.LibraryLoadFailures[cx.ui->RulesNode(node).text.toUpper()] =
      cx.log.ErrorsLogged > errorsBefore ? QStringLiteral("the run could not switch to it or read its rules")
                                         : QStringLiteral("no rule to run was found in it");
}

// Why the library's node was left without rules: as its load said, also when that was the last
// Go's (the window keeps the node as the load left it).
QString LoadFailure(RunContext& cx, const QString& library) {
  const QString why = cx.runState.control.LibraryLoadFailures.take(library.toUpper());
  return why.isEmpty() ? QStringLiteral("its rules could not be loaded") : why;
}

// Counts the ticked library nodes and loads the rules of those never expanded. A ticked library
// without children loses its tick but still counts; its untick is told as a failure's.
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
      UntickAfterFailure(cx, i, LoadFailure(cx, node.text));
    if (children.size() == 1 && cx.ui->RulesNode(children.front()).text == RulesPlaceholder)
      ExpandLibrary(cx, i);
    else
      ++counter;
  }
  return counter;
}

// Whether a ticked library holds a ticked rule (rule nodes sit right under their library's).
bool AnyRuleTicked(RunContext& cx) {
  for (int i = 0; i < cx.ui->RulesNodeCount(); ++i) {
    const RulesTreeNode node = cx.ui->RulesNode(i);
    if (node.parent >= 0 && node.checked && cx.ui->RulesNode(node.parent).checked) return true;
  }
  return false;
}

// False when nothing is selected: the run then ends without its summary. A scheduled run that
// would walk ticked libraries without a ticked rule does nothing either.
bool CycleHead(RunContext& cx) {
  cx.run.InLoopDelay = false;
  if (cx.settings) cx.settings->NewCycle();
  // Emptied before the count, whose unticks are the cycle's first rows.
  cx.ui->ClearResults();
  // The row it named went with the list.
  cx.runState.control.ResultRow = -1;
  const bool unattended = HasSwitch(cx, QStringLiteral("/G")) && HasSwitch(cx, QStringLiteral("/X"));
  if (CountAndExpandLibraries(cx) == 0 || (unattended && !AnyRuleTicked(cx))) {
    const QString text = QStringLiteral("No libraries or rules selected - cannot continue.");
    LogThenHyphens(cx, text);
    if (!HasSwitch(cx, QStringLiteral("/G")))
      cx.ui->MessageBox(text, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    // A scheduled run that did nothing must not pass for one that did its work.
    if (unattended) {
      cx.run.NothingProcessed = true;
      // The walk that would tell them does not happen.
      for (int i = 0; i < cx.ui->RulesNodeCount(); ++i) TellSkippedAfterFailure(cx, i, cx.ui->RulesNode(i));
      WarnLoudly(cx, QStringLiteral("Warning: Nothing was processed: no library or rule is ticked - tick them in the "
                                    "window, which keeps the ticks for later runs"));
    }
    return false;
  }
  cx.ui->SetStatusColour(StatusColourCycle);
  cx.run.TaskRunning = true;
  cx.run.StopRequested = false;
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
  if (cx.runState.control.PauseTimerOff) return;
  if (!options.pauseTime || options.pauseStart.isEmpty() || options.pauseEnd.isEmpty()) return;
  if (!PausesToday(cx, options)) return;
  bool logged = false;
  for (;;) {
    const QString now = cx.runState.control.Now().time().toString(QStringLiteral("HH:mm"));
    // Read again on every pass: a field edited meanwhile takes effect within a second.
    const PauseTime start = ReadPauseText(options.pauseStart);
    const PauseTime end = ReadPauseText(options.pauseEnd);
    if (!start.valid || !end.valid || !InsidePauseWindow(now, start.text, end.text)) return;
    // The status line shows the pause; the log keeps it for a run that no one watches.
    if (!logged) LogThenHyphens(cx, QStringLiteral("Paused at ") + now + QStringLiteral(" until ") + end.text);
    logged = true;
    SetStatusCaption(cx, QStringLiteral("Paused until ") + end.text);
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
  const NodeNames names = NamesOf(cx, node);
  const FailureSubject subject(cx, names.library, names.rule);
  if (!PrepareRule(cx, node)) return;
  bool read = false;
  {
    // The rule's statement, built and run, is one unit of work: its failure is one.
    const OneFailure statement(cx);
    read = BuildRuleSql(cx) && ReadRuleRows(cx);
  }
  if (read) {
    ProcessRuleRows(cx);
    SetStatus(cx, QStringLiteral("Finished with library ") + cx.session.CurrentLibrary->Name());
    LogMessage(cx, HyphenLine);
    // Undoes any search library the rule switched on.
    RestoreSearchFlags(cx);
  }
  if (!cx.run.StopRequested) return;
  const RuleRowsState& rows = cx.runState.rows;
  const QString rule = QStringLiteral("rule ") + cx.runState.rule.RuleName + QStringLiteral(" in library ") +
                       cx.runState.rule.LibraryName;
  cx.runState.control.StopPoint =
      read ? QStringLiteral(" after ") + FormatNumber(rows.RowsDone) + QStringLiteral(" of ") + FormatNumber(rows.RowCount) +
                 QStringLiteral(" row(s) of ") + rule
           : QStringLiteral(" before ") + rule + QStringLiteral(" had read its rows");
}

void EndNode(RunContext& cx) {
  IgnoringErrors([&] { UnregisterWhenActive(cx); });
  IgnoringErrors([&] { DropClaimsAfterNode(cx); });
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
    TellSkippedAfterFailure(cx, i, node);
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

void LogStopped(Context& cx, const QString& point) {
  LogThenHyphens(cx, QStringLiteral("Warning: Stopped on request") +
                         (point.isEmpty() ? QStringLiteral(" before the run was complete") : point));
}

// A run that a stop cut short says so before its summary, which reads like that of a whole run.
void TellStop(RunContext& cx) {
  if (cx.run.StopRequested) LogStopped(cx, cx.runState.control.StopPoint);
}

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
  if (cx.settings) cx.settings->LookAtDiskOncePerCycle(false);
  IgnoringErrors([&] {
    cx.ui->SetPauseTextsEnabled(true);
    cx.ui->SetGoEnabled(true);
    cx.ui->SetToolsEnabled(true);
    cx.ui->SetExitEnabled(true);
  });
  IgnoringErrors([&] {
    cx.ui->SetMousePointer(Pointer::Default);
    SetStatusCaption(cx, rc.EntryStatusText);
    cx.app.IdleStatus = rc.EntryStatusText;
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
  if (end == RunEnd::WithSummary) {
    TellStop(cx);
    Summary(cx);
  }
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

void TellStopBeforeRun(Context& cx) {
  if (HasSwitch(cx, QStringLiteral("/G"))) LogStopped(cx, QString());
}

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
  RunControlState& rc = cx.runState.control;
  if (!options.pauseTime || rc.PauseTimerOff) return;
  const PauseTime end = ReadPauseText(options.pauseEnd);
  const PauseTime start = ReadPauseText(options.pauseStart);
  // Only a time of day goes back into its field, in the form HH:MM: the settings keep what they
  // held, and a text the run cannot read is never saved as some other time.
  cx.ui->SetPauseTexts(start.valid ? start.text : options.pauseStart, end.valid ? end.text : options.pauseEnd);
  for (const auto& [setting, time, text] : {std::tuple{QStringLiteral("PauseStart"), start, options.pauseStart},
                                             std::tuple{QStringLiteral("PauseEnd"), end, options.pauseEnd}}) {
    if (time.valid) continue;
    LogThenHyphens(cx, QStringLiteral("Warning: The setting ") + setting + QStringLiteral(" holds \"") + text +
                           QStringLiteral("\", which is no time of day (HH:MM, HH.MM or HHMM, 00:00 to 23:59) - the pause timer is off "
                                          "for this run"));
    rc.PauseTimerOff = true;
  }
  if (rc.PauseTimerOff) return;
  // Two times of day are never empty: only equal ones make no window.
  if (start.text == end.text) {
    LogThenHyphens(cx, QStringLiteral("Warning: You have enabled the pause timer, but the start and/or end times are not "
                                 "entered properly. The pause timer will be disabled"));
    cx.ui->SetPauseTimeChecked(false);
  }
}

PauseTime ReadPauseText(const QString& text) {
  QString field = TrimBlanks(text).left(5);
  const bool digitsOnly = std::all_of(field.begin(), field.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  const int width = digitsOnly ? 4 : 5;
  while (field.size() < width) field.prepend(QLatin1Char('0'));
  // Hours are the first two characters and minutes the last two, whatever one character stands
  // between them ("09:30", "09.30", "9h30").
  static const QRegularExpression time(QStringLiteral("^([0-9]{2})[^0-9]?([0-9]{2})$"));
  const QRegularExpressionMatch parts = time.match(field);
  if (parts.hasMatch() && parts.captured(1).toInt() <= 23 && parts.captured(2).toInt() <= 59)
    return {parts.captured(1) + QLatin1Char(':') + parts.captured(2), true};
  // No time of day: the text keeps the shape the window's rule gives it.
  return {FormatTimeOfDay(FormatNumberPart(field.left(2), 1) + QLatin1Char(':') + FormatNumberPart(field.right(2), 2)), false};
}

bool InsidePauseWindow(const QString& now, const QString& start, const QString& end) {
  if (start < end) return !(now < start || now >= end);
  // The window crosses midnight.
  return !(now < start && now >= end);
}

QString RuleStateKey(const QString& libraryName, const QString& ruleName) {
  return TrimBlanks(libraryName.toUpper()) + QLatin1Char(':') + TrimBlanks(ruleName.toUpper());
}

void UntickAfterFailure(RunContext& cx, int node, const QString& reason) {
  cx.ui->SetRulesNodeChecked(node, false);
  const NodeNames names = NamesOf(cx, node);
  // Said loudly: the tick is saved, and a later unattended run skips the node without a word.
  const QString later = names.rule.isEmpty() ? QStringLiteral("; it and its rules stay unticked, in this and every later run, "
                                                              "until it is ticked again")
                                             : QStringLiteral("; it stays unticked, in this and every later run, until it "
                                                              "is ticked again");
  WarnLoudly(cx, QStringLiteral("Warning: ") + NodeTitle(names) + QStringLiteral(" was unticked after this failure") +
                     ReasonText(reason) + later);
  RememberUntickAfterFailure(cx, node, reason);
}

void RememberUntickAfterFailure(RunContext& cx, int node, const QString& reason) {
  const NodeNames names = NamesOf(cx, node);
  const QString key = UntickKey(names.library, names.rule);
  cx.runState.control.UnticksLookedAt << key;
  if (cx.settings)
    cx.settings->SaveSetting(ProductName, UntickedSection, key,
                             cx.runState.control.Now().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + ReasonText(reason));
}

void ForgetUntickAfterFailure(Context& cx, const QString& library, const QString& rule) {
  if (!cx.settings) return;
  const QString key = UntickKey(library, rule);
  if (!cx.settings->GetSetting(ProductName, UntickedSection, key).isEmpty())
    cx.settings->DeleteSetting(ProductName, UntickedSection, key);
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
