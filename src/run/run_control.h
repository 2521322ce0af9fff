#pragma once
// Pieces of the run control that the rule steps and the tests share: the status caption, the
// run's clock arithmetic and the pause-window rules.
#include <QDateTime>
#include <QString>

#include "platform/ui/ui.h"

namespace sw {

class Context;
class RunContext;

// Fore colours of the status label (0xRRGGBB): dark red while a cycle runs, dark blue after it.
inline constexpr int StatusColourCycle = 0xC00000;
inline constexpr int StatusColourEnd = 0x0000C0;

// The "Results" column of the results list.
inline constexpr int ResultsColumn = 2;

// The number reported for a failure that is not a DM call's own.
inline constexpr qint64 ErrInternal = 51;

// hour * 3600 + minute * 60 + second of the moment.
qint64 SecondsSinceMidnight(const QDateTime& moment);

// A text that reads as a time of day ("9:30", "09:30", "09:30:00") in the form "HH:MM"; any other
// text unchanged.
QString FormatTimeOfDay(const QString& text);
// A pause start or end as the window's fields and the run both read it: cut to five characters,
// padded with leading zeros to five, its first two characters as hours and last two as minutes,
// then the form "HH:MM" ("9:30" is 09:30, "7" is 00:07, "1230" is 01:30). A part that is no
// number stays as it is, and a result that is no time of day keeps the shape it reached
// ("abcdef" becomes "ab:de").
QString NormalisePauseText(const QString& text);
// The cycle head's reading of the pause texts while the pause timer is on: both normalised
// back into their fields; texts that cannot make a window switch the timer off with a warning.
void NormalisePauseTexts(RunContext& cx);
// The settings key of a rule node's tick: library and rule, each upper-cased and trimmed, joined
// by ":".
QString RuleStateKey(const QString& libraryName, const QString& ruleName);

// Whether the "HH:MM" moment lies in the window from start (included) to end (excluded); a
// start later than the end crosses midnight.
bool InsidePauseWindow(const QString& now, const QString& start, const QString& end);

}  // namespace sw
