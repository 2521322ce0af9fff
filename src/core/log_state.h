#pragma once
// The log file and status line's state: the configured and dated log names, the open file and
// the count of errors logged, which decides the exit status. Held in the context as `cx.log`.
#include <QDate>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace sw {

// Today's log file, kept open for appending between entries. Entries are kept back and written
// in blocks of whole lines (a block is one write, so another program appending to the same file
// never splits a line): when the block fills, when the file is closed, and whenever the program
// flushes the log (before a commit, a box or a wait, at the end of a run and of the program).
// Closed, with what it holds written, when the object goes.
struct LogFileHandle {
  LogFileHandle() = default;
  LogFileHandle(const LogFileHandle&) = delete;
  LogFileHandle& operator=(const LogFileHandle&) = delete;
  ~LogFileHandle();
  void Close();
  // Writes the lines kept back. Const: it changes what the file holds on disk, not what the log
  // holds, so a reader of a const context can have it written first. False when the file cannot
  // take them (or none is open): what it did not take stays kept back, from the start of the line
  // it cut, and `error` says why.
  bool Flush() const;

  int fd = -1;
  mutable QByteArray pending;  // whole lines not yet written, each ending in CR LF
  mutable int error = 0;       // the errno of the last open or write that failed
  QString path;  // the name it was opened (or tried) as
  quint64 device = 0, inode = 0;
  bool exists = false;  // a file was at the path when last looked at
  // When the path was last looked at (the log clock's wall time in milliseconds).
  qint64 lookedAt = 0;
  // What the dated name was last worked out from.
  QString nameBase;
  QDate nameDate;
};

// The local clock that every log entry reads, hundreds of times a millisecond in a verbose run.
// Each reading must cost far less than the entry, so it reads the time the kernel keeps at each of
// its ticks (a few milliseconds apart, ten at most: within a hundredth of the log's stamps) instead
// of the exact time, which costs more in a virtual machine, and the readings within one tick share
// the moment made at the first of them. Working out a moment's local time costs most, and a zone's
// offset from UTC changes only at a whole minute: it is worked out at the first reading of each
// minute and added in between.
struct LocalClock {
  QDateTime operator()();
  qint64 minute = -1;  // the minute since the epoch the offset was worked out in
  int offsetSeconds = 0;
  qint64 tick = -1;  // the milliseconds since the epoch of the last moment made
  QDateTime moment;
};

// State of the log file and status line.
struct LogState {
  QString LogFileBase;
  QString DatedLogFile;
  QString LastLogMessage;
  // The moment an entry is written; the local clock unless a test sets its own.
  std::function<QDateTime()> Now = LocalClock{};
  // Failures since the program started, each counted once however many error entries and failed
  // statements tell it: they decide its exit status.
  int ErrorsLogged = 0;
  // Every entry that tells a failure, counted or not: whether a step has said why it failed.
  int FailureEntries = 0;
  // What the failures counted were of, in the order first met: "library X" or "rule R in library X".
  QStringList FailedSubjects;
  // The library and rule whose work fails now, while a FailureSubject says so; empty otherwise, and
  // then the current library is taken.
  QString SubjectLibrary, SubjectRule;
  // While a OneFailure lives: its depth, whether it has counted its failure, and the error texts it
  // has logged (each is logged once).
  int OneFailureDepth = 0;
  bool OneFailureCounted = false;
  QStringList OneFailureTexts;
  LogFileHandle file;
  // The configured log when it could not be written and the log went to a fallback instead, at
  // start-up or later; the orderly end saves it back unchanged.
  QString UnwritableLogFileBase;
  // The logs to go on in, in this order, when a block cannot be written to the current one: the
  // default log in each of the folders that start-up falls back to.
  QStringList FallbackLogBases;
  // The logs this run's entries went to before it went on in a fallback, in order: the earlier
  // entries are there.
  QStringList ContinuedFrom;
  // Lines that no log could take, and whether the last block was among them (said once a run of losses).
  qint64 LinesLost = 0;
  bool Losing = false;
  // Before this run writes its first entry: when today's file (of an earlier run) was last looked
  // for, in the log clock's wall time in milliseconds.
  qint64 EarlierFileLookedAt = 0;
};

}  // namespace sw
