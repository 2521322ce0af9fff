#pragma once
// A run context logged on to the demo libraries with LAWLIB current and its rule "CLIENT MATTERS"
// started by hand: the rule's working values, a results row reading "Working...", and a
// statement over the demo's matters and clients in the shape the statement builder gives
// (client id, level break, matter id, the SYSTEM_ID columns of both tables).
#include <gtest/gtest.h>

#include "core/library.h"
#include "core/library_session.h"
#include "rules/rule_table.h"
#include "run/run.h"
#include "run/run_context.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::test {

inline const QString Law = QStringLiteral("LAWLIB");
inline const QString Ora = QStringLiteral("ORALIB");
inline const QString DemoRule = QStringLiteral("CLIENT MATTERS");

// The demo rule's statement, capped and ordered so that a test knows its rows.
inline QString MatterStatement(int top, const QString& where = QString()) {
  return QStringLiteral("SELECT DISTINCT TOP %1 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", '\\' AS \"LEVEL BREAK\", "
                        "MATTER.MATTER_ID AS \"MATTER.MATTER_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\", "
                        "CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\" FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT "
                        "ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID %2 ORDER BY MATTER.MATTER_ID ASC")
      .arg(top)
      .arg(where);
}

class RowSession : public ::testing::Test {
 protected:
  void SetUp() override {
    statements = StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, Law));
    StartRule(DemoRule);
  }

  // The working values that rule preparation would set for a ticked rule node of the library.
  void StartRule(const QString& name, const QString& library = Law) {
    RuleWorkingValues& rule = cx.runState.rule;
    rule = RuleWorkingValues{};
    rule.LibraryNode = cx.ui->AddRulesNode(-1, library, library, true);
    rule.RuleNode = cx.ui->AddRulesNode(rule.LibraryNode, name, name, true);
    rule.LibraryName = library;
    rule.RuleName = name;
    for (int i = 1; i <= cx.rules.RuleCount(); ++i)
      if (cx.rules.RuleTable(field::RuleName, i) == name.toUpper()) rule.RuleIndex = i;
    cx.runState.control.ResultRow = cx.ui->AddResultRow({Law + QStringLiteral(" - ") + name, QString(), QStringLiteral("Working...")});
    cx.runState.tmpl = TemplateState{};
    cx.runState.lists = SourceListState{};
    cx.runState.statement = RuleStatementState{};
    cx.runState.statement.RuleStatement = MatterStatement(3);
  }

  // Item rows whose profile links are the given texts.
  void SetProfileLinks(const QStringList& links) {
    TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
    items.Clear();
    for (const QString& link : links) items.Set(items.AddRow(), TemplateProfileLink, link);
  }

  QString ResultsText() const { return cx.ui->ResultText(cx.runState.control.ResultRow, 2); }
  bool RuleTicked() const { return cx.ui->RulesNode(cx.runState.rule.RuleNode).checked; }
  QString Log() const { return cx.LogText(); }
  QString Current() const { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString(); }
  QString Sql(const QString& library, const QString& sql) const { return server.Scalar(library, sql); }
  qint64 Number(const QString& library, const QString& sql) const { return server.Scalar(library, sql).toLongLong(); }

  DmTestServer server;
  TestContext<RunContext> cx;
  std::shared_ptr<StatementRecord> statements;
};

}  // namespace sw::test
