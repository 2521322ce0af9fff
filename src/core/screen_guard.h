#pragma once
// What a procedure that switches libraries or shows its progress puts back on every way out:
// a normal return, an early one, or an exception.
#include <QString>

#include "platform/ui/ui.h"

namespace sw {

class Context;

// How the pointer is left on the way out.
enum class PointerBack { Untouched, Entry, Default };

// What a guard puts back, in this order: the library, the status caption, the counters, the
// pointer, and then the window's messages let through.
struct ScreenParts {
  bool library = true;
  // When no library was current on entry none is switched to; otherwise the switch back to a
  // blank name is tried and logs its warning.
  bool skipNoLibrary = false;
  // Switches back only when another library is current by then, so that a library still current
  // is not checked again (the check may log when the DM session is gone).
  bool onlyWhenLeft = false;
  bool status = false;  // the caption of `statusWindow`
  StatusWindow statusWindow = StatusWindow::Main;
  // With `status`: the idle status (when known) instead of the caption on entry.
  bool idleStatus = false;
  bool counters = false;  // the Total and Read labels
  PointerBack pointer = PointerBack::Untouched;
  bool pump = false;
};

// Takes what `ScreenParts` names when it is made, and restores it when it goes out of scope. A
// switch back that fails does not escape: the rest of the screen is still restored and the
// procedure's own result stands.
class ScreenGuard {
 public:
  // The library only.
  explicit ScreenGuard(Context& cx);
  // The library, the pointer and the caption of `statusWindow`; with `counters` also the Total
  // and Read labels.
  ScreenGuard(Context& cx, StatusWindow statusWindow, bool counters = false);
  ScreenGuard(Context& cx, const ScreenParts& parts);
  ~ScreenGuard();
  ScreenGuard(const ScreenGuard&) = delete;
  ScreenGuard& operator=(const ScreenGuard&) = delete;

  const QString& Library() const { return library_; }

 private:
  void RestoreLibrary();

  Context& cx_;
  ScreenParts parts_;
  QString library_;
  Pointer pointer_ = Pointer::Default;
  QString status_;
  QString total_;
  QString read_;
};

}  // namespace sw
