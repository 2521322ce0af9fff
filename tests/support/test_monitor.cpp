#include "support/test_monitor.h"

#include <chrono>
#include <cstring>

namespace sw::test {

namespace {

constexpr int RecordBytes = 399;

// Formed here on its own, as the monitor program would, not with the client's helper.
QString BlockName(qint64 window) {
  return QStringLiteral("Tarn_MMFILE_") +
         QStringLiteral("%1").arg(static_cast<quint32>(window), 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TestMonitor::TestMonitor(const QString& busFolder, bool answer)
    : platform_(busFolder, MonitorPlatform::WindowKind::Other), answer_(answer) {
  for (const char* name : {"Tarn_IM_RUNNING", "Tarn_REGISTER_MONITOR", "Tarn_UNREGISTER_MONITOR",
                           "Tarn_IM_THE_MONITOR", "Tarn_PAUSERESUME"}) {
    names_.emplace_back(platform_.RegisterWindowMessage(QString::fromLatin1(name)), QString::fromLatin1(name));
  }
  window_ = platform_.ThisWindow();
  thread_ = std::thread([this] { Run(); });
}

TestMonitor::~TestMonitor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  thread_.join();
}

QString TestMonitor::NameOf(quint32 number) const {
  for (const auto& [n, name] : names_) {
    if (n == number) return name;
  }
  return QString();
}

TestMonitor::Received TestMonitor::Handle(const WindowMessage& msg) {
  Received r{NameOf(msg.message), msg.wParam, msg.lParam, QByteArray(), false};
  if (r.name != QLatin1String("Tarn_REGISTER_MONITOR")) return r;
  const qint64 mapping = platform_.OpenFileMapping(BlockName(msg.lParam));
  if (mapping != 0) {
    if (void* view = platform_.MapViewOfFile(mapping, MonitorPlatform::ViewSize)) {
      r.record = QByteArray(static_cast<const char*>(view), RecordBytes);
      r.recordFound = true;
    }
    platform_.CloseHandle(mapping);
  }
  if (answer_) {
    platform_.PostMessage(msg.lParam, platform_.RegisterWindowMessage(QStringLiteral("Tarn_IM_THE_MONITOR")),
                          window_, 0);
  }
  return r;
}

void TestMonitor::Run() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
    }
    WindowMessage msg;
    if (!platform_.ReadMessage(msg, 20)) continue;
    Received r = Handle(msg);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(std::move(r));
    arrived_.notify_all();
  }
}

std::vector<TestMonitor::Received> TestMonitor::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<TestMonitor::Received> TestMonitor::MessagesNamed(const QString& name) const {
  std::vector<Received> out;
  for (const Received& r : Messages()) {
    if (r.name == name) out.push_back(r);
  }
  return out;
}

bool TestMonitor::WaitForMessages(size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return received_.size() >= count; });
}

}  // namespace sw::test
