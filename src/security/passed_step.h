#pragma once
// A step whose failure is logged and gone past (a new folder's metadata, address and author, a
// sort, a look-up whose answer only adds to the work, a workspace, the queue insert): inside the
// work of a row, which stands or falls as a whole, such a step must fall alone.
#include <QString>
#include <functional>

namespace sw {

class SecurityContext;

// Runs the step's statements in `library` (the current library when empty) under a savepoint of
// their own there and in every other library where a transaction is open: a failure anywhere
// undoes the step alone, and the work around it goes on. Outside any open transaction the step is
// a transaction of its own. The failure itself is logged by the statement that failed. A step
// undone also makes the workspace cache forget what it learned during the step. The library
// current on entry is current again afterwards. True when the step's work stands.
bool RunPassedStep(SecurityContext& cx, const QString& library, const std::function<void()>& work);

}  // namespace sw
