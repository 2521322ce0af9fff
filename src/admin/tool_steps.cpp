#include "admin/tool_steps.h"

#include "core/sql.h"
#include "core/text.h"

namespace sw::admin {

HeldControls::HeldControls(RunContext& cx) : cx_(cx), go_(cx.ui->GoEnabled()), tools_(cx.ui->ToolsEnabled()) {
  cx.ui->SetGoEnabled(false);
  cx.ui->SetToolsEnabled(false);
}

HeldControls::~HeldControls() {
  cx_.ui->SetGoEnabled(go_);
  cx_.ui->SetToolsEnabled(tools_);
}

ScreenParts ToolScreen(RunContext& cx) {
  return ScreenParts{
      .skipNoLibrary = true,
      .status = true,
      .statusWindow = StatusCaptionWindow(cx),
      .idleStatus = true,
      .pointer = PointerBack::Default};
}

ToolGuard::ToolGuard(RunContext& cx) : controls_(cx), screen_(cx, ToolScreen(cx)) {
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
}

SqlOutcome RunStatement(RunContext& cx, const QString& sql) {
  SqlOutcome outcome;
  const bool handed = RunSQL(cx, sql);
  if (!cx.session.pSQL) return outcome;
  dm::PcdSql& result = *cx.session.pSQL;
  const qint64 code = result.SqlErrorCode();
  outcome.ok = handed && IsSqlSuccess(code);
  outcome.rowsAffected = result.RowsAffected();
  outcome.firstValue = result.ColumnValue(1);
  if (!outcome.ok) outcome.error = result.ErrDescription();
  result.ReleaseResults();
  return outcome;
}

QString RuleMenuCaption(RunContext& cx, RuleMenu menu, int index) {
  const QStringList captions = cx.ui->RuleMenuCaptions(menu);
  if (index < 0 || index >= captions.size())
    throw DmCallFailure(ErrNoSuchMenuItem, cx.app.AppTitle,
                        QStringLiteral("Control array element '") + FormatNumber(index) + QStringLiteral("' doesn't exist"));
  return captions.at(index);
}

void ShowNoLibrary(RunContext& cx, const QString& library, const QString& consequence) {
  cx.ui->MessageBox(QStringLiteral("Error: Unable to connect to library ") + library + QStringLiteral(" - ") + consequence,
                    MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
}

void ShowMissingSettingsTable(RunContext& cx, const QString& library) {
  cx.ui->MessageBox(QStringLiteral("You must create the TARN_SETTINGS table in library ") + library +
                        QStringLiteral(" before you can manage Quillmark"),
                    MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
}

}  // namespace sw::admin
