#include "app/version_texts.h"

#include <QDate>
#include <QLocale>
#include <QVariant>

#include "core/registry_reader.h"
#include "core/text.h"

namespace sw {

namespace {

const QLocale& EnglishLocale() {
  static const QLocale english(QLocale::English, QLocale::UnitedStates);
  return english;
}

QDate VersionDate(const ProgramVersion& v) { return QDate(v.major, v.minor, v.revision); }

#if !defined(SW_VERSION_MAJOR) || !defined(SW_VERSION_MINOR) || !defined(SW_VERSION_PATCH)
// The compiler's "Mmm dd yyyy": the version of a build that was given none.
QDate CompileDate() {
  const QString text = QString::fromLatin1(__DATE__).simplified();
  return EnglishLocale().toDate(text, QStringLiteral("MMM d yyyy"));
}
#endif

QString RegistryText(Context& cx, const QString& path) {
  const QVariant value = GetRegistryValue(cx, path);
  return value.isValid() ? value.toString() : QString();
}

// The first of the two keys that holds a value.
QString HummingbirdValue(Context& cx, const QString& valueName) {
  const QString powerDocs = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\") + valueName;
  const QString api = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\Hummingbird DM Extensions API\\") + valueName;
  const QString first = RegistryText(cx, powerDocs);
  return first.isEmpty() ? RegistryText(cx, api) : first;
}

}  // namespace

ProgramVersion CurrentProgramVersion() {
#if defined(SW_VERSION_MAJOR) && defined(SW_VERSION_MINOR) && defined(SW_VERSION_PATCH)
  return {SW_VERSION_MAJOR, SW_VERSION_MINOR, SW_VERSION_PATCH};
#else
  const QDate built = CompileDate();
  return {built.year(), built.month(), built.day()};
#endif
}

QString BuildDateText(const ProgramVersion& version) {
  const QDate date = VersionDate(version);
  if (!date.isValid()) return QString();
  return EnglishLocale().toString(date, QStringLiteral("MMM d, yyyy"));
}

QString BuildNumber(const ProgramVersion& version) {
  const QDate date = VersionDate(version);
  if (!date.isValid()) return QStringLiteral("0");
  return FormatNumber(QDate(1899, 12, 30).daysTo(date));
}

QString BuildLine(const QString& buildNumber, const QString& buildDateText) {
  return QStringLiteral("Build ") + buildNumber + QStringLiteral(" - ") + buildDateText;
}

QString MakerLine() { return QStringLiteral("Quillmark Software"); }

QString DmVersionText(const QString& dmVersion, const QString& dmPatchLevel) {
  QString text = dmVersion;
  if (!dmPatchLevel.isEmpty()) text += QStringLiteral(" build ") + dmPatchLevel;
  if (text.isEmpty()) return text;
  text = QStringLiteral("\r\n(eDOCS ") + text + QStringLiteral(")");
  const QString release = QStringLiteral("(Release)");
  const qsizetype at = text.indexOf(release);
  if (at < 0) return text;
  // Only blanks go at the seam: the line break in front stays.
  return TrimBlanks(text.left(at)) + TrimBlanks(text.mid(at + release.size()));
}

DmClientVersion ReadDmClientVersion(Context& cx) {
  return {HummingbirdValue(cx, QStringLiteral("CurrentVersion")), HummingbirdValue(cx, QStringLiteral("PatchLevel"))};
}

}  // namespace sw
