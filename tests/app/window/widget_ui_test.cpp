// The ui service on the real widgets: what the lower subsystems write must show in the window,
// and what the user changes in the window must be what they read.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>

#include "app/window/tarn_splash.h"
#include "window_fixture.h"

namespace sw::test {

using WidgetUiTree = WindowTest;

TEST_F(WidgetUiTree, NodesKeepTheirAddOrderAndRemovalShiftsLaterOnes) {
  const int lib1 = ui->AddRulesNode(-1, "LAWLIB", "", true);
  ui->AddRulesNode(lib1, "[]", "", false);
  const int lib2 = ui->AddRulesNode(-1, "ORALIB", "", false);
  ui->AddRulesNode(lib2, "[]", "", false);
  // Rules of the first library come after every node that existed when it was loaded.
  const int ruleA = ui->AddRulesNode(lib1, "RULE A", "", true);
  ui->AddRulesNode(lib1, "RULE B", "", false);
  ASSERT_EQ(ruleA, 4);
  ASSERT_EQ(window.TVRules->topLevelItem(0)->childCount(), 3);

  ui->RemoveRulesNode(1);  // the first placeholder
  ASSERT_EQ(ui->RulesNodeCount(), 5);
  EXPECT_EQ(ui->RulesNode(3).text, "RULE A");
  EXPECT_EQ(ui->RulesNode(3).parent, 0);
  EXPECT_EQ(ui->RulesNode(2).parent, 1);  // ORALIB's placeholder
  EXPECT_EQ(ui->RulesNodeChildren(0), (std::vector<int>{3, 4}));
  EXPECT_EQ(window.TVRules->topLevelItem(0)->child(0)->text(0), "RULE A");

  ui->RemoveRulesNode(0);  // a library goes with its rules
  ASSERT_EQ(ui->RulesNodeCount(), 2);
  EXPECT_EQ(ui->RulesNode(0).text, "ORALIB");
  EXPECT_EQ(ui->RulesNode(1).parent, 0);
  EXPECT_EQ(window.TVRules->topLevelItemCount(), 1);
}

TEST_F(WidgetUiTree, TicksAreReadFromTheTreeAndIndependentOfEachOther) {
  const int lib = ui->AddRulesNode(-1, "LAWLIB", "", true);
  const int rule = ui->AddRulesNode(lib, "RULE A", "", false);
  // The user ticks the rule in the tree.
  window.TVRules->topLevelItem(0)->child(0)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(ui->RulesNode(rule).checked);
  ui->SetRulesNodeChecked(lib, false);
  EXPECT_FALSE(ui->RulesNode(lib).checked);
  EXPECT_TRUE(ui->RulesNode(rule).checked);
  ui->SelectRulesNode(rule);
  EXPECT_EQ(ui->SelectedRulesNode(), rule);
  ui->SelectRulesNode(-1);
  EXPECT_EQ(ui->SelectedRulesNode(), -1);
}

TEST_F(WidgetUiTree, ExpandingALibraryInTheTreeLoadsItsRules) {
  DmTestServer server;
  ASSERT_TRUE(StartSession(server));
  ASSERT_GT(cx.rules.RuleCount(), 0);
  const int lib = ui->AddRulesNode(-1, cx.session.CurrentLibrary->Name(), "", true);
  ui->AddRulesNode(lib, "[]", "", false);
  window.TVRules->expandItem(window.TVRules->topLevelItem(0));
  QTreeWidgetItem* item = window.TVRules->topLevelItem(0);
  ASSERT_GT(item->childCount(), 0);
  EXPECT_NE(item->child(0)->text(0), "[]");
  EXPECT_EQ(ui->RulesNode(1).parent, 0);
  EXPECT_EQ(ui->RulesNode(1).text, item->child(0)->text(0));
}

using WidgetUiControls = WindowTest;

TEST_F(WidgetUiControls, OptionsRoundTripThroughTheControls) {
  RunOptions o;
  o.loop = true;
  o.loopDelay = "30";
  o.addNewDocs = true;
  o.maxFolders = "12";
  o.pauseTime = true;
  o.pauseStart = "12:00";
  o.pauseEnd = "13:30";
  o.pauseDayNames = {"Sunday", "Monday"};
  o.pauseDayChecked = {false, true};
  ui->SetOptions(o);
  EXPECT_TRUE(window.CheckLoop->isChecked());
  EXPECT_EQ(window.TextPauseEnd->text(), "13:30");
  ASSERT_EQ(window.TVPause->topLevelItemCount(), 2);
  EXPECT_EQ(window.TVPause->topLevelItem(0)->checkState(0), Qt::Unchecked);

  window.TVPause->topLevelItem(0)->setCheckState(0, Qt::Checked);
  window.CheckInitialize->setChecked(true);
  const RunOptions back = ui->Options();
  EXPECT_EQ(back.loopDelay, "30");
  EXPECT_EQ(back.maxFolders, "12");
  EXPECT_TRUE(back.addNewDocs);
  EXPECT_TRUE(back.initialize);
  EXPECT_FALSE(back.reuseSql);
  EXPECT_EQ(back.pauseDayChecked, (std::vector<bool>{true, true}));

  // Setting the same days again keeps the nodes and only sets their ticks.
  QTreeWidgetItem* sunday = window.TVPause->topLevelItem(0);
  ui->SetOptions(o);
  EXPECT_EQ(window.TVPause->topLevelItem(0), sunday);
  EXPECT_EQ(sunday->checkState(0), Qt::Unchecked);
}

TEST_F(WidgetUiControls, ResultRowsKeepTheirNumbersWhenTheListSorts) {
  const int b = ui->AddResultRow({"LIB - B", "2026/12/07-10:00:00", "Working..."});
  const int a = ui->AddResultRow({"LIB - A", "2026/12/07-10:01:00", "Working..."});
  window.ListResults->sortItems(0, Qt::AscendingOrder);
  ui->SetResultText(b, 2, "3 folders");
  EXPECT_EQ(ui->ResultText(b, 2), "3 folders");
  EXPECT_EQ(ui->ResultText(a, 2), "Working...");
  EXPECT_EQ(window.ListResults->topLevelItem(1)->text(2), "3 folders");
  // Each column is as wide as its longest text: nothing is cut ("5250 folder(s) ad...").
  ui->SetResultText(a, 2, "5250 folder(s) added in the longest of all rule names");
  const QFontMetrics metrics(window.ListResults->font());
  EXPECT_GT(window.ListResults->header()->sectionSize(2), metrics.horizontalAdvance(ui->ResultText(a, 2)));
  EXPECT_EQ(ui->ResultText(7, 0), "");
  ui->ClearResults();
  EXPECT_EQ(window.ListResults->topLevelItemCount(), 0);
  EXPECT_FALSE(window.ListResults->isSortingEnabled());
  EXPECT_EQ(ui->AddResultRow({"x"}), 0);
}

// Paints the texts waiting to be painted: the paint timer, when one waits, is let fire.
void PaintPending(WidgetUi& ui) {
  if (!ui.labelTimer.isActive()) return;
  QEventLoop loop;
  QObject::connect(&ui.labelTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
  loop.exec();
}

// Whether the label shows the text once the waiting texts are painted.
bool Shows(WidgetUi& ui, QLabel* label, const QString& text) {
  PaintPending(ui);
  return label->text() == text;
}

TEST_F(WidgetUiControls, LabelsButtonsMenusAndLockShowWhatIsWritten) {
  // A run writes dozens of status lines a folder, pumping the window after each: the label is
  // painted at most ten times a second, readers get the newest text at once, and the newest
  // text is painted when the interval has passed though nothing more is written.
  qint64 now = 0;
  ui->LabelClock = [&now] { return now; };
  int painted = 0;
  QString shown = window.LabelStatus->text();
  for (int i = 0; i < 1000; ++i) {
    now += 30;
    ui->SetStatusLabel(StatusWindow::Main, QString::number(i));
    if (window.LabelStatus->text() != shown) ++painted, shown = window.LabelStatus->text();
  }
  EXPECT_EQ(painted, 250);  // writes 30 ms apart: every fourth one is 100 ms after the last paint
  EXPECT_EQ(window.LabelStatus->text(), "996");
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Main), "999");
  EXPECT_TRUE(Shows(*ui, window.LabelStatus, "999"));

