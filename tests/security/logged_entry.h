#pragma once
// Finding an entry in a log text. Error and warning entries carry their time stamp right after
// their label ("Error: <stamp> text"), so they are matched as label and text around the stamp.
#include <QString>
#include <QStringList>

namespace sw::test {

inline bool Logged(const QString& log, const QString& entry) {
  for (const QString& label : {QStringLiteral("Error:"), QStringLiteral("Warning:")}) {
    if (!entry.startsWith(label)) continue;
    const QString rest = entry.mid(label.size()).trimmed();
    for (qsizetype at = log.indexOf(rest); at >= 0; at = log.indexOf(rest, at + 1)) {
      const qsizetype lineStart = log.lastIndexOf(QLatin1Char('\n'), at) + 1;
      if (log.mid(lineStart, at - lineStart).startsWith(label)) return true;
    }
    return false;
  }
  return log.contains(entry);
}

}  // namespace sw::test
