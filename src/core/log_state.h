#pragma once
#include <QString>

namespace sw {

// State of the log file and status line.
struct LogState {
  QString LogFileBase;
  QString DatedLogFile;
  QString LastLogMessage;
};

}  // namespace sw
