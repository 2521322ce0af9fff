#include "core/screen_guard.h"

#include <exception>

#include "core/context.h"
#include "core/library.h"
#include "core/library_checks.h"

namespace sw {

ScreenGuard::ScreenGuard(Context& cx) : ScreenGuard(cx, ScreenParts{}) {}

ScreenGuard::ScreenGuard(Context& cx, StatusWindow statusWindow, bool counters)
    : ScreenGuard(cx, ScreenParts{.status = true,
                                  .statusWindow = statusWindow,
                                  .counters = counters,
                                  .pointer = PointerBack::Entry}) {}

ScreenGuard::ScreenGuard(Context& cx, const ScreenParts& parts)
    : cx_(cx), parts_(parts), library_(CurrentLibraryNameOrEmpty(cx)) {
  if (parts_.pointer == PointerBack::Entry) pointer_ = cx.ui->MousePointer();
  if (parts_.status) status_ = cx.ui->StatusLabel(parts_.statusWindow);
  if (parts_.status && parts_.idleStatus && !cx.app.IdleStatus.isEmpty()) status_ = cx.app.IdleStatus;
  if (parts_.counters) {
    total_ = cx.ui->CounterTotal();
    read_ = cx.ui->CounterRead();
  }
}

ScreenGuard::~ScreenGuard() {
  RestoreLibrary();
  if (parts_.status) cx_.ui->SetStatusLabel(parts_.statusWindow, status_);
  if (parts_.counters) cx_.ui->SetCounterLabels(total_, read_);
  if (parts_.pointer != PointerBack::Untouched) cx_.ui->SetMousePointer(pointer_);
  if (parts_.pump) cx_.ui->PumpMessages();
}

void ScreenGuard::RestoreLibrary() {
  if (!parts_.library) return;
  if (parts_.skipNoLibrary && library_.isEmpty()) return;
  if (parts_.onlyWhenLeft && CurrentLibraryNameOrEmpty(cx_).compare(library_, Qt::CaseInsensitive) == 0) return;
  try {
    ConnectLibrary(cx_, library_);
  } catch (const std::exception&) {
    // Passed over: the screen is restored all the same.
  }
}

}  // namespace sw
