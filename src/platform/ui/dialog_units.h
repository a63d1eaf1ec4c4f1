// Dialog-unit geometry. Dialog templates place controls in dialog units of the 8-point
// dialog font, whose base units are 6 by 13 pixels: one unit is 1.5 pixels across and
// 1.625 pixels down. Conversion rounds to the nearest pixel, halves away from zero, as the
// classic MulDiv-based mapping does, so a 580-unit template is exactly 870 pixels wide.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace kv::ui {

inline constexpr int kDialogBaseUnitX = 6;
inline constexpr int kDialogBaseUnitY = 13;

constexpr int MulDivRound(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

constexpr int DluToPixelX(int units) { return MulDivRound(units, kDialogBaseUnitX, 4); }
constexpr int DluToPixelY(int units) { return MulDivRound(units, kDialogBaseUnitY, 8); }

inline QRect DluRect(int x, int y, int width, int height)
{
    // Right and bottom edges are converted too, so neighbouring controls never overlap by
    // a rounding pixel.
    const int left = DluToPixelX(x);
    const int top = DluToPixelY(y);
    return QRect(left, top, DluToPixelX(x + width) - left, DluToPixelY(y + height) - top);
}

inline QSize DluSize(int width, int height)
{
    return QSize(DluToPixelX(width), DluToPixelY(height));
}

// The controls' own font for their dialogs and panel texts: a face loaded from the font
// files the bootstrap installs (the desktop's sans when they are missing), at the largest
// pixel size up to 11 (8 points at 96 dpi) whose letters average about 6 pixels across and
// whose lines are at most 13 pixels: the base units the templates were laid out with.
// Needs the application object; the font is chosen once.
QFont DialogFont();

// The dialog face in bold at pixelSize (the viewer panel's big message, the motion setup's
// message line), scaled down as the dialog face was when a wider fallback face stands in.
QFont BoldDialogFont(int pixelSize);

// The face at the largest pixel size, at most 11, that keeps the dialog units' metrics.
QFont FitToDialogUnits(QFont face);
// The average advance of the 52 letters A-Z and a-z, the window system's measure of a
// dialog font's width.
double AverageLetterWidth(const QFont& font);

} // namespace kv::ui
