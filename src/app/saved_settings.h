#pragma once
// The per-user settings of the main window: their names, value forms and defaults.
#include <QString>

#include "core/library_checks.h"
#include "run/run_control.h"

namespace sw {

class Context;

// The application name of the two one-time registration markers.
inline const QString MarkerApplication = QStringLiteral("TARN");

// Get and save under the product name.
QString GetAppSetting(Context& cx, const QString& section, const QString& key, const QString& defaultValue);
// False when the store could not write it.
bool SaveAppSetting(Context& cx, const QString& section, const QString& key, const QString& value);

// Value forms. A flag is "-1" or "0" (FlagText of the core) and reads true when its leading
// number is not 0.
bool ReadsAsTrue(const QString& stored);
// A check box is "1" or "0".
QString CheckBoxText(bool ticked);
// A stored check-box value as the check box takes it: the number rounded to a whole number, which
// must be 0, 1 or 2 (a check box holds nothing else), or -1, the store's own true, taken as 1;
// *valid tells whether it is one of them.
int CheckBoxValue(const QString& stored, bool* valid);
// The number that leads a text, rounded and written "#0" ("abc" gives "0", "-7.6" gives "-8").
QString WholeNumberText(const QString& text);
// A stored whole number as its text box shows it: the absolute value, "#0".
QString AbsoluteNumberText(const QString& stored);

}  // namespace sw
