#pragma once
// What start-up learns once and the rest of the program reads: the build and DM version texts,
// the folders it works from, and whether the option controls hold the saved values yet.
#include <QString>
#include <optional>

namespace sw {

struct StartupState {
  QString BuildDateText;  // "Aug 5, 2020"
  QString BuildNumber;    // the build date's day serial, "#0"
  QString DMVersion;      // the installed DM client, empty when the registry has none
  QString DMPatchLevel;
  QString TempFolder;
  QString ReadmePath;
  // The program's own file; empty means the running executable. Tests point it elsewhere.
  QString ProgramPath;
  // The command line after the program's name; unset means the process's own arguments.
  std::optional<QString> Arguments;
  // The option controls hold the saved values: only then may the orderly end write them back,
  // so a start-up that fails early does not replace the user's settings with designed values.
  bool SettingsRestored = false;
  // Start-up is under way: the run that /G asks for has not begun.
  bool Running = false;
  // Start-up ended the program: the exit status says so.
  bool Failed = false;
  // The first setting that start-up saves could be written: otherwise the user is told once.
  bool SettingsWritable = true;
};

}  // namespace sw
