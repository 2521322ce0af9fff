#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <vector>

#include "core/context.h"
#include "core/monitor_client.h"
#include "platform/monitor/monitor_platform.h"
#include "support/test_context.h"
#include "support/test_monitor.h"

namespace sw {
namespace {

// The platform with clocks a test sets, recording every message it posts.
class TestPlatform : public MonitorPlatform {
 public:
  using MonitorPlatform::MonitorPlatform;
  float SecondsSinceMidnight() override { return seconds ? seconds() : 0.0f; }
  qint64 SteadyMilliseconds() override {
    if (steadyStep == 0) return MonitorPlatform::SteadyMilliseconds();
    steady += steadyStep;
    return steady;
  }
  bool PostMessage(qint64 hwnd, quint32 message, qint64 wParam, qint64 lParam) override {
    posts.push_back({hwnd, message, wParam, lParam});
    return MonitorPlatform::PostMessage(hwnd, message, wParam, lParam);
  }
  std::vector<WindowMessage> PostsOf(quint32 message) const {
    std::vector<WindowMessage> out;
    for (const WindowMessage& m : posts) {
      if (m.message == message) out.push_back(m);
    }
    return out;
  }

  std::function<float()> seconds;
  qint64 steadyStep = 0;  // 0: the real steady clock; else each reading advances by this much
  qint64 steady = 1000;
  std::vector<WindowMessage> posts;
};

// A ui whose message pump runs a test's action (a window event during the wait).
class PumpActionUi : public ScriptedUi {
 public:
  void PumpMessages() override {
    ScriptedUi::PumpMessages();
    if (action) action();
  }
  std::function<void()> action;
};

qint32 IntAt(const QByteArray& record, int offset) {
  return qFromLittleEndian<qint32>(reinterpret_cast<const uchar*>(record.constData()) + offset);
}

QByteArray Field(const char* text, int size) {
  QByteArray f(text);
  f.append('\0');
  return f.leftJustified(size, ' ');
}

class MonitorClient : public ::testing::Test {
 protected:
  void SetUp() override {
    auto owned = std::make_unique<TestPlatform>(bus.path());
    platform = owned.get();
    cx.monitorPlatform = std::move(owned);
    InitMonitorMessages(cx);
    window = platform->ThisWindow();
  }
  bool Register(const QString& caption = "Quillmark on DOCS") {
    return RegisterWithMonitor(cx, window, 60, caption, 1, "SQLSRV01", "DOCSDB", "sa_login", "s3cret");
  }
  const MonitorState& state() const { return cx.monitor; }

