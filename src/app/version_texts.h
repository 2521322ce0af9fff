#pragma once
// The texts that name this build and the installed DM client, shared by the start-up splash and
// the About window.
#include <QString>

namespace sw {

class Context;

// The program's version: major, minor and revision are the build's year, month and day.
struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// This build's version: SW_VERSION_MAJOR/MINOR/PATCH when the build defines them, otherwise the
// date this file was compiled.
ProgramVersion CurrentProgramVersion();

// "Aug 5, 2020" for version 2020.8.5; empty when the numbers make no date.
QString BuildDateText(const ProgramVersion& version);
// The build date's day serial (whole days since 30 December 1899), "44048" for 2020.8.5; "0"
// when the numbers make no date.
QString BuildNumber(const ProgramVersion& version);
// "Build " & number & " - " & date text.
QString BuildLine(const QString& buildNumber, const QString& buildDateText);
// The maker's line of the splash and About window.
QString MakerLine();

// The DM client version as the splash shows it after its product caption: empty when both parts
// are empty, else a line break and "(eDOCS <version>[ build <patch>])", without "(Release)".
QString DmVersionText(const QString& dmVersion, const QString& dmPatchLevel);

// The installed DM client's version and patch level from the registry; empty text when absent.
struct DmClientVersion {
  QString version;
  QString patchLevel;
};
DmClientVersion ReadDmClientVersion(Context& cx);

}  // namespace sw
