#pragma once
// The handlers of the main window's option pages, results list and File and Help menus. Those
// that work through the ui service run without a window as well; the page switch, the column
// sort and the About window act on the window itself and do nothing without one.
#include <QString>

#include "app/window/main_window.h"

namespace sw {

class AppContext;

// Shows the page of the selected tab (1 General, 2 Libraries, 3 Options, 4 Pause).
void TabStrip_Click(AppContext& cx);
// Normalise the pause field that lost the focus.
void TextPauseStart_LostFocus(AppContext& cx);
void TextPauseEnd_LostFocus(AppContext& cx);
// Every character typed in the main window: "+" and "-" change the results list's font size.
void Form_KeyPress(AppContext& cx, int charCode);
// A click on a header of the results list (column from 1).
void ListResults_ColumnClick(AppContext& cx, int column);
// The log-file chooser; the first form uses the window's save dialog.
void ButtonLogDir_Click(AppContext& cx);
void ButtonLogDir_Click(AppContext& cx, const LogFileChooser& chooser);
void MNLogView_Click(AppContext& cx);
void MNLogPurge_Click(AppContext& cx);
void MNTimeStampLogFile_Click(AppContext& cx);
// "Display Current DM Settings": the DM settings window, modal, under the hourglass.
void MNTarnOptions_Click(AppContext& cx);
void MNHelpReadme_Click(AppContext& cx);
void MNHelpAbout_Click(AppContext& cx);
void MNFileExit_Click(AppContext& cx);
// The About window, shown modally.
void HelpAbout(AppContext& cx);

}  // namespace sw