  ui->SetCounterLabels("10", "4");
  ui->SetErrorAndAddedLabels("1", "3");
  EXPECT_EQ(ui->CounterRead(), "4");
  EXPECT_TRUE(Shows(*ui, window.LabelErrors, "1"));
  EXPECT_EQ(window.LabelTotal->text(), "10");
  ui->SetStatusLabel(StatusWindow::Main, "Waiting for user input");
  EXPECT_TRUE(Shows(*ui, window.LabelStatus, "Waiting for user input"));
  // A security step's status needs five lines: all of it shows within the box, underscores and
  // all; a text no font could fit is elided, and the tooltip and readers keep it whole.
  const QString security = "AddSecurity: Assigning security for document #1234 using template \"%AUTHOR.PRIMARY_GROUP% = "
                           "127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63\"";
  for (const QString& text : {security, security.repeated(4)}) {
    ui->SetStatusLabel(StatusWindow::Main, text);
    PaintPending(*ui);
    const QString lines = window.LabelStatus->text();
    const QRect box = window.LabelStatus->contentsRect();
    EXPECT_LE(QFontMetrics(window.LabelStatus->font()).boundingRect(box, Qt::TextWordWrap, lines).height(), box.height());
    EXPECT_EQ(QString(lines).replace('\n', ' ') == text, text == security) << lines.toStdString();
    EXPECT_EQ(window.LabelStatus->toolTip(), text);
    EXPECT_EQ(ui->StatusLabel(StatusWindow::Main), text);
  }
  ui->SetStatusColour(0xC00000);
  EXPECT_EQ(window.LabelStatus->palette().color(QPalette::WindowText), QColor(192, 0, 0));
  ui->SetExitToolTip("Exit pausing");
  EXPECT_EQ(window.Button_Exit->toolTip(), "Exit pausing");

