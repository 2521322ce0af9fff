#include "core/session.h"

#include <QLocale>

#include "core/context.h"
#include "core/library.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/os/os.h"

namespace sw {

namespace {

const QLocale& EnglishLocale() {
  static const QLocale english(QLocale::English, QLocale::UnitedStates);
  return english;
}

// Uses an object reference the way a late-bound call would: a missing object is a run-time
// failure of the caller, not a crash.
template <class T>
T& Need(Context& cx, const std::shared_ptr<T>& object) {
  if (!object) throw DmCallFailure(ErrObjectNotSet, cx.app.AppTitle, QStringLiteral("Object variable or With block variable not set"));
  return *object;
}

// Runs one statement of a procedure that continues past failing statements.
template <class F>
void Resume(F&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
  }
}

dm::DmSessionHelperPtr& SessionHelper(Context& cx) {
  auto& helper = cx.session.SessionHelper;
  if (!helper && cx.dm) helper = cx.dm->CreateSessionHelper();  // made when first used
  return helper;
}

void MessageBoxOK(Context& cx, const QString& text, MsgIcon icon) {
  cx.ui->MessageBox(text, icon, MsgButtons::OK, cx.app.AppTitle);
}

// --- CheckFusion ----------------------------------------------------------------------------

// Rebuilds the application object for the library switch. False when it cannot be made.
bool RecreateApplication(Context& cx, const QString& callerName) {
  auto& s = cx.session;
  SetStatus(cx, QStringLiteral("CheckFusion is Re-Creating Fusion Application Object"));
  Resume([&] { if (cx.dm) s.FusionApplication = cx.dm->CreateApplication(QStringLiteral("DOCSObjects.Application")); });
  LogMessage(cx, HyphenLine);
  if (!s.FusionApplication) {
    const QString text = QStringLiteral("Error: Unable to set FUSION object for ") + callerName;
    LogMessage(cx, text);
    cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return false;
  }
  Resume([&] { s.FusionApplication->Login(cx.ui->WindowHandle()); });
  SetStatus(cx, QStringLiteral("Logging in to the DM Server for ") + callerName);
  Resume([&] { s.FusionSecurityToken = s.FusionApplication->Token(); });
  LogMessage(cx, HyphenLine);
  return true;
}

// Rebuilds the SQL object for RunSQL and binds it to the session and the current library.
// False when it cannot be made.
bool RecreatePcdSql(Context& cx, const QString& callerName) {
  auto& s = cx.session;
  LogMessage(cx, QStringLiteral("CheckFusion is Re-Setting PCDClient.PCDSQL Object"));
  Resume([&] { if (cx.dm) s.pSQL = cx.dm->CreatePcdSql(QStringLiteral("PCDClient.PCDSQL")); });
  LogMessage(cx, HyphenLine);
  if (!s.pSQL) {
    LogMessage(cx, QStringLiteral("Error: Unable to set SQL object for ") + callerName);
    LogMessage(cx, HyphenLine);
    return false;
  }
  LogMessage(cx, QStringLiteral("Setting pSQL DST for ") + callerName);
  Resume([&] { s.pSQL->SetToken(s.FusionApplication->Token()); });
  LogMessage(cx, HyphenLine);
  QString name;
  Resume([&] {
    if (s.CurrentLibrary)
      name = s.CurrentLibrary->Name();
    else
      name = Need(cx, s.FusionApplication->CurrentLibrary()).Name();
  });
  LogMessage(cx, QStringLiteral("Setting pSQL library to ") + name + QStringLiteral(" for ") + callerName);
  Resume([&] { s.pSQL->SetLibrary(name); });
  LogMessage(cx, HyphenLine);
  Resume([&] { s.DatabaseEngine = s.pSQL->DatabaseVendor(); });
  return true;
}

// The checks every caller gets. False at the first that fails (reported in the status line).
bool SessionObjectsUsable(Context& cx, const QString& callerName) {
  auto& s = cx.session;
  if (!s.FusionApplication) {
    SetStatus(cx, QStringLiteral("Error: Fusion object is not set for ") + callerName);
    return false;
  }
  QString token;
  Resume([&] { token = s.FusionApplication->Token(); });
  if (TrimBlanks(token).isEmpty()) {
    SetStatus(cx, QStringLiteral("Error: Fusion object security token is blank for ") + callerName);
    return false;
  }
  if (!s.FusionLibraries) {
    SetStatus(cx, QStringLiteral("Resetting Libs Object for ") + callerName);
    Resume([&] { s.FusionLibraries = s.FusionApplication->Libraries(); });
    LogMessage(cx, HyphenLine);
  }
  if (!s.FusionLibraries) {
    SetStatus(cx, QStringLiteral("Error: Libs object is not set for ") + callerName);
    return false;
  }
  qint64 count = 0;
  Resume([&] { count = s.FusionLibraries->Count(); });
  if (count <= 0) {
    SetStatus(cx, QStringLiteral("Error: Libs object returns no libraries for ") + callerName);
    return false;
  }
  return true;
}

// Tells the user and offers to end the program. Returns only when the user keeps it running.
void CheckFusionFailed(Context& cx, const QString& callerName) {
  LogMessage(cx, HyphenLine);
  const QDateTime now = QDateTime::currentDateTime();
  const QString text = QStringLiteral("Error: CheckFusion failed on ") + callerName + QStringLiteral(" on ") +
                       LongDateText(now.date()) + QStringLiteral(" at ") + AmPmTimeText(now.time());
  LogMessage(cx, text);
  LogMessage(cx, HyphenLine);
  const QString question = text + QStringLiteral("\n\nDo you want to exit ") + ProductName + QStringLiteral(" now?");
  if (cx.ui->MessageBox(question, MsgIcon::Exclamation, MsgButtons::YesNo, cx.app.AppTitle) == MsgResult::Yes)
    cx.EndProgram();
}

// --- StartFusion ----------------------------------------------------------------------------

// The session as the first way makes it: a new application instance and the session helper.
// Any failure throws; the caller then tries the second way.
void StartFirstWay(Context& cx) {
  auto& s = cx.session;
  cx.ui->SetMousePointer(Pointer::Hourglass);
  SetStatus(cx, QStringLiteral("Starting DM Application Object ") + Need(cx, SessionHelper(cx)).Describe());
  s.FusionApplication = cx.dm ? cx.dm->NewApplication() : nullptr;
  if (!s.FusionApplication)
    throw DmCallFailure(ErrCannotCreateObject, cx.app.AppTitle, QStringLiteral("ActiveX component can't create object"));
  LogMessage(cx, HyphenLine);
  SetStatus(cx, QStringLiteral("Logging on to DM Session library ") + Need(cx, s.FusionApplication->CurrentLibrary()).Name());
  Need(cx, SessionHelper(cx)).Start();
  LogMessage(cx, HyphenLine);
  s.FusionApplication->Login(cx.ui->WindowHandle());
}

// The second way, through the DM browser object. False for a session without a token (already
// reported); any other failure throws.
bool StartSecondWay(Context& cx) {
  auto& s = cx.session;
  SetStatus(cx, QStringLiteral("Starting DM Browser Object"));
  dm::DmBrowserPtr browser = cx.dm ? cx.dm->CreateBrowser() : nullptr;
  if (!browser) throw DmCallFailure(ErrCannotCreateObject, cx.app.AppTitle, QStringLiteral("ActiveX component can't create object"));
  browser->Open(SessionHelper(cx), nullptr);  // the browser host is never set
  LogMessage(cx, HyphenLine);
  SetStatus(cx, QStringLiteral("Creating Fusion Application Object"));
  s.FusionApplication = cx.dm->CreateApplication(QStringLiteral("DOCSObjects.Application"));
  if (!s.FusionApplication)
    throw DmCallFailure(ErrCannotCreateObject, cx.app.AppTitle, QStringLiteral("ActiveX component can't create object"));
  LogMessage(cx, HyphenLine);
  s.FusionApplication->Login(cx.ui->WindowHandle());
  cx.ui->SetMousePointer(Pointer::Hourglass);
  SetStatus(cx, QStringLiteral("Logging in to the Fusion Server"));
  s.FusionSecurityToken = s.FusionApplication->Token();
  LogMessage(cx, HyphenLine);
  if (!s.FusionSecurityToken.isEmpty()) return true;
  const QString text = QStringLiteral("Error: Unable to set Fusion Security Token - cannot start ") + ProductName;
  LogMessage(cx, text);
  MessageBoxOK(cx, text, MsgIcon::Critical);
  s.FusionApplication.reset();
  return false;
}

void CannotStart(Context& cx, const QString& text) {
  LogMessage(cx, text);
  MessageBoxOK(cx, text, MsgIcon::Critical);
}

// The libraries, the starting library and its connection. False for a failure already reported
// (or by ConnectLibrary); a run-time failure throws.
bool ConnectStartingLibrary(Context& cx) {
  auto& s = cx.session;
  cx.ui->SetMousePointer(Pointer::Hourglass);
  SetStatus(cx, QStringLiteral("Setting Fusion Libraries Object"));
  if (s.FusionApplication) s.FusionLibraries = s.FusionApplication->Libraries();
  LogMessage(cx, HyphenLine);
  if (!s.FusionLibraries) {
    CannotStart(cx, QStringLiteral("Error: Unable to set LIBS object - cannot start ") + ProductName);
    return false;
  }
  cx.ui->SetMousePointer(Pointer::Hourglass);
  SetStatus(cx, QStringLiteral("Identifying CurrentLibrary Object"));
  dm::DmLibraryPtr starting = Need(cx, s.FusionApplication).CurrentLibrary();
  if (!starting) {
    LogMessage(cx, HyphenLine);
    CannotStart(cx, QStringLiteral("Error: Unable to identify CurrentLibrary object - cannot start ") + ProductName);
    return false;
  }
  LogMessage(cx, HyphenLine);
  cx.ui->SetMousePointer(Pointer::Hourglass);
  const QString name = starting->Name();
  SetStatus(cx, QStringLiteral("Connecting to current library ") + name);
  LogMessage(cx, HyphenLine);
  if (!ConnectLibrary(cx, name)) return false;
  SetStatus(cx, QStringLiteral("Fusion started with connection to ") + Need(cx, s.FusionApplication->CurrentLibrary()).Name());
  LogMessage(cx, HyphenLine);
  return true;
}

struct PendingFailure {
  bool pending = false;
  qint64 number = 0;
  QString source;
  QString description;
};

PendingFailure FailureOf(const DmCallFailure& e) { return {true, e.Number(), e.Source(), e.Description()}; }

void StartFusionFailed(Context& cx, const PendingFailure& failure) {
  Resume([&] {
    LogMessage(cx, HyphenLine);
    LogMessage(cx, QStringLiteral("StartFusion:"));
    if (failure.pending)
      ReportError(cx, failure.number, failure.source, failure.description);
    else
      ReportError(cx, 0, QString(), QString());
  });
}

}  // namespace

