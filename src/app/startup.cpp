// Start-up: from launch to the shown main window, in one pass: the application's names, the
// one-time registration markers, the build and DM versions, the splash, the window's place, the
// command line and saved options, the DM session, the pause days, the libraries, the rights
// check, the claims of this computer, the monitor and, with /G, the whole processing run.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "app/app_context.h"
#include "app/handlers.h"
#include "app/saved_settings.h"
#include "app/version_texts.h"
#include "core/library_state.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"
#include "rules/running_nodes.h"
#include "run/run.h"

namespace sw {

namespace {

const QString General = QStringLiteral("General");
const QChar TradeMark(0x2122);  // character 153 of the Windows code page
const QString ApiInterfaceFile =
    QStringLiteral("c:\\program files\\hummingbird\\dm extensions\\dm api\\Pcdserverifps.dll");
const QString ReadmeName = QStringLiteral("Quillmark_Stackwork_Readme.txt");
constexpr int MinimumHeight = 9135;
constexpr int FixedWidth = 4830;

enum class StartupEnd { Normal, NoLog, SessionFailed, RightsFailed, Unexpected };

template <class Step>
void Resume(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
    // Registration and unloading the splash never stop start-up.
  }
}

bool HasSwitch(const AppContext& cx, const QString& name) { return cx.app.CommandLine.contains(name); }

QString ProgramPath(const AppContext& cx) {
  const QString& given = cx.window.startup.ProgramPath;
  return given.isEmpty() ? QCoreApplication::applicationFilePath() : given;
}

QString ProgramFolder(const AppContext& cx) { return QFileInfo(ProgramPath(cx)).absolutePath(); }

// Step texts on the splash: shown only, not logged.
void SplashStatus(AppContext& cx, const QString& text) {
  cx.ui->SetStatusLabel(StatusWindow::Splash, text);
  cx.ui->PumpMessages();
}

QString LongNow() {
  const QDateTime now = QDateTime::currentDateTime();
  return LongDateText(now.date()) + QStringLiteral(" at ") + LongTimeText(now.time());
}

QString BuildAndDate(const AppContext& cx) {
  const StartupState& st = cx.window.startup;
  return ProductName + QStringLiteral(" Build ") + st.BuildNumber + QStringLiteral(" (") + st.BuildDateText +
         QStringLiteral(")");
}

// --- Steps 1 to 9: names, markers, versions --------------------------------------------------

void NameTheApplication(AppContext& cx) {
  cx.app.StatusOwnerForm = StatusWindow::Main;
  cx.app.AppTitle = QStringLiteral("Quillmark") + TradeMark + QStringLiteral(" Stackwright for OpenText eDOCS");
  cx.ui->SetMainCaption(cx.app.AppTitle);
  const QString stamp = GetAppSetting(cx, General, QStringLiteral("TimeStampLogFile"), QStringLiteral("0"));
  cx.ui->SetTimeStampLogFile(ReadsAsTrue(stamp));
  // Nothing here reads it back; it tells other programs where this one lives. Whether it could be
  // written is told once the log is known.
  cx.window.startup.SettingsWritable =
      SaveAppSetting(cx, General, QStringLiteral("Path"), QFileInfo(ProgramPath(cx)).absoluteFilePath());
}

bool MarkerHandled(AppContext& cx, const QString& key) {
  return NumericValue(cx.settings->GetSetting(MarkerApplication, General, key, QStringLiteral("0"))) == -1;
}

void SaveMarker(AppContext& cx, const QString& key) {
  cx.settings->SaveSetting(MarkerApplication, General, key, QStringLiteral("-1"));
}

// Nothing is registered on this platform: the step is logged and its marker set, so it is met
// once per user, as the registration would be.
void LogRegistrationSkipped(AppContext& cx, const QString& path) {
  LogMessage(cx, QStringLiteral("Notice: component registration is not needed on this platform - skipped REGSVR32.exe /s \"") +
                     path + QStringLiteral("\""));
}

void RegisterApiInterface(AppContext& cx) {
  if (MarkerHandled(cx, QStringLiteral("RegisterAPI"))) return;
  if (QFileInfo::exists(ApiInterfaceFile)) LogRegistrationSkipped(cx, ApiInterfaceFile);
  SaveMarker(cx, QStringLiteral("RegisterAPI"));
}

void RegisterClassLibrary(AppContext& cx) {
  if (MarkerHandled(cx, QStringLiteral("RegisterTarnClasses"))) return;
  const QString path = ProgramFolder(cx) + QStringLiteral("/TarnClasses.Dll");
  if (QFileInfo::exists(path))
    LogRegistrationSkipped(cx, path);
  else
    LogMessage(cx, QStringLiteral("Notice: TarnClasses.Dll is not in ") + ProgramFolder(cx) +
                       QStringLiteral("; its registry reader is built into this program, so nothing needs registering"));
  SaveMarker(cx, QStringLiteral("RegisterTarnClasses"));
}

void BeginWork(AppContext& cx) {
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->SetMainEnabled(false);
  cx.ui->PumpMessages();
}

void LearnVersions(AppContext& cx) {
  StartupState& st = cx.window.startup;
  const ProgramVersion version = CurrentProgramVersion();
  st.BuildDateText = sw::BuildDateText(version);
  st.BuildNumber = sw::BuildNumber(version);
  const DmClientVersion dm = ReadDmClientVersion(cx);
  st.DMVersion = dm.version;
  st.DMPatchLevel = dm.patchLevel;
  cx.library.DatabaseOwner = DefaultDatabaseOwner;
}

// --- Steps 10 to 16: splash, window, command line, log, options -----------------------------

void ShowSplashWindow(AppContext& cx) {
  const StartupState& st = cx.window.startup;
  cx.ui->SetMainVisible(false);
  cx.ui->PumpMessages();
  cx.app.StatusOwnerForm = StatusWindow::Splash;
  cx.ui->SetSplashTexts(DmVersionText(st.DMVersion, st.DMPatchLevel), BuildLine(st.BuildNumber, st.BuildDateText),
                        MakerLine());
  cx.ui->ShowSplash(true);
  cx.ui->PumpMessages();
  cx.ui->SetWindowFocus(Ui::FocusTarget::Splash);
  SplashStatus(cx, QStringLiteral("One moment..."));
}

int Centred(int screen, int window) { return int(std::lround((screen - window) / 2.0)); }

int StoredPosition(AppContext& cx, const QString& key, int centred) {
  return int(std::lround(NumericValue(GetAppSetting(cx, General, key, FormatNumber(centred)))));
}

// A saved place off the screen's last quarter, or too near its edge, is centred on that axis.
void PlaceMainWindow(AppContext& cx) {
  const Ui::TwipsRect screen = cx.ui->ScreenSize();
  Ui::TwipsRect r = cx.ui->MainGeometry();
  const int centredLeft = Centred(screen.width, r.width);
  const int centredTop = Centred(screen.height, r.height);
  r.left = StoredPosition(cx, QStringLiteral("Screen.Left"), centredLeft);
  r.top = StoredPosition(cx, QStringLiteral("Screen.Top"), centredTop);
  if (r.top >= 0.75 * screen.height || r.top < 1000) r.top = centredTop;
  if (r.left >= 0.75 * screen.width || r.left < 1000) r.left = centredLeft;
  cx.ui->SetMainCaption(QStringLiteral("Quillmark") + TradeMark + QStringLiteral(" Stackwright For OpenText eDocs"));
  cx.ui->SetMainStateNormal();
  r.width = FixedWidth;
  if (r.height < MinimumHeight) r.height = MinimumHeight;
  cx.ui->SetMainGeometry(r);
}

QString ProcessArguments() {
  QStringList args = QCoreApplication::arguments();
  if (!args.isEmpty()) args.removeFirst();
  return args.join(QLatin1Char(' '));
}

// TEMP as the original platform names it, else this platform's temporary folder (TMPDIR, which
// is usually unset and then means /tmp). The program's folder is only the last resort: an
// installed program's folder is not writable, and the default log would be lost there.
QString TempFolder(const AppContext& cx) {
  const QString temp = qEnvironmentVariable("TEMP");
  if (!temp.isEmpty()) return temp;
  const QString system = QDir::tempPath();
  return system.isEmpty() ? ProgramFolder(cx) : system;
}

void TakeCommandLine(AppContext& cx) {
  SplashStatus(cx, QStringLiteral("Getting Command Line Parameters"));
  const std::optional<QString>& given = cx.window.startup.Arguments;
  cx.app.CommandLine = TrimBlanks(given ? *given : ProcessArguments()).toUpper();
  cx.window.startup.TempFolder = TempFolder(cx);
}

QString DefaultLogFile(const QString& folder) { return folder + QLatin1Char('/') + ProductName + QStringLiteral(".LOG"); }

// The logs for when the configured one cannot be written, at start-up or later: the default log in
// TEMP, TMPDIR and /tmp, in this order, each folder once.
QStringList FallbackLogBases() {
  QStringList folders;
  for (const QString& folder : {qEnvironmentVariable("TEMP"), qEnvironmentVariable("TMPDIR"), QStringLiteral("/tmp")})
    if (!folder.isEmpty() && !folders.contains(QDir::cleanPath(folder))) folders << QDir::cleanPath(folder);
  QStringList bases;
  for (const QString& folder : folders) bases << DefaultLogFile(folder);
  return bases;
}

// A log that cannot be written would lose the whole run's record without a word: it goes to the
// first folder of the fallback order that takes it, and the user is told. False, said, when no
// folder takes it: the program must not work without a record.
bool FallBackFromUnwritableLog(AppContext& cx) {
  const QDate today = cx.log.Now().date();
  const QString dated = DatedLogFileName(cx.log.LogFileBase, today);
  QString reason;
  if (LogFileWritable(dated, &reason)) return true;
  QStringList refused{dated + QStringLiteral(" (") + reason + QLatin1Char(')')};
  const QString fallback = ChooseFallbackLog(cx.log, dated, today, [&](const QString& fallbackDated) {
    QString why;
    if (LogFileWritable(fallbackDated, &why)) return true;
    refused << fallbackDated + QStringLiteral(" (") + why + QLatin1Char(')');
    return false;
  });
  if (!fallback.isEmpty()) {
    TakeFallbackLog(cx, fallback);
    const QString text = QStringLiteral("Warning: the log file ") + dated + QStringLiteral(" cannot be written (") + reason +
                         QStringLiteral(") - the log goes to ") + DatedLogFileName(fallback, today) +
                         QStringLiteral(" instead");
    LogMessage(cx, text);
    cx.ui->Warn(text, MsgIcon::Exclamation, cx.app.AppTitle);
    return true;
  }
  cx.ui->Warn(QStringLiteral("Error: no log file can be written: ") + refused.join(QStringLiteral("; ")) +
                  QStringLiteral(" - set TEMP to a folder you can write - cannot continue"),
              MsgIcon::Critical, cx.app.AppTitle);
  return false;
}

void TakeConfiguredLogPath(AppContext& cx) {
  const QString fallback = DefaultLogFile(cx.window.startup.TempFolder);
  QString base = GetAppSetting(cx, General, QStringLiteral("LogFile"), fallback);
  if (base.isEmpty()) base = fallback;
  cx.log.LogFileBase = base;
  cx.log.FallbackLogBases = FallbackLogBases();
  cx.ui->SetLogDirToolTip(base);
}

// False when no log can be written.
bool SetLogPath(AppContext& cx) {
  TakeConfiguredLogPath(cx);
  const QString& base = cx.log.LogFileBase;
  if (HasSwitch(cx, QStringLiteral("/P")) && QFileInfo(base).isFile()) cx.os->RemoveFile(base);
  return FallBackFromUnwritableLog(cx);
}

// Settings that cannot be saved would lose every choice made now without a word.
void TellUnwritableSettings(AppContext& cx) {
  if (cx.window.startup.SettingsWritable) return;
  const QString text = QStringLiteral("Warning: the settings cannot be saved to ") + SettingsStore::SettingsFile(ProductName) +
                       QStringLiteral(" - options changed now will not be kept");
  LogMessage(cx, text);
  cx.ui->Warn(text, MsgIcon::Exclamation, cx.app.AppTitle);
}

void LogStartLine(AppContext& cx) {
  const StartupState& st = cx.window.startup;
  SplashStatus(cx, QStringLiteral("Connecting to OpenText eDOCS ") + st.DMVersion + QStringLiteral(" patch ") + st.DMPatchLevel);
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  LogMessage(cx, BuildAndDate(cx) + QStringLiteral(" initiating startup on ") + LongNow() + QStringLiteral(" using DM ") +
                     st.DMVersion + QStringLiteral(" patch ") + st.DMPatchLevel);
  LogMessage(cx, HyphenLine);
}

// --- Steps 18 to 22: pause days, libraries, switches, rights ----------------------------------

void FillPauseDays(AppContext& cx) {
  RunOptions o = cx.ui->Options();
  o.pauseDayNames << QStringLiteral("Sunday") << QStringLiteral("Monday") << QStringLiteral("Tuesday")
                  << QStringLiteral("Wednesday") << QStringLiteral("Thursday") << QStringLiteral("Friday")
                  << QStringLiteral("Saturday");
  o.pauseDayChecked.clear();
  for (const QString& day : o.pauseDayNames)
    o.pauseDayChecked.push_back(ReadsAsTrue(GetAppSetting(cx, QStringLiteral("PauseTimer"), day, QStringLiteral("-1"))));
  cx.ui->SetOptions(o);
}

// One node per library with the placeholder child that its first expansion replaces, and one
// library menu item per library. No rules are loaded here.
void FillLibraries(AppContext& cx) {
  SplashStatus(cx, QStringLiteral("Setting Libraries"));
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries) throw DmCallFailure(ErrObjectNotSet, QStringLiteral("Stackwright"),
                                      QStringLiteral("Object variable or With block variable not set"));
  QStringList menu = cx.ui->LibraryMenu();
  const qint64 count = libraries->Count();
  for (qint64 n = 1; n <= count; ++n) {
    const dm::DmLibraryPtr library = libraries->Item(n);
    if (!library) throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Libraries"),
                                      QStringLiteral("Object variable or With block variable not set"));
    const QString name = library->Name();
    if (n - 1 < menu.size())
      menu[int(n - 1)] = name;
    else
      menu << name;
    const bool ticked = ReadsAsTrue(GetAppSetting(cx, QStringLiteral("Libraries"), name, QStringLiteral("-1")));
    const int node = cx.ui->AddRulesNode(-1, name, QString(), ticked);
    cx.ui->AddRulesNode(node, RulesPlaceholder, QString(), false);
  }
  if (count > 0) cx.ui->SetLibraryMenu(menu);
}

