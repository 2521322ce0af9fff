#include "app/window/widget_ui.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QCursor>
#include <QDateTime>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>

#include "app/app_context.h"
#include "app/window/main_window.h"
#include "app/window/tarn_splash.h"
#include "app/window/window_rules.h"
#include "core/log.h"

namespace sw {

namespace {

QMessageBox::Icon BoxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// The buttons of a set, in order.
std::vector<QMessageBox::StandardButton> BoxButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OK: return {QMessageBox::Ok};
    case MsgButtons::OKCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case MsgButtons::YesNo:
    case MsgButtons::YesNoDefaultNo: return {QMessageBox::Yes, QMessageBox::No};
    case MsgButtons::YesNoCancel: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
  }
  return {QMessageBox::Ok};
}

QMessageBox::StandardButton BoxButton(MsgResult result) {
  switch (result) {
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::OK: break;
  }
  return QMessageBox::Ok;
}

MsgResult BoxResult(int button) {
  switch (button) {
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    default: return MsgResult::OK;
  }
}

Qt::CheckState CheckOf(bool on) { return on ? Qt::Checked : Qt::Unchecked; }

QTreeWidgetItem* NewCheckedItem(const QString& text, bool checked) {
  auto* item = new QTreeWidgetItem(QStringList{text});
  // Independent boxes: a library's tick never changes its rules' ticks.
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
  item->setCheckState(0, CheckOf(checked));
  return item;
}

}  // namespace

WidgetUi::WidgetUi(MainWindow& window) : w_(window) {
  LabelClock = [] {
    using namespace std::chrono;
    return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  };
  labelTimer.setSingleShot(true);
  QObject::connect(&labelTimer, &QTimer::timeout, [this] { ShowPendingLabels(); });
}

WidgetUi::~WidgetUi() { delete splash_.data(); }

bool WidgetUi::AnswersUnattended() const {
  return BoxesAnswerThemselves(QGuiApplication::platformName(), CommandLine ? CommandLine() : QString());
}

// --- Boxes, pump, pointer ------------------------------------------------------------------------

MsgResult WidgetUi::MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) {
  if (AnswersUnattended()) return Ui::MessageBox(text, icon, buttons, title);
  QMessageBox box(BoxIcon(icon), title, text, QMessageBox::NoButton, w_.isVisible() ? &w_ : nullptr);
  const std::vector<QMessageBox::StandardButton> set = BoxButtons(buttons);
  for (QMessageBox::StandardButton b : set) box.addButton(b);
  box.setDefaultButton(BoxButton(DefaultButton(buttons)));
  if (std::find(set.begin(), set.end(), QMessageBox::Cancel) != set.end()) box.setEscapeButton(QMessageBox::Cancel);
  // The box shows the ordinary arrow even while a task holds the hourglass.
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  QGuiApplication::restoreOverrideCursor();
  return BoxResult(answer);
}

QString WidgetUi::InputBox(const QString& prompt, const QString& title, const QString& defaultText) {
  if (AnswersUnattended()) return Ui::InputBox(prompt, title, defaultText);
  bool ok = false;
  const QString text = QInputDialog::getText(w_.isVisible() ? &w_ : nullptr, title, prompt, QLineEdit::Normal,
                                             defaultText, &ok);
  return ok ? text : QString();
}

void WidgetUi::ShowLoudWarning(const QString& text) {
  const QDateTime now = QDateTime::currentDateTime();
  const int row = AddResultRow({QString(), now.toString(QStringLiteral("yyyy/MM/dd-HH:mm:ss")), text});
  // Longer than the column: the tooltip holds it whole.
  resultRows_[static_cast<size_t>(row)]->setToolTip(2, text);
}

void WidgetUi::PumpMessages() { QCoreApplication::processEvents(); }

qint64 WidgetUi::WindowHandle() const { return static_cast<qint64>(w_.winId()); }

void WidgetUi::SetMousePointer(Pointer p) {
  if (p == pointer_) return;
  pointer_ = p;
  if (p == Pointer::Hourglass) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    return;
  }
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

