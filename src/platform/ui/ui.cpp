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
    case MsgButtons::YesNoDefaultNo:
      return MsgResult::No;
    case MsgButtons::OK:
    case MsgButtons::OKCancel:
      break;
  }
  return MsgResult::OK;
}

bool BoxesAnswerThemselves(const QString& platformName, const QString& commandLine) {
  return platformName == QLatin1String("offscreen") || RunsUnattended(commandLine);
}

bool RunsUnattended(const QString& commandLine) {
  const QString line = commandLine.toUpper();
  return line.contains(QLatin1String("/G")) && line.contains(QLatin1String("/X"));
}

namespace {

void LogAndPrint(Ui& ui, const QString& text, const QString& title) {
  const QString line = QStringLiteral("Notice: message box [%1]: %2").arg(title, text);
  if (ui.LogSink) ui.LogSink(line);
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

}  // namespace

MsgResult Ui::MessageBox(const QString& text, MsgIcon, MsgButtons buttons, const QString& title) {
  LogAndPrint(*this, text, title);
  return DefaultButton(buttons);
}

void Ui::Warn(const QString& text, MsgIcon icon, const QString& title) {
  // An unattended box is logged and printed by itself.
  if (!AnswersUnattended()) LogAndPrint(*this, text, title);
  MessageBox(text, icon, MsgButtons::OK, title);
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

void Ui::SetErrorAndAddedLabels(const QString& errors, const QString& added) {
  controls.labelErrors = errors;
  controls.labelAdded = added;
}

RulesTreeNode Ui::RulesNode(int index) const {
  if (index < 0 || index >= RulesNodeCount()) return {};
  return controls.rulesTree[static_cast<size_t>(index)];
}

void Ui::SetRulesNodeChecked(int index, bool checked) {
  if (index < 0 || index >= RulesNodeCount()) return;
  controls.rulesTree[static_cast<size_t>(index)].checked = checked;
}

int Ui::AddRulesNode(int parent, const QString& text, const QString& key, bool checked) {
  controls.rulesTree.push_back({text, key, parent, checked});
  return RulesNodeCount() - 1;
}

void Ui::RemoveRulesNode(int index) {
  if (index < 0 || index >= RulesNodeCount()) return;
  // Children first, from the last, so the indices still to visit stay valid.
  const std::vector<int> children = RulesNodeChildren(index);
  for (auto it = children.rbegin(); it != children.rend(); ++it) RemoveRulesNode(*it);
  auto& nodes = controls.rulesTree;
  nodes.erase(nodes.begin() + index);
  for (RulesTreeNode& node : nodes)
    if (node.parent > index) --node.parent;
}

std::vector<int> Ui::RulesNodeChildren(int parent) const {
  std::vector<int> children;
  for (int i = 0; i < RulesNodeCount(); ++i)
    if (RulesNode(i).parent == parent) children.push_back(i);
  return children;
}

int Ui::AddResultRow(const QStringList& columns) {
  controls.results.push_back(columns);
  return static_cast<int>(controls.results.size()) - 1;
}

void Ui::SetResultText(int row, int column, const QString& text) {
  if (row < 0 || row >= static_cast<int>(controls.results.size()) || column < 0) return;
  QStringList& cells = controls.results[static_cast<size_t>(row)];
  while (cells.size() <= column) cells << QString();
  cells[column] = text;
}

QString Ui::ResultText(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(controls.results.size()) || column < 0) return {};
  const QStringList& cells = controls.results[static_cast<size_t>(row)];
  return column < cells.size() ? cells[column] : QString();
}

void Ui::SetPauseTexts(const QString& start, const QString& end) {
  controls.options.pauseStart = start;
  controls.options.pauseEnd = end;
}

}  // namespace sw