void ApplySessionSwitches(AppContext& cx) {
  SplashStatus(cx, QStringLiteral("Retrieving Session information"));
  if (HasSwitch(cx, QStringLiteral("/ADNF"))) {
    RunOptions o = cx.ui->Options();
    o.addNewDocs = true;
    cx.ui->SetOptions(o);
  }
  if (HasSwitch(cx, QStringLiteral("/E"))) cx.ui->SetDisplayErrors(true);
}

void ApplyLockSwitches(AppContext& cx) {
  if (HasSwitch(cx, QStringLiteral("/KX")))
    cx.window.UiLocked = false;
  else if (HasSwitch(cx, QStringLiteral("/K")))
    cx.window.UiLocked = true;
  SplashStatus(cx, QStringLiteral("Checking Lock Status"));
  ApplyLockStatus(cx);
}

QString RightsQuery(const QString& user) {
  return QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM "
                        "[OWNER].PEOPLE WHERE UPPER(USER_ID) = '") +
         StripQuotes(user.toUpper()) +
         QStringLiteral("') AND GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE UNIV_ACCESS >= 191)");
}

// True when the user belongs to a group with universal access of at least 191.
bool UserMayRun(AppContext& cx) {
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  if (!library) throw DmCallFailure(ErrObjectNotSet, QStringLiteral("Stackwright"),
                                    QStringLiteral("Object variable or With block variable not set"));
  const QString user = library->UserName();
  SplashStatus(cx, QStringLiteral("Verifying rights for ") + user + QStringLiteral(" in library ") + library->Name());
  double count = 0;
  if (RunSQL(cx, RightsQuery(user)) && cx.session.pSQL) {
    count = NumericValue(cx.session.pSQL->ColumnValue(1));
    cx.session.pSQL->ReleaseResults();
  }
  return count != 0;
}

