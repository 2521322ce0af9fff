#include "core/monitor_client.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

#include "core/context.h"
#include "platform/monitor/monitor_platform.h"

namespace sw {

namespace {

constexpr qint64 RegistrationWaitMs = 3000;
// Between heartbeats the registration wait sleeps on the window's socket, so it does not spin.
constexpr int RegistrationIdleMs = 10;
constexpr float AliveNoticeSeconds = 4.0f;
constexpr qint64 PumpIntervalMs = 100;

// One heartbeat without the pace of MonitorHeartbeat: the registration wait needs every one.
void Beat(Context& cx);

// Offsets of the record's fields.
constexpr int OffInterval = 4;
constexpr int OffClientWindow = 8;
constexpr int OffEngine = 12;
constexpr int OffCaption = 16;
constexpr int OffServer = 271;
constexpr int OffDatabase = 303;
constexpr int OffLogin = 335;
constexpr int OffPassword = 367;
constexpr int CaptionBytes = 255;
constexpr int NameBytes = 32;

// Windows-1252 for 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char AnsiByte(QChar c) {
  const char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i) {
    if (Cp1252High[i] != 0 && Cp1252High[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

MonitorPlatform& Platform(Context& cx) { return *cx.monitorPlatform; }

void PutInt(QByteArray& record, int offset, qint32 value) {
  qToLittleEndian<qint32>(value, reinterpret_cast<uchar*>(record.data()) + offset);
}

void PutText(QByteArray& record, int offset, const QString& text, int size) {
  record.replace(offset, size, MonitorTextField(text, size));
}

void WriteRecord(Context& cx, const QByteArray& record) {
  std::memcpy(cx.monitor.MonitorView, record.constData(), static_cast<size_t>(record.size()));
  Platform(cx).FlushViewOfFile(cx.monitor.MonitorView, record.size());
}

// Waits until the hook has seen the answer or 3 seconds have passed, on a steady clock, so the
// wait is the same across midnight.
void WaitForMonitorAnswer(Context& cx) {
  MonitorPlatform& p = Platform(cx);
  const qint64 start = p.SteadyMilliseconds();
  for (;;) {
    if (cx.monitor.MonitorHook == 0) return;
    const qint64 left = RegistrationWaitMs - (p.SteadyMilliseconds() - start);
    if (left <= 0) return;
    Beat(cx);
    if (cx.monitor.MonitorHook == 0) return;
    p.WaitForMessage(static_cast<int>(qMin<qint64>(left, RegistrationIdleMs)));
  }
}

}  // namespace

QString MonitorMappingName(qint64 hWnd) {
  const QString hex = QString::number(static_cast<quint32>(hWnd), 16).toUpper();
  return QStringLiteral("Tarn_MMFILE_") + (QStringLiteral("00000000") + hex).right(8);
}

QByteArray MonitorTextField(const QString& text, int size) {
  QByteArray field(size, ' ');
  if (size <= 0) return field;
  const QString cut = text.left(size - 1);
  for (int i = 0; i < cut.size(); ++i) field[i] = AnsiByte(cut[i]);
  field[cut.size()] = '\0';
  return field;
}

QByteArray BuildMonitorRecord(int interval, qint64 hWnd, qint64 engine, const QString& caption,
                              const QString& server, const QString& database, const QString& sqlLogin,
                              const QString& sqlPassword) {
  QByteArray record(MonitorRecordSize, '\0');
  PutInt(record, 0, MonitorRecordSize);
  PutInt(record, OffInterval, interval);
  PutInt(record, OffClientWindow, static_cast<qint32>(hWnd));
  PutInt(record, OffEngine, static_cast<qint32>(engine));
  PutText(record, OffCaption, caption, CaptionBytes);
  PutText(record, OffServer, server, NameBytes);
  PutText(record, OffDatabase, database, NameBytes);
  PutText(record, OffLogin, sqlLogin, NameBytes);
  PutText(record, OffPassword, sqlPassword, NameBytes);
  return record;
}

void InitMonitorMessages(Context& cx) {
  MonitorPlatform& p = Platform(cx);
  MonitorState& m = cx.monitor;
  m.MsgImRunning = p.RegisterWindowMessage(QStringLiteral("Tarn_IM_RUNNING"));
  m.MsgRegisterMonitor = p.RegisterWindowMessage(QStringLiteral("Tarn_REGISTER_MONITOR"));
  m.MsgUnregisterMonitor = p.RegisterWindowMessage(QStringLiteral("Tarn_UNREGISTER_MONITOR"));
  m.MsgImTheMonitor = p.RegisterWindowMessage(QStringLiteral("Tarn_IM_THE_MONITOR"));
  m.MsgPauseResume = p.RegisterWindowMessage(QStringLiteral("Tarn_PAUSERESUME"));
  m.MonitorWindow = 0;
  m.MonitorClientWindow = 0;
}

qint64 OpenMonitorMapping(Context& cx, qint64 hWnd) {
  MonitorPlatform& p = Platform(cx);
  const QString name = MonitorMappingName(hWnd);
  const qint64 existing = p.OpenFileMapping(name);
  if (existing != 0) return existing;
  const qint64 created = p.CreateFileMapping(name, MonitorPlatform::ViewSize);
  if (created == 0) return 0;
  if (MapMonitorView(cx, created)) std::memset(cx.monitor.MonitorView, 0, MonitorPlatform::ViewSize);
  return created;
}

bool MapMonitorView(Context& cx, qint64 handle) {
  cx.monitor.MonitorView = Platform(cx).MapViewOfFile(handle, MonitorPlatform::ViewSize);
  return cx.monitor.MonitorView != nullptr;
}

qint64 MonitorHookProc(Context& cx, int code, qint64 wParam, const WindowMessage& msg) {
  MonitorState& m = cx.monitor;
  const bool matched = msg.message != 0 && msg.message == m.MsgImTheMonitor;
  if (matched) m.MonitorWindow = msg.wParam;
  const qint64 next = Platform(cx).CallNextHook(m.MonitorHook, code, wParam, msg);
  if (matched && m.MonitorHook != 0) {
    Platform(cx).UnhookMessageHook(m.MonitorHook);
    m.MonitorHook = 0;
  }
  return next;
}

bool RegisterWithMonitor(Context& cx, qint64 hWnd, int interval, const QString& caption, qint64 engine,
                         const QString& server, const QString& database, const QString& sqlLogin,
                         const QString& sqlPassword) {
  MonitorState& m = cx.monitor;
  if (m.RegistrationUnderWay) return false;
  m.RegistrationUnderWay = true;
  bool result = false;
  m.MonitorClientWindow = hWnd;

  MonitorPlatform& p = Platform(cx);
  const qint64 mapping = OpenMonitorMapping(cx, hWnd);
  if (mapping != 0) {
    if (m.MonitorView == nullptr) MapMonitorView(cx, mapping);
    if (m.MonitorView != nullptr) {
      WriteRecord(cx, BuildMonitorRecord(interval, hWnd, engine, caption, server, database, sqlLogin, sqlPassword));
    }
  }

  m.MonitorHook = p.SetMessageHook(
      [&cx](int code, qint64 w, const WindowMessage& msg) { return MonitorHookProc(cx, code, w, msg); });
  p.PostMessage(MonitorPlatform::BroadcastWindow, m.MsgRegisterMonitor, interval, hWnd);
  // A broadcast that reached no other program gets no answer: waiting would change nothing.
  if (p.BroadcastReach() > 0) WaitForMonitorAnswer(cx);

  if (m.MonitorHook == 0) {
    result = true;
  } else {
    p.UnhookMessageHook(m.MonitorHook);
    m.MonitorHook = 0;
  }
  if (mapping != 0) p.CloseHandle(mapping);
  m.RegistrationUnderWay = false;
  return result;
}

void NotifyMonitorRunning(Context& cx, qint64 hWnd, int interval) {
  MonitorState& m = cx.monitor;
  if (hWnd != 0) m.MonitorClientWindow = hWnd;
  const qint64 window = m.MonitorClientWindow;
  if (m.MonitorWindow == 0 || window == 0) return;
  Platform(cx).PostMessage(m.MonitorWindow, m.MsgImRunning, interval, window);
}

void UnregisterFromMonitor(Context& cx, qint64 hWnd) {
  MonitorState& m = cx.monitor;
  if (m.MonitorWindow != 0) {
    Platform(cx).PostMessage(m.MonitorWindow, m.MsgUnregisterMonitor, 0, hWnd);
    m.MonitorWindow = 0;
  }
  m.MonitorClientWindow = 0;
}

void MonitorHeartbeat(Context& cx) {
  // Letting the window process its messages costs more than most units of work between two
  // beats; every 100 ms is soon enough for a click or a monitor's message to be seen.
  const qint64 now = Platform(cx).SteadyMilliseconds();
  const qint64 last = cx.monitor.LastPumpMs;
  if (last >= 0 && now >= last && now - last < PumpIntervalMs) return;
  cx.monitor.LastPumpMs = now;
  Beat(cx);
}

namespace {

void Beat(Context& cx) {
  cx.ui->PumpMessages();
  MonitorPlatform& p = Platform(cx);
  p.PumpMessages();
  const float now = p.SecondsSinceMidnight();
  if (std::fabs(now - cx.monitor.LastAliveNotice) <= AliveNoticeSeconds) return;
  cx.monitor.LastAliveNotice = now;
  NotifyMonitorRunning(cx, 0, 0);
}

}  // namespace

}  // namespace sw