  // The library menu starts with its designed item.
  EXPECT_EQ(ui->LibraryMenu(), QStringList{"."});
  ui->SetLibraryMenu({"LAWLIB", "ORALIB"});
  ui->SetLibraryMenuChecked(1, true);
  EXPECT_TRUE(window.MNLibMain->actions()[1]->isChecked());
  EXPECT_FALSE(window.MNLibMain->actions()[0]->isChecked());

  ui->SetRuleMenuCaptions(RuleMenu::Initial, {"-"});
  EXPECT_TRUE(window.MNSetToStart->actions()[0]->isSeparator());
  ui->SetRuleMenuCaptions(RuleMenu::Current, {"CLIENT", "MATTER"});
  EXPECT_EQ(ui->RuleMenuCaptions(RuleMenu::Current), (QStringList{"CLIENT", "MATTER"}));

  ui->ShowLockState(true);
  EXPECT_FALSE(window.LabelLocked->isHidden());
  EXPECT_FALSE(window.TabStrip->isEnabled());
  EXPECT_FALSE(window.FrameOptions->isEnabled());
  EXPECT_FALSE(window.TVRules->isEnabled());
  EXPECT_TRUE(window.Button_Go->isEnabled());
  ui->ShowLockState(false);
  EXPECT_TRUE(window.LabelLocked->isHidden());
  EXPECT_TRUE(window.TVRules->isEnabled());

