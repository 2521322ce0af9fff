#pragma once
// Arranging TARN_SETTINGS rows of an emulated library for the rule-set tests.
#include <QString>
#include <QVariant>

#include "support/dm_fixture.h"
#include "rules/rules_context.h"
#include "support/test_context.h"

namespace sw::test {

// An SQLite literal: NULL for a null variant, numbers as they are, text quoted.
inline QString Literal(const QVariant& v) {
  if (v.isNull()) return QStringLiteral("NULL");
  if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) return QString::number(v.toLongLong());
  return QLatin1Char('\'') + v.toString().replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

inline void AddSettingsRow(DmTestServer& server, const QString& library, const QString& sectionKey, const QString& subKey,
                           const QVariant& charVal, const QVariant& intVal = QVariant(),
                           const QString& masterKey = QStringLiteral("QUILLMARK")) {
  server.Exec(library, QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
                                      "VALUES (%1, %2, %3, %4, %5)")
                           .arg(Literal(masterKey), Literal(sectionKey), Literal(subKey), Literal(charVal), Literal(intVal)));
}

inline void ClearSettingsRows(DmTestServer& server, const QString& library) {
  server.Exec(library, QStringLiteral("DELETE FROM TARN_SETTINGS"));
}

// A rules context on `library` of the server, as the library switch would leave it for the loader.
inline void AttachRules(TestContext<RulesContext>& cx, DmTestServer& server, const QString& library) {
  AttachSession(cx, server, library);
  cx.library.SettingsTableExists = true;
}

}  // namespace sw::test
