#include "platform/monitor/monitor_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTime>
#include <QtEndian>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace sw {

namespace {

constexpr quint32 FirstMessageNumber = 0xC000;
constexpr quint32 MessageNumberCount = 0x4000;
// Windows per process: the low byte of a handle counts them.
constexpr int WindowsPerProcess = 256;

QString DefaultBusFolder() {
  const QByteArray named = qgetenv("STACKWRIGHT_MONITOR_BUS");
  if (!named.isEmpty()) return QString::fromLocal8Bit(named);
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) return QString::fromLocal8Bit(runtime) + "/stackwright-bus";
  return QStringLiteral("/tmp/stackwright-bus-%1").arg(geteuid());
}

constexpr MonitorPlatform::WindowKind BothKinds[] = {MonitorPlatform::WindowKind::Other,
                                                    MonitorPlatform::WindowKind::Program};

QLatin1String KindPrefix(MonitorPlatform::WindowKind kind) {
  return kind == MonitorPlatform::WindowKind::Program ? QLatin1String("program-") : QLatin1String("window-");
}

MonitorPlatform::WindowKind OtherKind(MonitorPlatform::WindowKind kind) {
  return kind == MonitorPlatform::WindowKind::Program ? MonitorPlatform::WindowKind::Other
                                                      : MonitorPlatform::WindowKind::Program;
}

QString HandleHex(qint64 hwnd) {
  return QString::number(static_cast<quint32>(hwnd), 16).toUpper().rightJustified(8, '0');
}

bool FillAddress(const QString& path, sockaddr_un& addr) {
  const QByteArray bytes = QFile::encodeName(path);
  if (bytes.size() >= static_cast<int>(sizeof(addr.sun_path))) return false;
  std::memset(&addr, 0, sizeof(addr));
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
  return true;
}

QByteArray EncodeMessage(qint64 hwnd, quint32 message, qint64 wParam, qint64 lParam) {
  QByteArray d(MonitorPlatform::DatagramSize, '\0');
  uchar* p = reinterpret_cast<uchar*>(d.data());
  qToLittleEndian<quint32>(message, p);
  qToLittleEndian<qint32>(static_cast<qint32>(hwnd), p + 4);
  qToLittleEndian<qint64>(wParam, p + 8);
  qToLittleEndian<qint64>(lParam, p + 16);
  return d;
}

std::string ShmName(const QString& name) { return "/" + name.toStdString(); }

// A window socket left behind by a program that ended: nobody receives on it any more.
bool IsDeadSocket(const sockaddr_un& addr) {
  const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool dead = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 &&
                    errno == ECONNREFUSED;
  ::close(probe);
  return dead;
}

// A window of the other kind may hold a handle: it is taken while its socket lives, and its
// left-over socket is removed.
bool HandleTakenAt(const QString& path) {
  sockaddr_un addr{};
  struct stat st {};
  const QByteArray bytes = QFile::encodeName(path);
  if (::lstat(bytes.constData(), &st) != 0 || !FillAddress(path, addr)) return false;
  if (!IsDeadSocket(addr)) return true;
  ::unlink(bytes.constData());
  return false;
}

}  // namespace

MonitorPlatform::MonitorPlatform(const QString& busFolder, WindowKind kind)
    : busFolder_(busFolder.isEmpty() ? DefaultBusFolder() : busFolder), kind_(kind) {}

MonitorPlatform::~MonitorPlatform() {
  for (const View& v : views_) ::munmap(v.address, static_cast<size_t>(v.size));
  for (const Mapping& m : mappings_) ::close(m.fd);
  // A POSIX object outlives its program unless removed; the block holds a password, so it goes
  // with the program, as a paging-file mapping would.
  for (const QString& name : createdObjects_) ::shm_unlink(ShmName(name).c_str());
  if (windowFd_ >= 0) {
    ::close(windowFd_);
    ::unlink(QFile::encodeName(windowPath_).constData());
  }
  if (sendFd_ >= 0) ::close(sendFd_);
}

quint32 MonitorPlatform::RegisterWindowMessage(const QString& name) {
  // FNV-1a over the upper-case UTF-8 name: the same number in every process.
  quint32 hash = 2166136261u;
  for (const char c : name.toUpper().toUtf8()) {
    hash ^= static_cast<uchar>(c);
    hash *= 16777619u;
  }
  return FirstMessageNumber + hash % MessageNumberCount;
}

