#include "platform/ui/ui.h"

#include <cstdio>

namespace sw {

Ui::Ui() {
  controls.currentRulesMenu << QString();
  controls.initialRulesMenu << QString();
}

MsgResult DefaultButton(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::Yes;
    case MsgButtons::OK:
    case MsgButtons::OKCancel:
      break;
  }
  return MsgResult::OK;
}

MsgResult Ui::MessageBox(const QString& text, MsgIcon, MsgButtons buttons, const QString& title) {
  const QString line = QStringLiteral("Notice: message box [%1]: %2").arg(title, text);
  if (LogSink) LogSink(line);
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  return DefaultButton(buttons);
}

QString Ui::StatusLabel(StatusWindow w) const {
  return w == StatusWindow::Splash ? controls.splashStatus : controls.mainStatus;
}

void Ui::SetStatusLabel(StatusWindow w, const QString& text) {
  if (w == StatusWindow::Splash)
    controls.splashStatus = text;
  else
    controls.mainStatus = text;
}

void Ui::SetLibraryLabels(const QString& user, const QString& group, const QString& library) {
  controls.userName = user;
  controls.primaryGroup = group;
  controls.libraryName = library;
}

void Ui::SetLibraryMenuChecked(int item, bool checked) {
  if (item < 0 || item >= controls.libraryMenu.size()) return;
  controls.libraryMenuChecked.resize(controls.libraryMenu.size(), false);
  controls.libraryMenuChecked[item] = checked;
}

QStringList Ui::RuleMenuCaptions(RuleMenu menu) const {
  return menu == RuleMenu::Current ? controls.currentRulesMenu : controls.initialRulesMenu;
}

void Ui::SetRuleMenuCaptions(RuleMenu menu, const QStringList& captions) {
  QStringList items = captions;
  if (items.isEmpty()) items << QString();  // item 0 always exists
  (menu == RuleMenu::Current ? controls.currentRulesMenu : controls.initialRulesMenu) = items;
}

void Ui::SetCounterLabels(const QString& total, const QString& read) {
  controls.labelTotal = total;
  controls.labelRead = read;
}

MsgResult ScriptedUi::MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) {
  shown.push_back({text, icon, buttons, title});
  if (answers.empty()) return DefaultButton(buttons);
  const MsgResult r = answers.front();
  answers.erase(answers.begin());
  return r;
}

}  // namespace sw
