#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/monitor/monitor_platform.h"

namespace sw {
namespace {

QString UniqueObjectName(const char* what) {
  static int n = 0;
  return QStringLiteral("sw_test_%1_%2_%3").arg(what).arg(getpid()).arg(++n);
}

mode_t ShmMode(const QString& name) {
  struct stat st {};
  if (::stat(("/dev/shm/" + name).toLocal8Bit().constData(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool ShmExists(const QString& name) { return QFile::exists("/dev/shm/" + name); }

// A window socket whose program ended without removing it.
void LeaveDeadSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.toLocal8Bit().constData(), sizeof(addr.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ::close(fd);
}

TEST(MonitorPlatformMessages, NumbersAreStableDistinctAndRegistered) {
  QTemporaryDir dir;
  MonitorPlatform a(dir.path()), b(dir.path());
  const QStringList names = {"Tarn_IM_RUNNING", "Tarn_REGISTER_MONITOR", "Tarn_UNREGISTER_MONITOR",
                             "Tarn_IM_THE_MONITOR", "Tarn_PAUSERESUME"};
  std::vector<quint32> numbers;
  for (const QString& name : names) {
    const quint32 n = a.RegisterWindowMessage(name);
    EXPECT_GE(n, 0xC000u) << name.toStdString();
    EXPECT_LE(n, 0xFFFFu) << name.toStdString();
    EXPECT_EQ(n, b.RegisterWindowMessage(name));
    EXPECT_EQ(n, b.RegisterWindowMessage(name.toLower()));
    for (quint32 other : numbers) EXPECT_NE(n, other) << name.toStdString();
    numbers.push_back(n);
  }
}

TEST(MonitorPlatformMessages, PostReachesTheNamedWindowWithItsValues) {
  QTemporaryDir dir;
  MonitorPlatform sender(dir.path()), receiver(dir.path());
  const qint64 target = receiver.ThisWindow();
  EXPECT_NE(target, 0);
  EXPECT_NE(target, sender.ThisWindow());
  ASSERT_TRUE(sender.PostMessage(target, 0xC123, -5, 0x7FFFFFFF12LL));

  WindowMessage msg;
  ASSERT_TRUE(receiver.ReadMessage(msg, 1000));
  EXPECT_EQ(msg.hwnd, target);
  EXPECT_EQ(msg.message, 0xC123u);
  EXPECT_EQ(msg.wParam, -5);
  EXPECT_EQ(msg.lParam, 0x7FFFFFFF12LL);
  EXPECT_FALSE(receiver.ReadMessage(msg, 0));
  EXPECT_FALSE(sender.ReadMessage(msg, 0));

  EXPECT_FALSE(sender.PostMessage(0x00ABCDEF, 0xC123, 0, 0)) << "no such window";
  EXPECT_FALSE(sender.PostMessage(0, 0xC123, 0, 0));
}

TEST(MonitorPlatformMessages, BroadcastReachesEveryWindowAndClearsDeadOnes) {
  QTemporaryDir dir;
  MonitorPlatform a(dir.path()), b(dir.path()), c(dir.path());
  MonitorPlatform monitor(dir.path(), MonitorPlatform::WindowKind::Other);
  b.ThisWindow();
  monitor.ThisWindow();
  c.ThisWindow();
  EXPECT_NE(c.ThisWindow(), monitor.ThisWindow()) << "a handle is one window's, whatever its kind";
  const QString dead = dir.path() + "/window-00000100";
  LeaveDeadSocket(dead);
  ASSERT_TRUE(QFile::exists(dead));

  EXPECT_TRUE(a.PostMessage(MonitorPlatform::BroadcastWindow, 0xC001, 60, 42));
  WindowMessage msg;
  ASSERT_TRUE(b.ReadMessage(msg, 1000));
  EXPECT_EQ(msg.hwnd, b.ThisWindow());
  EXPECT_EQ(msg.wParam, 60);
  EXPECT_EQ(msg.lParam, 42);
  ASSERT_TRUE(c.ReadMessage(msg, 1000));
  EXPECT_EQ(msg.hwnd, c.ThisWindow());
  ASSERT_TRUE(monitor.ReadMessage(msg, 1000));
  EXPECT_EQ(msg.hwnd, monitor.ThisWindow());
  EXPECT_EQ(a.BroadcastReach(), 1) << "program windows never answer: only the other one counts";
  EXPECT_FALSE(QFile::exists(dead));
  // The sender had no window yet, so it received nothing; once it has one, broadcasts reach it.
  EXPECT_FALSE(a.ReadMessage(msg, 0));
  a.ThisWindow();
  b.PostMessage(MonitorPlatform::BroadcastWindow, 0xC002, 0, 0);
  EXPECT_TRUE(a.ReadMessage(msg, 1000));
  EXPECT_EQ(msg.message, 0xC002u);
}

TEST(MonitorPlatformMessages, WindowSocketsArePrivateAndGoWithTheirWindow) {
  QTemporaryDir dir;
  const QString bus = dir.path() + "/bus";
  QString socketPath;
  {
    MonitorPlatform p(bus);
    const qint64 w = p.ThisWindow();
    EXPECT_EQ(p.ThisWindow(), w);
    EXPECT_EQ(w / 256, getpid()) << "derived from the process id";
    struct stat st {};
    ASSERT_EQ(::stat(bus.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    socketPath = bus + "/program-" + QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0')).toUpper();
    EXPECT_TRUE(QFile::exists(socketPath));
  }
  EXPECT_FALSE(QFile::exists(socketPath));

  // A folder others can enter is made private before use.
  const QString open = dir.path() + "/open";
  ASSERT_TRUE(QDir().mkdir(open));
  ::chmod(open.toLocal8Bit().constData(), 0755);
  MonitorPlatform q(open);
  q.ThisWindow();
  struct stat st {};
  ASSERT_EQ(::stat(open.toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(MonitorPlatformHooks, NewestHookFirstChainAndSelfRemoval) {
  QTemporaryDir dir;
  MonitorPlatform p(dir.path()), sender(dir.path());
  EXPECT_EQ(p.PumpMessages(), 0) << "no window yet";
  const qint64 w = p.ThisWindow();

  std::vector<QString> calls;
  qint64 older = 0, newer = 0;
  older = p.SetMessageHook([&](int code, qint64 wp, const WindowMessage& m) {
    calls.push_back(QStringLiteral("older %1 %2 %3").arg(code).arg(wp).arg(m.wParam));
    return 7;
  });
  newer = p.SetMessageHook([&](int code, qint64 wp, const WindowMessage& m) {
    calls.push_back(QStringLiteral("newer %1").arg(m.wParam));
    const qint64 r = p.CallNextHook(newer, code, wp, m);
    if (m.wParam == 2) p.UnhookMessageHook(newer);
    return r + 1;
  });
  EXPECT_NE(older, 0);
  EXPECT_NE(older, newer);

  sender.PostMessage(w, 0xC000, 1, 0);
  sender.PostMessage(w, 0xC000, 2, 0);
  sender.PostMessage(w, 0xC000, 3, 0);
  ASSERT_TRUE(p.WaitForMessage(1000));
  EXPECT_EQ(p.PumpMessages(), 3);
  const std::vector<QString> expected = {"newer 1", "older 0 1 1", "newer 2", "older 0 1 2", "older 0 1 3"};
  EXPECT_EQ(calls, expected);

  EXPECT_FALSE(p.UnhookMessageHook(newer)) << "already removed";
  EXPECT_EQ(p.CallNextHook(older, 0, 0, WindowMessage{}), 0) << "end of the chain";
  EXPECT_TRUE(p.UnhookMessageHook(older));
}

TEST(MonitorPlatformSharedMemory, CreatedPrivateZeroedAndRemovedAtTheEnd) {
  const QString name = UniqueObjectName("create");
  const mode_t oldMask = ::umask(0277);  // would leave the owner unable to write
  {
    MonitorPlatform p;
    const qint64 h = p.CreateFileMapping(name, MonitorPlatform::ViewSize);
    ::umask(oldMask);
    ASSERT_NE(h, 0);
    EXPECT_EQ(ShmMode(name), 0600u);
    EXPECT_EQ(p.CreateFileMapping(name, MonitorPlatform::ViewSize), 0) << "exists already";

    auto* view = static_cast<unsigned char*>(p.MapViewOfFile(h, MonitorPlatform::ViewSize));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::count(view, view + 1024, 0), 1024);
    view[10] = 0x5A;
    EXPECT_TRUE(p.FlushViewOfFile(view, 399));
    EXPECT_TRUE(p.CloseHandle(h));
    EXPECT_FALSE(p.CloseHandle(h));
    // The view outlives the handle; another opener by name sees what was written.
    view[11] = 0x5B;
    MonitorPlatform reader;
    const qint64 r = reader.OpenFileMapping(name);
    ASSERT_NE(r, 0);
    auto* seen = static_cast<unsigned char*>(reader.MapViewOfFile(r, MonitorPlatform::ViewSize));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen[10], 0x5A);
    EXPECT_EQ(seen[11], 0x5B);
  }
  ::umask(oldMask);
  EXPECT_FALSE(ShmExists(name)) << "the block holds a password and must not outlive the program";
}

TEST(MonitorPlatformSharedMemory, OpenRefusesBlocksOthersCanReadAndShortBlocks) {
  MonitorPlatform p;
  EXPECT_EQ(p.OpenFileMapping(UniqueObjectName("missing")), 0);

  const QString shared = UniqueObjectName("shared");
  const std::string sharedPath = "/" + shared.toStdString();
  int fd = ::shm_open(sharedPath.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ::fchmod(fd, 0644);
  ::ftruncate(fd, 1024);
  ::close(fd);
  EXPECT_EQ(p.OpenFileMapping(shared), 0);
  ::shm_unlink(sharedPath.c_str());

  const QString small = UniqueObjectName("small");
  const std::string smallPath = "/" + small.toStdString();
  fd = ::shm_open(smallPath.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ::ftruncate(fd, 100);
  ::close(fd);
  const qint64 h = p.OpenFileMapping(small);
  ASSERT_NE(h, 0);
  EXPECT_EQ(p.MapViewOfFile(h, MonitorPlatform::ViewSize), nullptr);
  EXPECT_NE(p.MapViewOfFile(h, 100), nullptr);
  ::shm_unlink(smallPath.c_str());
}

}  // namespace
}  // namespace sw