// --- Steps 23 to 25: claims, monitor, the main window, /G -------------------------------------

void Activate(AppContext& cx) {
  cx.session.MachineName = GetMachineName(cx);
  ActiveStatus(cx, DropClaims, QString());
  SplashStatus(cx, QStringLiteral("Activating the main form"));
  cx.run.MonitorActive = true;
  InitMonitorMessages(cx);
  SaveAppSetting(cx, General, QStringLiteral("IsRunning"), QStringLiteral("0"));
}

// /L or /NL, /V or /NV, /W or /NW, in that order; of a pair that is present, the first wins.
void ApplyRunSwitches(AppContext& cx) {
  RunOptions o = cx.ui->Options();
  if (HasSwitch(cx, QStringLiteral("/L")))
    o.loop = true;
  else if (HasSwitch(cx, QStringLiteral("/NL")))
    o.loop = false;
  cx.ui->SetOptions(o);
  if (HasSwitch(cx, QStringLiteral("/V")))
    cx.ui->SetVerboseLogging(true);
  else if (HasSwitch(cx, QStringLiteral("/NV")))
    cx.ui->SetVerboseLogging(false);
  o = cx.ui->Options();
  if (HasSwitch(cx, QStringLiteral("/W")))
    o.lockWorkstation = true;
  else if (HasSwitch(cx, QStringLiteral("/NW")))
    o.lockWorkstation = false;
  cx.ui->SetOptions(o);
}

