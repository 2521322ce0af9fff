#pragma once
// The external-monitor client's state: the registered message numbers, the monitor's and this
// program's windows, and the shared view. Held in the context as `cx.monitor`.
#include <QtGlobal>

namespace sw {

// State of the external-monitor client.
struct MonitorState {
  // The registered numbers of the five messages.
  quint32 MsgImRunning = 0;
  quint32 MsgRegisterMonitor = 0;
  quint32 MsgUnregisterMonitor = 0;
  quint32 MsgImTheMonitor = 0;
  quint32 MsgPauseResume = 0;
  qint64 MonitorWindow = 0;        // the monitor's window, 0 when none is known
  qint64 MonitorClientWindow = 0;  // the program window that is registered, 0 when none
  qint64 MonitorHook = 0;          // set only while a registration waits for the answer
  void* MonitorView = nullptr;     // the mapped 1024-byte view, kept until the program ends
  // Set while a registration is under way, so a nested one cannot install a second hook.
  bool RegistrationUnderWay = false;
  // Seconds since midnight of the last alive notice (0 at start).
  float LastAliveNotice = 0.0f;
  // Steady-clock milliseconds of the last heartbeat that let the window process its messages
  // (-1 before the first).
  qint64 LastPumpMs = -1;
};

}  // namespace sw
