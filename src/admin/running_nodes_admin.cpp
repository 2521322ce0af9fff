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
    QStringLiteral("a computer running TARN_STACKWRIGHT, or exiting the program via Task Manager). You should only run ") +
    QStringLiteral("this procedure if NO computers are running TARN_STACKWRIGHT on any library, otherwise unpredictable ") +
    QStringLiteral("results may occur.") + QStringLiteral("\r\n\r\nAre you sure you want to run this procedure?");

// Removes the claims of one library; the rows removed.
qint64 ClearLibrary(RunContext& cx, const QString& name) {
  SetStatusCaption(cx, QStringLiteral("Connecting to library ") + name);
  if (!ConnectLibrary(cx, name)) return 0;
  SetStatus(cx, QStringLiteral("Clearing library ") + CurrentLibraryNameOrEmpty(cx));
  LogMessage(cx, HyphenLine);
  return RunStatement(cx, QStringLiteral("DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND "
                                         "SUB_KEY = 'RUNNING_NODES'"))
      .rowsAffected;
}

// Visits every library of the session in order; returns the rows removed.
qint64 ClearEveryLibrary(RunContext& cx, qint64& libraries) {
  qint64 removed = 0;
  const dm::DmLibrariesPtr all = cx.session.FusionLibraries;
  libraries = all ? all->Count() : 0;
  for (qint64 i = 1; i <= libraries; ++i) {
    QString name;
    // A library the session cannot hand out, or whose switch fails, is skipped like a failed switch.
    TrapErrors(cx, [&] {
      const dm::DmLibraryPtr library = all->Item(i);
      if (library) name = library->Name();
    });
    if (name.isEmpty()) continue;
    TrapErrors(cx, [&] { removed += ClearLibrary(cx, name); });
  }
  return removed;
}

}  // namespace

}  // namespace admin

void MNClearRunningNodes_Click(RunContext& cx) {
  if (cx.ui->MessageBox(admin::ClearQuestion, MsgIcon::Question, MsgButtons::YesNo, cx.app.AppTitle) != MsgResult::Yes)
    return;
  const QString status = StatusCaption(cx);
  const QString entryLibrary = CurrentLibraryNameOrEmpty(cx);
  cx.ui->SetMousePointer(Pointer::Hourglass);
  qint64 libraries = 0;
  const qint64 removed = admin::ClearEveryLibrary(cx, libraries);
  if (!entryLibrary.isEmpty()) admin::TrapErrors(cx, [&] { ConnectLibrary(cx, entryLibrary); });
  SetStatus(cx, QStringLiteral("Finished clearing ") + FormatNumber(removed) + QStringLiteral(" item(s) from ") +
                    FormatNumber(libraries) + QStringLiteral(" libraries"));
  LogMessage(cx, HyphenLine);
  cx.ui->SetMousePointer(Pointer::Default);
  SetStatusCaption(cx, status);
}

}  // namespace sw
