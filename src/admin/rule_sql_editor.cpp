#include "admin/rule_sql_editor.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "admin/admin.h"
#include "admin/rule_sql_store.h"
#include "admin/tool_steps.h"
#include "run/run_context.h"

namespace sw::admin {

namespace {

QLabel* StatusPanel(QStatusBar* bar, const QString& tip) {
  auto* panel = new QLabel(bar);
  panel->setToolTip(tip);
  panel->setFrameShape(QFrame::StyledPanel);
  bar->addWidget(panel, 1);
  return panel;
}

// Where a closing mark ends the quoted name, string or comment that starts with `open`.
QString Closing(QChar open) {
  if (open == QLatin1Char('[')) return QStringLiteral("]");
  if (open == QLatin1Char('/')) return QStringLiteral("*/");
  return QString(open);
}

// Whether a "--" comment, outside strings, quoted names and block comments, has more of the
// statement on a later line. The stored form turns line breaks into blanks, so such a comment
// would take in the rest of the statement.
bool HasSwallowingLineComment(const QString& statement) {
  for (int i = 0; i < statement.size(); ++i) {
    const QChar c = statement.at(i);
    const bool blockComment = c == QLatin1Char('/') && statement.mid(i, 2) == QLatin1String("/*");
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') || blockComment) {
      const int end = statement.indexOf(Closing(c), i + (blockComment ? 2 : 1));
      if (end < 0) return false;
      i = end + int(Closing(c).size()) - 1;
      continue;
    }
    if (c != QLatin1Char('-') || statement.mid(i, 2) != QLatin1String("--")) continue;
    const int lineEnd = statement.indexOf(QLatin1Char('\n'), i);
    return lineEnd >= 0 && !statement.mid(lineEnd).trimmed().isEmpty();
  }
  return false;
}

}  // namespace

RuleSqlEditor::RuleSqlEditor(RunContext& cx, QWidget* parent) : QDialog(parent), cx_(cx) {
  setObjectName(QStringLiteral("TarnRuleSQL"));
  setWindowTitle(QStringLiteral("Setup SQL statement for selected rule"));
  setAttribute(Qt::WA_DeleteOnClose, false);

  TextRuleSQL = new QPlainTextEdit(this);
  TextRuleSQL->setObjectName(QStringLiteral("TextRuleSQL"));
  TextRuleSQL->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  TextRuleSQL->setTabChangesFocus(true);
  connect(TextRuleSQL, &QPlainTextEdit::textChanged, this, &RuleSqlEditor::KeepWithinMaxLength);

  ButtonOK = new QPushButton(QStringLiteral("&OK"), this);
  ButtonOK->setToolTip(QStringLiteral("Press the OK button to save these settings"));
  ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  ButtonCancel->setToolTip(QStringLiteral("Press the Cancel button to ignore these settings"));
  ButtonTest = new QPushButton(QStringLiteral("&Test"), this);
  ButtonOK->setAutoDefault(false);
  ButtonCancel->setAutoDefault(false);
  ButtonTest->setDefault(true);
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOK_Click(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancel_Click(); });
  connect(ButtonTest, &QPushButton::clicked, this, [this] { ButtonTest_Click(); });

  StatusBarInfo = new QStatusBar(this);
  StatusBarInfo->setSizeGripEnabled(false);
  libraryPanel_ = StatusPanel(StatusBarInfo, QStringLiteral("Rule Library"));
  rulePanel_ = StatusPanel(StatusBarInfo, QStringLiteral("Rule Name"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  buttons->addWidget(ButtonTest);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(TextRuleSQL, 1);
  layout->addLayout(buttons);
  layout->addWidget(StatusBarInfo);
  setTabOrder(TextRuleSQL, ButtonOK);
  setTabOrder(ButtonOK, ButtonCancel);
  setTabOrder(ButtonCancel, ButtonTest);
  resize(600, 400);
}

void RuleSqlEditor::SetPanels(const QString& library, const QString& rule) {
  libraryPanel_->setText(library);
  rulePanel_->setText(rule);
}

QString RuleSqlEditor::LibraryPanel() const { return libraryPanel_->text(); }
QString RuleSqlEditor::RulePanel() const { return rulePanel_->text(); }
// The text box shows line breaks as its platform does; the statement carries them as carriage
// return and line feed, as the stored form and the rule's fields expect.
QString RuleSqlEditor::Text() const {
  return TextRuleSQL->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}
void RuleSqlEditor::SetText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  TextRuleSQL->setPlainText(shown);
}

