// "Special Functions": fills the current library's CLIENT and MATTER tables with numbered test
// rows, each client given an industry and each matter a practice in turn from the ids the
// library holds. Stops after the current client or matter when a stop is requested.
#include "admin/test_data_generator.h"

#include <QCoreApplication>
#include <vector>

#include "admin/admin.h"
#include "admin/tool_steps.h"
#include "core/library_checks.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw {

namespace admin {

namespace {

// Ids handed out in turn: after the last comes the first again.
class Turns {
 public:
  explicit Turns(std::vector<qint64> ids) : ids_(std::move(ids)) {}
  bool Empty() const { return ids_.empty(); }
  qint64 Next() {
    const qint64 id = ids_[next_];
    next_ = (next_ + 1) % ids_.size();
    return id;
  }

 private:
  std::vector<qint64> ids_;
  size_t next_ = 0;
};

// The non-zero SYSTEM_ID values of a table, in the order the query gives them.
std::vector<qint64> FetchIds(RunContext& cx, const QString& status, const QString& table) {
  std::vector<qint64> ids;
  SetStatus(cx, status);
  LogMessage(cx, HyphenLine);
  RunSQL(cx, QStringLiteral("SELECT SYSTEM_ID FROM [OWNER].") + table);
  if (!cx.session.pSQL) return ids;
  dm::PcdSql& result = *cx.session.pSQL;
  if (result.RowCount() > 0) {
    do {
      const qint64 id = qRound64(NumericValue(result.ColumnValue(1)));
      if (id != 0) ids.push_back(id);
    } while (result.NextRow() != 0);
  }
  result.ReleaseResults();
  return ids;
}

// A key from the SQL object; 0 when none could be drawn.
qint64 DrawKey(RunContext& cx) {
  if (!cx.session.pSQL) return 0;
  try {
    return cx.session.pSQL->NextKey(QStringLiteral("SYSTEMKEY"));
  } catch (const std::exception&) {
    return 0;
  }
}

void ShowStopped(RunContext& cx, const QString& text) {
  cx.ui->MessageBox(text, MsgIcon::None, MsgButtons::OK, DefaultApplicationTitle());
}

struct Generation {
  RunContext& cx;
  Turns industries;
  Turns practices;
  qint64 start = 0;
  // The rows really written: what the user is told, whatever client the stop came at.
  qint64 clientsWritten = 0;
  qint64 mattersWritten = 0;
};

QString WrittenText(const Generation& g, bool withMatters) {
  QString text = FormatNumber(g.clientsWritten) + QStringLiteral(" client(s) ");
  if (withMatters) text += QStringLiteral("and ") + FormatNumber(g.mattersWritten) + QStringLiteral(" matter(s) ");
  return text + QStringLiteral("created starting at ") + FormatNumber(g.start);
}

// One client's matters. False when a stop was requested.
bool WriteMatters(Generation& g, qint64 clientKey, const QString& clientName) {
  for (int matter = 1; matter <= GeneratedMattersPerClient; ++matter) {
    const qint64 practice = g.practices.Next();
    const QString matterId = PaddedNumber(matter, 3);
    const qint64 key = DrawKey(g.cx);
    if (key != 0 &&
        RunAndRelease(g.cx, QStringLiteral("INSERT INTO [OWNER].MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME, "
                                         "PRACTICE_ID) VALUES(") +
                              FormatNumber(key) + QStringLiteral(", ") + FormatNumber(clientKey) + QStringLiteral(", '") +
                              matterId + QStringLiteral("', '") + clientName + QStringLiteral(" Matter ") + matterId +
                              QStringLiteral("', ") + FormatNumber(practice) + QStringLiteral(")")))
      ++g.mattersWritten;
    g.cx.ui->PumpMessages();
    if (g.cx.run.StopRequested) {
      ShowStopped(g.cx, WrittenText(g, true));
      return false;
    }
  }
  return true;
}

// One client and its matters. False when a stop was requested.
bool WriteClient(Generation& g, qint64 clientNumber) {
  const qint64 industry = g.industries.Next();
  const QString clientId = PaddedNumber(clientNumber, 4);
  const QString clientName = QStringLiteral("Client ") + clientId;
  const qint64 key = DrawKey(g.cx);
  SetStatusCaption(g.cx, QStringLiteral("Processing client ") + FormatNumber(clientNumber) + QStringLiteral(" of ") +
                             FormatNumber(g.start + GeneratedClientsAfterFirst));
  const bool written =
      key != 0 &&
      RunAndRelease(g.cx, QStringLiteral("INSERT INTO [OWNER].CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME, INDUSTRY_ID) VALUES(") +
                              FormatNumber(key) + QStringLiteral(", '") + clientId + QStringLiteral("', '") + clientName +
                              QStringLiteral("', ") + FormatNumber(industry) + QStringLiteral(")"));
  if (written) ++g.clientsWritten;
  if (g.cx.run.StopRequested) {
    ShowStopped(g.cx, WrittenText(g, g.mattersWritten > 0));
    return false;
  }
  if (!written) {
    // Matters of a client that was not written would point at no client.
    LogMessage(g.cx, QStringLiteral("Warning: Client ") + clientId +
                         (key == 0 ? QStringLiteral(" got no key") : QStringLiteral(" could not be written")) +
                         QStringLiteral(" - its matters are not created"));
    g.cx.ui->PumpMessages();
    return true;
  }
  return WriteMatters(g, key, clientName);
}

// The lists must both hold ids before any row is written: every row takes one of each.
bool HaveIds(RunContext& cx, const Turns& turns, const QString& table) {
  if (!turns.Empty()) return true;
  const QString text = QStringLiteral("Error: No ") + table + QStringLiteral(" ids found in library ") +
                       CurrentLibraryNameOrEmpty(cx) + QStringLiteral(" - cannot continue");
  LogMessage(cx, text);
  cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
  return false;
}

// The generator writes a hundred thousand rows into whatever library is current: the user sees
// which, and how many, before anything is written.
bool WritingAgreed(RunContext& cx, qint64 start) {
  const qint64 clients = GeneratedClientsAfterFirst + 1;
  const qint64 matters = clients * GeneratedMattersPerClient;
  const QString text = QStringLiteral("Test data will be written into library ") + CurrentLibraryNameOrEmpty(cx) + QStringLiteral(": ") +
                       FormatNumber(clients) + QStringLiteral(" clients (") + PaddedNumber(start, 4) + QStringLiteral(" to ") +
                       PaddedNumber(start + GeneratedClientsAfterFirst, 4) + QStringLiteral(") in CLIENT and ") +
                       FormatNumber(matters) + QStringLiteral(" matters in MATTER. Write them?");
  return cx.ui->MessageBox(text, MsgIcon::Question, MsgButtons::YesNoDefaultNo, cx.app.AppTitle) == MsgResult::Yes;
}

void Generate(RunContext& cx) {
  Generation g{cx, Turns(FetchIds(cx, QStringLiteral("Fetching Industries"), QStringLiteral("INDUSTRY"))),
               Turns(FetchIds(cx, QStringLiteral("Fetching Practices"), QStringLiteral("PRACTICE")))};
  if (!HaveIds(cx, g.industries, QStringLiteral("INDUSTRY")) || !HaveIds(cx, g.practices, QStringLiteral("PRACTICE")))
    return;
  // Only whole numbers make client numbers; a fraction is rounded as the number formats would.
  g.start = qRound64(NumericValue(cx.ui->InputBox(QStringLiteral("Enter the starting client id:"), cx.app.AppTitle,
                                                  QStringLiteral("0"))));
  if (g.start == 0) return;
  if (!WritingAgreed(cx, g.start)) return;
  for (qint64 client = g.start; client <= g.start + GeneratedClientsAfterFirst; ++client)
    if (!WriteClient(g, client)) return;
}

}  // namespace

QString PaddedNumber(qint64 n, int digits) {
  const QString digitsText = QString::number(n < 0 ? -n : n).rightJustified(digits, QLatin1Char('0'));
  return n < 0 ? QStringLiteral("-") + digitsText : digitsText;
}

QString DefaultApplicationTitle() { return QCoreApplication::applicationName(); }

}  // namespace admin

