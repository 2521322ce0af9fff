#pragma once
// stackwright-dm check DIR [LIBRARY]: per library, the folders and what would show that a source
// row did not get exactly one whole folder chain.
#include <QString>

class QTextStream;

namespace sw::dm {

// The status of any command of the tool that finds nothing to work on: no server in the folder,
// an unknown library, a library that cannot be opened. 1 says that a command ran and found
// problems or failed.
inline constexpr int NoServer = 2;

// Prints the counts of every library of the server (or of `only`); 0 when every count that must
// be 0 is, 1 otherwise; 2 when there is no server to read (no server in the folder, an unknown
// library, a library that cannot be opened).
int CheckServer(const QString& dir, const QString& only, QTextStream& out, QTextStream& err);

}  // namespace sw::dm
