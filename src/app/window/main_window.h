#pragma once
// The main window DMMain: the tab strip with its four option pages, the results list, the
// buttons, counters, status and library labels, the menus and the library pop-up menu. The
// widgets are public: WidgetUi reads and writes them for the lower subsystems, and the window's
// handlers (window_handlers.h) act on them.
#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QTreeWidget;

namespace sw {

class AppContext;
class TarnSplash;

// What the log-file chooser is asked: the file it starts from, title, default suffix, filter.
struct LogFileRequest {
  QString initialPath;
  QString title;
  QString defaultSuffix;
  QString filter;
};
// The chosen file; none when the user cancelled.
using LogFileChooser = std::function<std::optional<QString>(const LogFileRequest&)>;

// The status box shows the whole status text: wrapped within the label (anywhere in a word too
// long for a line), in a smaller font where it needs more lines than the box holds at the
// designed size, and elided only where even the smallest font cannot hold it. The tooltip always
// holds the whole text, and WholeText gives it back as it was set.
void ShowWholeText(QLabel* label, const QString& text);
QString WholeText(const QLabel* label);

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(AppContext& cx, QWidget* parent = nullptr);
  ~MainWindow() override;

  AppContext& Context() { return cx_; }

  // Places a widget by its designed twips.
  static void PlaceTwips(QWidget* w, int left, int top, int width, int height);
  static int LeftTwips(const QWidget* w);
  static int TopTwips(const QWidget* w);
  static int HeightTwips(const QWidget* w);

  // The log-file chooser (a save dialog); tests put their own in its place.
  LogFileChooser chooseLogFile;
  // Shows the About window modally; tests put a non-blocking one in its place.
  std::function<void(TarnSplash&)> showAboutModal;

  // The pages of the tab strip: the tab strip area and its tabs.
  QFrame* TabStrip = nullptr;
  QTabBar* TabStripTabs = nullptr;
  // General page.
  QGroupBox* FrameOptions = nullptr;
  QCheckBox* CheckLoop = nullptr;
  QLabel* LabelLoopDelay = nullptr;
  QLineEdit* TextLoopDelay = nullptr;
  QCheckBox* CheckLogMethod = nullptr;
  QPushButton* ButtonLogDir = nullptr;
  QLabel* LabelMaxFolders = nullptr;
  QLineEdit* TextMaxFolders = nullptr;
  QCheckBox* CheckDisplayErrors = nullptr;
  QCheckBox* CheckLockWorkstation = nullptr;
  QGroupBox* FrameListResults = nullptr;
  QTreeWidget* ListResults = nullptr;
  // Libraries page.
  QGroupBox* FrameTVRules = nullptr;
  QTreeWidget* TVRules = nullptr;
  // Options page.
  QGroupBox* FrameSWOptions = nullptr;
  QGroupBox* FrameSWTrain = nullptr;
  QCheckBox* CheckProcessDescending = nullptr;
  QCheckBox* CheckInitialize = nullptr;
  QCheckBox* CheckAddNewDocs = nullptr;
  QCheckBox* CheckReUseSQL = nullptr;
  // Pause page.
  QGroupBox* FramePause = nullptr;
  QGroupBox* FramePauseTime = nullptr;
  QCheckBox* CheckPauseTime = nullptr;
  QLineEdit* TextPauseStart = nullptr;
  QLabel* LabelPause = nullptr;
  QLineEdit* TextPauseEnd = nullptr;
  QTreeWidget* TVPause = nullptr;
  // Shows a pause field's text as typed; a text the run cannot read as a time of day is marked
  // (red, its tooltip saying so), since the run then turns the pause timer off.
  void ShowPauseText(QLineEdit* field, const QString& text);
  // Always in view.
  QFrame* FrameButtons = nullptr;
  QPushButton* Button_Go = nullptr;
  QPushButton* Button_Exit = nullptr;
  QLabel* LabelLocked = nullptr;
  QFrame* FrameCounters = nullptr;
  QLabel* LabelTotal = nullptr;
  QLabel* LabelRead = nullptr;
  QLabel* LabelAdded = nullptr;
  QLabel* LabelErrors = nullptr;
  QGroupBox* FrameStatus = nullptr;
  QLabel* LabelStatus = nullptr;
  QFrame* FrameInfo = nullptr;
  QLabel* LabelLibraryName = nullptr;
  QLabel* LabelPrimaryGroup = nullptr;
  QLabel* LabelUserName = nullptr;

  // Menus.
  QMenu* MNFileMain = nullptr;
  QAction* MNLogView = nullptr;
  QAction* MNLogPurge = nullptr;
  QAction* MNTimeStampLogFile = nullptr;
  QAction* MNFileExit = nullptr;
  QMenu* MNOptionsMain = nullptr;
  QAction* MNToggleLibs = nullptr;
  QMenu* MNSetToCurrent = nullptr;
  QMenu* MNSetToStart = nullptr;
  QAction* MNSpecialFunctions = nullptr;
  QAction* MNClearRunningNodes = nullptr;
  QAction* MNDisplayTarnAuto = nullptr;
  QMenu* MNLibMain = nullptr;  // pop-up only
  QMenu* MNHelpMain = nullptr;
  QAction* MNTarnOptions = nullptr;
  QAction* MNHelpReadme = nullptr;
  QAction* MNHelpAbout = nullptr;

  // Refills a rule submenu: one item per caption; item 0 always exists and "-" (or nothing)
  // makes it a separator.
  void FillRuleMenu(QMenu* menu, const QStringList& captions);
  QStringList RuleMenuCaptions(const QMenu* menu) const;
  // Refills the library menu MNLibList, one checkable item per caption.
  void FillLibraryMenu(const QStringList& captions);

 protected:
  // Form_Unload: a non-zero cancel flag keeps the window open.
  void closeEvent(QCloseEvent* event) override;
  // Key preview: keys for any widget of this window reach the form's handlers first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPages(QWidget* central);
  void BuildGeneralPage(QWidget* central);
  void BuildOptionsPage(QWidget* central);
  void BuildPausePage(QWidget* central);
  void BuildFixedFrames(QWidget* central);
  void BuildMenus();
  void ConnectHandlers();
  bool PreviewKey(QObject* watched, QKeyEvent* event);
  bool KeepMenuShortcut(QObject* watched, QKeyEvent* event);

  AppContext& cx_;
};

}  // namespace sw