bool MonitorPlatform::EnsureBusFolder() {
  if (folderChecked_) return folderUsable_;
  folderChecked_ = true;
  const QByteArray path = QFile::encodeName(busFolder_);
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  // Someone else's folder could read or inject our messages: use only our own.
  if (st.st_uid != geteuid()) return false;
  if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0) return false;
  folderUsable_ = true;
  return true;
}

QString MonitorPlatform::SocketPath(qint64 hwnd, WindowKind kind) const {
  return busFolder_ + "/" + KindPrefix(kind) + HandleHex(hwnd);
}

qint64 MonitorPlatform::ThisWindow() {
  if (window_ == 0) {
    window_ = static_cast<qint64>(getpid()) * WindowsPerProcess;
    CreateWindowSocket();
  }
  return window_;
}

bool MonitorPlatform::CreateWindowSocket() {
  if (!EnsureBusFolder()) return false;
  const qint64 base = static_cast<qint64>(getpid()) * WindowsPerProcess;
  for (int n = 0; n < WindowsPerProcess; ++n) {
    if (HandleTakenAt(SocketPath(base + n, OtherKind(kind_)))) continue;
    const QString path = SocketPath(base + n, kind_);
    sockaddr_un addr{};
    if (!FillAddress(path, addr)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    if (rc != 0 && errno == EADDRINUSE && IsDeadSocket(addr)) {
      ::unlink(QFile::encodeName(path).constData());
      rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    }
    if (rc == 0) {
      windowFd_ = fd;
      windowPath_ = path;
      window_ = base + n;
      return true;
    }
    const int error = errno;
    ::close(fd);
    if (error != EADDRINUSE) return false;
  }
  return false;
}

int MonitorPlatform::SendSocket() {
  if (windowFd_ >= 0) return windowFd_;
  if (sendFd_ < 0) sendFd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return sendFd_;
}

bool MonitorPlatform::SendTo(const QString& socketPath, const QByteArray& datagram, bool& closedWindow) {
  closedWindow = false;
  sockaddr_un addr{};
  const int fd = SendSocket();
  if (fd < 0 || !FillAddress(socketPath, addr)) return false;
  const ssize_t sent = ::sendto(fd, datagram.constData(), static_cast<size_t>(datagram.size()), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  if (sent == datagram.size()) return true;
  closedWindow = errno == ECONNREFUSED;
  return false;
}

bool MonitorPlatform::PostMessage(qint64 hwnd, quint32 message, qint64 wParam, qint64 lParam) {
  if (hwnd == BroadcastWindow) broadcastReach_ = 0;
  if (hwnd == 0 || !EnsureBusFolder()) return false;
  if (hwnd != BroadcastWindow) {
    // The handle alone does not say the window's kind: the sender tries both names.
    for (const WindowKind kind : BothKinds) {
      bool closed = false;
      if (SendTo(SocketPath(hwnd, kind), EncodeMessage(hwnd, message, wParam, lParam), closed)) return true;
    }
    return false;
  }
  bool allSent = true;
  // Picked by their prefix, not by a name filter: a filter is a pattern compiled anew at every
  // broadcast. Case-blind and in the folder's order, as the filter picked them.
  const QLatin1String other = KindPrefix(WindowKind::Other);
  const QLatin1String program = KindPrefix(WindowKind::Program);
  QStringList names = QDir(busFolder_).entryList(QDir::System | QDir::Files);
  names.removeIf([&](const QString& name) {
    return !name.startsWith(other, Qt::CaseInsensitive) && !name.startsWith(program, Qt::CaseInsensitive);
  });
  for (const QString& name : names) {
    const QString path = busFolder_ + "/" + name;
    const bool mayAnswer = name.startsWith(other, Qt::CaseInsensitive);
    const qint64 target = name.mid(mayAnswer ? other.size() : program.size()).toUInt(nullptr, 16);
    bool closed = false;
    if (SendTo(path, EncodeMessage(target, message, wParam, lParam), closed)) {
      if (mayAnswer && target != window_) ++broadcastReach_;
      continue;
    }
    if (closed) {
      ::unlink(QFile::encodeName(path).constData());
    } else {
      allSent = false;
    }
  }
  return allSent;
}

qint64 MonitorPlatform::SetMessageHook(MessageHookProc proc) {
  const qint64 id = nextHook_++;
  hooks_.insert(hooks_.begin(), Hook{id, std::make_shared<MessageHookProc>(std::move(proc))});
  return id;
}

qint64 MonitorPlatform::CallNextHook(qint64 hook, int code, qint64 wParam, const WindowMessage& msg) {
  for (size_t i = 0; i < hooks_.size(); ++i) {
    if (hooks_[i].id != hook) continue;
    if (i + 1 >= hooks_.size()) return 0;
    // Keep the procedure alive even if it unhooks itself while it runs.
    const std::shared_ptr<MessageHookProc> next = hooks_[i + 1].proc;
    return (*next)(code, wParam, msg);
  }
  return 0;
}

bool MonitorPlatform::UnhookMessageHook(qint64 hook) {
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
    if (it->id != hook) continue;
    hooks_.erase(it);
    return true;
  }
  return false;
}

void MonitorPlatform::DispatchToHooks(const WindowMessage& msg) {
  if (hooks_.empty()) return;
  const std::shared_ptr<MessageHookProc> first = hooks_.front().proc;
  constexpr int HookAction = 0;   // the message is being retrieved
  constexpr qint64 Removed = 1;   // and taken off the queue
  (*first)(HookAction, Removed, msg);
}

bool MonitorPlatform::ReceiveOne(WindowMessage& out) {
  uchar buffer[DatagramSize + 8];
  for (;;) {
    const ssize_t got = ::recv(windowFd_, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (got < 0) return false;
    if (got != DatagramSize) continue;  // not one of ours: skip it
    out.message = qFromLittleEndian<quint32>(buffer);
    out.hwnd = qFromLittleEndian<qint32>(buffer + 4);
    out.wParam = qFromLittleEndian<qint64>(buffer + 8);
    out.lParam = qFromLittleEndian<qint64>(buffer + 16);
    return true;
  }
}

int MonitorPlatform::PumpMessages() {
  if (windowFd_ < 0) return 0;
  int count = 0;
  WindowMessage msg;
  while (ReceiveOne(msg)) {
    ++count;
    DispatchToHooks(msg);
  }
  return count;
}

bool MonitorPlatform::WaitForMessage(int timeoutMs) {
  if (windowFd_ < 0) {
    // Without a window nothing can arrive: wait out the time, so callers do not spin.
    if (timeoutMs > 0) ::poll(nullptr, 0, timeoutMs);
    return false;
  }
  pollfd p{windowFd_, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
}

bool MonitorPlatform::ReadMessage(WindowMessage& out, int timeoutMs) {
  if (windowFd_ < 0) return false;
  if (ReceiveOne(out)) return true;
  return timeoutMs > 0 && WaitForMessage(timeoutMs) && ReceiveOne(out);
}

qint64 MonitorPlatform::OpenFileMapping(const QString& name) {
  const int fd = ::shm_open(ShmName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return 0;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & 0077) != 0) {
    ::close(fd);
    return 0;
  }
  const qint64 handle = nextMapping_++;
  mappings_.push_back({handle, fd});
  return handle;
}

qint64 MonitorPlatform::CreateFileMapping(const QString& name, qint64 size) {
  const std::string shm = ShmName(name);
  const int fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  // The umask may have taken bits away; the mode must be exactly owner read-write.
  if (::fchmod(fd, 0600) != 0 || ::ftruncate(fd, size) != 0) {
    ::close(fd);
    ::shm_unlink(shm.c_str());
    return 0;
  }
  createdObjects_ << name;
  const qint64 handle = nextMapping_++;
  mappings_.push_back({handle, fd});
  return handle;
}

void* MonitorPlatform::MapViewOfFile(qint64 mapping, qint64 size) {
  for (const Mapping& m : mappings_) {
    if (m.handle != mapping) continue;
    struct stat st {};
    // Touching a view beyond the object's end would kill the program.
    if (size <= 0 || ::fstat(m.fd, &st) != 0 || st.st_size < size) return nullptr;
    void* address = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, m.fd, 0);
    if (address == MAP_FAILED) return nullptr;
    views_.push_back({address, size});
    return address;
  }
  return nullptr;
}

bool MonitorPlatform::FlushViewOfFile(void* view, qint64 size) {
  if (view == nullptr || size <= 0) return false;
  // msync wants a page-aligned start; every view starts on a page.
  return ::msync(view, static_cast<size_t>(size), MS_SYNC) == 0;
}

bool MonitorPlatform::CloseHandle(qint64 mapping) {
  for (auto it = mappings_.begin(); it != mappings_.end(); ++it) {
    if (it->handle != mapping) continue;
    ::close(it->fd);
    mappings_.erase(it);
    return true;
  }
  return false;
}

float MonitorPlatform::SecondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

qint64 MonitorPlatform::SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace sw