// --- Status, log, library labels ----------------------------------------------------------------

void WidgetUi::SetLabelText(QLabel* label, const QString& text) {
  auto pending = std::find_if(pendingLabels_.begin(), pendingLabels_.end(), [label](const auto& p) { return p.first == label; });
  if (pending != pendingLabels_.end())
    pending->second = text;
  else
    pendingLabels_.emplace_back(label, text);
  // Never painted, or a clock that went back: paint now.
  const qint64 sinceShown = labelsShownAt_ < 0 ? LabelPaintIntervalMs : LabelClock() - labelsShownAt_;
  if (sinceShown < 0 || sinceShown >= LabelPaintIntervalMs) {
    ShowPendingLabels();
  } else if (!labelTimer.isActive()) {
    labelTimer.start(int(LabelPaintIntervalMs - sinceShown));
  }
}

QString WidgetUi::LabelText(const QLabel* label) const {
  for (const auto& [pending, text] : pendingLabels_)
    if (pending == label) return text;
  return label == w_.LabelStatus ? WholeText(label) : label->text();
}

void WidgetUi::ShowPendingLabels() {
  labelTimer.stop();
  for (const auto& [label, text] : pendingLabels_) {
    if (!label) continue;
    if (label == w_.LabelStatus)
      ShowWholeText(label, text);
    else
      label->setText(text);
  }
  pendingLabels_.clear();
  labelsShownAt_ = LabelClock();
}

QString WidgetUi::StatusLabel(StatusWindow w) const {
  return LabelText(w == StatusWindow::Splash ? Splash().LabelStatus : w_.LabelStatus);
}

void WidgetUi::SetStatusLabel(StatusWindow w, const QString& text) {
  SetLabelText(w == StatusWindow::Splash ? Splash().LabelStatus : w_.LabelStatus, text);
}

bool WidgetUi::VerboseLogging() const { return w_.CheckLogMethod->isChecked(); }
void WidgetUi::SetVerboseLogging(bool on) { w_.CheckLogMethod->setChecked(on); }
bool WidgetUi::DisplayErrors() const { return w_.CheckDisplayErrors->isChecked(); }
bool WidgetUi::TimeStampLogFile() const { return w_.MNTimeStampLogFile->isChecked(); }

void WidgetUi::SetLogMenusEnabled(bool on) {
  w_.MNLogView->setEnabled(on);
  w_.MNLogPurge->setEnabled(on);
}

// Library labels are set at every library switch, nearly always to what they show, and a routed
// rule changes the library's name many times a row: they are painted as the counters are.
void WidgetUi::SetLibraryLabels(const QString& user, const QString& group, const QString& library) {
  for (const auto& [label, text] : {std::pair{w_.LabelUserName, user}, std::pair{w_.LabelPrimaryGroup, group},
                                    std::pair{w_.LabelLibraryName, library}})
    if (LabelText(label) != text) SetLabelText(label, text);
}

void WidgetUi::SetUserNameTip(const QString& tip) { w_.LabelUserName->setToolTip(tip); }

QStringList WidgetUi::LibraryMenu() const {
  QStringList captions;
  for (const QAction* action : w_.MNLibMain->actions()) captions << action->text();
  return captions;
}

void WidgetUi::SetLibraryMenuChecked(int item, bool checked) {
  const QList<QAction*> actions = w_.MNLibMain->actions();
  if (item < 0 || item >= actions.size()) return;
  actions[item]->setChecked(checked);
}

void WidgetUi::SetLibraryMenu(const QStringList& captions) { w_.FillLibraryMenu(captions); }

QStringList WidgetUi::RuleMenuCaptions(RuleMenu menu) const {
  return w_.RuleMenuCaptions(menu == RuleMenu::Current ? w_.MNSetToCurrent : w_.MNSetToStart);
}

