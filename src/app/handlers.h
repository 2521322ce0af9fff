#pragma once
// The main window's handlers that are more than widget plumbing: start-up, saved settings, the
// rules tree, stop and exit, and the orderly end. The window's widgets call them; tests call them
// on a context without a window.
#include <QString>

namespace sw {

class AppContext;

// Start-up: everything from launch to the shown main window (and, with /G, the whole run).
void Form_Load(AppContext& cx);

// The per-user settings: read into the option controls at start-up, saved at the end.
void LoadAllSettings(AppContext& cx);
void SaveAllSettings(AppContext& cx);

// The rules tree.
void TVRules_Expand(AppContext& cx, int libraryNode);
void TVRules_NodeCheck(AppContext& cx, int node);

// Stop, exit and the orderly end.
void Button_Exit_Click(AppContext& cx);
void Form_KeyDown(AppContext& cx, int keyCode, int shift);
// Returns the cancel flag as the handler leaves it (non-zero keeps the window open).
int Form_Unload(AppContext& cx, int cancel);
[[noreturn]] void EndProgram(AppContext& cx);

}  // namespace sw
