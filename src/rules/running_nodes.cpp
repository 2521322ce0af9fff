#include "rules/running_nodes.h"

#include "core/context.h"
#include "core/log.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw {

namespace {

const QString kClaimRows = QStringLiteral(
    "FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'STACKWRIGHT' AND "
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

void ReleaseResults(Context& cx) {
  if (cx.session.pSQL) cx.session.pSQL->ReleaseResults();
}

// Drops this computer's claims and the claim rows that have no value or no time. The node is
// compared as an exact prefix, not as a LIKE pattern, so that "PC_1" never matches "PCA1".
void DropOwnClaims(Context& cx, const QString& node) {
  const QString prefix = StripQuotes(node) + QStringLiteral(":");
  const qint64 prefixLength = QString(prefix).replace(QStringLiteral("''"), QStringLiteral("'")).size();
  const QString substring = IsOracleEngine(cx.session.DatabaseEngine) ? QStringLiteral("SUBSTR") : QStringLiteral("SUBSTRING");
  RunSQL(cx, QStringLiteral("DELETE ") + kClaimRows + QStringLiteral(" AND ((") + substring +
                 QStringLiteral("(CHAR_VAL, 1, ") + FormatNumber(prefixLength) + QStringLiteral(") = '") + prefix +
                 QStringLiteral("' OR CHAR_VAL IS NULL) OR DATE_VAL IS NULL)"));
  ReleaseResults(cx);
}

// True when a computer other than `node` claims the rule; logs who and since when.
bool OtherNodeClaims(Context& cx, const QString& node, const QString& ruleName, const QString& library) {
  LogMessage(cx, QStringLiteral("Determining whether another computer is actively working on rule ") + ruleName +
                     QStringLiteral(" in library ") + library);
  LogMessage(cx, HyphenLine);
  RunSQL(cx, QStringLiteral("SELECT CHAR_VAL, DATE_VAL ") + kClaimRows);
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!sql) return false;
  if (sql->RowCount() == 0) {
    sql->ReleaseResults();
    return false;
  }
  const QString self = node.toUpper();
  const QString wanted = ruleName.toUpper();
  do {
    const QString value = sql->ColumnValue(1);
    if (TrimBlanks(value).isEmpty()) continue;
    const RunningNodeValue claim = SplitRunningNodeValue(value);
    if (claim.rule != wanted || claim.node == self) continue;
    LogMessage(cx, QStringLiteral("Computer ") + claim.node + QStringLiteral(" is actively working on rule ") +
                       ruleName + QStringLiteral(" in library ") + library + QStringLiteral(" since ") +
                       sql->ColumnValue(2));
    LogMessage(cx, HyphenLine);
    sql->ReleaseResults();
    return true;
  } while (sql->NextRow() != 0);
  sql->ReleaseResults();
  return false;
}

void WriteOwnClaim(Context& cx, const QString& node, const QString& ruleName) {
  // Claims are not kept on Oracle libraries.
  if (IsOracleEngine(cx.session.DatabaseEngine)) return;
  RunSQL(cx, QStringLiteral("INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
                            "VALUES('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', '") +
                 StripQuotes(node) + QStringLiteral(":") + StripQuotes(ruleName) + QStringLiteral("', GETDATE())"));
  ReleaseResults(cx);
}

bool ClaimStep(Context& cx, int mode, const QString& ruleName) {
  const QString library = cx.session.CurrentLibrary->Name();
  if (cx.session.MachineName.isEmpty()) cx.session.MachineName = cx.session.CurrentLibrary->UserName();
  const QString node = cx.session.MachineName;

  DropOwnClaims(cx, node);
  if (ruleName.isEmpty()) return false;
  if (mode == TestClaim) return OtherNodeClaims(cx, node, ruleName, library);
  if (mode == WriteClaim) WriteOwnClaim(cx, node, ruleName);
  return false;
}

}  // namespace

RunningNodeValue SplitRunningNodeValue(const QString& value) {
  const qsizetype colon = value.indexOf(QLatin1Char(':'));
  if (colon < 0) return {TrimBlanks(value).toUpper(), QString()};
  return {TrimBlanks(value.left(colon)).toUpper(), TrimBlanks(value.mid(colon + 1)).toUpper()};
}

bool ActiveStatus(Context& cx, int mode, const QString& ruleName) {
  if (!CheckFusion(cx, QStringLiteral("ActiveStatus"))) return false;
  bool result = false;
  {
    VerboseLoggingGuard verbose(cx);
    if (cx.session.CurrentLibrary) result = ClaimStep(cx, mode, ruleName);
  }
  cx.ui->PumpMessages();
  return result;
}

}  // namespace sw
