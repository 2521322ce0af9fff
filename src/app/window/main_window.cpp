#include "app/window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTextLayout>
#include <QTreeWidget>

#include "admin/admin.h"
#include "app/app_context.h"
#include "app/handlers.h"
#include "app/window/tarn_splash.h"
#include "app/window/widget_ui.h"
#include "app/window/window_handlers.h"
#include "app/window/window_rules.h"
#include "run/run.h"
#include "run/run_control.h"

namespace sw {

namespace {

QCheckBox* NewCheck(QWidget* parent, const QString& caption, const QString& tip) {
  auto* box = new QCheckBox(caption, parent);
  if (!tip.isEmpty()) box->setToolTip(tip);
  return box;
}

QLineEdit* NewText(QWidget* parent, const QString& tip) {
  auto* edit = new QLineEdit(parent);
  edit->setToolTip(tip);
  return edit;
}

const QString PauseStartTip = QStringLiteral("Enter the pause Start time (24 hour clock)");
const QString PauseEndTip = QStringLiteral("Enter the pause End time (24 hour clock)");

QGroupBox* NewFrame(QWidget* parent, const QString& name, const QString& caption = QString()) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setObjectName(name);
  return frame;
}

void Face(QPushButton* button, const QString& colour) {
  button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; font-weight: bold; }"
                                       "QPushButton:disabled { color: gray; }")
                            .arg(colour));
}

void ForeColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

// A save dialog with the request's title, start file, suffix and filter; none when cancelled.
std::optional<QString> SaveDialog(QWidget* parent, const LogFileRequest& request) {
  QFileDialog dialog(parent, request.title, request.initialPath, request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.selectFile(request.initialPath);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

// The status box's smallest font, in points: smaller is no longer read at a glance.
constexpr double SmallestStatusPoints = 6.5;
const char* const WholeTextProperty = "wholeText";

// The text broken into the lines it takes at this width; line breaks of its own are kept.
QStringList WrappedLines(const QString& text, const QFont& font, int width) {
  QString flowing = text;
  flowing.replace(QStringLiteral("\r\n"), QChar(QChar::LineSeparator)).replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
  QTextLayout layout(flowing, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines << flowing.mid(line.textStart(), line.textLength()).remove(QChar(QChar::LineSeparator)).trimmed();
  }
  layout.endLayout();
  return lines;
}

// The lines that fit, the last one elided with what follows it.
QStringList ElidedLines(const QStringList& lines, const QFontMetrics& metrics, int width, int fitting) {
  if (fitting <= 0 || lines.size() <= fitting) return lines.mid(0, qMax(fitting, 0));
  QStringList kept = lines.mid(0, fitting);
  kept.last() = metrics.elidedText(lines.mid(fitting - 1).join(QLatin1Char(' ')), Qt::ElideRight, width);
  return kept;
}

}  // namespace

void ShowWholeText(QLabel* label, const QString& text) {
  label->setProperty(WholeTextProperty, text);
  label->setToolTip(text);
  label->setWordWrap(false);
  label->setTextFormat(Qt::PlainText);
  const QRect room = label->contentsRect();
  QFont font = label->parentWidget() ? label->parentWidget()->font() : QApplication::font();
  const double designed = font.pointSizeF() > 0 ? font.pointSizeF() : 9;
  // As the label draws them: the lines' height is measured, not worked out from the line spacing.
  auto fits = [&room](const QFontMetrics& metrics, const QStringList& lines) {
    return metrics.boundingRect(room, Qt::TextWordWrap, lines.join(QLatin1Char('\n'))).height() <= room.height();
  };
  QStringList lines;
  for (double points = designed; points >= SmallestStatusPoints; points -= 0.5) {
    font.setPointSizeF(points);
    lines = WrappedLines(text, font, room.width());
    if (fits(QFontMetrics(font), lines)) break;
  }
  const QFontMetrics metrics(font);
  int fitting = int(lines.size());
  while (fitting > 1 && !fits(metrics, lines.mid(0, fitting))) --fitting;
  label->setFont(font);
  label->setText(ElidedLines(lines, metrics, room.width(), fitting).join(QLatin1Char('\n')));
}

QString WholeText(const QLabel* label) {
  const QVariant whole = label->property(WholeTextProperty);
  return whole.isValid() ? whole.toString() : label->text();
}

MainWindow::MainWindow(AppContext& cx, QWidget* parent) : QMainWindow(parent), cx_(cx) {
  setObjectName(QStringLiteral("DMMain"));
  cx_.mainWindow = this;
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);
  auto* central = new QWidget(this);
  setCentralWidget(central);
  BuildPages(central);
  BuildFixedFrames(central);
  BuildMenus();
  ConnectHandlers();
  resize(TwipsToPixels(4830), TwipsToPixels(9135));
  chooseLogFile = [this](const LogFileRequest& request) { return SaveDialog(this, request); };
  showAboutModal = [](TarnSplash& splash) { splash.exec(); };
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (cx_.mainWindow == this) cx_.mainWindow = nullptr;
}

