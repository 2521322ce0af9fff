#pragma once
// The main window's rules that need no widget: the results list's font
// steps, key codes as the handlers expect them, and twips.
#include <QString>
#include <Qt>

namespace sw {

// Positions and sizes of the window are designed in twips; the screen has 15 twips to a pixel.
inline constexpr int TwipsPerPixel = 15;
inline int TwipsToPixels(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }
inline int PixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

// The results list's font size after a typed character: "+" grows it by 2 up to the first size
// above 16, "-" shrinks it by 2 down to the first size below 8; other characters change nothing.
double NextResultsFontSize(double points, int charCode);

// The key code the handlers take for a Qt key (letters and digits as their upper-case character,
// F1 = 112, Insert = 45, Delete = 46, Esc = 27, ...); 0 for a key without one.
int VbKeyCode(int qtKey);
// The shift state the handlers take: 1 Shift, 2 Ctrl, 4 Alt, added.
int VbShiftState(Qt::KeyboardModifiers modifiers);
// The mouse button as the handlers take it: 1 left, 2 right, 4 middle, 0 any other.
int VbMouseButton(Qt::MouseButton button);

}  // namespace sw
