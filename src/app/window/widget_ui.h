#pragma once
// The ui service on the real widgets: what the lower subsystems read and write goes to the main
// window's controls, the splash window's labels and real message boxes.
#include <QPointer>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

#include "app/window/tarn_splash.h"
#include "platform/ui/ui.h"

class QLabel;
class QTreeWidgetItem;

namespace sw {

class AppContext;
class MainWindow;

class WidgetUi : public Ui {
 public:
  explicit WidgetUi(MainWindow& window);
  ~WidgetUi() override;

  // Without a display, or in a run started with /G and /X, message and input boxes, the
  // library chooser and the library menu answer themselves.
  bool AnswersUnattended() const override;
  // The program's command line as start-up reads it.
  std::function<QString()> CommandLine;

  MsgResult MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) override;
  QString InputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
  // In the results list, with the moment it was given.
  void ShowLoudWarning(const QString& text) override;
  void PumpMessages() override;
  qint64 WindowHandle() const override;

  Pointer MousePointer() const override { return pointer_; }
  void SetMousePointer(Pointer p) override;

  QString StatusLabel(StatusWindow w) const override;
  void SetStatusLabel(StatusWindow w, const QString& text) override;

  bool VerboseLogging() const override;
  void SetVerboseLogging(bool on) override;
  bool DisplayErrors() const override;
  bool TimeStampLogFile() const override;
  void SetLogMenusEnabled(bool on) override;

  void SetLibraryLabels(const QString& user, const QString& group, const QString& library) override;
  void SetUserNameTip(const QString& tip) override;
  QStringList LibraryMenu() const override;
  void SetLibraryMenuChecked(int item, bool checked) override;

  QStringList RuleMenuCaptions(RuleMenu menu) const override;
  void SetRuleMenuCaptions(RuleMenu menu, const QStringList& captions) override;

  void SetCounterLabels(const QString& total, const QString& read) override;
  void SetErrorAndAddedLabels(const QString& errors, const QString& added) override;
  bool GoEnabled() const override;
  void SetGoEnabled(bool on) override;
  void SetStatusColour(int rgb) override;
  RunOptions Options() const override;
  bool AddNewDocs() const override;

  int RulesNodeCount() const override;
  RulesTreeNode RulesNode(int index) const override;
  void SetRulesNodeChecked(int index, bool checked) override;
  int AddRulesNode(int parent, const QString& text, const QString& key, bool checked) override;
  void RemoveRulesNode(int index) override;
  // The node of a tree item, -1 when it is not one of the rules tree's nodes.
  int RulesNodeIndex(const QTreeWidgetItem* item) const;

  int AddResultRow(const QStringList& columns) override;
  void SetResultText(int row, int column, const QString& text) override;
  QString ResultText(int row, int column) const override;
  void ClearResults() override;

  void SelectRulesNode(int index) override;
  void SetPauseTimeChecked(bool on) override;
  void SetPauseTexts(const QString& start, const QString& end) override;
  void SetLoopDelayText(const QString& text) override;
  QString ExitToolTip() const override;
  void SetExitToolTip(const QString& tip) override;
  bool ExitEnabled() const override;
  void SetExitEnabled(bool on) override;
  bool ToolsEnabled() const override;
  void SetToolsEnabled(bool on) override;
  void SetPauseTextsEnabled(bool on) override;
  QString CounterTotal() const override;
  QString CounterRead() const override;

  QString MainCaption() const override;
  void SetMainCaption(const QString& caption) override;
  void SetMainVisible(bool on) override;
  void SetMainEnabled(bool on) override;
  void SetMainStateNormal() override;
  TwipsRect MainGeometry() const override;
  void SetMainGeometry(const TwipsRect& r) override;
  TwipsRect ScreenSize() const override;
  void SetSplashTexts(const QString& dmVersionText, const QString& buildLine, const QString& makerLine) override;
  void ShowSplash(bool shown) override;
  void SetWindowFocus(FocusTarget target) override;
  void SetReadmeMenuVisible(bool on) override;
  void SetLogDirToolTip(const QString& tip) override;
  void SetOptions(const RunOptions& options) override;
  void SetDisplayErrors(bool on) override;
  void SetTimeStampLogFile(bool on) override;
  void SetLibraryMenu(const QStringList& captions) override;

  int SelectedRulesNode() const override;
  int PopUpLibraryMenu() override;

  void ShowLockState(bool locked) override;
  double ResultsFontSize() const override;
  void SetResultsFontSize(double points) override;

  // The clock that spaces the label paints, in milliseconds (a steady clock; tests set their own),
  // and the timer that paints the newest texts once the changes stop.
  std::function<qint64()> LabelClock;
  QTimer labelTimer;

  // The splash window, loaded (hidden, with its designed texts) when first needed.
  TarnSplash& Splash() const;
  // The splash when it is loaded, else none.
  TarnSplash* LoadedSplash() const { return splash_.data(); }

 private:
  // The status and counter labels change dozens of times a folder during a run, and painting
  // each text would cost more than the folder: a label is painted at most every
  // LabelPaintIntervalMs, with the newest text (a timer shows the last ones when the changes
  // stop). Readers get the newest text at once.
  static constexpr int LabelPaintIntervalMs = 100;
  void SetLabelText(QLabel* label, const QString& text);
  QString LabelText(const QLabel* label) const;
  void ShowPendingLabels();

  void UnloadSplash();
  void SetPauseDays(const QStringList& names, const std::vector<bool>& checked);

  MainWindow& w_;
  mutable QPointer<TarnSplash> splash_;
  // The rules tree's items in the order they were added (the node indices); the base class's
  // node list keeps the parents in the same order.
  std::vector<QTreeWidgetItem*> rulesItems_;
  // The results rows in the order they were added, whatever the list's sorting.
  std::vector<QTreeWidgetItem*> resultRows_;
  Pointer pointer_ = Pointer::Default;
  std::vector<std::pair<QPointer<QLabel>, QString>> pendingLabels_;
  qint64 labelsShownAt_ = -1;  // LabelClock when the labels were last painted; -1 before
};

// Puts a WidgetUi on the window into the context; unattended message boxes still go to its log.
WidgetUi& InstallWidgetUi(AppContext& cx, MainWindow& window);

}  // namespace sw
