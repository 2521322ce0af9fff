#pragma once
// State of the main window, its start-up and its end. Each part keeps its values in a block of
// its own.
#include <QString>

#include "app/startup_state.h"

namespace sw {

struct MainWindowState {
  bool UiLocked = false;
  // --- Start-up, saved settings, splash ---
  StartupState startup;

  // --- Rules tree, stop and exit ---
  // The stop signal (SIGTERM, SIGINT, SIGHUP) the program received, 0 for none: once the orderly
  // end is done the process ends as that signal would have ended it.
  int EndingSignal = 0;

  // --- Option pages, results list and menus ---
  // The header text of the results column sorted last, and its order (0 ascending, 1 descending).
  QString LastSortColumn;
  int LastSortOrder = 0;
};

}  // namespace sw
