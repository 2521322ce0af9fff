#pragma once
// Viewing and purging a file from inside the program.
#include <QString>

namespace sw {

class Context;

void ViewFile(Context& cx, const QString& path);
// Starts the text viewer on a file (the stand-in for Notepad), saying so in the status line; when
// there is none or it does not start, says so in a box and in the status line and returns false.
bool StartTextViewer(Context& cx, const QString& path);
void PurgeFile(Context& cx, const QString& path);

}  // namespace sw