void MainWindow::PlaceTwips(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

int MainWindow::LeftTwips(const QWidget* w) { return PixelsToTwips(w->x()); }
int MainWindow::TopTwips(const QWidget* w) { return PixelsToTwips(w->y()); }
int MainWindow::HeightTwips(const QWidget* w) { return PixelsToTwips(w->height()); }

// --- Layout ------------------------------------------------------------------------------------

void MainWindow::BuildPages(QWidget* central) {
  // The tab strip lies beneath every page panel; the panels are placed over it.
  TabStrip = new QFrame(central);
  TabStrip->setObjectName(QStringLiteral("TabStrip"));
  TabStrip->setFrameShape(QFrame::StyledPanel);
  PlaceTwips(TabStrip, 0, 0, 4750, 5175);
  TabStripTabs = new QTabBar(TabStrip);
  const char* captions[] = {"General", "Libraries", "Options", "Pause"};
  const char* tips[] = {"General Options", "Libraries and rules to process", "Run-time options", "Pause Options"};
  for (int i = 0; i < 4; ++i) {
    TabStripTabs->addTab(QString::fromLatin1(captions[i]));
    TabStripTabs->setTabToolTip(i, QString::fromLatin1(tips[i]));
  }
  PlaceTwips(TabStripTabs, 0, 0, 4750, 360);
  BuildGeneralPage(central);
  FrameTVRules = NewFrame(central, QStringLiteral("FrameTVRules"));
  PlaceTwips(FrameTVRules, 0, 360, 4670, 4740);
  TVRules = new QTreeWidget(FrameTVRules);
  TVRules->setObjectName(QStringLiteral("TVRules"));
  TVRules->setHeaderHidden(true);
  TVRules->setToolTip(QStringLiteral(
      "Enable/Disable a library, or dbl-click on a library name to display rules to enable/disable."));
  PlaceTwips(TVRules, 60, 180, 4550, 4500);
  BuildOptionsPage(central);
  BuildPausePage(central);
  // The page panels cover what lies beneath them (the results frame keeps its place under
  // them), so they paint their own background.
  for (QWidget* page : {static_cast<QWidget*>(FrameTVRules), static_cast<QWidget*>(FrameSWOptions),
                        static_cast<QWidget*>(FramePause)})
    page->setAutoFillBackground(true);
  // At start the General page is in view.
  FrameTVRules->hide();
  FrameSWOptions->hide();
  FramePause->hide();
}

void MainWindow::BuildGeneralPage(QWidget* central) {
  FrameOptions = NewFrame(central, QStringLiteral("FrameOptions"));
  PlaceTwips(FrameOptions, 0, 360, 4670, 1815);
  CheckLoop = NewCheck(FrameOptions, QStringLiteral("Loop Continuously"), QStringLiteral("Run continuously"));
  PlaceTwips(CheckLoop, 120, 180, 2400, 285);
  LabelLoopDelay = new QLabel(QStringLiteral("Delay Time (In Seconds):"), FrameOptions);
  PlaceTwips(LabelLoopDelay, 120, 510, 2400, 285);
  TextLoopDelay =
      NewText(FrameOptions, QStringLiteral("The delay time (in seconds) to wait between processing documents"));
  PlaceTwips(TextLoopDelay, 2640, 495, 900, 300);
  CheckLogMethod = NewCheck(FrameOptions, QStringLiteral("&Verbose Logging"), QStringLiteral("Log each operation"));
  PlaceTwips(CheckLogMethod, 120, 840, 2400, 285);
  ButtonLogDir = new QPushButton(QStringLiteral(".."), FrameOptions);
  ButtonLogDir->setToolTip(QStringLiteral("Designate location for logfile"));
  PlaceTwips(ButtonLogDir, 2640, 825, 450, 300);
  LabelMaxFolders = new QLabel(QStringLiteral("Maximum Folders/Cycle"), FrameOptions);
  PlaceTwips(LabelMaxFolders, 120, 1170, 2400, 285);
  TextMaxFolders =
      NewText(FrameOptions, QStringLiteral("The maximum folders to process per cycle (adjust for memory)"));
  PlaceTwips(TextMaxFolders, 2640, 1155, 900, 300);
  CheckDisplayErrors = NewCheck(FrameOptions, QStringLiteral("Display Errors"),
                                QStringLiteral("Display errors (will requires intervention to continue)"));
  PlaceTwips(CheckDisplayErrors, 120, 1500, 2100, 285);
  CheckLockWorkstation = NewCheck(FrameOptions, QStringLiteral("Lock computer on Go!"), QString());
  PlaceTwips(CheckLockWorkstation, 2280, 1500, 2300, 285);

  FrameListResults = NewFrame(central, QStringLiteral("FrameListResults"));
  PlaceTwips(FrameListResults, 0, 2100, 4670, 3075);
  ListResults = new QTreeWidget(FrameListResults);
  ListResults->setObjectName(QStringLiteral("ListResults"));
  ListResults->setColumnCount(3);
  ListResults->setHeaderLabels(
      {QStringLiteral("Library - Rule"), QStringLiteral("Date and Time"), QStringLiteral("Results")});
  ListResults->setRootIsDecorated(false);
  ListResults->setSortingEnabled(false);
  ListResults->header()->setSectionsClickable(true);
  // Each column as wide as its longest text (the list scrolls sideways when they do not fit):
  // a cut "5250 folder(s) ad..." tells nothing.
  ListResults->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  ListResults->header()->setStretchLastSection(false);
  QFont listFont(QStringLiteral("Arial"));
  listFont.setPointSizeF(8.25);
  ListResults->setFont(listFont);
  PlaceTwips(ListResults, 60, 180, 4550, 2835);
}

void MainWindow::BuildOptionsPage(QWidget* central) {
  FrameSWOptions = NewFrame(central, QStringLiteral("FrameSWOptions"));
  PlaceTwips(FrameSWOptions, 0, 360, 4670, 4740);
  FrameSWTrain = NewFrame(FrameSWOptions, QStringLiteral("FrameSWTrain"));
  PlaceTwips(FrameSWTrain, 60, 180, 4550, 1800);
  CheckProcessDescending =
      NewCheck(FrameSWTrain, QStringLiteral("Process items in descending order"),
               QStringLiteral("Check this option if you want folders created in descending order"));
  PlaceTwips(CheckProcessDescending, 120, 180, 4300, 285);
  CheckInitialize = NewCheck(
      FrameSWTrain, QStringLiteral("Initialize folders for selected rules"),
      QStringLiteral("Check this option if you are doing an initial build of folders for the selected rules"));
  PlaceTwips(CheckInitialize, 120, 570, 4300, 285);
  CheckAddNewDocs =
      NewCheck(FrameSWTrain, QStringLiteral("Add documents for new folders to queue"),
               QStringLiteral("Add documents for new folders to NEEDS_FOLDERING as they are created"));
  PlaceTwips(CheckAddNewDocs, 120, 960, 4300, 285);
  CheckReUseSQL = NewCheck(FrameSWTrain, QStringLiteral("Re-use existing SQL statements"),
                           QStringLiteral("Check this option if you want Stackwright to use the saved SQL statement "
                                          "to select folders create"));
  PlaceTwips(CheckReUseSQL, 120, 1350, 4300, 285);
}

void MainWindow::BuildPausePage(QWidget* central) {
  FramePause = NewFrame(central, QStringLiteral("FramePause"));
  PlaceTwips(FramePause, 0, 360, 4670, 4740);
  FramePauseTime = NewFrame(FramePause, QStringLiteral("FramePauseTime"));
  PlaceTwips(FramePauseTime, 60, 180, 4550, 1050);
  CheckPauseTime = NewCheck(FramePauseTime, QStringLiteral("Enable Pause Timer"),
                            QStringLiteral("Check this box to enable the pause timer (set the start/end time)"));
  PlaceTwips(CheckPauseTime, 120, 180, 4300, 285);
  TextPauseStart = NewText(FramePauseTime, PauseStartTip);
  TextPauseStart->setMaxLength(5);
  PlaceTwips(TextPauseStart, 120, 600, 900, 300);
  LabelPause = new QLabel(QStringLiteral("to"), FramePauseTime);
  LabelPause->setAlignment(Qt::AlignCenter);
  PlaceTwips(LabelPause, 1080, 615, 360, 285);
  TextPauseEnd = NewText(FramePauseTime, PauseEndTip);
  TextPauseEnd->setMaxLength(5);
  PlaceTwips(TextPauseEnd, 1500, 600, 900, 300);
  TVPause = new QTreeWidget(FramePause);
  TVPause->setObjectName(QStringLiteral("TVPause"));
  TVPause->setHeaderHidden(true);
  TVPause->setRootIsDecorated(false);
  PlaceTwips(TVPause, 60, 1320, 4550, 3300);
}

void MainWindow::BuildFixedFrames(QWidget* central) {
  FrameButtons = new QFrame(central);
  PlaceTwips(FrameButtons, 0, 5160, 4740, 855);
  Button_Go = new QPushButton(QStringLiteral("&Go!"), FrameButtons);
  Button_Go->setToolTip(QStringLiteral("Start importing folders"));
  Face(Button_Go, QStringLiteral("#00c000"));
  PlaceTwips(Button_Go, 120, 120, 1500, 555);
  Button_Exit = new QPushButton(QStringLiteral("&Exit"), FrameButtons);
  Button_Exit->setToolTip(QStringLiteral("Exit this program"));
  Face(Button_Exit, QStringLiteral("#ff4040"));
  PlaceTwips(Button_Exit, 3120, 120, 1500, 555);
  LabelLocked = new QLabel(QStringLiteral("Locked"), FrameButtons);
  LabelLocked->setAlignment(Qt::AlignCenter);
  ForeColour(LabelLocked, QColor(192, 0, 0));
  PlaceTwips(LabelLocked, 1680, 255, 1380, 285);
  LabelLocked->hide();

  FrameCounters = new QFrame(central);
  FrameCounters->setFrameShape(QFrame::StyledPanel);
  PlaceTwips(FrameCounters, 0, 5880, 4740, 900);
  const char* captions[] = {"Total", "Processed", "Added", "Errors"};
  QLabel** values[] = {&LabelTotal, &LabelRead, &LabelAdded, &LabelErrors};
  for (int i = 0; i < 4; ++i) {
    auto* caption = new QLabel(QString::fromLatin1(captions[i]), FrameCounters);
    caption->setAlignment(Qt::AlignCenter);
    PlaceTwips(caption, 60 + i * 1170, 90, 1110, 285);
    *values[i] = new QLabel(QStringLiteral("0"), FrameCounters);
    (*values[i])->setAlignment(Qt::AlignCenter);
    (*values[i])->setFrameShape(QFrame::Panel);
    (*values[i])->setFrameShadow(QFrame::Sunken);
    PlaceTwips(*values[i], 60 + i * 1170, 420, 1110, 345);
  }

  FrameStatus = NewFrame(central, QStringLiteral("FrameStatus"), QStringLiteral("Status"));
  PlaceTwips(FrameStatus, 0, 6840, 4740, 1170);
  LabelStatus = new QLabel(FrameStatus);
  LabelStatus->setAlignment(Qt::AlignCenter);
  LabelStatus->setWordWrap(true);
  PlaceTwips(LabelStatus, 60, 225, 4620, 885);

  FrameInfo = new QFrame(central);
  FrameInfo->setFrameShape(QFrame::StyledPanel);
  PlaceTwips(FrameInfo, 0, 8040, 4740, 780);
  LabelLibraryName = new QLabel(FrameInfo);
  LabelLibraryName->setToolTip(QStringLiteral("Right-click here to change current library"));
  PlaceTwips(LabelLibraryName, 60, 15, 4620, 240);
  LabelPrimaryGroup = new QLabel(FrameInfo);
  LabelPrimaryGroup->setToolTip(QStringLiteral("Your primary group"));
  PlaceTwips(LabelPrimaryGroup, 60, 270, 4620, 240);
  LabelUserName = new QLabel(FrameInfo);
  LabelUserName->setToolTip(QStringLiteral("Your login id"));
  PlaceTwips(LabelUserName, 60, 525, 4620, 240);
}

void MainWindow::BuildMenus() {
  MNFileMain = menuBar()->addMenu(QStringLiteral("&File"));
  MNLogView = MNFileMain->addAction(QStringLiteral("View Log"));
  MNLogView->setShortcut(QKeySequence(Qt::Key_F2));
  MNLogPurge = MNFileMain->addAction(QStringLiteral("Purge Log"));
  MNLogPurge->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
  // Enabled by the log writer once today's log file exists.
  MNLogView->setEnabled(false);
  MNLogPurge->setEnabled(false);
  MNFileMain->addSeparator();
  MNTimeStampLogFile = MNFileMain->addAction(QStringLiteral("Timestamp Logfile"));
  MNTimeStampLogFile->setCheckable(true);
  MNFileMain->addSeparator();
  MNFileExit = MNFileMain->addAction(QStringLiteral("Exit"));
  MNFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

  MNOptionsMain = menuBar()->addMenu(QStringLiteral("Options"));
  MNToggleLibs = MNOptionsMain->addAction(QStringLiteral("Toggle Libraries"));
  MNToggleLibs->setShortcut(QKeySequence(Qt::Key_F12));
  MNOptionsMain->addSeparator();
  MNSetToCurrent = MNOptionsMain->addMenu(QStringLiteral("Set rule to current SIDs..."));
  MNSetToStart = MNOptionsMain->addMenu(QStringLiteral("Reset rule to initial SIDs..."));
  FillRuleMenu(MNSetToCurrent, {});
  FillRuleMenu(MNSetToStart, {});
  MNOptionsMain->addSeparator();
  MNSpecialFunctions = MNOptionsMain->addAction(QStringLiteral("Special Functions"));
  MNClearRunningNodes = MNOptionsMain->addAction(QStringLiteral("Clear Running Nodes"));
  MNDisplayTarnAuto = MNOptionsMain->addAction(QStringLiteral("Display Tarn_Stackwright"));

  // Not in the menu bar: the library label pops it up.
  MNLibMain = new QMenu(QStringLiteral("&Libraries"), this);
  FillLibraryMenu({QStringLiteral(".")});

  MNHelpMain = menuBar()->addMenu(QStringLiteral("&Help"));
  MNTarnOptions = MNHelpMain->addAction(QStringLiteral("Display Current DM Settings"));
  MNHelpMain->addSeparator();
  MNHelpReadme = MNHelpMain->addAction(QStringLiteral("View &Readme"));
  MNHelpAbout = MNHelpMain->addAction(QStringLiteral("&About"));
  MNHelpAbout->setShortcut(QKeySequence(Qt::Key_F1));
}

void MainWindow::FillRuleMenu(QMenu* menu, const QStringList& captions) {
  QStringList items = captions;
  if (items.isEmpty()) items << QString();
  // Every library switch reloads the rules; a menu that already shows them is left as it is.
  if (RuleMenuCaptions(menu) == items) return;
  menu->clear();
  const bool current = menu == MNSetToCurrent;
  for (int i = 0; i < items.size(); ++i) {
    QAction* action = menu->addAction(items[i]);
    // A "-" caption makes the item a separator, as it would in the designed menu.
    if (items[i].isEmpty() || items[i] == QStringLiteral("-")) {
      action->setSeparator(true);
      continue;
    }
    connect(action, &QAction::triggered, this, [this, i, current] {
      if (current)
        MNCurrentRules_Click(cx_, i);
      else
        MNInitialRules_Click(cx_, i);
    });
  }
}

QStringList MainWindow::RuleMenuCaptions(const QMenu* menu) const {
  QStringList captions;
  for (const QAction* action : menu->actions()) captions << action->text();
  return captions;
}

void MainWindow::FillLibraryMenu(const QStringList& captions) {
  MNLibMain->clear();
  for (int i = 0; i < captions.size(); ++i) {
    QAction* action = MNLibMain->addAction(captions[i]);
    action->setCheckable(true);
    action->setData(i);
  }
}

// --- Events ------------------------------------------------------------------------------------

void MainWindow::ConnectHandlers() {
  connect(TabStripTabs, &QTabBar::currentChanged, this, [this] { TabStrip_Click(cx_); });
  connect(Button_Go, &QPushButton::clicked, this, [this] { Button_Go_Click(cx_); });
  connect(Button_Exit, &QPushButton::clicked, this, [this] { Button_Exit_Click(cx_); });
  connect(ButtonLogDir, &QPushButton::clicked, this, [this] { ButtonLogDir_Click(cx_); });
  connect(ListResults->header(), &QHeaderView::sectionClicked, this,
          [this](int section) { ListResults_ColumnClick(cx_, section + 1); });
  connect(MNLogView, &QAction::triggered, this, [this] { MNLogView_Click(cx_); });
  connect(MNLogPurge, &QAction::triggered, this, [this] { MNLogPurge_Click(cx_); });
  connect(MNTimeStampLogFile, &QAction::triggered, this, [this](bool checked) {
    // The handler inverts the mark itself; undo the menu's own toggle first.
    MNTimeStampLogFile->setChecked(!checked);
    MNTimeStampLogFile_Click(cx_);
  });
  connect(MNFileExit, &QAction::triggered, this, [this] { MNFileExit_Click(cx_); });
  connect(MNToggleLibs, &QAction::triggered, this, [this] { MNToggleLibs_Click(cx_); });
  connect(MNSpecialFunctions, &QAction::triggered, this, [this] { MNSpecialFunctions_Click(cx_); });
  connect(MNClearRunningNodes, &QAction::triggered, this, [this] { MNClearRunningNodes_Click(cx_); });
  connect(MNDisplayTarnAuto, &QAction::triggered, this, [this] { MNDisplayTarnAuto_Click(cx_, this); });
  connect(MNTarnOptions, &QAction::triggered, this, [this] { MNTarnOptions_Click(cx_); });
  connect(MNHelpReadme, &QAction::triggered, this, [this] { MNHelpReadme_Click(cx_); });
  connect(MNHelpAbout, &QAction::triggered, this, [this] { MNHelpAbout_Click(cx_); });
  connect(TVRules, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    auto* ui = dynamic_cast<WidgetUi*>(cx_.ui.get());
    const int node = ui ? ui->RulesNodeIndex(item) : -1;
    if (node >= 0) sw::TVRules_Expand(cx_, node);
  });
  // The application-wide filter installed by the constructor already sees the pause fields' and
  // the library label's events; a filter of their own would hand every key to the form twice.
}

