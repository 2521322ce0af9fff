#include "support/template_check.h"

#include <map>

#include "platform/dm/dm_server.h"
#include "platform/dm/sql_dialect.h"
#include "platform/dm/sql_template.h"
#include "platform/dm/sql_translator.h"

namespace sw::test {

QStringList TemplateMismatches(const dm::DmServer& server, const std::vector<std::pair<QString, QString>>& statements,
                               int* shapeLifted) {
  QStringList mismatches;
  std::map<QString, dm::sql::LiftShapes> shapes;  // by library
  for (const auto& [library, sql] : statements) {
    const dm::DmLibraryConfig* lib = server.FindLibrary(library);
    if (!lib) continue;
    const dm::ServerFacts facts = server.FactsFor(*lib);
    const bool bracketClasses = !dm::IsOracleEngine(lib->engine);
    const dm::sql::LiftedStatement lifted = dm::sql::LiftValues(sql, bracketClasses);
    if (const auto quick = shapes[library].Lift(sql, bracketClasses)) {
      if (shapeLifted) ++*shapeLifted;
      if (quick->key != lifted.key || quick->values != lifted.values)
        mismatches << library + QStringLiteral(": ") + sql + QStringLiteral("\n  lifted by its shape as: ") + quick->key;
    }
    shapes[library].Learn(sql, lifted);
    if (lifted.values.isEmpty()) continue;
    const dm::SqlTranslation marked = dm::TranslateSql(lifted.Marked(), facts);
    if (!marked.ok || !dm::sql::WithParameters(marked.sql, lifted.values.size())) continue;
    const QString served = dm::sql::WithLiterals(marked.sql, lifted.Literals());
    const dm::SqlTranslation direct = dm::TranslateSql(sql, facts);
    if (direct.ok && served == direct.sql) continue;
    mismatches << library + QStringLiteral(": ") + sql + QStringLiteral("\n  through the template: ") + served +
                      QStringLiteral("\n  directly: ") + (direct.ok ? direct.sql : QStringLiteral("(fails) ") + direct.error);
  }
  return mismatches;
}

}  // namespace sw::test
