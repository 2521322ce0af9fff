#include "app/stop_signals.h"

#include <QSocketNotifier>
#include <QTimerEvent>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_context.h"
#include "core/log.h"
#include "run/run_control.h"

namespace sw {

namespace {

constexpr int StopSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler can reach nothing but what a plain variable holds: the pipe's writing end
// that hands the signal to the message loop.
volatile sig_atomic_t handOverFd = -1;

void DefaultActions() {
  for (const int number : StopSignalNumbers) std::signal(number, SIG_DFL);
}

// Only async-signal-safe calls here. From now on every stop signal has its default action, so
// a second one ends the process at once however busy the program is.
void OnSignal(int number) {
  DefaultActions();
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  if (handOverFd >= 0) (void)::write(handOverFd, &byte, 1);
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

// The same stop as the Exit button's, without its box: nobody may be there to answer it. Between
// cycles the run's wait ends too.
void AskTaskToStop(AppContext& cx) {
  cx.ui->SetStatusColour(StatusColourEnd);
  cx.run.TaskRunning = false;
  cx.run.StopRequested = true;
  cx.run.InLoopDelay = false;
  cx.ui->SetExitEnabled(false);
}

}  // namespace

void StopSignalReceived(AppContext& cx, int signalNumber) {
  if (cx.window.EndingSignal != 0) return;
  cx.window.EndingSignal = signalNumber;
  LogMessage(cx, QStringLiteral("Warning: ") + StopSignalName(signalNumber) +
                     QStringLiteral(" received - the current item completes, then the claims are released and the "
                                    "program ends"));
  FlushLog(cx);
  if (!TaskActive(cx)) cx.EndProgram();
  AskTaskToStop(cx);
}

StopSignals::StopSignals(AppContext& cx) : cx_(cx) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readFd_ = fds[0];
  writeFd_ = fds[1];
  handOverFd = writeFd_;
  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : StopSignalNumbers) sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals() {
  DefaultActions();
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
