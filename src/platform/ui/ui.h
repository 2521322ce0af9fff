#pragma once
// The user-interface service: everything code below the main window needs of it (message
// boxes, the pointer, the message pump, the status labels, the check boxes and menus it reads
// and writes). The base class keeps the control values itself and answers message boxes as an
// unattended run must (log, standard error, default button); the main window overrides it with
// real widgets, tests a scripted stand-in.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace sw {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
// YesNoDefaultNo: a question whose Yes destroys; No is the default, so Enter does no harm.
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgResult { OK, Cancel, Yes, No };
enum class Pointer { Default, Hourglass };
// The windows that carry a status label.
enum class StatusWindow { None, Main, Splash };
// The two rule menus of the main window.
enum class RuleMenu { Current, Initial };

// The text of the placeholder child that a library node carries until its rules are loaded.
inline const QString RulesPlaceholder = QStringLiteral("[]");

// A node of the rules tree. Like the tree control's own node collection, the nodes form one flat
// list in the order they were added (libraries at the top level, their rules as children, "[]"
// as the placeholder child of a library whose rules are not loaded yet).
struct RulesTreeNode {
  QString text;
  QString key;
  int parent = -1;  // index of the parent node, -1 for a library
  bool checked = false;
};

// The run options of the main window, read at the moment of each test.
struct RunOptions {
  bool loop = false;               // CheckLoop "Loop Continuously"
  QString loopDelay = "0";         // TextLoopDelay, seconds
  bool lockWorkstation = false;    // CheckLockWorkstation
  bool reuseSql = false;           // CheckReUseSQL
  bool initialize = false;         // CheckInitialize
  bool processDescending = false;  // CheckProcessDescending
  bool addNewDocs = false;         // CheckAddNewDocs
  QString maxFolders = "0";        // TextMaxFolders
  bool pauseTime = false;          // CheckPauseTime
  QString pauseStart, pauseEnd;    // TextPauseStart, TextPauseEnd, "HH:MM"
  QStringList pauseDayNames;       // TVPause node texts, one per weekday
  std::vector<bool> pauseDayChecked;
};

// The values of the main window's controls that the lower subsystems read and write.
struct UiControls {
  bool verboseLogging = false;      // CheckLogMethod
  bool displayErrors = false;       // CheckDisplayErrors
  bool timeStampLogFile = false;    // MNTimeStampLogFile
  bool logMenusEnabled = false;     // MNLogView, MNLogPurge
  QString mainStatus;               // LabelStatus of the main window
  QString splashStatus;             // LabelStatus of the splash window
  QString userName, userNameTip, primaryGroup, libraryName;  // LabelUserName, LabelPrimaryGroup, LabelLibraryName
  QString labelTotal, labelRead;    // counter labels
  QString labelErrors, labelAdded;
  bool goEnabled = true;            // Button_Go
  int statusColour = 0;             // fore colour of the status window's label, 0xRRGGBB
  std::vector<RulesTreeNode> rulesTree;  // TVRules
  std::vector<QStringList> results;      // ListResults rows: "Library - Rule", "Date and Time", "Results"
  RunOptions options;
  int selectedRulesNode = -1;       // the selected node of TVRules
  QString exitToolTip;              // tooltip of Button_Exit
  bool exitEnabled = true;          // Button_Exit
  bool pauseTextsEnabled = true;    // TextPauseStart, TextPauseEnd
  QStringList libraryMenu;          // MNLibList captions
  std::vector<bool> libraryMenuChecked;
  QStringList currentRulesMenu;     // MNCurrentRules captions (item 0 always exists)
  QStringList initialRulesMenu;     // MNInitialRules captions (item 0 always exists)
  Pointer pointer = Pointer::Default;
  bool locked = false;              // LabelLocked shown, option pages and tree disabled
  bool toolsEnabled = true;         // the tools' menu items, F5 on a rule, the library menu
};

class Ui {
 public:
  Ui();
  virtual ~Ui() = default;

