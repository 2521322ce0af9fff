#pragma once
// The rule's parameters: conditions on columns reached from PROFILE, kept where they relate to
// the rule's template and turned into the parameter group of the statement.
#include <QDate>
#include <QString>
#include <functional>

namespace sw {

class RunContext;

// Every "%TODAY[n]%" (upper case) replaced by the date n days before `today` ("YYYY-MM-DD");
// the sign of n is ignored. `logDate` is told each date.
QString ReplaceDateTokens(const QString& text, const QDate& today, const std::function<void(const QString&)>& logDate = {});

// Parses RULE_VALUES into RuleQualifiers (left empty when the rule overrides its parameters).
void ParseRuleParameters(RunContext& cx);

}  // namespace sw
