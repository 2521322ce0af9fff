#pragma once
// The user-interface service: everything code below the main window needs of it (message
// boxes, the pointer, the message pump, the status labels, the check boxes and menus it reads
// and writes). The base class keeps the control values itself and answers message boxes as an
// unattended run must (log, standard error, default button); the main window overrides it with
// real widgets, tests use ScriptedUi.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace sw {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgResult { OK, Cancel, Yes, No };
enum class Pointer { Default, Hourglass };
// The windows that carry a status label.
enum class StatusWindow { None, Main, Splash };
// The two rule menus of the main window.
enum class RuleMenu { Current, Initial };

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
  QStringList libraryMenu;          // MNLibList captions
  std::vector<bool> libraryMenuChecked;
  QStringList currentRulesMenu;     // MNCurrentRules captions (item 0 always exists)
  QStringList initialRulesMenu;     // MNInitialRules captions (item 0 always exists)
  Pointer pointer = Pointer::Default;
};

class Ui {
 public:
  Ui();
  virtual ~Ui() = default;

  // Shows a message box. Unattended (this base class): writes it to the log sink and to
  // standard error and answers with the first button (OK or Yes).
  virtual MsgResult MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title);
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
  virtual QString CounterTotal() const { return controls.labelTotal; }
  virtual QString CounterRead() const { return controls.labelRead; }
  // The text colour of the main window's status label; nothing to draw without a window.
  virtual void SetStatusColor(int /*red*/, int /*green*/, int /*blue*/) {}

  // Where an unattended message box is logged; set by whoever owns the log.
  std::function<void(const QString&)> LogSink;
  UiControls controls;
};

// A message box as a test saw it.
struct ShownMessage {
  QString text;
  MsgIcon icon;
  MsgButtons buttons;
  QString title;
};

// Records every message box and answers from a queue (the first button once the queue is empty).
class ScriptedUi : public Ui {
 public:
  MsgResult MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) override;
  void PumpMessages() override { ++pumpCount; }
  void Answer(MsgResult r) { answers.push_back(r); }

  std::vector<ShownMessage> shown;
  std::vector<MsgResult> answers;
  int pumpCount = 0;
};

// The first button of a set: the answer an unattended run gives.
MsgResult DefaultButton(MsgButtons buttons);

}  // namespace sw