void ShowMainWindow(AppContext& cx) {
  Resume([&] { cx.ui->ShowSplash(false); });
  cx.window.startup.ReadmePath = ProgramFolder(cx) + QLatin1Char('/') + ReadmeName;
  if (!QFileInfo::exists(cx.window.startup.ReadmePath)) cx.ui->SetReadmeMenuVisible(false);
  cx.ui->ClearResults();
  cx.app.StatusOwnerForm = StatusWindow::Main;
  cx.ui->SetMainVisible(true);
  cx.ui->SetMainEnabled(true);
  cx.ui->SetWindowFocus(Ui::FocusTarget::MainWindow);
  cx.ui->PumpMessages();
  cx.app.IdleStatus = QStringLiteral("Waiting for user input");
  cx.ui->SetStatusLabel(StatusWindow::Main, cx.app.IdleStatus);
  cx.ui->SetMousePointer(Pointer::Default);
  cx.ui->PumpMessages();
  LogMessage(cx, BuildAndDate(cx) + QStringLiteral(" Started on ") + LongNow());
  LogMessage(cx, HyphenLine);
  cx.ui->SetWindowFocus(Ui::FocusTarget::GoButton);
  ApplyRunSwitches(cx);
  cx.ui->SetWindowFocus(Ui::FocusTarget::MainWindow);
}

