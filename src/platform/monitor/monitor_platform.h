#pragma once
// Registered window messages and named shared memory, as the external monitor uses them.
//
// Registered messages travel over a small local message bus: every window is a datagram socket
// (AF_UNIX, SOCK_DGRAM) in one bus folder, by default "stackwright-bus" under $XDG_RUNTIME_DIR,
// else "/tmp/stackwright-bus-<uid>", always mode 0700; $STACKWRIGHT_MONITOR_BUS names another
// folder. A window of this system's program is named "program-XXXXXXXX" (its handle in eight
// upper-case hexadecimal digits), any other window (a monitor's) "window-XXXXXXXX": a program
// window never answers a broadcast, so one that reached only program windows needs no wait.
// A message is one 24-byte datagram, little-endian: message number (u32), target window (i32),
// wParam (i64), lParam (i64). Window handle -1 broadcasts to every window of the folder.
//
// Named shared memory is a POSIX shared-memory object "/<name>", mode 0600.
//
// One MonitorPlatform is one program thread with one window; it is not shared between threads.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

namespace sw {

// A message as the pump retrieved it.
struct WindowMessage {
  qint64 hwnd = 0;  // the window it was posted to
  quint32 message = 0;
  qint64 wParam = 0;
  qint64 lParam = 0;
};

// A hook on retrieved messages: (code, wParam, message) -> result passed back up the chain.
using MessageHookProc = std::function<qint64(int code, qint64 wParam, const WindowMessage& msg)>;

class MonitorPlatform {
 public:
  static constexpr qint64 BroadcastWindow = -1;
  static constexpr qint64 ViewSize = 1024;
  // The size of one message datagram on the bus.
  static constexpr int DatagramSize = 24;

  // What this object's window is to the others on the bus (see above).
  enum class WindowKind { Program, Other };

  // busFolder empty: the folder the environment names (see above).
  explicit MonitorPlatform(const QString& busFolder = QString(), WindowKind kind = WindowKind::Program);
  virtual ~MonitorPlatform();
  MonitorPlatform(const MonitorPlatform&) = delete;
  MonitorPlatform& operator=(const MonitorPlatform&) = delete;

  QString BusFolder() const { return busFolder_; }

  // A stable number in 0xC000..0xFFFF for a message name, the same in every process; names
  // differing only in case share the number.
  virtual quint32 RegisterWindowMessage(const QString& name);

  // This program's window: a handle unique on this computer while the window lives, derived
  // from the process id. Its socket is created on first use; the handle is non-zero even when
  // the bus cannot be used.
  virtual qint64 ThisWindow();

  // Sends a message to window hwnd (or to every window for -1). True when it reached at least
  // the named window (for a broadcast: when no send failed for a reason other than a closed
  // window, whose left-over socket file is removed).
  virtual bool PostMessage(qint64 hwnd, quint32 message, qint64 wParam, qint64 lParam);
  // How many windows that may answer (not program windows, not this one) the last broadcast
  // reached: with none, no answer can come.
  virtual int BroadcastReach() const { return broadcastReach_; }

  // Installs a hook on messages retrieved from this window; the newest hook is called first.
  // Returns the hook's handle (never 0).
  virtual qint64 SetMessageHook(MessageHookProc proc);
  // Calls the hook after `hook` in the chain; 0 at the end of the chain.
  virtual qint64 CallNextHook(qint64 hook, int code, qint64 wParam, const WindowMessage& msg);
  virtual bool UnhookMessageHook(qint64 hook);

  // Retrieves every pending message of this window without waiting and passes each through the
  // hooks. Returns the number retrieved. Does nothing before the window exists.
  virtual int PumpMessages();
  // Retrieves one message without calling the hooks, waiting up to timeoutMs (0: no waiting).
  virtual bool ReadMessage(WindowMessage& out, int timeoutMs);
  // Waits up to timeoutMs for a message to arrive at this window; true when one is pending.
  // Without a window it waits the whole time and gives false.
  virtual bool WaitForMessage(int timeoutMs);

  // Named shared memory. Handles are positive numbers, 0 on failure.
  // Opens an existing object for writing. One that another user owns, or that others may read
  // or write, is refused: the block carries a password.
  virtual qint64 OpenFileMapping(const QString& name);
  // Creates a new object of `size` zero bytes, readable and writable by the user alone; fails
  // when one of the name exists already.
  virtual qint64 CreateFileMapping(const QString& name, qint64 size);
  // Maps `size` bytes from offset 0, read-write; nullptr when the object is smaller. The view
  // stays mapped until this platform object ends.
  virtual void* MapViewOfFile(qint64 mapping, qint64 size);
  virtual bool FlushViewOfFile(void* view, qint64 size);
  virtual bool CloseHandle(qint64 mapping);

  // Clocks: seconds since midnight (the heartbeat's counter) and a steady millisecond count
  // for waits. Tests override them.
  virtual float SecondsSinceMidnight();
  virtual qint64 SteadyMilliseconds();

 private:
  struct Hook {
    qint64 id;
    std::shared_ptr<MessageHookProc> proc;
  };
  struct Mapping {
    qint64 handle;
    int fd;
  };
  struct View {
    void* address;
    qint64 size;
  };

  bool EnsureBusFolder();
  bool CreateWindowSocket();
  bool SendTo(const QString& socketPath, const QByteArray& datagram, bool& closedWindow);
  // The socket of a window of either kind.
  QString SocketPath(qint64 hwnd, WindowKind kind) const;
  int SendSocket();
  void DispatchToHooks(const WindowMessage& msg);
  bool ReceiveOne(WindowMessage& out);

  QString busFolder_;
  WindowKind kind_;
  bool folderChecked_ = false;
  bool folderUsable_ = false;
  qint64 window_ = 0;
  int windowFd_ = -1;
  int sendFd_ = -1;
  QString windowPath_;
  std::vector<Hook> hooks_;
  qint64 nextHook_ = 1;
  std::vector<Mapping> mappings_;
  qint64 nextMapping_ = 1;
  std::vector<View> views_;
  QStringList createdObjects_;
  int broadcastReach_ = 0;
};

}  // namespace sw
