#include "app/window/window_handlers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTabBar>
#include <QTreeWidget>

#include "admin/admin.h"
#include "admin/list_sort.h"
#include "app/app_context.h"
#include "app/handlers.h"
#include "app/version_texts.h"
#include "app/window/tarn_splash.h"
#include "app/window/window_rules.h"
#include "core/files.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "platform/settings/settings_store.h"
#include "run/run_control.h"

namespace sw {

namespace {

// The error a cancelled common dialog raises.
constexpr qint64 ErrDialogCancelled = 32755;
// The error of a property given a value it cannot take.
constexpr qint64 ErrInvalidPropertyValue = 380;

QString ProgramFolder(const AppContext& cx) {
  const QString& given = cx.window.startup.ProgramPath;
  return given.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(given).absolutePath();
}

void ShowPanel(QWidget* panel, int top, int left) {
  MainWindow::PlaceTwips(panel, left, top, PixelsToTwips(panel->width()), PixelsToTwips(panel->height()));
  panel->show();
  // The page in view lies above the results panel's frame, which keeps its place beneath.
  panel->raise();
}

void ShowGeneralPage(MainWindow& w, int left) {
  w.FrameTVRules->hide();
  w.FrameSWOptions->hide();
  w.FramePause->hide();
  w.FrameOptions->show();
  w.FrameListResults->show();
  MainWindow::PlaceTwips(w.FrameOptions, left, MainWindow::TopTwips(w.FrameOptions),
                         PixelsToTwips(w.FrameOptions->width()), MainWindow::HeightTwips(w.FrameOptions));
  const int resultsTop = MainWindow::TopTwips(w.FrameOptions) + MainWindow::HeightTwips(w.FrameOptions) - 45;
  MainWindow::PlaceTwips(w.FrameListResults, left, resultsTop, PixelsToTwips(w.FrameListResults->width()),
                         MainWindow::HeightTwips(w.FrameListResults));
  w.ListResults->show();
  w.FrameOptions->raise();
}

// Pages 2 to 4 hide the options panel and the list itself; the list's frame stays put.
void ShowOtherPage(MainWindow& w, QWidget* page, int top, int left) {
  w.FrameOptions->hide();
  w.ListResults->hide();
  for (QWidget* other : {static_cast<QWidget*>(w.FrameTVRules), static_cast<QWidget*>(w.FrameSWOptions),
                         static_cast<QWidget*>(w.FramePause)})
    if (other != page) other->hide();
  ShowPanel(page, top + 360, left);
}

// The run's reading: a time of day in the form HH:MM, any other text as typed.
QString AsTheRunReadsIt(const QString& text) {
  const PauseTime time = ReadPauseText(text);
  return time.valid ? time.text : text;
}

void NormaliseStart(AppContext& cx) {
  const RunOptions o = cx.ui->Options();
  cx.ui->SetPauseTexts(AsTheRunReadsIt(o.pauseStart), o.pauseEnd);
}

void NormaliseEnd(AppContext& cx) {
  const RunOptions o = cx.ui->Options();
  cx.ui->SetPauseTexts(o.pauseStart, AsTheRunReadsIt(o.pauseEnd));
}

}  // namespace

void TabStrip_Click(AppContext& cx) {
  MainWindow* w = cx.mainWindow;
  if (!w) return;
  const int top = MainWindow::TopTwips(w->TabStrip);
  const int left = MainWindow::LeftTwips(w->TabStrip);
  switch (w->TabStripTabs->currentIndex() + 1) {
    case 1: ShowGeneralPage(*w, left); return;
    case 2: ShowOtherPage(*w, w->FrameTVRules, top, left); return;
    case 3: ShowOtherPage(*w, w->FrameSWOptions, top, left); return;
    case 4: ShowOtherPage(*w, w->FramePause, top, left); return;
    default: return;
  }
}

void TextPauseStart_LostFocus(AppContext& cx) { NormaliseStart(cx); }
void TextPauseEnd_LostFocus(AppContext& cx) { NormaliseEnd(cx); }

void Form_KeyPress(AppContext& cx, int charCode) {
  const double size = cx.ui->ResultsFontSize();
  const double next = NextResultsFontSize(size, charCode);
  if (next != size) cx.ui->SetResultsFontSize(next);
}

void ListResults_ColumnClick(AppContext& cx, int column) {
  MainWindow* w = cx.mainWindow;
  if (!w) return;
  QTreeWidget* list = w->ListResults;
  const ScreenGuard pointer(cx, ScreenParts{.library = false, .pointer = PointerBack::Default});
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  if (column < 1 || column > list->columnCount()) {
    ReportError(cx, ErrInvalidPropertyValue, QStringLiteral("ListResults"), QStringLiteral("Invalid property value"));
    return;
  }
  const QString header = list->headerItem()->text(column - 1);
  admin::ListSortMemory memory{cx.window.LastSortColumn, cx.window.LastSortOrder};
  const int order = admin::NextSortOrder(memory, header);
  // Automatic sorting on: rows added later go to their place by the cells' text.
  list->setSortingEnabled(true);
  list->sortByColumn(column - 1, order == admin::SortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  cx.window.LastSortOrder =
      list->header()->sortIndicatorOrder() == Qt::DescendingOrder ? admin::SortDescending : admin::SortAscending;
  cx.window.LastSortColumn = header;
}

void ButtonLogDir_Click(AppContext& cx) {
  MainWindow* w = cx.mainWindow;
  if (w && w->chooseLogFile) ButtonLogDir_Click(cx, w->chooseLogFile);
}

void ButtonLogDir_Click(AppContext& cx, const LogFileChooser& chooser) {
  const QString stored = cx.settings->GetSetting(ProductName, QStringLiteral("General"), QStringLiteral("LogFile"),
                                                 QString());
  LogFileRequest request;
  // The dialog opens on the stored file; else on the current log path, else in the program's folder.
  request.initialPath = stored;
  if (request.initialPath.isEmpty()) request.initialPath = cx.log.LogFileBase;
  if (request.initialPath.isEmpty()) request.initialPath = ProgramFolder(cx);
  request.title = QStringLiteral("Select location for log file:");
  request.defaultSuffix = QStringLiteral("LOG");
  request.filter = QStringLiteral("Log files (*.log)");
  const std::optional<QString> chosen = chooser(request);
  if (!chosen) {
    LogMessage(cx, QStringLiteral("ButtonLogDir_Click:"));
    ReportError(cx, ErrDialogCancelled, QStringLiteral("CommonDialog"), QStringLiteral("Cancel was selected."));
    return;
  }
  if (chosen->isEmpty()) return;
  cx.log.LogFileBase = *chosen;
  cx.log.UnwritableLogFileBase.clear();
  cx.settings->SaveSetting(ProductName, QStringLiteral("General"), QStringLiteral("LogFile"), *chosen);
  cx.ui->SetLogDirToolTip(*chosen);
}

namespace {

// Before this run's first entry the name is still to be made; the menus may already be enabled by
// today's file of an earlier run.
void NameTodaysLogFile(AppContext& cx) {
  if (cx.log.DatedLogFile.isEmpty()) cx.log.DatedLogFile = TodaysLogFileName(cx);
}

}  // namespace

void MNLogView_Click(AppContext& cx) {
  NameTodaysLogFile(cx);
  if (cx.log.DatedLogFile.isEmpty()) {
    cx.ui->MessageBox(QStringLiteral("Log file not defined"), MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    return;
  }
  if (!QFileInfo(cx.log.DatedLogFile).isFile()) {
    cx.ui->MessageBox(cx.log.DatedLogFile + QStringLiteral(" not found"), MsgIcon::Information, MsgButtons::OK,
                      cx.app.AppTitle);
    return;
  }
  ViewFile(cx, cx.log.DatedLogFile);
}

void MNLogPurge_Click(AppContext& cx) {
  NameTodaysLogFile(cx);
  PurgeFile(cx, cx.log.DatedLogFile);
}

void MNTimeStampLogFile_Click(AppContext& cx) { cx.ui->SetTimeStampLogFile(!cx.ui->TimeStampLogFile()); }

void MNTarnOptions_Click(AppContext& cx) {
  const ScreenGuard pointer(cx, ScreenParts{.library = false, .pointer = PointerBack::Default});
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  MNTarnOptions_Click(cx, cx.mainWindow);
}

void MNHelpReadme_Click(AppContext& cx) {
  const QString path = cx.window.startup.ReadmePath;
  if (path.isEmpty() || !QFileInfo(path).isFile()) return;
  cx.ui->SetMousePointer(Pointer::Hourglass);
  const QString caption = cx.ui->StatusLabel(StatusWindow::Main);
  cx.ui->PumpMessages();
  // A failure to show the file stays in view.
  const bool shown = StartTextViewer(cx, path);
  cx.ui->SetMousePointer(Pointer::Default);
  if (shown) cx.ui->SetStatusLabel(StatusWindow::Main, caption);
}

void MNHelpAbout_Click(AppContext& cx) { HelpAbout(cx); }

void MNFileExit_Click(AppContext& cx) { Button_Exit_Click(cx); }

void HelpAbout(AppContext& cx) {
  MainWindow* w = cx.mainWindow;
  if (!w) return;
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  // A fresh window each time: it starts from its designed texts.
  TarnSplash about(w);
  about.setWindowModality(Qt::ApplicationModal);
  const StartupState& st = cx.window.startup;
  about.Fill(DmVersionText(st.DMVersion, st.DMPatchLevel), BuildLine(st.BuildNumber, st.BuildDateText), MakerLine());
  about.LabelStatus->setText(QStringLiteral("Press any key to continue"));
  about.onDismissed = [w] {
    w->setEnabled(true);
    w->activateWindow();
  };
  cx.ui->SetMousePointer(Pointer::Default);
  cx.ui->PumpMessages();
  if (w->showAboutModal) w->showAboutModal(about);
}

}  // namespace sw
