#pragma once
// Making an emulated DM server folder: server.ini, one library file per library with the DM
// tables and the data every library has (its own entries, the folder application and form,
// the logged-on user, the rights), optionally demo data, and the registry file with the DM
// client's version keys.
#include <QString>
#include <vector>

namespace sw::dm {

struct DmLibrarySetup {
  QString name;
  qint64 engine = 10;  // 2 or 5 Oracle, 6 Sybase, other non-zero SQL Server
  QString owner = QStringLiteral("DOCSADM");
  bool demoData = true;
};

struct DmDemoSize {
  int clients = 20;
  int matters = 100;
  int documents = 300;
};

// The two libraries of the demo server: LAWLIB (SQL Server) and ORALIB (Oracle).
std::vector<DmLibrarySetup> DemoLibraries(bool demoData);

// Creates the server in `dir` (made when missing; existing library files are replaced).
// The first library is the starting and the user's primary library.
bool CreateDmServer(const QString& dir, const std::vector<DmLibrarySetup>& libraries, const QString& user,
                    const DmDemoSize& size, QString* error);

// The registry file that stands for the machine's registry: one INI group per key path, such as
//   [HKEY_LOCAL_MACHINE\Software\Hummingbird\PowerDOCS]
//   CurrentVersion=5.3.1
// Written by hand (not with QSettings, which would turn the backslashes into key separators).
QString RegistryFileName();
bool WriteRegistryFile(const QString& file, QString* error);

}  // namespace sw::dm