StartupEnd RunStartup(AppContext& cx) {
  NameTheApplication(cx);
  Resume([&] { RegisterApiInterface(cx); });
  Resume([&] { RegisterClassLibrary(cx); });
  BeginWork(cx);
  LearnVersions(cx);
  ShowSplashWindow(cx);
  PlaceMainWindow(cx);
  TakeCommandLine(cx);
  if (!SetLogPath(cx)) return StartupEnd::NoLog;
  TellUnwritableSettings(cx);
  SplashStatus(cx, QStringLiteral("Retrieving basic configuration settings"));
  LoadAllSettings(cx);
  LogStartLine(cx);
  if (cx.libraryChooser && cx.dm) cx.dm->libraryChooser = cx.libraryChooser;
  if (!StartFusion(cx)) return StartupEnd::SessionFailed;
  FillPauseDays(cx);
  FillLibraries(cx);
  ApplySessionSwitches(cx);
  ApplyLockSwitches(cx);
  if (!UserMayRun(cx)) return StartupEnd::RightsFailed;
  Activate(cx);
  ShowMainWindow(cx);
  return StartupEnd::Normal;
}

// --- Ways out ----------------------------------------------------------------------------------

QString OwnerStatus(AppContext& cx) { return cx.ui->StatusLabel(StatusCaptionWindow(cx)); }

