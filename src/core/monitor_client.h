#pragma once
// The client side of the external monitor and the heartbeat that all long work calls.
#include <QByteArray>
#include <QString>

namespace sw {

class Context;
struct WindowMessage;

void InitMonitorMessages(Context& cx);
// hWnd is the program's window on the message bus (MonitorPlatform::ThisWindow): the monitor
// answers to it, so the answer only arrives when that window exists.
bool RegisterWithMonitor(Context& cx, qint64 hWnd, int interval, const QString& caption, qint64 engine,
                         const QString& server, const QString& database, const QString& sqlLogin,
                         const QString& sqlPassword);
void NotifyMonitorRunning(Context& cx, qint64 hWnd, int interval);
void UnregisterFromMonitor(Context& cx, qint64 hWnd);
// Lets the window process its messages and, at most every 4 seconds, tells a known monitor the
// program is alive. Cheap and never blocks: it is called for every status text.
void MonitorHeartbeat(Context& cx);

// Internal steps, open to tests.
qint64 OpenMonitorMapping(Context& cx, qint64 hWnd);
bool MapMonitorView(Context& cx, qint64 handle);
qint64 MonitorHookProc(Context& cx, int code, qint64 wParam, const WindowMessage& msg);

// The shared-memory name of a program window: "Tarn_MMFILE_" and eight upper-case hex digits.
QString MonitorMappingName(qint64 hWnd);
// The 399 bytes of the record the monitor reads.
inline constexpr int MonitorRecordSize = 399;
QByteArray BuildMonitorRecord(int interval, qint64 hWnd, qint64 engine, const QString& caption,
                              const QString& server, const QString& database, const QString& sqlLogin,
                              const QString& sqlPassword);
// A text field of `size` bytes: the text in the ANSI code page cut to size-1 characters, one
// NUL byte, blanks up to the size.
QByteArray MonitorTextField(const QString& text, int size);

}  // namespace sw
