#include "admin/processed_rows_window.h"

#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>
#include <memory>

#include "admin/admin.h"
#include "admin/processed_rows.h"
#include "admin/tool_steps.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "core/session.h"
#include "run/run_context.h"
#include "run/run_control.h"

namespace sw::admin {

namespace {

const QString kLibraryNotSet = QStringLiteral("Library object not set - cannot continue");
const QString kRefreshTip = QStringLiteral("Press F5 to refresh the list");

// Sizes as designed, in twips (15 twips to the pixel).
constexpr int Px(int twips) { return twips / 15; }

// A handler's own error trap: its name, then the error report.
template <class Body>
void TrapNamed(RunContext& cx, const QString& handler, Body&& body) {
  try {
    body();
  } catch (const DmCallFailure& failure) {
    LogMessage(cx, handler + QStringLiteral(":"));
    ReportError(cx, failure.Number(), failure.Source(), failure.Description());
  } catch (const std::exception& failure) {
    LogMessage(cx, handler + QStringLiteral(":"));
    ReportError(cx, ErrInternal, cx.app.AppTitle, QString::fromLocal8Bit(failure.what()));
  }
}

bool NoLibrary(RunContext& cx) {
  if (cx.session.CurrentLibrary) return false;
  cx.ui->MessageBox(kLibraryNotSet, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
  return true;
}

int SelectedRowCount(const QTreeWidget* list) {
  int count = 0;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (list->topLevelItem(i)->isSelected()) ++count;
  return count;
}

}  // namespace

ProcessedRowsWindow::ProcessedRowsWindow(RunContext& cx, QWidget* parent) : QDialog(parent), cx_(cx) {
  setObjectName(QStringLiteral("Quillmark_Summary"));
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(8.25);
  setFont(font);

  FrameListResults = new QFrame(this);
  FrameListResults->setFrameShape(QFrame::Box);
  FrameListResults->setToolTip(kRefreshTip);
  FrameListResults->move(0, 0);

  ListResults = new QTreeWidget(FrameListResults);
  ListResults->setToolTip(kRefreshTip);
  ListResults->move(Px(30), Px(120));
  ListResults->setColumnCount(3);
  ListResults->setHeaderLabels({QStringLiteral("Rule"), QStringLiteral("Table"), QStringLiteral("SID")});
  for (int c = 0; c < 3; ++c) ListResults->setColumnWidth(c, Px(1600));
  ListResults->setRootIsDecorated(false);
  ListResults->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListResults->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListResults->setSortingEnabled(false);
  ListResults->header()->setSectionsClickable(true);
  connect(ListResults->header(), &QHeaderView::sectionClicked, this, [this](int column) { ListResults_ColumnClick(column); });
  ListResults->installEventFilter(this);
  ListResults->viewport()->installEventFilter(this);
  FrameListResults->installEventFilter(this);

  MNMain = new QMenu(QStringLiteral("Main"), this);
  MNRemove = MNMain->addAction(QStringLiteral("Remove"));
  MNLine02 = MNMain->addSeparator();
  MNSelectAll = MNMain->addAction(QStringLiteral("&Select All"));
  MNDeselectAll = MNMain->addAction(QStringLiteral("&De-Select All"));
  connect(MNRemove, &QAction::triggered, this, [this] { MNRemove_Click(); });
  connect(MNSelectAll, &QAction::triggered, this, [this] { MNSelectAll_Click(); });
  connect(MNDeselectAll, &QAction::triggered, this, [this] { MNDeselectAll_Click(); });

  resize(Px(5055), Px(5595));
}

void ProcessedRowsWindow::Form_Load() {
  ListResults->clear();
  ListResults->header()->setSortIndicatorShown(false);
  MNRemove->setEnabled(true);
  RefreshMe();
  Form_Resize();
}

void ProcessedRowsWindow::Form_Unload() {
  MNMain->hide();
  ListResults->clear();
}

void ProcessedRowsWindow::RefreshMe() {
  const ScreenGuard pointer(cx_, ScreenParts{.library = false, .pointer = PointerBack::Default});
  TrapErrors(cx_, [&] {
    cx_.ui->SetMousePointer(Pointer::Hourglass);
    cx_.ui->PumpMessages();
    ListResults->clear();
    ListResults->header()->setSortIndicatorShown(false);
    for (const ProcessedRow& row : ReadProcessedRows(cx_))
      new QTreeWidgetItem(ListResults, {row.rule, row.table, row.sid});
  });
  setWindowTitle(ProcessedRowsCaption(CurrentLibraryNameOrEmpty(cx_), ListResults->topLevelItemCount()));
}

void ProcessedRowsWindow::Form_Resize() {
  // Each step on its own; below the margins the frame and the list stop at nothing.
  const QSize outer = frameGeometry().size();
  FrameListResults->resize(qMax(0, outer.width() - Px(120)), qMax(0, outer.height() - 400 / 15));
  ListResults->resize(qMax(0, FrameListResults->width() - Px(60)), qMax(0, FrameListResults->height() - 200 / 15));
}

bool ProcessedRowsWindow::Form_KeyDown(int key, Qt::KeyboardModifiers) {
  if (key != Qt::Key_F5) return false;
  RefreshMe();
  return true;
}

bool ProcessedRowsWindow::ListResults_KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  const Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (key != Qt::Key_Delete || held != Qt::NoModifier) return false;
  MNRemove_Click();
  return true;
}

void ProcessedRowsWindow::ListResults_ColumnClick(int column) {
  const ScreenGuard pointer(cx_, ScreenParts{.library = false, .pointer = PointerBack::Default});
  TrapNamed(cx_, QStringLiteral("ListResults_ColumnClick"), [&] {
    cx_.ui->SetMousePointer(Pointer::Hourglass);
    const QString header = ListResults->headerItem()->text(column);
    const int order = NextSortOrder(sortMemory_, header);
    const Qt::SortOrder qtOrder = order == SortDescending ? Qt::DescendingOrder : Qt::AscendingOrder;
    ListResults->header()->setSortIndicator(column, qtOrder);
    ListResults->header()->setSortIndicatorShown(true);
    // Plain text order of the key column: SIDs sort as text.
    ListResults->sortItems(column, qtOrder);
  });
}

void ProcessedRowsWindow::ListResults_MouseUp(Qt::MouseButton button, const QPoint& globalPosition) {
  if (button != Qt::RightButton) return;
  if (ListResults->topLevelItemCount() == 0) return;
  MNRemove->setEnabled(SelectedRowCount(ListResults) > 0);
  MNMain->popup(globalPosition);
}

int ProcessedRowsWindow::ColumnOfHeader(const QString& header) const {
  for (int c = 0; c < ListResults->columnCount(); ++c)
    if (ListResults->headerItem()->text(c).compare(header, Qt::CaseInsensitive) == 0) return c;
  return -1;
}

void ProcessedRowsWindow::MNRemove_Click() {
  if (NoLibrary(cx_)) return;
  if (ListResults->topLevelItemCount() == 0) return;
  const int selected = SelectedRowCount(ListResults);
  if (selected == 0) return;
  const QString library = CurrentLibraryNameOrEmpty(cx_);
  if (cx_.ui->MessageBox(RemovalQuestion(selected, library), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                         cx_.app.AppTitle) != MsgResult::Yes)
    return;

  ListResults->header()->setSortIndicatorShown(false);
  qint64 removed = 0;
  // The removal may switch libraries: the one shown in the window is current again at the end.
  const ScreenGuard back(cx_, ScreenParts{.pointer = PointerBack::Default});
  cx_.ui->SetMousePointer(Pointer::Hourglass);
  cx_.ui->PumpMessages();
  const int sidColumn = ColumnOfHeader(QStringLiteral("SID"));
  const int ruleColumn = ColumnOfHeader(QStringLiteral("RULE"));
  const int tableColumn = ColumnOfHeader(QStringLiteral("TABLE"));
  TrapErrors(cx_, [&] {
    // From the last row up, so that taking a row out moves none of those still to visit.
    for (int i = ListResults->topLevelItemCount() - 1; i >= 0; --i) {
      QTreeWidgetItem* item = ListResults->topLevelItem(i);
      if (!item->isSelected()) continue;
      const qint64 sid = ProcessedRowSid(item->text(sidColumn));
      const QString rule = item->text(ruleColumn);
      const QString table = item->text(tableColumn);
      if (sid == 0 || rule.isEmpty() || table.isEmpty()) continue;
      const RemovalResult result = RemoveProcessedRow(cx_, sid, table, rule);
      removed += result.removed;
      // A record the database refused to delete is still there: its row stays, selected.
      if (!result.failed) delete ListResults->takeTopLevelItem(i);
    }
  });
  cx_.ui->MessageBox(RemovalReport(removed, CurrentLibraryNameOrEmpty(cx_)), MsgIcon::Information, MsgButtons::OK,
                     cx_.app.AppTitle);
}

void ProcessedRowsWindow::SelectEveryRow(bool selected) {
  for (int i = 0; i < ListResults->topLevelItemCount(); ++i) ListResults->topLevelItem(i)->setSelected(selected);
}

void ProcessedRowsWindow::MNSelectAll_Click() { SelectEveryRow(true); }
void ProcessedRowsWindow::MNDeselectAll_Click() { SelectEveryRow(false); }

bool ProcessedRowsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // The window sees every key before its controls do.
    bool taken = Form_KeyDown(key->key(), key->modifiers());
    if (watched == ListResults) taken = ListResults_KeyDown(key->key(), key->modifiers()) || taken;
    if (taken) return true;
  }
  if (watched == ListResults->viewport()) {
    // The right button only opens the popup: it leaves the selection as it is.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        ListResults_MouseUp(mouse->button(), mouse->globalPosition().toPoint());
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ProcessedRowsWindow::keyPressEvent(QKeyEvent* event) {
  if (Form_KeyDown(event->key(), event->modifiers())) return;
  QDialog::keyPressEvent(event);
}

void ProcessedRowsWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Form_Resize();
}

