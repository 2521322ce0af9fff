#pragma once
// Viewing and purging a file from inside the program.
#include <QString>

namespace sw {

class Context;

void ViewFile(Context& cx, const QString& path);
void PurgeFile(Context& cx, const QString& path);

}  // namespace sw