  // Shows a message box. Unattended (this base class): writes it to the log sink and to
  // standard error and answers with the first button (OK or Yes).
  virtual MsgResult MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title);
  // True when nobody is there to answer a box; this base class never has anyone.
  virtual bool AnswersUnattended() const { return true; }
  // A problem the user must learn of even where nobody watches the window: a box with OK that
  // also goes to standard error and the log sink, once.
  void Warn(const QString& text, MsgIcon icon, const QString& title);
  // Asks for one line of text (empty when cancelled); unattended it answers with the default text.
  virtual QString InputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    (void)prompt;
    (void)title;
    return defaultText;
  }
  // A warning the program gives loudly (in the log and on standard error) because a user could
  // not tell it otherwise: a node skipped or unticked after a failure. Only a window shows it too.
  virtual void ShowLoudWarning(const QString& text) { (void)text; }
  // Lets the window process pending messages.
  virtual void PumpMessages() {}
  // The main window's native handle (0 when there is no window).
  virtual qint64 WindowHandle() const { return 0; }

  virtual Pointer MousePointer() const { return controls.pointer; }
  virtual void SetMousePointer(Pointer p) { controls.pointer = p; }

  virtual QString StatusLabel(StatusWindow w) const;
  virtual void SetStatusLabel(StatusWindow w, const QString& text);

  virtual bool VerboseLogging() const { return controls.verboseLogging; }
  virtual void SetVerboseLogging(bool on) { controls.verboseLogging = on; }
  virtual bool DisplayErrors() const { return controls.displayErrors; }
  virtual bool TimeStampLogFile() const { return controls.timeStampLogFile; }
  virtual void SetLogMenusEnabled(bool on) { controls.logMenusEnabled = on; }

  virtual void SetLibraryLabels(const QString& user, const QString& group, const QString& library);
  virtual void SetUserNameTip(const QString& tip) { controls.userNameTip = tip; }
  virtual QStringList LibraryMenu() const { return controls.libraryMenu; }
  virtual void SetLibraryMenuChecked(int item, bool checked);

  virtual QStringList RuleMenuCaptions(RuleMenu menu) const;
  virtual void SetRuleMenuCaptions(RuleMenu menu, const QStringList& captions);

  virtual void SetCounterLabels(const QString& total, const QString& read);
  virtual void SetErrorAndAddedLabels(const QString& errors, const QString& added);
  virtual bool GoEnabled() const { return controls.goEnabled; }
  virtual void SetGoEnabled(bool on) { controls.goEnabled = on; }
  virtual void SetStatusColour(int rgb) { controls.statusColour = rgb; }
  virtual RunOptions Options() const { return controls.options; }
  // The one option read at every row: read alone, without the whole set of options.
  virtual bool AddNewDocs() const { return Options().addNewDocs; }

  // The rules tree. Indices are from 0 in the order the nodes were added.
  virtual int RulesNodeCount() const { return static_cast<int>(controls.rulesTree.size()); }
  virtual RulesTreeNode RulesNode(int index) const;
  virtual void SetRulesNodeChecked(int index, bool checked);
  virtual int AddRulesNode(int parent, const QString& text, const QString& key, bool checked);
  // Removes a node and its children; later indices move down.
  virtual void RemoveRulesNode(int index);
  // The children of a node (or the libraries for -1), in order.
  std::vector<int> RulesNodeChildren(int parent) const;

  // The results list; returns the new row's index.
  virtual int AddResultRow(const QStringList& columns);
  virtual void SetResultText(int row, int column, const QString& text);
  // Empty text for a row or column that does not exist.
  virtual QString ResultText(int row, int column) const;
  // Removes every row of the results list and switches its sorting off.
  virtual void ClearResults() { controls.results.clear(); }

  // What the processing run writes back into the main window's controls.
  virtual void SelectRulesNode(int index) { controls.selectedRulesNode = index; }
  virtual void SetPauseTimeChecked(bool on) { controls.options.pauseTime = on; }
  virtual void SetPauseTexts(const QString& start, const QString& end);
  virtual void SetLoopDelayText(const QString& text) { controls.options.loopDelay = text; }
  virtual QString ExitToolTip() const { return controls.exitToolTip; }
  virtual void SetExitToolTip(const QString& tip) { controls.exitToolTip = tip; }
  virtual bool ExitEnabled() const { return controls.exitEnabled; }
  virtual void SetExitEnabled(bool on) { controls.exitEnabled = on; }
  // The ways to start another tool or switch the library: the administration tools' menu items,
  // F5 on a rule and the library menu. A long task that works in the current library takes them
  // away while it works.
  virtual bool ToolsEnabled() const { return controls.toolsEnabled; }
  virtual void SetToolsEnabled(bool on) { controls.toolsEnabled = on; }
  virtual void SetPauseTextsEnabled(bool on) { controls.pauseTextsEnabled = on; }
  virtual QString CounterTotal() const { return controls.labelTotal; }
  virtual QString CounterRead() const { return controls.labelRead; }

  // --- Start-up, splash and About window ---
  // A window's place and size in twips (15 twips = 1 pixel).
  struct TwipsRect {
    int left = 0, top = 0, width = 0, height = 0;
  };
  enum class FocusTarget { MainWindow, Splash, GoButton };
  // What this base class keeps of the main window and the splash while no real window exists.
  struct StartupControls {
    QString mainCaption;
    bool mainVisible = false;
    bool mainEnabled = true;
    bool mainStateNormal = false;
    TwipsRect mainGeometry{0, 0, 4830, 9135};
    QString splashProductName = QStringLiteral("Quillmark for OpenText eDOCS Folder Stackwright Utility");
    QString splashVersion = QStringLiteral("Build Date");
    QString splashMaker;
    bool splashShown = false;
    FocusTarget focus = FocusTarget::MainWindow;
    bool readmeVisible = true;
    QString logDirToolTip = QStringLiteral("Designate location for logfile");
  } startupControls;
  virtual QString MainCaption() const { return startupControls.mainCaption; }
  virtual void SetMainCaption(const QString& caption) { startupControls.mainCaption = caption; }
  virtual void SetMainVisible(bool on) { startupControls.mainVisible = on; }
  virtual void SetMainEnabled(bool on) { startupControls.mainEnabled = on; }
  // Restores the main window from minimised or maximised.
  virtual void SetMainStateNormal() { startupControls.mainStateNormal = true; }
  virtual TwipsRect MainGeometry() const { return startupControls.mainGeometry; }
  virtual void SetMainGeometry(const TwipsRect& r) { startupControls.mainGeometry = r; }
  // The screen's size in twips (left and top 0).
  virtual TwipsRect ScreenSize() const { return {0, 0, 28800, 16200}; }
  // Fills the splash: its designed ProductName caption followed by dmVersionText, the build line
  // and the maker's line.
  virtual void SetSplashTexts(const QString& dmVersionText, const QString& buildLine, const QString& makerLine) {
    startupControls.splashProductName += dmVersionText;
    startupControls.splashVersion = buildLine;
    startupControls.splashMaker = makerLine;
  }
  // Shows the splash without waiting (true) or unloads it, back to its designed texts (false).
  virtual void ShowSplash(bool shown) {
    if (!shown) {
      const StartupControls designed;
      startupControls.splashProductName = designed.splashProductName;
      startupControls.splashVersion = designed.splashVersion;
      startupControls.splashMaker = designed.splashMaker;
    }
    startupControls.splashShown = shown;
  }
  virtual void SetWindowFocus(FocusTarget target) { startupControls.focus = target; }
  virtual void SetReadmeMenuVisible(bool on) { startupControls.readmeVisible = on; }
  virtual void SetLogDirToolTip(const QString& tip) { startupControls.logDirToolTip = tip; }
  // The option controls as a whole (check boxes, texts, the pause-day tree TVPause).
  virtual void SetOptions(const RunOptions& options) { controls.options = options; }
  virtual void SetDisplayErrors(bool on) { controls.displayErrors = on; }
  virtual void SetTimeStampLogFile(bool on) { controls.timeStampLogFile = on; }
  // The library menu MNLibList, one caption per library.
  virtual void SetLibraryMenu(const QStringList& captions) { controls.libraryMenu = captions; }

  // --- Rules tree, stop and exit ---
  // The selected node of TVRules, -1 for none.
  virtual int SelectedRulesNode() const { return controls.selectedRulesNode; }
  // Pops the library menu up at the mouse and returns the index of the item picked (-1 for none);
  // the caller acts on the pick.
  virtual int PopUpLibraryMenu() { return -1; }

  // --- Option pages, results list and menus ---
  // The lock display: "Locked" shows and the tab strip, the General options and the rules tree
  // take no input exactly while locked.
  virtual void ShowLockState(bool locked) { controls.locked = locked; }
  // The font size of the results list, in points (designed 8.25).
  virtual double ResultsFontSize() const { return resultsFontSize; }
  virtual void SetResultsFontSize(double points) { resultsFontSize = points; }
  double resultsFontSize = 8.25;

  // Where an unattended message box is logged; set by whoever owns the log.
  std::function<void(const QString&)> LogSink;
  UiControls controls;
};

// The default button of a set (the first, but No for a destructive question): the answer an
// unattended run gives, and the one Enter presses.
MsgResult DefaultButton(MsgButtons buttons);

// Boxes answer themselves (logged, on standard error, with the default button) without a
// display, and whenever the program was started to run and end by itself (/G with /X): a
// scheduled run may well have a display that nobody watches.
bool BoxesAnswerThemselves(const QString& platformName, const QString& commandLine);
// Whether the command line asks to run and end by itself: /G with /X, anywhere, in any case.
bool RunsUnattended(const QString& commandLine);

}  // namespace sw
