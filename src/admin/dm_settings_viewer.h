#pragma once
// The DM local-settings viewer: the user's DM identity in a chosen library and the value of any
// property the DM reports for it. Choosing a library makes it the program's current library;
// closing the window makes the library current at opening current again.
#include <QDialog>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;

namespace sw {

class RunContext;

namespace admin {

class DmSettingsViewer : public QDialog {
  Q_OBJECT
 public:
  DmSettingsViewer(RunContext& cx, QWidget* parent);

  void Form_Load();
  void ComboLibList_Click();
  void ComboPropertyItem_Click();
  void ButtonExit_Click();
  void Form_Unload(int cancel);
  const QString& ReturnLibrary() const { return returnLibrary_; }
  QString Panel(int number) const;  // 1 to 3

  QFrame* FrameProperties = nullptr;
  QLabel* LabelLibList = nullptr;
  QComboBox* ComboLibList = nullptr;
  QLabel* LabelPropertyValue = nullptr;
  QComboBox* ComboPropertyItem = nullptr;
  QLabel* LabelPropertyResult = nullptr;
  QFrame* FrameButtons = nullptr;
  QPushButton* ButtonExit = nullptr;
  QStatusBar* StatusBarInfo = nullptr;

 public slots:
  // Esc and the title bar's close come here.
  void reject() override;

 private:
  void FillPanels();

  RunContext& cx_;
  QLabel* panels_[3] = {};
  QString returnLibrary_;
};

// "Display Current DM Settings", with the way the window is shown left to the caller.
void OpenDmSettingsViewer(RunContext& cx, QWidget* parent, const std::function<void(DmSettingsViewer&)>& show);

}  // namespace admin
}  // namespace sw
