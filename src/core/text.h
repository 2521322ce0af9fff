#pragma once
// Text helpers for SQL and for the numbers that the system keeps as text.
#include <QString>

namespace sw {

QString StripQuotes(const QString& text);
QString EscapeLikeBrackets(const QString& text);
QString ExpandSpaceTokens(const QString& text);
QString StripFieldMarkers(const QString& text);

// The numeric value of a text: the number formed by its leading blanks, sign, digits and
// decimal point ("12abc" gives 12, "" and "abc" give 0).
double NumericValue(const QString& text);
// A whole number written with the format "#0".
QString FormatNumber(qint64 n);

}  // namespace sw