void RuleSqlEditor::KeepWithinMaxLength() {
  const QString text = Text();
  if (text.size() <= RuleSqlEditorMaxLength) return;
  const int position = TextRuleSQL->textCursor().position();
  QString kept = text.left(RuleSqlEditorMaxLength);
  if (kept.endsWith(QLatin1Char('\r'))) kept.chop(1);  // no half line break
  SetText(kept);
  QTextCursor cursor = TextRuleSQL->textCursor();
  cursor.setPosition(qMin(position, int(TextRuleSQL->toPlainText().size())));
  TextRuleSQL->setTextCursor(cursor);
}

void RuleSqlEditor::ButtonTest_Click() {
  // A statement that fails its test is logged, but it is the administrator's draft, not a
  // failure of the program: it must not make the program end as one that failed.
  const int errorsLogged = cx_.log.ErrorsLogged;
  const QStringList failedSubjects = cx_.log.FailedSubjects;
  const RuleSqlTest outcome = TestRuleSql(cx_, LibraryPanel(), RulePanel(), Text());
  cx_.log.ErrorsLogged = errorsLogged;
  cx_.log.FailedSubjects = failedSubjects;
  if (outcome == RuleSqlTest::NotRun) return;
  testPassed_ = outcome == RuleSqlTest::Passed;
}

void RuleSqlEditor::ButtonOK_Click() {
  const QString statement = Text().trimmed();
  SetText(statement);
  auto ask = [this](const QString& question, MsgButtons buttons) {
    return cx_.ui->MessageBox(question, MsgIcon::Question, buttons, cx_.app.AppTitle) == MsgResult::Yes;
  };
  if (statement.isEmpty()) {
    // Clearing destroys the saved statement: Enter must not do it.
    if (!ask(QStringLiteral("Do you want to clear the saved SQL statement?"), MsgButtons::YesNoDefaultNo)) return;
  } else {
    // A statement that would not come back whole from its stored form is refused, saying why.
    const auto refuse = [this](const QString& why) {
      cx_.ui->MessageBox(QStringLiteral("Error: The SQL statement for the rule ") + RulePanel() + why, MsgIcon::Critical,
                         MsgButtons::OK, cx_.app.AppTitle);
    };
    if (!RuleSqlFitsStorage(statement)) {
      refuse(QStringLiteral(" is too long to be stored: it would not be read back whole. Its stored "
                            "form may hold at most 3000 characters, each run of blanks counting as "
                            "five, and the statement itself at most 3072."));
      return;
    }
    if (HasSwallowingLineComment(statement)) {
      refuse(QStringLiteral(" has a -- comment with more of the statement after it: it is stored on one "
                            "line, where that comment would take in the rest. Write the comment as "
                            "/* ... */ instead."));
      return;
    }
    testPassed_ = true;
    if (ask(QStringLiteral("Do you want to test this SQL statement before saving it?"), MsgButtons::YesNo)) {
      ButtonTest_Click();
      if (!testPassed_) return;
    }
  }
  if (SaveRuleSql(cx_, LibraryPanel(), RulePanel(), statement)) accept();
}

void RuleSqlEditor::ButtonCancel_Click() {
  if (!Text().isEmpty()) {
    const MsgResult answer = cx_.ui->MessageBox(QStringLiteral("Are you sure you want to exit without saving?"),
                                                MsgIcon::Question, MsgButtons::YesNoDefaultNo, cx_.app.AppTitle);
    if (answer != MsgResult::Yes) {
      cx_.ui->SetMousePointer(Pointer::Default);
      TextRuleSQL->setFocus();
      return;
    }
  }
  reject();
}

void RuleSqlEditor::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    ButtonCancel_Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void OpenRuleSqlEditor(RunContext& cx, QWidget* parent, const QString& libraryName, const QString& ruleName,
                       const std::function<void(RuleSqlEditor&)>& show) {
  const RuleSqlEditorStart start = PrepareRuleSqlEditor(cx.rules, libraryName, ruleName);
  RuleSqlEditor editor(cx, parent);
  editor.SetPanels(start.library, start.rule);
  editor.SetText(start.statement);
  show(editor);
}

}  // namespace sw::admin

namespace sw {

void OpenRuleSqlEditor(RunContext& cx, QWidget* parent, const QString& libraryName, const QString& ruleName) {
  admin::OpenRuleSqlEditor(cx, parent, libraryName, ruleName, [](admin::RuleSqlEditor& editor) { editor.exec(); });
}

}  // namespace sw