  QTemporaryDir bus;
  test::TestContext<> cx;
  TestPlatform* platform = nullptr;
  qint64 window = 0;
};

TEST_F(MonitorClient, InitRegistersTheFiveNamesAndForgetsWindows) {
  cx.monitor.MonitorWindow = 5;
  cx.monitor.MonitorClientWindow = 6;
  InitMonitorMessages(cx);
  EXPECT_EQ(state().MsgImRunning, platform->RegisterWindowMessage("Tarn_IM_RUNNING"));
  EXPECT_EQ(state().MsgRegisterMonitor, platform->RegisterWindowMessage("Tarn_REGISTER_MONITOR"));
  EXPECT_EQ(state().MsgUnregisterMonitor, platform->RegisterWindowMessage("Tarn_UNREGISTER_MONITOR"));
  EXPECT_EQ(state().MsgImTheMonitor, platform->RegisterWindowMessage("Tarn_IM_THE_MONITOR"));
  EXPECT_EQ(state().MsgPauseResume, platform->RegisterWindowMessage("Tarn_PAUSERESUME"));
  EXPECT_EQ(state().MonitorWindow, 0);
  EXPECT_EQ(state().MonitorClientWindow, 0);
}

TEST_F(MonitorClient, RegistrationReachesTheMonitorWhichReadsTheRecord) {
  test::TestMonitor monitor(bus.path());
  ASSERT_TRUE(Register());
  EXPECT_EQ(state().MonitorWindow, monitor.Window());
  EXPECT_EQ(state().MonitorClientWindow, window);
  EXPECT_EQ(state().MonitorHook, 0);
  EXPECT_FALSE(state().RegistrationUnderWay);

  ASSERT_TRUE(monitor.WaitForMessages(1));
  const auto regs = monitor.MessagesNamed("Tarn_REGISTER_MONITOR");
  ASSERT_EQ(regs.size(), 1u);
  EXPECT_EQ(regs[0].wParam, 60);
  EXPECT_EQ(regs[0].lParam, window);
  ASSERT_TRUE(regs[0].recordFound);
  const QByteArray& r = regs[0].record;
  ASSERT_EQ(r.size(), 399);
  EXPECT_EQ(IntAt(r, 0), 399);
  EXPECT_EQ(IntAt(r, 4), 60);
  EXPECT_EQ(IntAt(r, 8), window);
  EXPECT_EQ(IntAt(r, 12), 1);
  EXPECT_EQ(r.mid(16, 255), Field("Quillmark on DOCS", 255));
  EXPECT_EQ(r.mid(271, 32), Field("SQLSRV01", 32));
  EXPECT_EQ(r.mid(303, 32), Field("DOCSDB", 32));
  EXPECT_EQ(r.mid(335, 32), Field("sa_login", 32));
  EXPECT_EQ(r.mid(367, 32), Field("s3cret", 32));

  // The block is the user's alone, and nothing past the record is written.
  struct stat st {};
  ASSERT_EQ(::stat(("/dev/shm/" + MonitorMappingName(window)).toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_NE(state().MonitorView, nullptr);
  const auto* view = static_cast<const unsigned char*>(state().MonitorView);
  EXPECT_EQ(std::count(view + 399, view + 1024, 0), 1024 - 399);
}

TEST_F(MonitorClient, RunningAndUnregisterGoToTheKnownMonitor) {
  test::TestMonitor monitor(bus.path());
  ASSERT_TRUE(Register());
  NotifyMonitorRunning(cx, window, 60);
  UnregisterFromMonitor(cx, window);
  EXPECT_EQ(state().MonitorWindow, 0);
  EXPECT_EQ(state().MonitorClientWindow, 0);
  NotifyMonitorRunning(cx, 0, 0);  // nobody known any more

  ASSERT_TRUE(monitor.WaitForMessages(3));
  const auto all = monitor.Messages();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].name, "Tarn_IM_RUNNING");
  EXPECT_EQ(all[1].wParam, 60);
  EXPECT_EQ(all[1].lParam, window);
  EXPECT_EQ(all[2].name, "Tarn_UNREGISTER_MONITOR");
  EXPECT_EQ(all[2].wParam, 0);
  EXPECT_EQ(all[2].lParam, window);
  EXPECT_EQ(platform->PostsOf(state().MsgImRunning).size(), 1u);
}

TEST_F(MonitorClient, ALaterRegistrationRewritesTheRecordInTheSameView) {
  test::TestMonitor monitor(bus.path());
  ASSERT_TRUE(Register("Quillmark on FIRST"));
  void* view = state().MonitorView;
  UnregisterFromMonitor(cx, window);
  ASSERT_TRUE(Register("Quillmark on SECOND"));
  EXPECT_EQ(state().MonitorView, view);
  ASSERT_TRUE(monitor.WaitForMessages(3));
  const auto regs = monitor.MessagesNamed("Tarn_REGISTER_MONITOR");
  ASSERT_EQ(regs.size(), 2u);
  EXPECT_EQ(regs[1].record.mid(16, 255), Field("Quillmark on SECOND", 255));
}

TEST_F(MonitorClient, NoOtherProgramEndsTheWaitAtOnceAndASilentOneAfterThreeSecondsEvenAcrossMidnight) {
  MonitorPlatform sibling(bus.path());
  sibling.ThisWindow();  // another program of this system, which is no monitor
  platform->steadyStep = 100;
  const qint64 alone = platform->steady;
  EXPECT_FALSE(Register());
  EXPECT_LT(platform->steady - alone, 3000) << "the broadcast reached nobody who could answer";
  EXPECT_EQ(state().MonitorHook, 0);
  EXPECT_FALSE(state().RegistrationUnderWay);

  MonitorPlatform silent(bus.path(), MonitorPlatform::WindowKind::Other);
  silent.ThisWindow();  // a window that may be a monitor, but never answers
  int readings = 0;
  // The seconds counter wraps at midnight in the middle of the wait.
  platform->seconds = [&] { return ++readings < 5 ? 86399.5f : 0.5f; };
  const qint64 before = platform->steady;
  EXPECT_FALSE(Register());
  const qint64 waited = platform->steady - before;
  EXPECT_GE(waited, 3000);
  EXPECT_LE(waited, 3200);
  EXPECT_EQ(state().MonitorHook, 0);
  EXPECT_EQ(state().MonitorWindow, 0);
  EXPECT_FALSE(state().RegistrationUnderWay);
  EXPECT_GT(cx.scripted->pumpCount, 0) << "the wait keeps the window's messages moving";

  const auto regs = platform->PostsOf(state().MsgRegisterMonitor);
  ASSERT_EQ(regs.size(), 2u);
  for (const WindowMessage& reg : regs) {
    EXPECT_EQ(reg.hwnd, MonitorPlatform::BroadcastWindow);
    EXPECT_EQ(reg.wParam, 60);
    EXPECT_EQ(reg.lParam, window);
  }
  EXPECT_TRUE(platform->PostsOf(state().MsgImRunning).empty()) << "no monitor known, nothing to tell";

  // An answer after the wait finds no hook any more.
  MonitorPlatform late(bus.path());
  late.PostMessage(window, state().MsgImTheMonitor, late.ThisWindow(), 0);
  ASSERT_TRUE(platform->WaitForMessage(1000));
  MonitorHeartbeat(cx);
  EXPECT_EQ(state().MonitorWindow, 0);
}

TEST_F(MonitorClient, SilentMonitorStillGetsTheRecord) {
  test::TestMonitor silent(bus.path(), /*answer=*/false);
  platform->steadyStep = 100;
  EXPECT_FALSE(Register());
  EXPECT_EQ(state().MonitorWindow, 0);
  ASSERT_TRUE(silent.WaitForMessages(1));
  const auto regs = silent.MessagesNamed("Tarn_REGISTER_MONITOR");
  ASSERT_EQ(regs.size(), 1u);
  ASSERT_TRUE(regs[0].recordFound);
  EXPECT_EQ(regs[0].record.mid(367, 32), Field("s3cret", 32));
}

TEST_F(MonitorClient, ABlockOthersCanReadIsNotGivenThePassword) {
  // Someone made the block name ahead of us, open to all.
  const std::string name = "/" + MonitorMappingName(window).toStdString();
  // A killed program whose process number this one now has may have left its block behind.
  ::shm_unlink(name.c_str());
  const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ::fchmod(fd, 0666);
  ASSERT_EQ(::ftruncate(fd, 1024), 0);
  auto* foreign = static_cast<unsigned char*>(::mmap(nullptr, 1024, PROT_READ, MAP_SHARED, fd, 0));
  ::close(fd);
  ASSERT_NE(foreign, MAP_FAILED);

  platform->steadyStep = 500;
  EXPECT_FALSE(Register());
  EXPECT_EQ(std::count(foreign, foreign + 1024, 0), 1024);
  EXPECT_EQ(state().MonitorView, nullptr);
  EXPECT_EQ(platform->PostsOf(state().MsgRegisterMonitor).size(), 1u) << "the broadcast still goes out";
  ::munmap(foreign, 1024);
  ::shm_unlink(name.c_str());
}

TEST_F(MonitorClient, ARegistrationDuringTheWaitReturnsFalseAndPostsNothing) {
  test::TestMonitor monitor(bus.path());
  auto ui = std::make_unique<PumpActionUi>();
  PumpActionUi* pump = ui.get();
  cx.ui = std::move(ui);
  int nested = 0;
  bool nestedResult = true;
  pump->action = [&] {
    if (nested++ == 0) nestedResult = RegisterWithMonitor(cx, window, 30, "nested", 1, "", "", "", "");
  };
  EXPECT_TRUE(Register());
  EXPECT_GE(nested, 1);
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(platform->PostsOf(state().MsgRegisterMonitor).size(), 1u);
  EXPECT_FALSE(state().RegistrationUnderWay);

  // The guard is released: the next rule registers again.
  pump->action = nullptr;
  EXPECT_TRUE(Register());
  EXPECT_EQ(platform->PostsOf(state().MsgRegisterMonitor).size(), 2u);
}

TEST_F(MonitorClient, HookTakesOnlyTheMonitorsAnswerAndPassesTheChainOn) {
  const qint64 older = platform->SetMessageHook([](int, qint64, const WindowMessage&) { return 41; });
  cx.monitor.MonitorHook = platform->SetMessageHook(
      [this](int code, qint64 w, const WindowMessage& m) { return MonitorHookProc(cx, code, w, m); });

  EXPECT_EQ(MonitorHookProc(cx, 0, 1, WindowMessage{window, state().MsgRegisterMonitor, 99, 0}), 41);
  EXPECT_EQ(MonitorHookProc(cx, 0, 1, WindowMessage{window, 0, 98, 0}), 41);
  EXPECT_EQ(state().MonitorWindow, 0);
  EXPECT_NE(state().MonitorHook, 0);

  // Through the pump, from the bus: the answer is taken, whatever window it was sent to.
  MonitorPlatform monitor(bus.path());
  monitor.PostMessage(window, state().MsgImTheMonitor, 777, 0);
  ASSERT_TRUE(platform->WaitForMessage(1000));
  EXPECT_EQ(platform->PumpMessages(), 1);
  EXPECT_EQ(state().MonitorWindow, 777);
  EXPECT_EQ(state().MonitorHook, 0);

  // Removed: a second answer changes nothing.
  monitor.PostMessage(window, state().MsgImTheMonitor, 888, 0);
  ASSERT_TRUE(platform->WaitForMessage(1000));
  platform->PumpMessages();
  EXPECT_EQ(state().MonitorWindow, 777);
  EXPECT_TRUE(platform->UnhookMessageHook(older));
}

TEST_F(MonitorClient, HeartbeatTellsAKnownMonitorAtMostEveryFourSeconds) {
  float now = 3.0f;
  platform->seconds = [&] { return now; };
  cx.monitor.MonitorWindow = 0x1234;
  cx.monitor.MonitorClientWindow = window;
  platform->steadyStep = 100;  // each beat 100 ms after the last

  auto beatAt = [&](float t) {
    now = t;
    MonitorHeartbeat(cx);
    return platform->PostsOf(state().MsgImRunning).size();
  };
  EXPECT_EQ(beatAt(3.0f), 0u) << "within 4 seconds of midnight's 0";
  EXPECT_EQ(beatAt(4.5f), 1u);
  EXPECT_EQ(beatAt(8.0f), 1u);
  EXPECT_EQ(beatAt(8.5f), 1u) << "exactly 4 seconds is not more than 4";
  EXPECT_EQ(beatAt(8.6f), 2u);
  EXPECT_EQ(beatAt(1.0f), 3u) << "after midnight the counter runs backwards";
  EXPECT_EQ(beatAt(2.0f), 3u);
  EXPECT_EQ(cx.scripted->pumpCount, 7) << "every beat 100 ms after the last lets the window process its messages";

  // Beats closer together than that neither pump nor tell the monitor anything.
  platform->steadyStep = 40;
  EXPECT_EQ(beatAt(9.0f), 3u);
  EXPECT_EQ(beatAt(20.0f), 3u);
  EXPECT_EQ(cx.scripted->pumpCount, 7);
  EXPECT_EQ(beatAt(30.0f), 4u) << "120 ms after the last pump";
  EXPECT_EQ(beatAt(40.0f), 4u);
  EXPECT_EQ(cx.scripted->pumpCount, 8);

  const WindowMessage alive = platform->PostsOf(state().MsgImRunning).back();
  EXPECT_EQ(alive.hwnd, 0x1234);
  EXPECT_EQ(alive.wParam, 0);
  EXPECT_EQ(alive.lParam, window);
}

TEST_F(MonitorClient, NothingIsPostedWhileNoMonitorIsKnown) {
  float now = 100.0f;
  platform->seconds = [&] { return now; };
  NotifyMonitorRunning(cx, 0, 0);
  MonitorHeartbeat(cx);
  EXPECT_FLOAT_EQ(state().LastAliveNotice, 100.0f);
  now = 200.0f;
  MonitorHeartbeat(cx);
  NotifyMonitorRunning(cx, window, 60);
  EXPECT_EQ(state().MonitorClientWindow, window);
  UnregisterFromMonitor(cx, window);
  EXPECT_EQ(state().MonitorClientWindow, 0);
  EXPECT_TRUE(platform->posts.empty());
}

TEST(MonitorRecord, MappingNameHasEightUpperCaseDigits) {
  EXPECT_EQ(MonitorMappingName(0xABCDE), "Tarn_MMFILE_000ABCDE");
  EXPECT_EQ(MonitorMappingName(0x1F), "Tarn_MMFILE_0000001F");
  EXPECT_EQ(MonitorMappingName(0x7FEDCBA9), "Tarn_MMFILE_7FEDCBA9");
  EXPECT_EQ(MonitorMappingName(-1), "Tarn_MMFILE_FFFFFFFF");
}

TEST(MonitorRecord, TextFieldsAreCutTerminatedAndBlankPadded) {
  const QString longCaption(300, QChar('c'));
  const QByteArray caption = MonitorTextField(longCaption, 255);
  ASSERT_EQ(caption.size(), 255);
  EXPECT_EQ(caption.left(254), QByteArray(254, 'c'));
  EXPECT_EQ(caption[254], '\0');

  EXPECT_EQ(MonitorTextField("SRV01", 32), QByteArray("SRV01") + '\0' + QByteArray(26, ' '));
  EXPECT_EQ(MonitorTextField(QString(31, 'x'), 32), QByteArray(31, 'x') + '\0');
  EXPECT_EQ(MonitorTextField("", 32), QByteArray(1, '\0') + QByteArray(31, ' '));
  // The ANSI code page: Latin letters and the euro sign map, others become '?'.
  EXPECT_EQ(MonitorTextField(QString::fromUtf8("é€Ω"), 8), QByteArray("\xE9\x80?") + '\0' + QByteArray(4, ' '));
}

}  // namespace
}  // namespace sw
