#pragma once
// The processed-rows window: the records of TARN_STACKWRIGHT in one library, one line per
// processed source row and rule, from which an administrator removes chosen records. The
// window object lives as long as its owner (the main window) and keeps its sort memory across
// openings; each opening loads its controls afresh.
#include <QDialog>
#include <functional>

#include "admin/list_sort.h"

class QAction;
class QFrame;
class QMenu;
class QTreeWidget;

namespace sw {

class RunContext;

namespace admin {

class ProcessedRowsWindow : public QDialog {
  Q_OBJECT
 public:
  ProcessedRowsWindow(RunContext& cx, QWidget* parent);

  // Every opening: the controls in their designed state, then the list filled.
  void Form_Load();
  // Closing: the list is emptied; the sort memory stays.
  void Form_Unload();
  void RefreshMe();
  void Form_Resize();
  // Returns true when the key was taken.
  bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool ListResults_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  // column from 0 ("Rule", "Table", "SID").
  void ListResults_ColumnClick(int column);
  void ListResults_MouseUp(Qt::MouseButton button, const QPoint& globalPosition);
  void MNRemove_Click();
  void MNSelectAll_Click();
  void MNDeselectAll_Click();

  const ListSortMemory& SortMemory() const { return sortMemory_; }

  QFrame* FrameListResults = nullptr;
  QTreeWidget* ListResults = nullptr;
  QMenu* MNMain = nullptr;
  QAction* MNRemove = nullptr;
  QAction* MNLine02 = nullptr;
  QAction* MNSelectAll = nullptr;
  QAction* MNDeselectAll = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SelectEveryRow(bool selected);
  int ColumnOfHeader(const QString& header) const;

  RunContext& cx_;
  ListSortMemory sortMemory_;
};

// "Display Tarn_Stackwright", with the way the window is shown left to the caller (a modal exec
// in the program, a scripted session in tests).
void OpenProcessedRowsWindow(RunContext& cx, QWidget* parent, const std::function<void(ProcessedRowsWindow&)>& show);

}  // namespace admin
}  // namespace sw
