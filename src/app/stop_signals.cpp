#include "app/stop_signals.h"

#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_context.h"
#include "core/log.h"
#include "platform/dm/dm_api.h"
#include "run/run_control.h"

namespace sw {

namespace {

constexpr int StopSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

// timeout(1) sends its signal to the program and again to its process group, microseconds
// apart: a repeat of the signal taken within this time is the same request.
constexpr long long RepeatMilliseconds = 2000;

// A signal handler can reach nothing but what plain variables hold: the pipe's writing end that
// hands the signal to the message loop, the stop signal taken, with when, and the text below.
volatile sig_atomic_t handOverFd = -1;
volatile sig_atomic_t takenSignal = 0;
timespec takenAt = {};
// The program's context while the signals are caught, for the lock waits, which take note of a
// stop before the message loop can.
AppContext* noting = nullptr;

// What a signal that ends the program at once writes on standard error and in the log, made
// ready beforehand on the user-interface thread: a handler may only copy bytes and write(2) them.
// Two copies, so that one is whole while the other is made; `endAtOnceReady` names the whole one.
struct EndAtOnceText {
  char logFile[PATH_MAX] = {};  // today's log, empty when none is known yet
  char rest[4096] = {};         // what follows the signal's name
  bool stampEveryLine = false;
  long utcOffsetSeconds = 0;
};
EndAtOnceText endAtOnceTexts[2];
std::atomic<int> endAtOnceReady{-1};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads it");

// Appends as much of the text as the buffer takes; async-signal-safe.
size_t Put(char* out, size_t at, size_t size, const char* text) {
  while (*text != '\0' && at < size) out[at++] = *text++;
  return at;
}

size_t PutNumber(char* out, size_t at, size_t size, long long value, int width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 20);
  while (n < width && n < 20) digits[n++] = '0';
  while (n > 0 && at < size) out[at++] = digits[--n];
  return at;
}

// The log's stamp, "yyyy-MM-dd HH:mm:ss.cc ", worked out by arithmetic alone (local time with the
// offset taken when the text was made ready): the date from the days since 1970-01-01.
size_t PutStamp(char* out, size_t at, size_t size, long utcOffsetSeconds) {
  timespec now = {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  // Rounded to the hundredth as a whole, so that a rounding up carries into the second and the date.
  const long long local = (now.tv_sec * 1000LL + now.tv_nsec / 1000000 + utcOffsetSeconds * 1000LL + 5) / 10 * 10;
  const long long dayMs = 86400000LL;
  const long long days = local >= 0 ? local / dayMs : (local - dayMs + 1) / dayMs;
  const long long msOfDay = local - days * dayMs;
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long dayOfEra = z - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long shifted = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  at = PutNumber(out, at, size, year, 4);
  at = Put(out, at, size, "-");
  at = PutNumber(out, at, size, month, 2);
  at = Put(out, at, size, "-");
  at = PutNumber(out, at, size, day, 2);
  at = Put(out, at, size, " ");
  at = PutNumber(out, at, size, msOfDay / 3600000, 2);
  at = Put(out, at, size, ":");
  at = PutNumber(out, at, size, msOfDay / 60000 % 60, 2);
  at = Put(out, at, size, ":");
  at = PutNumber(out, at, size, msOfDay / 1000 % 60, 2);
  at = Put(out, at, size, ".");
  at = PutNumber(out, at, size, msOfDay / 10 % 100, 2);
  return Put(out, at, size, " ");
}

const char* SignalNameText(int number) {
  switch (number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

void WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

// Says on standard error and in the log that the signal ends the program at once, with what the
// text made ready names; async-signal-safe. Lines of the log not yet written are lost with the
// process, as they would be without this line.
void SayEndingAtOnce(int number) {
  const int ready = endAtOnceReady.load();
  if (ready < 0) return;
  const EndAtOnceText& text = endAtOnceTexts[ready];
  // One line, written whole on standard error; the log takes what follows its label.
  constexpr char label[] = "Warning: ";
  char line[sizeof(text.rest) + 128];
  const size_t size = sizeof(line) - 2;
  size_t at = Put(line, 0, size, label);
  at = Put(line, at, size, SignalNameText(number));
  at = Put(line, at, size, text.rest);
  line[at] = '\n';
  WriteAll(STDERR_FILENO, line, at + 1);
  line[at] = '\0';
  if (text.logFile[0] == '\0') return;
  const int log = ::open(text.logFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (log < 0) return;
  // The log's own form of a warning: its stamp first, or after the label.
  char entry[sizeof(line) + 64];
  const size_t entrySize = sizeof(entry) - 2;
  size_t e = 0;
  if (text.stampEveryLine) {
    e = PutStamp(entry, 0, entrySize, text.utcOffsetSeconds);
    e = Put(entry, e, entrySize, " Warning: ");
  } else {
    e = Put(entry, 0, entrySize, "Warning: ");
    e = PutStamp(entry, e, entrySize, text.utcOffsetSeconds);
    e = Put(entry, e, entrySize, " ");
  }
  e = Put(entry, e, entrySize, line + sizeof(label) - 1);
  entry[e++] = '\r';
  entry[e++] = '\n';
  WriteAll(log, entry, e);
  ::close(log);
}

void DefaultActions() {
  for (const int number : StopSignalNumbers) std::signal(number, SIG_DFL);
}

bool RepeatOfTaken(int number, const timespec& now) {
  if (number != takenSignal) return false;
  const long long elapsed = (now.tv_sec - takenAt.tv_sec) * 1000LL + (now.tv_nsec - takenAt.tv_nsec) / 1000000;
  return elapsed <= RepeatMilliseconds;
}

// Ends the process by the signal as soon as the handler returns, however busy the program is.
void EndAtOnce(int number) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(number, &action, nullptr);
  raise(number);
}

// Only async-signal-safe calls here; the three signals are blocked while it runs. The first stop
// signal bounds the lock waits at once and goes to the message loop; a repeat of it is the same
// request; any other, or a later one, ends the process at once.
void OnSignal(int number) {
  const int saved = errno;
  timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  if (takenSignal == 0) {
    takenSignal = number;
    takenAt = now;
    dm::BoundLockWaits();
    const unsigned char byte = static_cast<unsigned char>(number);
    if (handOverFd >= 0) (void)::write(handOverFd, &byte, 1);
  } else if (!RepeatOfTaken(number, now)) {
    SayEndingAtOnce(number);
    EndAtOnce(number);
  }
  errno = saved;
}

}  // namespace

QString StopSignalName(int number) {
  switch (number) {
    case SIGTERM:
      return QStringLiteral("SIGTERM");
    case SIGINT:
      return QStringLiteral("SIGINT");
    case SIGHUP:
      return QStringLiteral("SIGHUP");
    default:
      return QStringLiteral("signal ") + QString::number(number);
  }
}

namespace {

bool TaskActive(const AppContext& cx) { return cx.run.TaskRunning || cx.run.StopRequested || cx.run.InLoopDelay; }

// The flags of the Exit button's stop. Between cycles the run's wait ends too.
void FlagStop(RunFlags& run) {
  run.TaskRunning = false;
  run.StopRequested = true;
  run.InLoopDelay = false;
}

// The same stop as the Exit button's, without its box: nobody may be there to answer it.
void AskTaskToStop(AppContext& cx) {
  cx.ui->SetStatusColour(StatusColourEnd);
  FlagStop(cx.run);
  cx.ui->SetExitEnabled(false);
}

// The claims a signal that ends the program at once leaves behind, and what clears them; with
// `known` false, before the stop is noted, only that there may be some.
QString ClaimsLeftText(const AppContext& cx, bool known) {
  const QString ending = QStringLiteral(" received while stopping - the program ends at once, leaving any row in hand "
                                        "to the next run");
  const QString clears = QStringLiteral(" until it is cleared with Options > Clear Running Nodes, or until the program "
                                        "starts again under the computer name ");
  if (!known) return ending + QStringLiteral(" and any claim of this computer: other computers skip a rule it claimed") +
                     clears + QStringLiteral("of this computer");
  QStringList claims;
  for (const auto& [library, rules] : cx.session.ClaimLibraries) {
    for (const QString& rule : rules) claims << QStringLiteral("rule ") + rule + QStringLiteral(" in library ") + library;
  }
  if (claims.isEmpty()) return ending + QStringLiteral("; it holds no claim");
  const QString node = cx.session.MachineName;
  const bool one = claims.size() == 1;
  return ending + QStringLiteral(" and the claim") + (one ? QString() : QStringLiteral("s")) +
         QStringLiteral(" of computer ") + node + QStringLiteral(" on ") + claims.join(QStringLiteral(", ")) +
         QStringLiteral(": other computers skip ") + (one ? QStringLiteral("the rule") : QStringLiteral("these rules")) +
         clears + node;
}

void CopyText(char* out, size_t size, const QByteArray& text) {
  const size_t n = std::min(size - 1, static_cast<size_t>(text.size()));
  std::memcpy(out, text.constData(), n);
  out[n] = '\0';
}

// Makes ready what a signal that ends the program at once writes, in the copy not in use.
void PrepareEndAtOnce(const AppContext& cx, bool claimsKnown) {
  const int ready = endAtOnceReady.load();
  EndAtOnceText& text = endAtOnceTexts[ready == 0 ? 1 : 0];
  CopyText(text.rest, sizeof(text.rest), ClaimsLeftText(cx, claimsKnown).toLocal8Bit());
  CopyText(text.logFile, sizeof(text.logFile), QFile::encodeName(TodaysLogFileName(cx)));
  text.stampEveryLine = cx.ui->TimeStampLogFile();
  text.utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
  endAtOnceReady.store(ready == 0 ? 1 : 0);
}

// A new watch starts with nothing taken: the stop of an earlier one in this process (a program
// started anew, a test) is neither repeated nor bounds its waits.
void ForgetTakenSignal() {
  takenSignal = 0;
  takenAt = {};
  endAtOnceReady.store(-1);
  dm::UnboundLockWaits();
}

// Logs the stop signal once, as it arrives, and asks a running task to stop after its current
// item; touches neither the window nor a library, so that a lock wait may call it.
void NoteStopSignal(AppContext& cx, int signalNumber) {
  if (cx.window.EndingSignal != 0) return;
  cx.window.EndingSignal = signalNumber;
  PrepareEndAtOnce(cx, true);
  LogMessage(cx, QStringLiteral("Warning: ") + StopSignalName(signalNumber) +
                     QStringLiteral(" received - the current item completes, then the claims are released and the "
                                    "program ends"));
  FlushLog(cx);
  if (TaskActive(cx)) FlagStop(cx.run);
}

// A wait for another writer's lock may last the busy timeout: the log shows what led to it
// meanwhile, and keeps it should the process be killed in it.
void NoteDuringLockWait(bool begins) {
  if (!noting) return;
  if (begins) FlushLog(*noting);
  if (takenSignal == 0) return;
  NoteStopSignal(*noting, takenSignal);
  // Today's log may have changed since the text was made ready (a new day, a fallback).
  PrepareEndAtOnce(*noting, true);
}

}  // namespace

void ClaimsInHandChanged(AppContext& cx) {
  if (cx.window.EndingSignal != 0) PrepareEndAtOnce(cx, true);
}

void StopSignalReceived(AppContext& cx, int signalNumber) {
  NoteStopSignal(cx, signalNumber);
  if (!TaskActive(cx)) {
    if (cx.window.startup.Running) TellStopBeforeRun(cx);
    cx.EndProgram();
  }
  AskTaskToStop(cx);
}

StopSignals::StopSignals(AppContext& cx) : cx_(cx) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readFd_ = fds[0];
  writeFd_ = fds[1];
  ForgetTakenSignal();
  PrepareEndAtOnce(cx_, false);
  handOverFd = writeFd_;
  noting = &cx_;
  dm::SetLockWaitCall(NoteDuringLockWait);
  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : StopSignalNumbers) sigaddset(&action.sa_mask, number);
  action.sa_flags = SA_RESTART;
  for (const int number : StopSignalNumbers) sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals() {
  DefaultActions();
  dm::SetLockWaitCall(nullptr);
  noting = nullptr;
  handOverFd = -1;
  ForgetTakenSignal();
  notifier_.reset();
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
}

void StopSignals::Drain() {
  unsigned char byte = 0;
  int received = 0;
  while (::read(readFd_, &byte, 1) == 1) received = byte;
  if (received == 0) return;
  StopSignalReceived(cx_, received);
  // The task ends after its current item; the program ends when it has.
  if (waitTimer_ == 0) waitTimer_ = startTimer(50);
}

void StopSignals::timerEvent(QTimerEvent* event) {
  if (event->timerId() != waitTimer_) return;
  PrepareEndAtOnce(cx_, true);
  if (TaskActive(cx_)) {
    // A task started inside the one asked to stop (the test-data generator between cycles) gives
    // the flags back as it found them when it ends: the stop is asked again.
    if (!cx_.run.StopRequested) AskTaskToStop(cx_);
    return;
  }
  killTimer(waitTimer_);
  waitTimer_ = 0;
  cx_.EndProgram();
}

}  // namespace sw
