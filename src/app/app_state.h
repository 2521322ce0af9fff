#pragma once
// State of the main window, its start-up and its end. Each part keeps its values in a block of
// its own.
#include <QString>

namespace sw {

struct MainWindowState {
  bool UiLocked = false;
};

}  // namespace sw