void MainWindow::closeEvent(QCloseEvent* event) {
  const int cancel = Form_Unload(cx_, 0);
  if (cancel != 0)
    event->ignore();
  else
    event->accept();
}

void MainWindow::ShowPauseText(QLineEdit* field, const QString& text) {
  field->setText(text);
  const QString tip = field == TextPauseStart ? PauseStartTip : PauseEndTip;
  const bool isTime = ReadPauseText(field->text()).valid;
  field->setToolTip(isTime ? tip
                           : tip + QStringLiteral(" - \"") + field->text() +
                                 QStringLiteral("\" is no time of day (HH:MM, HH.MM or HHMM, 00:00 to 23:59): "
                                                "with it the run turns the pause timer off"));
  field->setStyleSheet(isTime ? QString() : QStringLiteral("color: red"));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == TextPauseStart) TextPauseStart_LostFocus(cx_);
    if (watched == TextPauseEnd) TextPauseEnd_LostFocus(cx_);
    return false;
  }
  if (event->type() == QEvent::MouseButtonRelease && watched == LabelLibraryName) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    LabelLibraryName_MouseUp(cx_, VbMouseButton(mouse->button()), VbShiftState(mouse->modifiers()),
                             PixelsToTwips(at.x()), PixelsToTwips(at.y()));
    return true;
  }
  if (event->type() == QEvent::ShortcutOverride) return KeepMenuShortcut(watched, static_cast<QKeyEvent*>(event));
  if (event->type() == QEvent::KeyPress) return PreviewKey(watched, static_cast<QKeyEvent*>(event));
  return QMainWindow::eventFilter(watched, event);
}

