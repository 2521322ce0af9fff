#include "app/stop_signals.h"

#include <QSocketNotifier>
#include <QTimerEvent>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_context.h"
#include "core/log.h"
#include "platform/dm/dm_sqlite.h"
#include "run/run_control.h"

namespace sw {

namespace {

constexpr int StopSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

// timeout(1) sends its signal to the program and again to its process group, microseconds
// apart: a repeat of the signal taken within this time is the same request.
constexpr long long RepeatMilliseconds = 2000;

// A signal handler can reach nothing but what plain variables hold: the pipe's writing end that
// hands the signal to the message loop, and the stop signal taken, with when.
volatile sig_atomic_t handOverFd = -1;
volatile sig_atomic_t takenSignal = 0;
timespec takenAt = {};
// The program's context while the signals are caught, for the lock waits, which take note of a
// stop before the message loop can.
AppContext* noting = nullptr;

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
    dm::SqliteDb::BoundLockWaits();
    const unsigned char byte = static_cast<unsigned char>(number);
    if (handOverFd >= 0) (void)::write(handOverFd, &byte, 1);
  } else if (!RepeatOfTaken(number, now)) {
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

// Logs the stop signal once, as it arrives, and asks a running task to stop after its current
// item; touches neither the window nor a library, so that a lock wait may call it.
void NoteStopSignal(AppContext& cx, int signalNumber) {
  if (cx.window.EndingSignal != 0) return;
  cx.window.EndingSignal = signalNumber;
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
  if (takenSignal != 0) NoteStopSignal(*noting, takenSignal);
}

}  // namespace

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
  handOverFd = writeFd_;
  noting = &cx_;
  dm::SqliteDb::SetLockWaitCall(NoteDuringLockWait);
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
  dm::SqliteDb::SetLockWaitCall(nullptr);
  noting = nullptr;
  handOverFd = -1;
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
