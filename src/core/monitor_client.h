#pragma once
// The client side of the external monitor and the heartbeat that all long work calls.
#include <QString>

namespace sw {

class Context;

void InitMonitorMessages(Context& cx);
bool RegisterWithMonitor(Context& cx, qint64 hWnd, int interval, const QString& caption, qint64 engine,
                         const QString& server, const QString& database, const QString& sqlLogin,
                         const QString& sqlPassword);
void NotifyMonitorRunning(Context& cx, qint64 hWnd, int interval);
void UnregisterFromMonitor(Context& cx, qint64 hWnd);
void MonitorHeartbeat(Context& cx);

}  // namespace sw
