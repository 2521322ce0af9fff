#include "admin/dm_settings_viewer.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>

#include "admin/admin.h"
#include "admin/dm_settings.h"
#include "admin/tool_steps.h"
#include "core/library.h"
#include "core/library_checks.h"
#include "run/run_context.h"

namespace sw::admin {

DmSettingsViewer::DmSettingsViewer(RunContext& cx, QWidget* parent) : QDialog(parent), cx_(cx) {
  setObjectName(QStringLiteral("TarnOptions"));
  setWindowTitle(QStringLiteral("eDOCS Local Settings"));

  FrameProperties = new QFrame(this);
  FrameProperties->setFrameShape(QFrame::Box);
  LabelLibList = new QLabel(QStringLiteral("Library:"), FrameProperties);
  ComboLibList = new QComboBox(FrameProperties);
  LabelPropertyValue = new QLabel(QStringLiteral("Property Value:"), FrameProperties);
  ComboPropertyItem = new QComboBox(FrameProperties);
  LabelPropertyResult = new QLabel(FrameProperties);
  LabelPropertyResult->setAutoFillBackground(true);
  QPalette grey = LabelPropertyResult->palette();
  grey.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
  LabelPropertyResult->setPalette(grey);
  LabelPropertyResult->setFrameShape(QFrame::Panel);
  LabelPropertyResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* grid = new QGridLayout(FrameProperties);
  grid->addWidget(LabelLibList, 0, 0);
  grid->addWidget(ComboLibList, 0, 1);
  grid->addWidget(LabelPropertyValue, 1, 0);
  grid->addWidget(ComboPropertyItem, 1, 1);
  grid->addWidget(LabelPropertyResult, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  FrameButtons = new QFrame(this);
  ButtonExit = new QPushButton(QStringLiteral("&Close"), FrameButtons);
  ButtonExit->setAutoDefault(false);
  auto* buttons = new QHBoxLayout(FrameButtons);
  buttons->addStretch(1);
  buttons->addWidget(ButtonExit);

  StatusBarInfo = new QStatusBar(this);
  StatusBarInfo->setSizeGripEnabled(false);
  const QString tips[3] = {QStringLiteral("Your primary library"), QStringLiteral("Your User ID"),
                           QStringLiteral("Your primary group")};
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(StatusBarInfo);
    panels_[i]->setToolTip(tips[i]);
    panels_[i]->setFrameShape(QFrame::StyledPanel);
    StatusBarInfo->addWidget(panels_[i], 1);
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FrameProperties);
  layout->addWidget(FrameButtons);
  layout->addWidget(StatusBarInfo);

  connect(ComboLibList, &QComboBox::currentIndexChanged, this, [this] { ComboLibList_Click(); });
  connect(ComboPropertyItem, &QComboBox::currentIndexChanged, this, [this] { ComboPropertyItem_Click(); });
  connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExit_Click(); });
  resize(480, 200);
}

QString DmSettingsViewer::Panel(int number) const {
  return number >= 1 && number <= 3 ? panels_[number - 1]->text() : QString();
}

void DmSettingsViewer::FillPanels() {
  const DmIdentity identity = ReadDmIdentity(cx_);
  panels_[0]->setText(identity.defaultLibrary);
  panels_[1]->setText(identity.userName);
  panels_[2]->setText(identity.primaryGroup);
}

void DmSettingsViewer::Form_Load() {
  if (!cx_.session.CurrentLibrary) {
    cx_.ui->MessageBox(QStringLiteral("Library object not set - cannot continue"), MsgIcon::Critical, MsgButtons::OK,
                       cx_.app.AppTitle);
    return;
  }
  TrapErrors(cx_, [&] {
    returnLibrary_ = CurrentLibraryNameOrEmpty(cx_);
    FillPanels();
    {
      const QSignalBlocker quiet(ComboLibList);
      ComboLibList->clear();
      ComboLibList->addItems(SessionLibraryNames(cx_));
      ComboLibList->setCurrentIndex(-1);
    }
    // Selecting the current library's entry runs the choice handler, which finds nothing to do.
    const int current = ComboLibList->findText(returnLibrary_, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (current >= 0) ComboLibList->setCurrentIndex(current);
    {
      const QSignalBlocker quiet(ComboPropertyItem);
      ComboPropertyItem->clear();
      ComboPropertyItem->addItems(LibraryPropertyNames(cx_));
      ComboPropertyItem->setCurrentIndex(-1);
    }
    if (ComboPropertyItem->count() > 0) ComboPropertyItem->setCurrentIndex(0);
    else ComboPropertyItem_Click();
  });
  cx_.ui->SetMousePointer(Pointer::Default);
  cx_.ui->PumpMessages();
}

void DmSettingsViewer::ComboLibList_Click() {
  const QString chosen = ComboLibList->currentText();
  if (chosen == CurrentLibraryNameOrEmpty(cx_)) return;
  const ScreenGuard pointer(cx_, ScreenParts{.library = false, .pointer = PointerBack::Default, .pump = true});
  cx_.ui->SetMousePointer(Pointer::Hourglass);
  cx_.ui->PumpMessages();
  TrapErrors(cx_, [&] {
    const bool switched = ConnectLibrary(cx_, chosen);
    // The window shows the library it is on: after a failed switch that is still the one before.
    const QString current = CurrentLibraryNameOrEmpty(cx_);
    if (!switched) {
      const QSignalBlocker quiet(ComboLibList);
      ComboLibList->setCurrentIndex(ComboLibList->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    FillPanels();
    LabelPropertyResult->clear();
    // The property list keeps the names read at loading.
    LabelPropertyResult->setText(LibraryPropertyValue(cx_, ComboPropertyItem->currentText()));
    if (!switched)
      ShowNoLibrary(cx_, chosen,
                    current.isEmpty() ? QStringLiteral("no library is current")
                                      : QStringLiteral("the settings shown are those of library ") + current);
  });
}

void DmSettingsViewer::ComboPropertyItem_Click() {
  LabelPropertyResult->clear();
  TrapErrors(cx_, [&] { LabelPropertyResult->setText(LibraryPropertyValue(cx_, ComboPropertyItem->currentText())); });
}

void DmSettingsViewer::ButtonExit_Click() {
  Form_Unload(0);
  reject();
}

void DmSettingsViewer::Form_Unload(int) {
  if (returnLibrary_.isEmpty()) return;
  const QString library = returnLibrary_;
  returnLibrary_.clear();
  TrapErrors(cx_, [&] { ConnectLibrary(cx_, library); });
}

void DmSettingsViewer::reject() {
  Form_Unload(0);
  QDialog::reject();
}

void OpenDmSettingsViewer(RunContext& cx, QWidget* parent, const std::function<void(DmSettingsViewer&)>& show) {
  // A library switch in the window may leave its own text in the status line (a failed switch
  // does): the main window gets back the text it had.
  const ScreenGuard back(
      cx, ScreenParts{.library = false,
                      .status = true,
                      .statusWindow = StatusCaptionWindow(cx),
                      .idleStatus = true,
                      .pointer = PointerBack::Default});
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  {
    DmSettingsViewer viewer(cx, parent);
    viewer.Form_Load();
    show(viewer);
    // However the window went away, the library current at opening is current again.
    viewer.Form_Unload(0);
  }
}

}  // namespace sw::admin

namespace sw {

void MNTarnOptions_Click(RunContext& cx, QWidget* parent) {
  admin::OpenDmSettingsViewer(cx, parent, [](admin::DmSettingsViewer& viewer) { viewer.exec(); });
}

}  // namespace sw