void WidgetUi::SetRuleMenuCaptions(RuleMenu menu, const QStringList& captions) {
  w_.FillRuleMenu(menu == RuleMenu::Current ? w_.MNSetToCurrent : w_.MNSetToStart, captions);
}

// --- Counters, buttons, options -------------------------------------------------------------------

void WidgetUi::SetCounterLabels(const QString& total, const QString& read) {
  SetLabelText(w_.LabelTotal, total);
  SetLabelText(w_.LabelRead, read);
}

void WidgetUi::SetErrorAndAddedLabels(const QString& errors, const QString& added) {
  SetLabelText(w_.LabelErrors, errors);
  SetLabelText(w_.LabelAdded, added);
}

QString WidgetUi::CounterTotal() const { return LabelText(w_.LabelTotal); }
QString WidgetUi::CounterRead() const { return LabelText(w_.LabelRead); }

// A button's own setting, whatever the window around it is doing (it is disabled during start-up).
bool WidgetUi::GoEnabled() const { return !w_.Button_Go->testAttribute(Qt::WA_ForceDisabled); }
void WidgetUi::SetGoEnabled(bool on) { w_.Button_Go->setEnabled(on); }
bool WidgetUi::ExitEnabled() const { return !w_.Button_Exit->testAttribute(Qt::WA_ForceDisabled); }
void WidgetUi::SetExitEnabled(bool on) { w_.Button_Exit->setEnabled(on); }
bool WidgetUi::ToolsEnabled() const { return controls.toolsEnabled; }
void WidgetUi::SetToolsEnabled(bool on) {
  controls.toolsEnabled = on;
  for (QAction* tool : {w_.MNSetToCurrent->menuAction(), w_.MNSetToStart->menuAction(), w_.MNSpecialFunctions,
                        w_.MNClearRunningNodes, w_.MNDisplayTarnAuto, w_.MNTarnOptions})
    tool->setEnabled(on);
}
QString WidgetUi::ExitToolTip() const { return w_.Button_Exit->toolTip(); }
void WidgetUi::SetExitToolTip(const QString& tip) { w_.Button_Exit->setToolTip(tip); }

