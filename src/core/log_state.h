#pragma once
// The log file and status line's state: the configured and dated log names, the open file and
// the count of errors logged, which decides the exit status. Held in the context as `cx.log`.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <functional>

namespace sw {

// Today's log file, kept open for appending between entries: an entry costs one write, and the
// file can be followed while the program runs. Closed when the object goes.
struct LogFileHandle {
  LogFileHandle() = default;
  LogFileHandle(const LogFileHandle&) = delete;
  LogFileHandle& operator=(const LogFileHandle&) = delete;
  ~LogFileHandle();
  void Close();

  int fd = -1;
  QString path;  // the name it was opened (or tried) as
  quint64 device = 0, inode = 0;
  bool exists = false;  // a file was at the path when last looked at
  // When the path was last looked at (the log clock's wall time in milliseconds).
  qint64 lookedAt = 0;
  // What the dated name was last worked out from.
  QString nameBase;
  QDate nameDate;
};

// State of the log file and status line.
struct LogState {
  QString LogFileBase;
  QString DatedLogFile;
  QString LastLogMessage;
  // The moment an entry is written; the local clock unless a test sets its own.
  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
  // Error entries and failed statements since the program started: they decide its exit status.
  int ErrorsLogged = 0;
  LogFileHandle file;
  // Before this run writes its first entry: when today's file (of an earlier run) was last looked
  // for, in the log clock's wall time in milliseconds.
  qint64 EarlierFileLookedAt = 0;
};

}  // namespace sw
