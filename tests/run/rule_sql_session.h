#pragma once
// A run context logged on to the demo libraries with one library current (through the real
// library switch, so its rules are loaded), a fixed clock, and a rule started by hand with the
// working values the rule preparation would give it.
#include <gtest/gtest.h>

#include <ostream>

#include "core/library.h"
#include "core/library_session.h"
#include "rules/rule_table.h"
#include "run/run.h"
#include "run/run_context.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace sw::test {

struct RuleSpec {
  QString name = QStringLiteral("CLIENT MATTERS");
  QString templateText = QStringLiteral("%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%");
  QString values;
  QString stackwrightText;
  int level = 0;
  double overrideParameters = 0;
  int workspaceAuthor = 0;
  QString emailTemplate;
};

class RuleSqlSession : public ::testing::Test {
 protected:
  void SetUp() override { Open(QStringLiteral("LAWLIB")); }

  void Open(const QString& library) {
    statements = StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, library));
    cx.runState.control.Now = [] { return QDateTime(QDate(2026, 3, 9), QTime(10, 30)); };
  }

  void Start(const RuleSpec& spec) {
    RuleWorkingValues& rule = cx.runState.rule;
    rule = RuleWorkingValues{};
    const QString library = cx.session.CurrentLibrary->Name();
    rule.LibraryNode = cx.ui->AddRulesNode(-1, library, library, true);
    rule.RuleNode = cx.ui->AddRulesNode(rule.LibraryNode, spec.name, spec.name, true);
    rule.LibraryName = library;
    rule.RuleName = spec.name;
    rule.RULE_TEMPLATE = spec.templateText;
    rule.RULE_VALUES = spec.values;
    rule.RULE_STACKWRIGHT_TEXT = spec.stackwrightText;
    rule.RULE_STACKWRIGHT_LEVEL = spec.level;
    rule.RULE_OVERRIDERULEPARAMETERS = spec.overrideParameters;
    rule.RULE_WORKSPACE_AUTHOR = spec.workspaceAuthor;
    rule.RULE_EMAIL_TEMPLATE = spec.emailTemplate;
    SetRuleSqlBuffer(cx.rules, QString());
    cx.runState.control.ResultRow = cx.ui->AddResultRow({library + QStringLiteral(" - ") + spec.name, QString(), QStringLiteral("Working...")});
  }

  RunOptions& Options() { return cx.ui->controls.options; }
  QString Item(int row, int column) const { return cx.runState.tmpl.ParsedTemplate(row, column); }
  QString Log() const { return cx.LogText(); }
  bool RuleTicked() const { return cx.ui->RulesNode(cx.runState.rule.RuleNode).checked; }
  int Count(const QString& fragment) const { return statements->Count(cx.session.CurrentLibrary->Name(), fragment); }
  QString Scalar(const QString& sql) const { return server.Scalar(cx.session.CurrentLibrary->Name(), sql); }

  DmTestServer server;
  TestContext<RunContext> cx;
  std::shared_ptr<StatementRecord> statements;
};

}  // namespace sw::test
