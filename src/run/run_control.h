#pragma once
// Pieces of the run control that the rule steps and the tests share: the status caption, the
// run's clock arithmetic and the pause-window rules.
#include <QDateTime>
#include <QString>

namespace sw {

class Context;

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
// A pause start or end as typed: short texts are padded with leading zeros to four characters
// and read as hours and minutes ("930" is 09:30, "7" is 00:07). A text that is not a time of
// day is kept as written.
QString NormalisePauseText(const QString& text);
// Whether the "HH:MM" moment lies in the window from start (included) to end (excluded); a
// start later than the end crosses midnight.
bool InsidePauseWindow(const QString& now, const QString& start, const QString& end);

// The caption of the status label on the status window, written straight (not logged).
QString StatusCaption(Context& cx);
void SetStatusCaption(Context& cx, const QString& text);

}  // namespace sw