void OpenProcessedRowsWindow(RunContext& cx, QWidget* parent, const std::function<void(ProcessedRowsWindow&)>& show) {
  if (NoLibrary(cx)) return;
  const ScreenGuard back(cx, ToolScreen(cx));
  TrapNamed(cx, QStringLiteral("MNDisplayTarnAuto_Click"), [&] {
    if (!SelectLibrary(cx)) return;
    if (!CheckForTable(cx, QStringLiteral("TARN_STACKWRIGHT"))) {
      cx.ui->MessageBox(QStringLiteral("TARN_STACKWRIGHT does not exist in library ") + CurrentLibraryNameOrEmpty(cx),
                        MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
      return;
    }
    SetStatusCaption(cx, QStringLiteral("Displaying TARN_STACKWRIGHT rows in library ") + CurrentLibraryNameOrEmpty(cx));
    // The window object stays with its owner from the first opening on, and with it the sort memory.
    ProcessedRowsWindow* window =
        parent ? parent->findChild<ProcessedRowsWindow*>(QStringLiteral("Quillmark_Summary"), Qt::FindDirectChildrenOnly)
               : nullptr;
    std::unique_ptr<ProcessedRowsWindow> unowned;
    if (!window) {
      window = new ProcessedRowsWindow(cx, parent);
      if (!parent) unowned.reset(window);
    }
    window->Form_Load();
    show(*window);
    window->Form_Unload();
  });
}

}  // namespace sw::admin

namespace sw {

void MNDisplayTarnAuto_Click(RunContext& cx, QWidget* parent) {
  admin::OpenProcessedRowsWindow(cx, parent, [](admin::ProcessedRowsWindow& window) { window.exec(); });
}

}  // namespace sw