void MNSpecialFunctions_Click(RunContext& cx) {
  const ScreenGuard caption(
      cx, ScreenParts{.library = false, .status = true, .statusWindow = StatusCaptionWindow(cx), .idleStatus = true});
  // A run the generator was opened in gets back its flags (a stop asked of it included) and the
  // controls as they were. While the generator works, nothing else can be started and Exit asks
  // it to stop.
  const bool taskRunning = cx.run.TaskRunning, stopRequested = cx.run.StopRequested;
  // Opened between cycles of a looping run: while the generator works, Exit must stop it, not
  // end the run's wait; the wait goes on afterwards.
  const bool inLoopDelay = cx.run.InLoopDelay;
  cx.run.InLoopDelay = false;
  const bool exitEnabled = cx.ui->ExitEnabled();
  const admin::HeldControls controls(cx);
  cx.ui->SetExitEnabled(true);
  cx.ui->SetStatusColour(StatusColourCycle);
  cx.run.TaskRunning = true;
  cx.run.StopRequested = false;
  admin::TrapErrors(cx, [&] { admin::Generate(cx); });
  cx.ui->SetStatusColour(StatusColourEnd);
  cx.run.TaskRunning = taskRunning;
  cx.run.StopRequested = stopRequested;
  cx.run.InLoopDelay = inLoopDelay;
  cx.ui->SetExitEnabled(exitEnabled);
}

}  // namespace sw
