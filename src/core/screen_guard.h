#pragma once
// What a procedure that switches libraries or shows its progress puts back on every way out:
// a normal return, an early one, or an exception.
#include <QString>

#include "platform/ui/ui.h"

namespace sw {

class Context;

// Takes the current library (and, when asked, the pointer, a status caption and the counters)
// when it is made, and restores them when it goes out of scope. A switch back that fails does
// not escape: the rest of the screen is still restored and the procedure's own result stands.
class ScreenGuard {
 public:
  // The library only.
  explicit ScreenGuard(Context& cx);
  // The library, the pointer and the caption of `statusWindow`; with `counters` also the Total
  // and Read labels.
  ScreenGuard(Context& cx, StatusWindow statusWindow, bool counters = false);
  ~ScreenGuard();
  ScreenGuard(const ScreenGuard&) = delete;
  ScreenGuard& operator=(const ScreenGuard&) = delete;

  const QString& Library() const { return library_; }

 private:
  Context& cx_;
  QString library_;
  bool screen_ = false;
  bool counters_ = false;
  StatusWindow statusWindow_ = StatusWindow::Main;
  Pointer pointer_ = Pointer::Default;
  QString status_;
  QString total_;
  QString read_;
};

}  // namespace sw
