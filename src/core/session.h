#pragma once
// The DM session: starting it, checking it before every library operation, choosing a library.
#include <QString>

namespace sw {

class Context;

bool CheckFusion(Context& cx, const QString& callerName);
QString GetMachineName(Context& cx);
bool StartFusion(Context& cx);
bool SelectLibrary(Context& cx);

}  // namespace sw