void WidgetUi::SetStatusColour(int rgb) {
  QPalette palette = w_.LabelStatus->palette();
  palette.setColor(QPalette::WindowText, QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
  w_.LabelStatus->setPalette(palette);
}

RunOptions WidgetUi::Options() const {
  RunOptions o;
  o.loop = w_.CheckLoop->isChecked();
  o.loopDelay = w_.TextLoopDelay->text();
  o.lockWorkstation = w_.CheckLockWorkstation->isChecked();
  o.reuseSql = w_.CheckReUseSQL->isChecked();
  o.initialize = w_.CheckInitialize->isChecked();
  o.processDescending = w_.CheckProcessDescending->isChecked();
  o.addNewDocs = w_.CheckAddNewDocs->isChecked();
  o.maxFolders = w_.TextMaxFolders->text();
  o.pauseTime = w_.CheckPauseTime->isChecked();
  o.pauseStart = w_.TextPauseStart->text();
  o.pauseEnd = w_.TextPauseEnd->text();
  for (int i = 0; i < w_.TVPause->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* day = w_.TVPause->topLevelItem(i);
    o.pauseDayNames << day->text(0);
    o.pauseDayChecked.push_back(day->checkState(0) == Qt::Checked);
  }
  return o;
}

bool WidgetUi::AddNewDocs() const { return w_.CheckAddNewDocs->isChecked(); }

void WidgetUi::SetOptions(const RunOptions& o) {
  w_.CheckLoop->setChecked(o.loop);
  w_.TextLoopDelay->setText(o.loopDelay);
  w_.CheckLockWorkstation->setChecked(o.lockWorkstation);
  w_.CheckReUseSQL->setChecked(o.reuseSql);
  w_.CheckInitialize->setChecked(o.initialize);
  w_.CheckProcessDescending->setChecked(o.processDescending);
  w_.CheckAddNewDocs->setChecked(o.addNewDocs);
  w_.TextMaxFolders->setText(o.maxFolders);
  w_.CheckPauseTime->setChecked(o.pauseTime);
  SetPauseTexts(o.pauseStart, o.pauseEnd);
  SetPauseDays(o.pauseDayNames, o.pauseDayChecked);
}

// The day nodes are made again only when their names change; otherwise only their ticks are set.
void WidgetUi::SetPauseDays(const QStringList& names, const std::vector<bool>& checked) {
  QTreeWidget* tree = w_.TVPause;
  bool same = tree->topLevelItemCount() == names.size();
  for (int i = 0; same && i < names.size(); ++i) same = tree->topLevelItem(i)->text(0) == names[i];
  if (!same) {
    tree->clear();
    for (const QString& name : names) tree->addTopLevelItem(NewCheckedItem(name, false));
  }
  for (int i = 0; i < names.size(); ++i) {
    const bool on = static_cast<size_t>(i) < checked.size() && checked[static_cast<size_t>(i)];
    tree->topLevelItem(i)->setCheckState(0, CheckOf(on));
  }
}

void WidgetUi::SetPauseTimeChecked(bool on) { w_.CheckPauseTime->setChecked(on); }

void WidgetUi::SetPauseTexts(const QString& start, const QString& end) {
  w_.ShowPauseText(w_.TextPauseStart, start);
  w_.ShowPauseText(w_.TextPauseEnd, end);
}

void WidgetUi::SetLoopDelayText(const QString& text) { w_.TextLoopDelay->setText(text); }

void WidgetUi::SetPauseTextsEnabled(bool on) {
  w_.TextPauseStart->setEnabled(on);
  w_.TextPauseEnd->setEnabled(on);
}

void WidgetUi::SetDisplayErrors(bool on) { w_.CheckDisplayErrors->setChecked(on); }
void WidgetUi::SetTimeStampLogFile(bool on) { w_.MNTimeStampLogFile->setChecked(on); }

// --- Rules tree ----------------------------------------------------------------------------------

int WidgetUi::RulesNodeCount() const { return static_cast<int>(rulesItems_.size()); }

int WidgetUi::RulesNodeIndex(const QTreeWidgetItem* item) const {
  const auto it = std::find(rulesItems_.begin(), rulesItems_.end(), item);
  return it == rulesItems_.end() ? -1 : static_cast<int>(it - rulesItems_.begin());
}

RulesTreeNode WidgetUi::RulesNode(int index) const {
  if (index < 0 || index >= RulesNodeCount()) return {};
  const QTreeWidgetItem* item = rulesItems_[static_cast<size_t>(index)];
  RulesTreeNode node;
  node.text = item->text(0);
  node.key = item->data(0, Qt::UserRole).toString();
  node.parent = item->parent() ? RulesNodeIndex(item->parent()) : -1;
  node.checked = item->checkState(0) == Qt::Checked;
  return node;
}

void WidgetUi::SetRulesNodeChecked(int index, bool checked) {
  if (index < 0 || index >= RulesNodeCount()) return;
  rulesItems_[static_cast<size_t>(index)]->setCheckState(0, CheckOf(checked));
}

int WidgetUi::AddRulesNode(int parent, const QString& text, const QString& key, bool checked) {
  QTreeWidgetItem* item = NewCheckedItem(text, checked);
  item->setData(0, Qt::UserRole, key);
  if (parent >= 0 && parent < RulesNodeCount()) {
    rulesItems_[static_cast<size_t>(parent)]->addChild(item);
  } else {
    parent = -1;
    w_.TVRules->addTopLevelItem(item);
  }
  rulesItems_.push_back(item);
  return RulesNodeCount() - 1;
}

void WidgetUi::RemoveRulesNode(int index) {
  if (index < 0 || index >= RulesNodeCount()) return;
  QTreeWidgetItem* removed = rulesItems_[static_cast<size_t>(index)];
  // The node and all its descendants leave the add-order list; later indices move down.
  const auto inRemovedBranch = [removed](const QTreeWidgetItem* item) {
    for (; item; item = item->parent())
      if (item == removed) return true;
    return false;
  };
  rulesItems_.erase(std::remove_if(rulesItems_.begin(), rulesItems_.end(), inRemovedBranch), rulesItems_.end());
  delete removed;  // takes its child items with it
}

void WidgetUi::SelectRulesNode(int index) {
  if (index < 0 || index >= RulesNodeCount()) {
    w_.TVRules->setCurrentItem(nullptr);
    return;
  }
  w_.TVRules->setCurrentItem(rulesItems_[static_cast<size_t>(index)]);
}

int WidgetUi::SelectedRulesNode() const { return RulesNodeIndex(w_.TVRules->currentItem()); }

int WidgetUi::PopUpLibraryMenu() {
  // Unattended nobody could pick an item: the menu only pops up.
  if (AnswersUnattended()) {
    w_.MNLibMain->popup(QCursor::pos());
    return -1;
  }
  // The marks show the current library; picking an item must not toggle one by itself.
  const QList<QAction*> actions = w_.MNLibMain->actions();
  std::vector<bool> marks;
  for (const QAction* action : actions) marks.push_back(action->isChecked());
  QAction* picked = w_.MNLibMain->exec(QCursor::pos());
  for (int i = 0; i < actions.size(); ++i) actions[i]->setChecked(marks[static_cast<size_t>(i)]);
  return picked ? static_cast<int>(actions.indexOf(picked)) : -1;
}

// --- Results list ----------------------------------------------------------------------------------

int WidgetUi::AddResultRow(const QStringList& columns) {
  auto* item = new QTreeWidgetItem(columns);
  w_.ListResults->addTopLevelItem(item);
  resultRows_.push_back(item);
  return static_cast<int>(resultRows_.size()) - 1;
}

void WidgetUi::SetResultText(int row, int column, const QString& text) {
  if (row < 0 || row >= static_cast<int>(resultRows_.size()) || column < 0 ||
      column >= w_.ListResults->columnCount())
    return;
  resultRows_[static_cast<size_t>(row)]->setText(column, text);
}

QString WidgetUi::ResultText(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(resultRows_.size()) || column < 0) return {};
  return resultRows_[static_cast<size_t>(row)]->text(column);
}