  // Go and the tools go while a task works; each button reads back its own setting, also while
  // the whole window is disabled (as during start-up).
  ui->SetMainEnabled(false);
  ui->SetGoEnabled(false);
  ui->SetToolsEnabled(false);
  EXPECT_FALSE(ui->GoEnabled());
  EXPECT_TRUE(ui->ExitEnabled());
  EXPECT_FALSE(ui->ToolsEnabled());
  for (const QAction* tool : {window.MNSetToCurrent->menuAction(), window.MNSetToStart->menuAction(),
                              window.MNSpecialFunctions, window.MNClearRunningNodes, window.MNDisplayTarnAuto,
                              window.MNTarnOptions})
    EXPECT_FALSE(tool->isEnabled()) << tool->text().toStdString();
  EXPECT_TRUE(window.MNToggleLibs->isEnabled());
  ui->SetMainEnabled(true);
  ui->SetGoEnabled(true);
  ui->SetToolsEnabled(true);
  EXPECT_TRUE(ui->GoEnabled());
  EXPECT_TRUE(window.MNSpecialFunctions->isEnabled());
}

TEST_F(WidgetUiControls, WindowGeometryIsInTwips) {
  ui->SetMainGeometry({1500, 3000, 4830, 9135});
  const Ui::TwipsRect r = ui->MainGeometry();
  EXPECT_EQ(r.left, 1500);
  EXPECT_EQ(r.top, 3000);
  EXPECT_EQ(r.height, 9135);
  EXPECT_NEAR(r.width, 4830, 15);
  EXPECT_GT(ui->ScreenSize().width, 0);
}

TEST_F(WidgetUiControls, UnattendedMessageBoxesAreLoggedAndAnsweredWithTheFirstButton) {
  EXPECT_EQ(ui->MessageBox("Exit now?", MsgIcon::Question, MsgButtons::YesNo, "Title"), MsgResult::Yes);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("Exit now?"));
}

using Splash = WindowTest;

TEST_F(Splash, StartupTextsGoToTheSplashAndAnUnloadRestoresItsDesign) {
  ui->SetSplashTexts("\r\n(eDOCS 5.3)", "Build 1 - Aug 5, 2020", "Maker");
  ui->ShowSplash(true);
  ui->SetStatusLabel(StatusWindow::Splash, "One moment...");
  ASSERT_NE(ui->LoadedSplash(), nullptr);
  EXPECT_EQ(ui->LoadedSplash()->ProductName->text(), TarnSplash::DesignedProductName + "\r\n(eDOCS 5.3)");
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Splash), "One moment...");
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Main), "");
  ui->ShowSplash(false);
  EXPECT_EQ(ui->LoadedSplash(), nullptr);
  EXPECT_EQ(ui->Splash().ProductName->text(), TarnSplash::DesignedProductName);
  EXPECT_EQ(ui->Splash().TarnVersion->text(), "Build Date");
}

TEST_F(Splash, AKeyOrClickDuringStartupEnablesTheMainWindowAndLaterTextsStayHidden) {
  ui->SetMainEnabled(false);
  ui->ShowSplash(true);
  TarnSplash* shown = ui->LoadedSplash();
  QKeyEvent arrow(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QApplication::sendEvent(shown, &arrow);
  EXPECT_EQ(ui->LoadedSplash(), shown);  // a key that types nothing leaves it up
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b");
  QApplication::sendEvent(shown, &esc);
  EXPECT_TRUE(window.isEnabled());
  EXPECT_EQ(ui->LoadedSplash(), nullptr);
  ui->SetStatusLabel(StatusWindow::Splash, "Setting Libraries");
  EXPECT_FALSE(ui->Splash().isVisible());
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Splash), "Setting Libraries");
}

TEST(SplashWindow, AMouseReleaseOverTheFrameDismissesIt) {
  TarnSplash splash;
  int dismissed = 0;
  splash.onDismissed = [&] { ++dismissed; };
  splash.show();
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::RightButton, Qt::NoButton,
                 Qt::NoModifier);
  QApplication::sendEvent(splash.TarnSplashFrame, &up);
  EXPECT_EQ(dismissed, 1);
  EXPECT_FALSE(splash.isVisible());
}

}  // namespace sw::test
