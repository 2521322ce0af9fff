#pragma once
// The main window's handlers that are more than widget plumbing: start-up, saved settings, the
// rules tree, stop and exit, and the orderly end. The window's widgets call them; tests call them
// on a context without a window.
#include <QString>

namespace sw {

class AppContext;

// Start-up: everything from launch to the shown main window (and, with /G, the whole run). It
// reads the command line from the process (or cx.window.startup.Arguments when set).
void Form_Load(AppContext& cx);
// The log that start-up would write, found for a failure that ends the program before start-up
// (a DM server that cannot be opened), so that the log tells of it too; /P is left to start-up.
// False, said, when no log can be written.
bool FindLogBeforeStartup(AppContext& cx);

// The per-user settings: read into the option controls at start-up, saved at the end.
void LoadAllSettings(AppContext& cx);
void SaveAllSettings(AppContext& cx);

// Shows cx.window.UiLocked: "Locked" visible, option pages and rules tree disabled while set.
void ApplyLockStatus(AppContext& cx);

// The rules tree and the library menu.
void TVRules_Expand(AppContext& cx, int libraryNode);
// Keys pressed while the tree has the focus: F5 (116) on a rule node opens its SQL editor.
void TVRules_KeyDown(AppContext& cx, int keyCode, int shift);
// "Toggle Libraries": every node's tick inverted.
void MNToggleLibs_Click(AppContext& cx);
// An item of the library menu (index from 0): makes that library the current one.
void MNLibList_Click(AppContext& cx, int index);
// The library label: the right button (2) pops the library menu up.
void LabelLibraryName_MouseUp(AppContext& cx, int button, int shift, int x, int y);

// Stop, exit and the orderly end.
void Button_Exit_Click(AppContext& cx);
// Shift+Insert toggles the lock; the key is not consumed.
void Form_KeyDown(AppContext& cx, int keyCode, int shift);
// Returns the cancel flag as the handler leaves it (non-zero keeps the window open).
int Form_Unload(AppContext& cx, int cancel);
[[noreturn]] void EndProgram(AppContext& cx);
// The last line on standard error of a program that ends with status 1 or 2 (1 only where nobody
// watches the window): how it ended, the errors logged and where the log is.
void ReportEndOnStandardError(const AppContext& cx, int status);

}  // namespace sw
