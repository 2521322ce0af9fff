#include "core/screen_guard.h"

#include <exception>

#include "core/context.h"
#include "core/library.h"
#include "core/library_checks.h"

namespace sw {

ScreenGuard::ScreenGuard(Context& cx) : cx_(cx), library_(CurrentLibraryNameOrEmpty(cx)) {}

ScreenGuard::ScreenGuard(Context& cx, StatusWindow statusWindow, bool counters)
    : cx_(cx), library_(CurrentLibraryNameOrEmpty(cx)), screen_(true), counters_(counters), statusWindow_(statusWindow) {
  pointer_ = cx.ui->MousePointer();
  status_ = cx.ui->StatusLabel(statusWindow);
  if (counters_) {
    total_ = cx.ui->CounterTotal();
    read_ = cx.ui->CounterRead();
  }
}

ScreenGuard::~ScreenGuard() {
  try {
    ConnectLibrary(cx_, library_);
  } catch (const std::exception&) {
    // Passed over: the screen is restored all the same.
  }
  if (!screen_) return;
  cx_.ui->SetStatusLabel(statusWindow_, status_);
  if (counters_) cx_.ui->SetCounterLabels(total_, read_);
  cx_.ui->SetMousePointer(pointer_);
}

}  // namespace sw
