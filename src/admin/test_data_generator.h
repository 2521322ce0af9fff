#pragma once
// The client and matter test-data generator ("Special Functions"): the handler is in admin.h.
#include <QString>

namespace sw::admin {

// The clients one use writes after the first, and the matters of each client.
inline constexpr qint64 GeneratedClientsAfterFirst = 1000;
inline constexpr int GeneratedMattersPerClient = 99;

// A number zero-padded to at least `digits` digits, the sign in front ("0001", "-0005", "12345").
QString PaddedNumber(qint64 n, int digits);

// The title a message box shows when none is given: the application's name on this platform.
QString DefaultApplicationTitle();

}  // namespace sw::admin
