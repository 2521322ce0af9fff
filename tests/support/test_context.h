#pragma once
// A fresh context for a test: scripted ui, a log file in a temporary folder.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "core/context.h"
#include "platform/monitor/monitor_platform.h"
#include "platform/ui/ui.h"
#include "support/scripted_ui.h"

namespace sw::test {

// Thrown where the core's orderly end would end the test program.
struct CoreProgramEnded {};

// A core context whose orderly end throws instead of ending the test program: a test that
// reaches it by surprise fails there instead of passing without looking further.
struct EndingContext : Context {
  [[noreturn]] void EndProgram() override {
    ++ends;
    throw CoreProgramEnded{};
  }
  int ends = 0;
};

// A monitor platform whose steady clock moves on 100 ms at every reading: each heartbeat of a
// test lets the window process its messages, as the tests' scripted window events expect.
struct PacedMonitorPlatform : MonitorPlatform {
  qint64 SteadyMilliseconds() override { return now += 100; }
  qint64 now = 0;
};

template <class Base = EndingContext>
struct TestContext : Base {
  TestContext() {
    Base::monitorPlatform = std::make_unique<PacedMonitorPlatform>();
    auto owned = std::make_unique<ScriptedUi>();
    scripted = owned.get();
    Base::ui = std::move(owned);
    this->log.LogFileBase = dir.path() + "/test.log";
    Base::ui->controls.verboseLogging = true;
  }
  // Everything the log files of this context hold, joined, with the entries kept back written.
  QString LogText() const {
    this->log.file.Flush();
    QString all;
    for (const QString& f : QDir(dir.path()).entryList({"test_*.log"}, QDir::Files, QDir::Name)) {
      QFile file(dir.path() + "/" + f);
      if (file.open(QIODevice::ReadOnly)) all += QString::fromLocal8Bit(file.readAll());
    }
    return all;
  }
  QTemporaryDir dir;
  ScriptedUi* scripted = nullptr;  // the context's ui, as the scripted one it is
};

}  // namespace sw::test
