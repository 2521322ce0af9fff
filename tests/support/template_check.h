#pragma once
// Whether the emulator's template cache would give statements the translation they get on
// their own. The cache translates a statement's shape once, with each lifted value as a marker,
// and serves every later statement of that shape from it: sound only while no rewrite looks at a
// value's content in a way the markers' value classes miss.
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace sw::dm {
class DmServer;
}

namespace sw::test {

// The statements (library, text) whose translation through their shape's template differs from
// their direct translation, each with both texts; empty when the cache serves every one of them
// soundly. Statements that lift no value, or whose shape gives no template, are not served by
// the cache and pass. Each statement is also lifted as the emulator lifts a statement of a shape
// it met before; one that lifts otherwise than in full is listed too. `shapeLifted`, when given,
// counts the statements lifted by their shape.
QStringList TemplateMismatches(const dm::DmServer& server, const std::vector<std::pair<QString, QString>>& statements,
                               int* shapeLifted = nullptr);

}  // namespace sw::test
