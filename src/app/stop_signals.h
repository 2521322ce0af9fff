#pragma once
// SIGTERM, SIGINT and SIGHUP (a scheduler or service manager stopping the job, Ctrl+C, a closed
// terminal) are a stop request: the row in hand completes, the claims go in every library, the
// orderly end is logged, and the process then ends as the signal would have ended it, so that the
// caller still sees the signal's status. The first stop bounds the waits for other writers' locks
// to one busy timeout in all. A repeat of the same signal within two seconds (timeout(1) sends it
// to the program and to its process group) is the same request; another signal, or a later one,
// ends the process at once, saying so first on standard error and in the log with the claims it
// leaves (a text made ready on the user-interface thread, which the handler only writes). Each
// watch begins with no signal taken and the lock waits unbounded, and leaves them so.
#include <QObject>
#include <memory>

class QSocketNotifier;

namespace sw {

class AppContext;

// "SIGTERM", "SIGINT", "SIGHUP", else "signal " and the number.
QString StopSignalName(int number);

// Acts on a stop signal that reached the program; called on the user-interface thread while it
// pumps messages. A running task is asked to stop after its current item (the program ends when
// it has); between cycles the wait ends; with nothing running the program ends at once.
void StopSignalReceived(AppContext& cx, int signalNumber);

// The claims this computer holds changed: once a stop is noted, what a second signal says is made
// ready again, so that it names the claims still held and no other.
void ClaimsInHandChanged(AppContext& cx);

// Catches the three signals for as long as it lives, handing each to StopSignalReceived at the
// next pump of the message loop.
class StopSignals : public QObject {
 public:
  explicit StopSignals(AppContext& cx);
  ~StopSignals() override;

 private:
  void Drain();
  // Ends the program once the task asked to stop has ended.
  void timerEvent(QTimerEvent* event) override;

  AppContext& cx_;
  int readFd_ = -1;
  int writeFd_ = -1;
  int waitTimer_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace sw
