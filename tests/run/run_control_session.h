#pragma once
// A processing-run context on an emulated DM server: a logged-on session with LAWLIB current
// (through the real library switch, so the rules are loaded), a clock and a sleep that the test
// drives, and the main-window operations the run calls recorded.
#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/library.h"
#include "core/library_state.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"
#include "run/run_context.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::test {

// The test's clock: sleeping advances it, and each sleep may act as the user would.
struct TestClock {
  QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(22, 30, 15));
  int sleeps = 0;
  std::function<void(int sleep)> onSleep;
};

class ClockOs : public Os {
 public:
  explicit ClockOs(TestClock& clock) : clock_(clock) {}
  QString ComputerName() const override { return QStringLiteral("TESTPC"); }
  void Sleep(int milliseconds) override {
    ++clock_.sleeps;
    clock_.now = clock_.now.addMSecs(milliseconds);
    if (clock_.onSleep) clock_.onSleep(clock_.sleeps);
  }
  bool LockWorkStation() override {
    ++locks;
    return true;
  }
  int locks = 0;

 private:
  TestClock& clock_;
};

struct RecordingRunContext : RunContext {
  std::vector<int> expanded;
  int endRequests = 0;
  std::function<void(int)> onExpand;
  void LoadRulesOfLibraryNode(int libraryNode) override {
    expanded.push_back(libraryNode);
    if (onExpand) onExpand(libraryNode);
  }
  void EndProgramWhenIdle() override { ++endRequests; }
};

using RunTestContext = TestContext<RecordingRunContext>;

// Logs on to the server and makes `library` current through the library switch.
inline bool StartRunSession(RunTestContext& cx, DmTestServer& server, TestClock& clock,
                            const QString& library = QStringLiteral("LAWLIB")) {
  auto os = std::make_unique<ClockOs>(clock);
  cx.os = std::move(os);
  cx.runState.control.Now = [&clock] { return clock.now; };
  return ConnectTestSession(cx, server, library);
}

inline ClockOs& OsOf(RunTestContext& cx) { return static_cast<ClockOs&>(*cx.os); }

// A library node and its rule nodes, ticked as given.
inline int AddLibraryNode(RunTestContext& cx, const QString& library, bool ticked) {
  return cx.ui->AddRulesNode(-1, library, library, ticked);
}
inline int AddRuleNode(RunTestContext& cx, int libraryNode, const QString& rule, bool ticked) {
  return cx.ui->AddRulesNode(libraryNode, rule, rule, ticked);
}

// The context's log with the time stamps that error and warning entries carry after their label
// taken out, so entries read as the run wrote them.
inline QString Log(RunTestContext& cx) {
  static const QRegularExpression stamp(QStringLiteral("^(Error|Warning): \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d  "),
                                        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
  return cx.LogText().replace(stamp, QStringLiteral("\\1: "));
}

inline QString Setting(RunTestContext& cx, const QString& section, const QString& key) {
  return cx.settings->GetSetting(ProductName, section, key, QStringLiteral("<none>"));
}

// This computer's claim rows in a library.
inline int ClaimRows(DmTestServer& server, const QString& library) {
  return server
      .Scalar(library, QStringLiteral("SELECT COUNT(*) FROM TARN_SETTINGS WHERE SECTION_KEY = 'STACKWRIGHT' AND "
                                      "SUB_KEY = 'RUNNING_NODES' AND CHAR_VAL LIKE 'TESTPC:%'"))
      .toInt();
}

}  // namespace sw::test
