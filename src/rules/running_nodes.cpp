#include "rules/running_nodes.h"

#include <optional>
#include <vector>

#include "core/context.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw {

namespace {

// The claim rows; %1 takes the table's locking hints.
const QString kClaimRows = QStringLiteral(
    "FROM [OWNER].TARN_SETTINGS%1 WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'STACKWRIGHT' AND "
    "SUB_KEY = 'RUNNING_NODES'");

// Restores the verbose-logging box however the operation ends.
class VerboseLoggingGuard {
 public:
  explicit VerboseLoggingGuard(Context& cx) : cx_(cx), remembered_(cx.ui->VerboseLogging()) {
    // Unless errors are to be shown, only this operation's errors and warnings reach the log.
    if (!cx.ui->DisplayErrors()) cx.ui->SetVerboseLogging(false);
  }
  ~VerboseLoggingGuard() { cx_.ui->SetVerboseLogging(remembered_); }
  VerboseLoggingGuard(const VerboseLoggingGuard&) = delete;
  VerboseLoggingGuard& operator=(const VerboseLoggingGuard&) = delete;

 private:
  Context& cx_;
  bool remembered_;
};

// A claim as the warnings given keep it: "LIBRARY:rule".
QString ClaimKey(const QString& library, const QString& rule) { return library + QLatin1Char(':') + rule; }

// Drops this computer's claims and the claim rows that have no value or no time. The node is
// compared as an exact prefix, not as a LIKE pattern, so that "PC_1" never matches "PCA1". False
// when the database refused the drop (another writer held the library past the busy timeout).
// Only rows to drop need the write lock: with none, another writer's lock costs neither a wait
// nor an error.
bool DropOwnClaims(Context& cx, const QString& node) {
  const QString prefix = StripQuotes(node) + QStringLiteral(":");
  const qint64 prefixLength = QString(prefix).replace(QStringLiteral("''"), QStringLiteral("'")).size();
  const QString substring = IsOracleEngine(cx.session.DatabaseEngine) ? QStringLiteral("SUBSTR") : QStringLiteral("SUBSTRING");
  const QString rows = kClaimRows.arg(QString()) + QStringLiteral(" AND ((") + substring + QStringLiteral("(CHAR_VAL, 1, ") +
                       FormatNumber(prefixLength) + QStringLiteral(") = '") + prefix +
                       QStringLiteral("' OR CHAR_VAL IS NULL) OR DATE_VAL IS NULL)");
  const SqlAnswer left = QueryFirstValue(cx, QStringLiteral("SELECT COUNT(*) ") + rows);
  if (left.succeeded && WholeNumber(left.value) == 0) return true;
  return RunAndRelease(cx, QStringLiteral("DELETE ") + rows);
}

// The first claim on the rule by a computer other than `node`. Inside the claim's transaction the
// rows read stay locked until it ends (on SQL Server by the hints; Oracle locks the table first).
std::optional<ClaimOfAnother> FindOtherClaim(Context& cx, const QString& node, const QString& ruleName, bool locking) {
  const bool sqlServer = !IsOracleEngine(cx.session.DatabaseEngine);
  const QString from = locking && sqlServer ? kClaimRows.arg(QStringLiteral(" WITH (UPDLOCK, HOLDLOCK)")) : kClaimRows.arg(QString());
  RunSQL(cx, QStringLiteral("SELECT CHAR_VAL, DATE_VAL ") + from);
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!sql) return std::nullopt;
  if (sql->RowCount() == 0) {
    sql->ReleaseResults();
    return std::nullopt;
  }
  const QString self = node.toUpper();
  const QString wanted = ruleName.toUpper();
  std::optional<ClaimOfAnother> found;
  do {
    const QString value = sql->ColumnValue(1);
    if (TrimBlanks(value).isEmpty()) continue;
    const RunningNodeValue claim = SplitRunningNodeValue(value);
    if (claim.rule != wanted || claim.node == self) continue;
    found = ClaimOfAnother{claim.node, sql->ColumnValue(2)};
    break;
  } while (sql->NextRow() != 0);
  sql->ReleaseResults();
  return found;
}

void LogOtherClaim(Context& cx, const ClaimOfAnother& claim, const QString& ruleName, const QString& library) {
  cx.session.HeldBy = claim;
  LogMessage(cx, QStringLiteral("Computer ") + claim.node + QStringLiteral(" is actively working on rule ") + ruleName +
                     QStringLiteral(" in library ") + library + QStringLiteral(" since ") + claim.since);
  LogMessage(cx, HyphenLine);
}

// True when a computer other than `node` claims the rule; logs who and since when.
bool OtherNodeClaims(Context& cx, const QString& node, const QString& ruleName, const QString& library) {
  LogMessage(cx, QStringLiteral("Determining whether another computer is actively working on rule ") + ruleName +
                     QStringLiteral(" in library ") + library);
  LogMessage(cx, HyphenLine);
  const std::optional<ClaimOfAnother> claim = FindOtherClaim(cx, node, ruleName, false);
  if (claim) LogOtherClaim(cx, *claim, ruleName, library);
  return claim.has_value();
}