QString LongDateText(const QDate& date) { return EnglishLocale().toString(date, QStringLiteral("dddd, MMMM d, yyyy")); }
QString AmPmTimeText(const QTime& time) { return EnglishLocale().toString(time, QStringLiteral("hh:mm:ss AP")); }
QString LongTimeText(const QTime& time) { return EnglishLocale().toString(time, QStringLiteral("h:mm:ss AP")); }

bool CheckFusion(Context& cx, const QString& callerName) {
  auto& s = cx.session;
  // Asked before every statement and library switch: the name is compared without regard to case,
  // not upper-cased into a copy.
  const auto is = [&](QLatin1StringView name) { return callerName.compare(name, Qt::CaseInsensitive) == 0; };
  bool ok = true;
  if (!s.FusionApplication && is(QLatin1String("CONNECTLIBRARY"))) ok = RecreateApplication(cx, callerName);
  if (ok) ok = SessionObjectsUsable(cx, callerName);
  if (ok && !s.pSQL && is(QLatin1String("RUNSQL"))) ok = RecreatePcdSql(cx, callerName);
  if (ok) return true;
  if (callerName == QLatin1String("ActiveStatus")) return false;
  CheckFusionFailed(cx, callerName);
  return false;
}

QString GetMachineName(Context& cx) {
  // The system call fills a buffer of 255 characters; a longer name does not fit and reads as none.
  const QString name = cx.os ? cx.os->ComputerName() : QString();
  if (name.size() >= 255) return QString();
  const qsizetype nul = name.indexOf(QChar(0));
  return nul >= 0 ? name.left(nul) : name;
}

