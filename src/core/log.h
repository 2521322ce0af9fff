#pragma once
// The daily log file, error reports and the status line.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

#include "platform/ui/ui.h"

namespace sw {

class Context;
struct LogState;

// A line of 70 hyphens: it closes each logical step in the log.
inline const QString HyphenLine = QString(70, QLatin1Char('-'));

void LogMessage(Context& cx, const QString& text);
// Whether an entry without an error or warning label is written now. An entry that is not may
// be left uncomposed: LogUnwrittenEntry then stands for it, so the repeat test of the next entry
// still compares with a text that no entry equals, as it would with the plain entry.
bool PlainEntriesWritten(Context& cx);
void LogUnwrittenEntry(Context& cx);
// An entry that reports a failure without an error label (a failed statement's "SQL Error #"
// line): it counts for the exit status, as every error entry does, and so it is written whatever
// the logging option, as every error entry is.
void LogFailure(Context& cx, const QString& text);
// Closes the log file the writer keeps open, with the entries it kept back written; the next
// entry opens it again.
void CloseLogFile(Context& cx);
// Writes the entries kept back to the log file: before a commit (a kill then loses no line of
// the work committed), before a message box or a wait, at the end of a run, on a stop and when
// the program ends, so that the file is whole whenever someone may look at it.
void FlushLog(Context& cx);
// Logs the text of a message box that answers itself, and writes the log out as before any box.
void LogMessageBox(Context& cx, const QString& text);
// A step's text followed by the hyphen line that closes it: in the log, or as the status line.
void LogThenHyphens(Context& cx, const QString& text);
// The same, and the text on standard error too: for what whoever reads either of an unattended
// run (a scheduler's mail, a service manager's journal) must learn.
void WarnLoudly(Context& cx, const QString& text);
void StatusThenHyphens(Context& cx, const QString& text);
// While it lives, the failures counted are of this library and rule (none for the library's own
// work, such as a switch to it); the subject before it comes back after it.
class FailureSubject {
 public:
  FailureSubject(Context& cx, const QString& library, const QString& rule = QString());
  ~FailureSubject();
  FailureSubject(const FailureSubject&) = delete;
  FailureSubject& operator=(const FailureSubject&) = delete;

 private:
  Context& cx_;
  QString library_, rule_;
};

// One unit of work (a row, a library switch, the start of the session): the error entries and
// failed statements it logs while it lives count as one failure, and an error text it has logged
// is not logged again. Units inside it belong to it. A library names the unit's subject.
class OneFailure {
 public:
  explicit OneFailure(Context& cx, const QString& library = QString());
  ~OneFailure();
  OneFailure(const OneFailure&) = delete;
  OneFailure& operator=(const OneFailure&) = delete;

 private:
  Context& cx_;
  std::optional<FailureSubject> subject_;
};

// Takes the whole 32-bit error number, so result codes such as 0x80010105 are reported as themselves.
void ReportError(Context& cx, qint64 errNumber, const QString& source, const QString& description);
void SetStatus(Context& cx, const QString& text);
// The window whose status label shows the captions: the owner form, the main window by default.
StatusWindow StatusCaptionWindow(const Context& cx);
// The caption of the status label on the status window, written straight (not logged).
QString StatusCaption(Context& cx);
void SetStatusCaption(Context& cx, const QString& text);
void UpdateLogMenus(Context& cx);

// The fallback log for a log whose dated file `failed` cannot be written, at start-up and while
// writing alike: the first of the fallback logs, in their one order (TEMP, TMPDIR, /tmp), whose
// dated file `takes` accepts, the failed file skipped wherever it stands in the order. Empty when
// none takes it.
QString ChooseFallbackLog(const LogState& log, const QString& failed, const QDate& date,
                          const std::function<bool(const QString& dated)>& takes);

// The log goes on in `base`, a fallback for the configured log that cannot be written: the
// configured one is remembered, for the orderly end saves it back unchanged.
void TakeFallbackLog(Context& cx, const QString& base);

// Today's log file name derived from the configured base: the date goes before the last "."
// of the file name (never into a folder name); a file name without a dot gets "_YYYYMMDD.txt".
QString DatedLogFileName(const QString& logFileBase, const QDate& date);
// Today's log file: the one this run writes to, else the name it would have by the log's clock;
// empty when no log is configured.
QString TodaysLogFileName(const Context& cx);
// Whether entries can be appended to a log file of that name; `reason` says why not.
bool LogFileWritable(const QString& path, QString* reason);
// "YYYY-MM-DD HH:MM:SS.hh " for a moment of writing rounded to the hundredth as a whole
// (23:59:59.996 reads as the next day's 00:00:00.00).
QString LogStamp(const QDateTime& moment);

}  // namespace sw