// The test and the claim as one unit of work, so that two computers can never both win the rule:
// the claim is written only when no other computer's claim stands, and the rows are held from
// the test to the end. True when another computer holds the rule; a claim that cannot be written
// leaves the rule unclaimed, and the rule is worked on all the same.
bool ClaimUnlessHeld(Context& cx, const QString& node, const QString& ruleName, const QString& library) {
  const bool oracle = IsOracleEngine(cx.session.DatabaseEngine);
  const SqlTransaction claim = BeginTransaction(cx);
  if (claim.Opened && oracle) RunAndRelease(cx, QStringLiteral("LOCK TABLE [OWNER].TARN_SETTINGS IN EXCLUSIVE MODE"));
  if (const std::optional<ClaimOfAnother> other = FindOtherClaim(cx, node, ruleName, claim.Opened)) {
    LogOtherClaim(cx, *other, ruleName, library);
    EndTransaction(cx, claim, false);
    return true;
  }
  const bool written =
      RunAndRelease(cx, QStringLiteral("INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
                                       "VALUES('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', '") +
                            StripQuotes(node) + QStringLiteral(":") + StripQuotes(ruleName) + QStringLiteral("', ") +
                            (oracle ? QStringLiteral("SYSDATE") : QStringLiteral("GETDATE()")) + QStringLiteral(")"));
  const bool stands = claim.Opened ? EndTransaction(cx, claim, written) : written;
  if (stands) {
    QStringList& claimed = cx.session.ClaimLibraries[library.toUpper()];
    if (!claimed.contains(ruleName)) claimed << ruleName;
    cx.ClaimsChanged();
  }
  return false;
}

// The claims of the library are gone: a claim taken there again and left is named again.
void ForgetClaims(Context& cx, const QString& library) {
  const auto claims = cx.session.ClaimLibraries.find(library);
  if (claims == cx.session.ClaimLibraries.end()) return;
  for (const QString& rule : claims->second) cx.session.ClaimsWarned.erase(ClaimKey(library, rule));
  cx.session.ClaimLibraries.erase(claims);
  cx.ClaimsChanged();
}

bool ClaimStep(Context& cx, int mode, const QString& ruleName) {
  const QString library = cx.session.CurrentLibrary->Name();
  if (cx.session.MachineName.isEmpty()) cx.session.MachineName = cx.session.CurrentLibrary->UserName();
  const QString node = cx.session.MachineName;

  // A claim whose drop was refused stays this computer's, to be dropped at its next call here.
  if (DropOwnClaims(cx, node)) ForgetClaims(cx, library.toUpper());
  if (ruleName.isEmpty()) return false;
  cx.session.HeldBy = {};
  if (mode == TestClaim) return OtherNodeClaims(cx, node, ruleName, library);
  if (mode == WriteClaim) return ClaimUnlessHeld(cx, node, ruleName, library);
  return false;
}

}  // namespace

RunningNodeValue SplitRunningNodeValue(const QString& value) {
  const qsizetype colon = value.indexOf(QLatin1Char(':'));
  if (colon < 0) return {TrimBlanks(value).toUpper(), QString()};
  return {TrimBlanks(value.left(colon)).toUpper(), TrimBlanks(value.mid(colon + 1)).toUpper()};
}

bool ClaimOutlivedItsRun(const QString& since, const QDateTime& now) {
  const QString text = TrimBlanks(since);
  for (const char* form : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm"}) {
    const QDateTime claimed = QDateTime::fromString(text, QLatin1String(form));
    if (claimed.isValid()) return claimed.addDays(1) < now;
  }
  return false;
}

bool ActiveStatus(Context& cx, int mode, const QString& ruleName) {
  if (!CheckFusion(cx, QStringLiteral("ActiveStatus"))) return false;
  bool result = false;
  {
    VerboseLoggingGuard verbose(cx);
    // The statements of one claim step fail for one cause: one failure.
    const OneFailure step(cx);
    if (cx.session.CurrentLibrary) result = ClaimStep(cx, mode, ruleName);
  }
  cx.ui->PumpMessages();
  return result;
}

}  // namespace sw

namespace sw {

void DropClaimsAfterNode(Context& cx) {
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true, .onlyWhenLeft = true});
  ActiveStatus(cx, DropClaims, QString());
  std::vector<QString> elsewhere;
  for (const auto& [library, rules] : cx.session.ClaimLibraries) elsewhere.push_back(library);
  for (const QString& library : elsewhere) {
    // A library that cannot be reached keeps its claim until this computer next works there.
    if (!ConnectLibrary(cx, library)) continue;
    ActiveStatus(cx, DropClaims, QString());
  }
}

namespace {

// A claim left behind makes every other computer skip its rule: said in the log and on standard
// error, once, with the two ways to clear it.
void WarnOfClaimsLeft(Context& cx) {
  const QString node = cx.session.MachineName;
  for (const auto& [library, rules] : cx.session.ClaimLibraries) {
    for (const QString& rule : rules) {
      if (!cx.session.ClaimsWarned.insert(ClaimKey(library, rule)).second) continue;
      const QString text = QStringLiteral("Warning: The claim of computer ") + node + QStringLiteral(" on rule ") + rule +
                           QStringLiteral(" in library ") + library +
                           QStringLiteral(" could not be released - other computers skip the rule until it is cleared with "
                                          "Options > Clear Running Nodes, or until the program starts again under the "
                                          "computer name ") +
                           node;
      WarnLoudly(cx, text);
    }
  }
}

}  // namespace

void DropClaimsEverywhere(Context& cx) {
  DropClaimsAfterNode(cx);
  WarnOfClaimsLeft(cx);
}

}  // namespace sw