void WidgetUi::ClearResults() {
  w_.ListResults->setSortingEnabled(false);
  w_.ListResults->clear();
  resultRows_.clear();
}

double WidgetUi::ResultsFontSize() const { return w_.ListResults->font().pointSizeF(); }

void WidgetUi::SetResultsFontSize(double points) {
  QFont font = w_.ListResults->font();
  font.setPointSizeF(points);
  w_.ListResults->setFont(font);
}

// --- Lock ------------------------------------------------------------------------------------------

void WidgetUi::ShowLockState(bool locked) {
  w_.LabelLocked->setVisible(locked);
  w_.TabStrip->setEnabled(!locked);
  w_.FrameOptions->setEnabled(!locked);
  w_.TVRules->setEnabled(!locked);
}

// --- The main window as a whole ----------------------------------------------------------------------

QString WidgetUi::MainCaption() const { return w_.windowTitle(); }
void WidgetUi::SetMainCaption(const QString& caption) { w_.setWindowTitle(caption); }
void WidgetUi::SetMainVisible(bool on) { w_.setVisible(on); }
void WidgetUi::SetMainEnabled(bool on) { w_.setEnabled(on); }

void WidgetUi::SetMainStateNormal() {
  w_.setWindowState(w_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

Ui::TwipsRect WidgetUi::MainGeometry() const {
  return {PixelsToTwips(w_.x()), PixelsToTwips(w_.y()), PixelsToTwips(w_.width()), PixelsToTwips(w_.height())};
}

void WidgetUi::SetMainGeometry(const TwipsRect& r) {
  w_.move(TwipsToPixels(r.left), TwipsToPixels(r.top));
  w_.resize(TwipsToPixels(r.width), TwipsToPixels(r.height));
}

Ui::TwipsRect WidgetUi::ScreenSize() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return Ui::ScreenSize();
  const QRect g = screen->geometry();
  return {0, 0, PixelsToTwips(g.width()), PixelsToTwips(g.height())};
}

void WidgetUi::SetWindowFocus(FocusTarget target) {
  switch (target) {
    case FocusTarget::Splash:
      if (splash_ && splash_->isVisible()) {
        splash_->activateWindow();
        splash_->setFocus();
      }
      return;
    case FocusTarget::GoButton:
      w_.Button_Go->setFocus();
      return;
    case FocusTarget::MainWindow:
      w_.activateWindow();
      w_.setFocus();
      return;
  }
}

void WidgetUi::SetReadmeMenuVisible(bool on) { w_.MNHelpReadme->setVisible(on); }
void WidgetUi::SetLogDirToolTip(const QString& tip) { w_.ButtonLogDir->setToolTip(tip); }

// --- Splash ------------------------------------------------------------------------------------------

TarnSplash& WidgetUi::Splash() const {
  if (!splash_) {
    splash_ = new TarnSplash();
    // Dismissed during start-up: the main window is enabled at once and the splash unloaded;
    // later step texts go to a splash that is loaded again but not shown.
    splash_->onDismissed = [this] {
      w_.setEnabled(true);
      w_.activateWindow();
      const_cast<WidgetUi*>(this)->UnloadSplash();
    };
  }
  return *splash_;
}

void WidgetUi::UnloadSplash() {
  if (!splash_) return;
  TarnSplash* gone = splash_.data();
  splash_.clear();
  gone->hide();
  // It may be unloaded from inside its own key or mouse handler.
  gone->deleteLater();
}

void WidgetUi::SetSplashTexts(const QString& dmVersionText, const QString& buildLine, const QString& makerLine) {
  Splash().Fill(dmVersionText, buildLine, makerLine);
}

void WidgetUi::ShowSplash(bool shown) {
  if (!shown) {
    UnloadSplash();
    return;
  }
  TarnSplash& splash = Splash();
  splash.show();
  splash.raise();
}

// --- Installing --------------------------------------------------------------------------------------

namespace {

// The DM client's library chooser: a list of the session's libraries with the current one
// preselected. Unattended nobody could choose, so it cancels as the DM client would.
int ChooseLibraryDialog(AppContext& cx, MainWindow& window, const QStringList& names) {
  if (cx.ui->AnswersUnattended() || names.isEmpty()) return -1;
  const dm::DmLibraryPtr current = cx.session.CurrentLibrary;
  int preselected = 0;
  try {
    if (current) preselected = qMax(0, int(names.indexOf(current->Name())));
  } catch (const std::exception&) {
  }
  bool ok = false;
  const QString chosen =
      QInputDialog::getItem(window.isVisible() ? &window : nullptr, QStringLiteral("Select Library"),
                            QStringLiteral("Library:"), names, preselected, false, &ok);
  return ok ? int(names.indexOf(chosen)) : -1;
}

}  // namespace

WidgetUi& InstallWidgetUi(AppContext& cx, MainWindow& window) {
  auto ui = std::make_unique<WidgetUi>(window);
  WidgetUi& installed = *ui;
  ui->LogSink = [&cx](const QString& text) { LogMessageBox(cx, text); };
  // Whenever the program waits for the user (a box or dialog of its own, or the idle window),
  // the log is written out first, for whoever looks at it meanwhile.
  if (QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance())
    QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, &window, [&cx] { FlushLog(cx); });
  // Before start-up has read the command line, the process's own arguments tell.
  ui->CommandLine = [&cx] {
    if (!cx.app.CommandLine.isEmpty()) return cx.app.CommandLine;
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();
    return arguments.join(QLatin1Char(' '));
  };
  cx.ui = std::move(ui);
  cx.libraryChooser = [&cx, &window](const QStringList& names) { return ChooseLibraryDialog(cx, window, names); };
  return installed;
}

}  // namespace sw
