#pragma once
// Running-node claims: how several computers share the rules of one library. A claim is a
// TARN_SETTINGS row whose value is the computer's name, a colon and the rule's name.
#include <QDateTime>
#include <QString>

namespace sw {

class Context;

// The modes of ActiveStatus.
inline constexpr int DropClaims = -1;   // drop this computer's claims only
inline constexpr int TestClaim = 0;     // then: does another computer hold the rule?
inline constexpr int WriteClaim = 1;    // then: claim the rule for this computer

// Works on the current library. Every call first drops this computer's claims (and claim rows
// without a value or a time). Mode 0 returns True when another computer holds a claim on the
// rule. Mode 1 tests and claims as one step and returns True when another computer holds the
// rule, so that the claim is not written; every other call returns False. A call that finds the
// rule held leaves the claim it found in the session's HeldBy.
bool ActiveStatus(Context& cx, int mode, const QString& ruleName);

// Whether a claim made at `since` (as the SQL object gives the time) has outlived any run that
// made it: it is more than a day old. A time that cannot be read tells nothing.
bool ClaimOutlivedItsRun(const QString& since, const QDateTime& now);

// Drops this computer's claims in the current library and in every other library where it took
// one; the current library stays current. Each drop waits for the library's write lock as any
// statement does; a claim whose drop is refused stays this computer's, to be dropped again.
void DropClaimsAfterNode(Context& cx);
// The same at the end of a run or of the program: a claim still left is named in a warning, in
// the log and on standard error, with the ways to clear it.
void DropClaimsEverywhere(Context& cx);

// "<node>:<rule>" split at its first colon, each part trimmed and upper-cased. A value without
// a colon is all node and names no rule.
struct RunningNodeValue {
  QString node;
  QString rule;
};
RunningNodeValue SplitRunningNodeValue(const QString& value);

}  // namespace sw
