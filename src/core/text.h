#pragma once
// Text helpers for SQL and for the numbers that the system keeps as text.
#include <QString>

namespace sw {

// Removes blanks (only the space character) from both ends; tabs and line breaks stay.
QString TrimBlanks(const QString& text);

// Each carriage return, line feed and NUL turned into one blank: a value's line break is a blank
// wherever the value is written, in a name as in a statement.
QString BlanksForBreaks(const QString& text);

// A value ready to stand between apostrophes in SQL: trimmed, apostrophes doubled, line
// breaks and NULs turned into blanks. The caller writes the surrounding apostrophes.
QString StripQuotes(const QString& text);
// Every "[" becomes "[[]", which matches one literal bracket in a LIKE pattern.
QString EscapeLikeBrackets(const QString& text);
// A text that a LIKE pattern is to match as it stands, on the engine's terms: on SQL Server
// "[", "%" and "_" become classes of themselves ("[[]", "[%]", "[_]"); on Oracle (engines 2
// and 5), which has no classes, "\", "%" and "_" get the escape "\".
QString EscapeLikeText(const QString& text, qint64 engine);
// " ESCAPE '\'" on Oracle when the pattern holds an escape of EscapeLikeText; else nothing.
QString LikeEscapeClause(const QString& pattern, qint64 engine);
// A statement's first word, upper-cased, past the blanks, opening brackets and comments ("-- ..."
// to the end of the line, "/* ... */") that lead it; empty when no word follows them.
QString FirstSqlWord(const QString& statement);
// A character a table or column name can hold: a letter, a digit, "_", "$" or "#".
bool IsNameCharacter(QChar c);
// Restores the blanks of stored rule SQL, where "<SPC>" stands for a run of blanks.
QString ExpandSpaceTokens(const QString& text);
// Removes the "%" markers of a template item; "APPS." at the start becomes "APPS". A NUL
// becomes a blank.
QString StripFieldMarkers(const QString& text);

// The numeric value of a text: the number formed by its leading blanks, sign, digits and
// decimal point ("12abc" gives 12, "" and "abc" give 0).
double NumericValue(const QString& text);
// A whole number written with the format "#0".
QString FormatNumber(qint64 n);

}  // namespace sw
