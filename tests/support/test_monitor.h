#pragma once
// A stand-in for the external monitor program: it listens on the message bus from a thread of
// its own, reads the record of every program that registers and answers the registration the
// way the monitor does (its window handle in wParam, posted to the window in lParam).
#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/monitor/monitor_platform.h"

namespace sw::test {

class TestMonitor {
 public:
  struct Received {
    QString name;        // the registered name of the message, empty when unknown
    qint64 wParam = 0;
    qint64 lParam = 0;
    QByteArray record;   // for a registration: the 399 bytes read from the program's block
    bool recordFound = false;
  };

  // answer = false: receives and records but never answers.
  explicit TestMonitor(const QString& busFolder, bool answer = true);
  ~TestMonitor();
  TestMonitor(const TestMonitor&) = delete;
  TestMonitor& operator=(const TestMonitor&) = delete;

  qint64 Window() const { return window_; }
  std::vector<Received> Messages() const;
  // Waits up to timeoutMs until at least `count` messages have arrived.
  bool WaitForMessages(size_t count, int timeoutMs = 3000) const;
  // The messages of one name.
  std::vector<Received> MessagesNamed(const QString& name) const;

 private:
  void Run();
  Received Handle(const WindowMessage& msg);
  QString NameOf(quint32 number) const;

  MonitorPlatform platform_;
  const bool answer_;
  qint64 window_ = 0;
  std::vector<std::pair<quint32, QString>> names_;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<Received> received_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace sw::test