void SessionFailed(AppContext& cx) {
  const StartupState& st = cx.window.startup;
  const QString text = QStringLiteral("Error: Unable to start the DM ") + st.DMVersion + QStringLiteral(" (patch ") +
                       st.DMPatchLevel + QStringLiteral(") application (") + OwnerStatus(cx) +
                       QStringLiteral(") - I will end the program now");
  cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
}

void RightsFailed(AppContext& cx) {
  cx.ui->MessageBox(QStringLiteral("Error: You are not a member of any groups with Universal Access >= 191. This is a "
                                   "requirement for running ") +
                        ProductName,
                    MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
}

void UnexpectedError(AppContext& cx, qint64 number, const QString& source, const QString& description) {
  Resume([&] {
    if (cx.app.StatusOwnerForm == StatusWindow::None) cx.app.StatusOwnerForm = StatusWindow::Main;
    LogMessage(cx, HyphenLine);
    LogMessage(cx, QStringLiteral("Form_Load:"));
    ReportError(cx, number, source, description);
    LogMessage(cx, HyphenLine);
  });
}

// After an unexpected error the closing box also says what failed (`failure`), so the user need not
// look for it in the log.
[[noreturn]] void CommonEnding(AppContext& cx, StartupEnd end, const QString& failure) {
  Resume([&] {
    if (cx.app.StatusOwnerForm == StatusWindow::None) cx.app.StatusOwnerForm = StatusWindow::Main;
    if (end != StartupEnd::Unexpected) LogMessage(cx, HyphenLine);
    QString closing = OwnerStatus(cx);
    if (closing.isEmpty()) closing = QStringLiteral("Starting ") + ProductName;
    if (!failure.isEmpty()) closing += QLatin1Char('\n') + failure;
    // These two have said why in their own box.
    if (end != StartupEnd::SessionFailed && end != StartupEnd::NoLog)
      cx.ui->MessageBox(closing, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
  });
  Form_Unload(cx, 0);
  // Form_Unload ends the program unless a task still runs; start-up ends it all the same.
  EndProgram(cx);
}

}  // namespace

bool FindLogBeforeStartup(AppContext& cx) {
  cx.window.startup.TempFolder = TempFolder(cx);
  TakeConfiguredLogPath(cx);
  return FallBackFromUnwritableLog(cx);
}

void Form_Load(AppContext& cx) {
  StartupEnd end = StartupEnd::Unexpected;
  QString failure;
  cx.window.startup.Running = true;
  try {
    end = RunStartup(cx);
  } catch (const DmCallFailure& e) {
    failure = e.Description();
    UnexpectedError(cx, e.Number(), e.Source(), failure);
  } catch (const std::exception& e) {
    failure = QString::fromLocal8Bit(e.what());
    UnexpectedError(cx, ErrAutomation, QStringLiteral("Stackwright"), failure);
  }
  cx.window.startup.Running = false;
  if (end == StartupEnd::Normal) {
    // The run of /G happens inside start-up; with /X it ends the program itself.
    if (HasSwitch(cx, QStringLiteral("/G"))) Button_Go_Click(cx);
    return;
  }
  cx.window.startup.Failed = true;
  if (end == StartupEnd::SessionFailed) Resume([&] { SessionFailed(cx); });
  if (end == StartupEnd::RightsFailed) Resume([&] { RightsFailed(cx); });
  CommonEnding(cx, end, failure);
}

}  // namespace sw