bool StartFusion(Context& cx) {
  // A session that cannot start is one failure, however many steps report it.
  const OneFailure unit(cx);
  const Pointer remembered = cx.ui->MousePointer();
  bool result = false;
  PendingFailure failure;
  bool started = false;
  try {
    StartFirstWay(cx);
    started = true;
  } catch (const std::exception&) {
    // Nothing is reported for the first way: the second way is the fallback.
  }
  try {
    if (!started) started = StartSecondWay(cx);
    result = started && ConnectStartingLibrary(cx);
  } catch (const DmCallFailure& e) {
    failure = FailureOf(e);
  } catch (const std::exception& e) {
    failure = {true, ErrAutomation, cx.app.AppTitle, QString::fromStdString(e.what())};
  }
  if (!result) StartFusionFailed(cx, failure);
  cx.ui->SetMousePointer(remembered);
  cx.ui->PumpMessages();
  return result;
}

bool SelectLibrary(Context& cx) {
  auto& s = cx.session;
  qint64 count = 0;
  Resume([&] { count = Need(cx, s.FusionLibraries).Count(); });
  if (count < 2) return true;
  dm::DmLibraryPtr chosen;
  Resume([&] { chosen = Need(cx, s.FusionApplication).ChooseLibrary(); });
  if (!chosen) {
    MessageBoxOK(cx, QStringLiteral("Selection canceled"), MsgIcon::Information);
    return false;
  }
  QString name;
  Resume([&] { name = chosen->Name(); });
  if (ConnectLibrary(cx, name)) return true;
  MessageBoxOK(cx, QStringLiteral("Error: Unable to connect to library ") + name, MsgIcon::Critical);
  return false;
}

}  // namespace sw
