#pragma once
// State of the main window, its start-up and its end. Each part keeps its values in a block of
// its own.
#include <QString>

namespace sw {

struct MainWindowState {
  bool UiLocked = false;
  // --- Start-up, saved settings, splash ---

  // --- Rules tree, stop and exit ---

  // --- Option pages, results list and menus ---
};

}  // namespace sw
