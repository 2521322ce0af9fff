#pragma once
// The window in which an administrator writes, tests and stores a rule's own SQL statement. It
// keeps nothing of the rule but its two status panels: panel 1 the library, panel 2 the rule.
#include <QDialog>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace sw {

class RunContext;

namespace admin {

class RuleSqlEditor : public QDialog {
  Q_OBJECT
 public:
  RuleSqlEditor(RunContext& cx, QWidget* parent);

  void SetPanels(const QString& library, const QString& rule);
  QString LibraryPanel() const;
  QString RulePanel() const;
  QString Text() const;
  void SetText(const QString& text);
  bool TestPassed() const { return testPassed_; }

  void ButtonTest_Click();
  void ButtonOK_Click();
  void ButtonCancel_Click();

  QPlainTextEdit* TextRuleSQL = nullptr;
  QPushButton* ButtonOK = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonTest = nullptr;
  QStatusBar* StatusBarInfo = nullptr;

 protected:
  // Esc presses Cancel (which asks first); the title bar's close stores and asks nothing.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void KeepWithinMaxLength();

  RunContext& cx_;
  QLabel* libraryPanel_ = nullptr;
  QLabel* rulePanel_ = nullptr;
  bool testPassed_ = true;
};

// F5 on a rule node, with the way the filled window is shown left to the caller (a modal
// exec in the program, a scripted session in tests).
void OpenRuleSqlEditor(RunContext& cx, QWidget* parent, const QString& libraryName, const QString& ruleName,
                       const std::function<void(RuleSqlEditor&)>& show);

}  // namespace admin
}  // namespace sw