// The menus' shortcuts win over a text box's own use of the same keys (Ctrl+X and Shift+Del
// would otherwise cut text instead of ending the program or purging the log).
bool MainWindow::KeepMenuShortcut(QObject* watched, QKeyEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  const QKeySequence pressed(event->keyCombination());
  for (const QAction* action : {MNLogView, MNLogPurge, MNFileExit, MNToggleLibs, MNHelpAbout}) {
    if (action->isEnabled() && action->shortcut() == pressed) {
      event->ignore();
      return true;
    }
  }
  return false;
}

// Keys reach the form first: KeyDown, the tree's own KeyDown, KeyPress; then Esc presses Exit
// and Enter presses Go (the cancel and default buttons). Other keys go on to the focused control.
bool MainWindow::PreviewKey(QObject* watched, QKeyEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  // A key event travels up the parents that ignore it; the form sees it once, at its target.
  QWidget* focus = QApplication::focusWidget();
  if (focus ? widget != focus : widget != this) return false;
  const int keyCode = VbKeyCode(event->key());
  const int shift = VbShiftState(event->modifiers());
  if (keyCode != 0) Form_KeyDown(cx_, keyCode, shift);
  if (keyCode != 0 && widget == TVRules) TVRules_KeyDown(cx_, keyCode, shift);
  if (!event->text().isEmpty()) Form_KeyPress(cx_, event->text().at(0).unicode());
  if (keyCode == 27 && Button_Exit->isEnabled()) {
    Button_Exit->click();
    return true;
  }
  if (keyCode == 13 && (shift & 6) == 0) {
    // A focused button takes Enter for itself, as it would on the original platform.
    auto* button = qobject_cast<QPushButton*>(widget);
    QPushButton* target = button ? button : Button_Go;
    if (target->isEnabled()) {
      target->click();
      return true;
    }
  }
  return false;
}

}  // namespace sw
