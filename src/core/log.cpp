#include "core/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/context.h"
#include "core/monitor_client.h"
#include "core/text.h"

namespace sw {

namespace {

const QString ErrorLabel = QStringLiteral("ERROR:");
const QString WarningLabel = QStringLiteral("WARNING:");

// How often an open log file's path is looked at again, in milliseconds: a file moved or deleted
// meanwhile is then made afresh, without a look at the path for every entry.
constexpr qint64 LookInterval = 1000;

// The label that an error or warning entry begins with, in any case; empty for other entries.
// Every entry passes here, most of them neither: an ASCII first letter other than an E or a W
// settles it without a comparison that folds case.
QString EntryLabel(const QString& text) {
  if (text.isEmpty()) return QString();
  const char16_t first = text.front().unicode();
  if (first < 0x80 && (first | 0x20) != u'e' && (first | 0x20) != u'w') return QString();
  if (text.startsWith(ErrorLabel, Qt::CaseInsensitive)) return ErrorLabel;
  if (text.startsWith(WarningLabel, Qt::CaseInsensitive)) return WarningLabel;
  return QString();
}

// The moment to the nearest hundredth of a second: a rounding up carries into the second and on,
// so that a stamp never reads earlier than the one before it.
QDateTime RoundedToHundredths(const QDateTime& moment) {
  const int rest = moment.time().msec() % 10;
  return rest < 5 ? moment : moment.addMSecs(10 - rest);
}

// Puts the stamp after the entry's label: "Error: <stamp> rest".
QString StampAfterLabel(const QString& text, qsizetype labelLength, const QString& stamp) {
  return text.left(labelLength) + QLatin1Char(' ') + stamp + QLatin1Char(' ') + TrimBlanks(text.mid(labelLength));
}

void OpenLogFile(LogFileHandle& f, const QString& path, qint64 at) {
  f.Close();
  f.path = path;
  f.lookedAt = at;
  f.fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (f.fd < 0) f.error = errno;
  struct stat st {};
  if (f.fd >= 0 && ::fstat(f.fd, &st) == 0) {
    f.device = st.st_dev;
    f.inode = st.st_ino;
  }
  f.exists = f.fd >= 0 || QFileInfo(path).isFile();
}

// The open file is still the one at its path: not moved, deleted or replaced.
bool StillAtPath(const LogFileHandle& f) {
  struct stat st {};
  if (::stat(QFile::encodeName(f.path).constData(), &st) != 0) return false;
  return quint64(st.st_dev) == f.device && quint64(st.st_ino) == f.inode;
}

// The wall clock in milliseconds: cheaper than the moment since the epoch, and a clock set back
// or forward only brings the next look sooner.
qint64 WallMilliseconds(const QDate& day, const QTime& time) {
  return day.toJulianDay() * 86400000 + time.msecsSinceStartOfDay();
}

// The file for an entry written at `now`. The dated name is worked out again only when the day
// or the configured base changes; a file that cannot be opened is tried again at the next look.
LogFileHandle& FileFor(LogState& log, const QDateTime& now) {
  LogFileHandle& f = log.file;
  const QDate today = now.date();
  if (f.nameDate != today || f.nameBase != log.LogFileBase || log.DatedLogFile != f.path) {
    f.nameDate = today;
    f.nameBase = log.LogFileBase;
    log.DatedLogFile = DatedLogFileName(log.LogFileBase, today);
  }
  const qint64 at = WallMilliseconds(today, now.time());
  if (f.path != log.DatedLogFile) {
    OpenLogFile(f, log.DatedLogFile, at);
    return f;
  }
  if (std::llabs(at - f.lookedAt) < LookInterval) return f;
  f.lookedAt = at;
  if (f.fd < 0 || !StillAtPath(f)) OpenLogFile(f, f.path, at);
  return f;
}

// The lines kept back before they are written as one block: a verbose run's row logs about thirty
// kilobytes, so a block costs one write for every few rows instead of one for every entry.
constexpr qsizetype BlockSize = 64 * 1024;

// The log goes on in the fallback whose file took the block: later entries go there too.
void GoOnIn(Context& cx, const QString& base, const QString& from, const QString& why) {
  LogState& log = cx.log;
  TakeFallbackLog(cx, base);
  log.file.nameBase = base;
  log.DatedLogFile = log.file.path;
  log.ContinuedFrom << from;
  log.Losing = false;
  WarnLoudly(cx, QStringLiteral("Warning: the log file ") + from + QStringLiteral(" cannot be written (") + why +
                     QStringLiteral(") - the log goes on in ") + log.DatedLogFile);
}

// No log took the block: standard error says so when the losses begin, the end of the program
// tells how many lines they came to.
void LoseBlock(LogState& log, const QByteArray& block, const QString& from, const QString& why) {
  log.LinesLost += block.count('\n');
  if (log.Losing) return;
  log.Losing = true;
  const QString text = QStringLiteral("Error: the log file ") + from + QStringLiteral(" cannot be written (") + why +
                       QStringLiteral(") and no other log folder can take its lines: they are lost");
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  std::fflush(stderr);
}

// Writes the lines kept back. A block that the file cannot take goes on in the next fallback log
// that takes it; when none does, the log stays where it was, to be tried again with the next block.
void WriteBlock(Context& cx) {
  LogState& log = cx.log;
  LogFileHandle& f = log.file;
  const bool lines = !f.pending.isEmpty();
  if (f.Flush()) {
    if (lines) log.Losing = false;  // a block written again ends the run of losses
    return;
  }
  const QString from = f.path;
  const QString why = QString::fromLocal8Bit(std::strerror(f.error != 0 ? f.error : EBADF));
  const QDateTime now = log.Now ? log.Now() : QDateTime::currentDateTime();
  const qint64 at = WallMilliseconds(now.date(), now.time());
  // Taken out first: closing the file must not try it again.
  QByteArray block = std::exchange(f.pending, QByteArray());
  const QString base = ChooseFallbackLog(log, from, now.date(), [&](const QString& dated) {
    OpenLogFile(f, dated, at);
    f.pending = std::move(block);
    if (f.Flush()) return true;
    block = std::exchange(f.pending, QByteArray());
    return false;
  });
  if (!base.isEmpty()) {
    GoOnIn(cx, base, from, why);
    return;
  }
  OpenLogFile(f, from, at);
  LoseBlock(log, block, from, why);
}

// Keeps one line back for the next block, in the local 8-bit encoding, which on Linux is UTF-8
// (QString::toLocal8Bit gives the same bytes): encoded straight into the block, not into a copy
// of each line. Kept also while no file is open: the block then goes on in a fallback log.
void AppendLine(Context& cx, const QString& line) {
  const LogFileHandle& f = cx.log.file;
  QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QByteArray& block = f.pending;
  const qsizetype start = block.size();
  block.resize(start + encoder.requiredSpace(line.size()) + 2);
  char* end = encoder.appendToBuffer(block.data() + start, line);
  *end++ = '\r';
  *end++ = '\n';
  block.resize(end - block.constData());
  if (block.size() >= BlockSize) WriteBlock(cx);
}

// Writes an entry that passed the filter; an error or warning entry whose stamp goes after its
// label becomes the text as the repeat test keeps it. The stamp is made only for a line that
// carries it.
void WriteEntry(Context& cx, QString& text, const QString& label) {
  // Rounded before the file is chosen: a line stamped with the next day goes in that day's file.
  const QDateTime now = RoundedToHundredths(cx.log.Now ? cx.log.Now() : QDateTime::currentDateTime());
  FileFor(cx.log, now);
  const bool stampEveryLine = cx.ui->TimeStampLogFile();
  if (!stampEveryLine && label.isEmpty()) {
    AppendLine(cx, text);
    return;
  }
  const QString stamp = LogStamp(now);
  if (stampEveryLine) {
    AppendLine(cx, stamp + QLatin1Char(' ') + text);
    return;
  }
  text = StampAfterLabel(text, label.size(), stamp);
  AppendLine(cx, text);
}

}  // namespace

QString DatedLogFileName(const QString& logFileBase, const QDate& date) {
  const QString day = QLatin1Char('_') + date.toString(QStringLiteral("yyyyMMdd"));
  // Backslashes count as separators too: a base carried over from a Windows setting uses them.
  const qsizetype fileStart =
      std::max(logFileBase.lastIndexOf(QLatin1Char('/')), logFileBase.lastIndexOf(QLatin1Char('\\'))) + 1;
  const qsizetype dot = logFileBase.lastIndexOf(QLatin1Char('.'));
  if (dot < fileStart) return logFileBase + day + QStringLiteral(".txt");
  return logFileBase.left(dot) + day + logFileBase.mid(dot);
}

QString TodaysLogFileName(const Context& cx) {
  if (!cx.log.DatedLogFile.isEmpty()) return cx.log.DatedLogFile;
  if (cx.log.LogFileBase.isEmpty()) return {};
  return DatedLogFileName(cx.log.LogFileBase, cx.log.Now().date());
}

bool LogFileWritable(const QString& path, QString* reason) {
  const QFileInfo file(path);
  const QFileInfo folder(file.absolutePath());
  QString why;
  if (file.isDir())
    why = QStringLiteral("a folder of that name is in its place");
  else if (file.exists() && !file.isWritable())
    why = QStringLiteral("the file is read-only");
  else if (!file.exists() && !folder.isDir())
    why = QStringLiteral("its folder ") + folder.filePath() + QStringLiteral(" does not exist");
  else if (!file.exists() && !folder.isWritable())
    why = QStringLiteral("its folder ") + folder.filePath() + QStringLiteral(" cannot be written");
  if (reason) *reason = why;
  return why.isEmpty();
}

QString LogStamp(const QDateTime& moment) {
  const QDateTime rounded = RoundedToHundredths(moment);
  const QString hundredths = QStringLiteral("%1").arg(rounded.time().msec() / 10, 2, 10, QLatin1Char('0'));
  return rounded.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('.') + hundredths + QLatin1Char(' ');
}

QDateTime LocalClock::operator()() {
  timespec coarse{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &coarse);
  const qint64 now = qint64(coarse.tv_sec) * 1000 + coarse.tv_nsec / 1000000;
  if (now == tick) return moment;
  if (now / 60000 != minute) {
    minute = now / 60000;
    offsetSeconds = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc();
  }
  tick = now;
  moment = QDateTime::fromMSecsSinceEpoch(now, Qt::OffsetFromUTC, offsetSeconds);
  return moment;
}

LogFileHandle::~LogFileHandle() { Close(); }

void LogFileHandle::Close() {
  Flush();
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool LogFileHandle::Flush() const {
  if (pending.isEmpty()) return true;
  if (fd < 0) return false;
  // A NUL from a source value would make tools take the whole log for a binary file: a blank
  // stands for it. Looked for in the block as a whole, which costs far less than line by line.
  if (std::memchr(pending.constData(), 0, size_t(pending.size())))
    std::replace(pending.begin(), pending.end(), '\0', ' ');
  const qsizetype size = pending.size();
  qsizetype done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, pending.constData() + done, size_t(size - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? errno : ENOSPC;
      break;
    }
    done += written;
  }
  if (done == size) {
    pending.resize(0);  // keeps its room for the next block
    return true;
  }
  // The line that the write cut goes on whole wherever the rest is written.
  pending.remove(0, done == 0 ? 0 : pending.lastIndexOf('\n', done - 1) + 1);
  return false;
}

void FlushLog(Context& cx) { WriteBlock(cx); }

QString ChooseFallbackLog(const LogState& log, const QString& failed, const QDate& date,
                          const std::function<bool(const QString& dated)>& takes) {
  for (const QString& base : log.FallbackLogBases) {
    const QString dated = DatedLogFileName(base, date);
    if (QDir::cleanPath(dated) == QDir::cleanPath(failed)) continue;
    if (takes(dated)) return base;
  }
  return QString();
}

void TakeFallbackLog(Context& cx, const QString& base) {
  LogState& log = cx.log;
  if (log.UnwritableLogFileBase.isEmpty()) log.UnwritableLogFileBase = log.LogFileBase;
  log.LogFileBase = base;
  cx.ui->SetLogDirToolTip(base);
}

void LogMessageBox(Context& cx, const QString& text) {
  LogMessage(cx, text);
  FlushLog(cx);
}

namespace {

// The subject of a failure counted now: the one named, else the current library.
QString FailureSubjectText(Context& cx) {
  const LogState& log = cx.log;
  QString library = log.SubjectLibrary;
  if (library.isEmpty() && cx.session.CurrentLibrary) {
    try {
      library = cx.session.CurrentLibrary->Name();
    } catch (...) {
      // A library object that cannot say its name names no subject.
    }
  }
  library = TrimBlanks(library).toUpper();
  if (library.isEmpty()) return QString();
  if (log.SubjectRule.isEmpty()) return QStringLiteral("library ") + library;
  return QStringLiteral("rule ") + log.SubjectRule + QStringLiteral(" in library ") + library;
}

// Counts the failure an error entry tells, unless the unit of work it belongs to has counted it.
// False when the entry repeats an error text its unit has logged already.
bool CountFailure(Context& cx, const QString& entry) {
  LogState& log = cx.log;
  if (log.OneFailureDepth > 0) {
    if (log.OneFailureTexts.contains(entry)) return false;
    log.OneFailureTexts << entry;
    if (log.OneFailureCounted) return true;
    log.OneFailureCounted = true;
  }
  ++log.ErrorsLogged;
  const QString subject = FailureSubjectText(cx);
  if (!subject.isEmpty() && !log.FailedSubjects.contains(subject)) log.FailedSubjects << subject;
  return true;
}

// An entry passes the filter when it carries a label, verbose logging is on, or it reports a
// failure the run counts: every error counted for the exit status stands in the log with its cause.
void HandleEntry(Context& cx, const QString& text, bool failure) {
  QString entry = TrimBlanks(text);
  if (entry.isEmpty()) return;
  if (entry == cx.log.LastLogMessage) return;
  const QString label = EntryLabel(entry);
  if (label == ErrorLabel || failure) {
    ++cx.log.FailureEntries;
    if (!CountFailure(cx, entry)) return;
  }
  // Before a log path is known (early in start-up) there is no file to write to: a name made
  // from nothing would put a stray file into whatever folder the program was started from.
  const bool passes = !label.isEmpty() || failure || cx.ui->VerboseLogging();
  if (passes && !cx.log.LogFileBase.isEmpty()) WriteEntry(cx, entry, label);
  cx.log.LastLogMessage = std::move(entry);
  UpdateLogMenus(cx);
}

}  // namespace

void LogMessage(Context& cx, const QString& text) { HandleEntry(cx, text, false); }

void LogFailure(Context& cx, const QString& text) { HandleEntry(cx, text, true); }

bool PlainEntriesWritten(Context& cx) { return !cx.log.LogFileBase.isEmpty() && cx.ui->VerboseLogging(); }

void LogUnwrittenEntry(Context& cx) {
  // Entries are trimmed of blanks: none begins with one.
  static const QString unwritten = QStringLiteral(" unwritten");
  cx.log.LastLogMessage = unwritten;
  UpdateLogMenus(cx);
}

void CloseLogFile(Context& cx) {
  WriteBlock(cx);
  LogFileHandle& f = cx.log.file;
  f.Close();
  f.path.clear();
  f.exists = false;
}

FailureSubject::FailureSubject(Context& cx, const QString& library, const QString& rule)
    : cx_(cx), library_(cx.log.SubjectLibrary), rule_(cx.log.SubjectRule) {
  cx.log.SubjectLibrary = library;
  cx.log.SubjectRule = rule;
}

FailureSubject::~FailureSubject() {
  cx_.log.SubjectLibrary = library_;
  cx_.log.SubjectRule = rule_;
}

OneFailure::OneFailure(Context& cx, const QString& library) : cx_(cx) {
  if (!library.isEmpty()) subject_.emplace(cx, library);
  ++cx.log.OneFailureDepth;
}

OneFailure::~OneFailure() {
  LogState& log = cx_.log;
  if (--log.OneFailureDepth > 0) return;
  log.OneFailureCounted = false;
  log.OneFailureTexts.clear();
}

void ReportError(Context& cx, qint64 errNumber, const QString& source, const QString& description) {
  if (errNumber != 0) {
    LogMessage(cx, QStringLiteral("Error: #") + FormatNumber(errNumber) + QStringLiteral(" was generated by ") + source +
                       QStringLiteral("\r\n") + description);
  } else {
    LogMessage(cx, QStringLiteral("Error: An unknown error occurred during this task!"));
  }
  LogMessage(cx, HyphenLine);
}

void LogThenHyphens(Context& cx, const QString& text) {
  LogMessage(cx, text);
  LogMessage(cx, HyphenLine);
}

void WarnLoudly(Context& cx, const QString& text) {
  LogThenHyphens(cx, text);
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  std::fflush(stderr);
  // A desktop user never sees standard error.
  cx.ui->ShowLoudWarning(text);
}

void StatusThenHyphens(Context& cx, const QString& text) {
  SetStatus(cx, text);
  LogMessage(cx, HyphenLine);
}

void SetStatus(Context& cx, const QString& text) {
  const QString status = TrimBlanks(text);
  if (status.isEmpty()) return;
  LogMessage(cx, status);
  if (cx.app.StatusOwnerForm == StatusWindow::None) cx.app.StatusOwnerForm = StatusWindow::Main;
  cx.ui->SetStatusLabel(cx.app.StatusOwnerForm, status);
  MonitorHeartbeat(cx);
}

StatusWindow StatusCaptionWindow(const Context& cx) {
  return cx.app.StatusOwnerForm == StatusWindow::None ? StatusWindow::Main : cx.app.StatusOwnerForm;
}

QString StatusCaption(Context& cx) { return cx.ui->StatusLabel(StatusCaptionWindow(cx)); }

void SetStatusCaption(Context& cx, const QString& text) { cx.ui->SetStatusLabel(StatusCaptionWindow(cx), text); }

namespace {

// Non-verbose logging may write no entry for a long while, yet today's file of an earlier run is
// there to view. Looked for at most once a LookInterval: the filtered entries come by the thousand.
void ShowEarlierLogFile(Context& cx) {
  const QDateTime now = cx.log.Now ? cx.log.Now() : QDateTime::currentDateTime();
  const qint64 at = WallMilliseconds(now.date(), now.time());
  if (cx.log.EarlierFileLookedAt != 0 && std::llabs(at - cx.log.EarlierFileLookedAt) < LookInterval) return;
  cx.log.EarlierFileLookedAt = at;
  cx.ui->SetLogMenusEnabled(QFileInfo(DatedLogFileName(cx.log.LogFileBase, now.date())).isFile());
}

}  // namespace

void UpdateLogMenus(Context& cx) {
  const QString& path = cx.log.DatedLogFile;
  if (path.isEmpty() && !cx.log.LogFileBase.isEmpty()) {
    ShowEarlierLogFile(cx);
    return;
  }
  const LogFileHandle& f = cx.log.file;
  // The writer knows whether its own file is there; only another name is looked up.
  const bool exists = path == f.path ? f.exists : QFileInfo(path).isFile();
  cx.ui->SetLogMenusEnabled(!path.isEmpty() && exists);
}

}  // namespace sw
