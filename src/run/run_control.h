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
// A pause start or end as the run and the window's fields read it, cut to five characters: digits
// only are padded with leading zeros to four (HHMM: "930" is 09:30, "7" is 00:07, "1230" is
// 12:30), any other text to five, with any one separator between hours and minutes ("9:30",
// "09.30" and "9h30" are 09:30). A time of day (00:00 to 23:59) comes
// back in the form "HH:MM" and `valid`; any other text keeps the shape the window's rule gives it
// (hours from the first two characters, minutes from the last two: "abcdef" becomes "ab:de").
struct PauseTime {
  QString text;
  bool valid = false;
};
PauseTime ReadPauseText(const QString& text);
// The cycle head's reading of the pause texts while the pause timer is on: a time of day goes
// back into its field in the form "HH:MM"; a text that is no time of day stays as it is, is named
// in a warning and switches the timer off for the rest of the run; texts that cannot make a
// window switch the timer off with the warning the window's users know.
void NormalisePauseTexts(RunContext& cx);
// The run that /G asks for, ended by a stop signal before it began, says so as a run that a stop
// cut short does.
void TellStopBeforeRun(Context& cx);
// The settings key of a rule node's tick: library and rule, each upper-cased and trimmed, joined
// by ":".
QString RuleStateKey(const QString& libraryName, const QString& ruleName);

// Whether the "HH:MM" moment lies in the window from start (included) to end (excluded); a
// start later than the end crosses midnight.
bool InsidePauseWindow(const QString& now, const QString& start, const QString& end);

}  // namespace sw
