#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

namespace sw {

// State of the log file and status line.
struct LogState {
  QString LogFileBase;
  QString DatedLogFile;
  QString LastLogMessage;
  // The moment an entry is written; the local clock unless a test sets its own.
  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
};

}  // namespace sw
