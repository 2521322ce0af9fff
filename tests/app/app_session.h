#pragma once
// A main-window context for tests: the orderly end reports that it was reached instead of ending
// the test program, the rule SQL editor is recorded instead of shown, and the per-user settings
// and the machine's registry live in folders of the test's own.
#include <QByteArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "app/app_context.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::test {

// Thrown where the process would end.
struct ProgramEnded {
  int code = 0;
};

struct EndingAppContext : AppContext {
  [[noreturn]] void ExitProcess(int code) override {
    ++exits;
    throw ProgramEnded{code};
  }
  void ShowRuleSqlEditor(const QString& libraryName, const QString& ruleName) override {
    editorOpened.push_back({libraryName, ruleName, rules.RuleSqlIndex});
  }
  struct OpenedEditor {
    QString library, rule, sqlIndex;
  };
  int exits = 0;
  std::vector<OpenedEditor> editorOpened;
};

// This computer is TESTPC, and waiting takes no time.
class QuietOs : public Os {
 public:
  QString ComputerName() const override { return QStringLiteral("TESTPC"); }
  void Sleep(int) override {}
  bool LockWorkStation() override { return true; }
};

// A scripted ui that also records the splash texts and answers the library pop-up menu.
class RecordingUi : public ScriptedUi {
 public:
  int PopUpLibraryMenu() override {
    ++popUps;
    return pick;
  }
  void SetSplashTexts(const QString& dmVersionText, const QString& buildLine, const QString& makerLine) override {
    splashFills.push_back({dmVersionText, buildLine, makerLine});
    ScriptedUi::SetSplashTexts(dmVersionText, buildLine, makerLine);
  }
  struct SplashFill {
    QString dmVersionText, buildLine, makerLine;
  };
  int popUps = 0;
  int pick = -1;
  std::vector<SplashFill> splashFills;
};

struct AppTestContext : TestContext<EndingAppContext> {
  AppTestContext() {
    auto owned = std::make_unique<RecordingUi>();
    recording = owned.get();
    scripted = owned.get();
    owned->controls.verboseLogging = true;
    ui = std::move(owned);
    os = std::make_unique<QuietOs>();
  }
  RecordingUi* recording = nullptr;
};

// The log with the time stamps that error and warning entries carry after their label taken out.
inline QString PlainLog(AppTestContext& cx) {
  static const QRegularExpression stamp(QStringLiteral("^(Error|Warning): \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d  "),
                                        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
  return cx.LogText().replace(stamp, QStringLiteral("\\1: "));
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QString& value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnv() {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

// Settings of this test only; each test starts as a first start for the user.
struct IsolatedSettings {
  QTemporaryDir folder;
  ScopedEnv env{"XDG_CONFIG_HOME", folder.path()};
};

inline QString ProductSetting(Context& cx, const QString& section, const QString& key) {
  return cx.settings->GetSetting(ProductName, section, key, QStringLiteral("<none>"));
}
inline void SaveProductSetting(Context& cx, const QString& section, const QString& key, const QString& value) {
  cx.settings->SaveSetting(ProductName, section, key, value);
}

}  // namespace sw::test
