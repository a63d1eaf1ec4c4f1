// The viewer module's pictures, looked up by number: bitmaps (buttons, slider, icon,
// toolbox), cursors and the "IMAGE" banners. They are embedded in the module.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>

#include "platform/ui/ui_helpers.h"

namespace kv::viewer {

// The colour our button and icon bitmaps use for "show the background here".
inline constexpr kv::ui::ColorRef kArtworkTransparentColour = kv::ui::MakeColorRef(255, 0, 255);

// A bitmap resource; a null image when the module has none of that number.
QImage LoadBitmapResource(int id);
// The bytes of an "IMAGE" resource (a JPEG picture); empty when absent.
QByteArray LoadImageResource(int id);
// A cursor resource with its hot spot; nothing when absent.
std::optional<QCursor> LoadCursorResource(int id);
// Gives a widget cursor resource id, or its default cursor for id 0. False (and the default
// cursor) when the module has no such cursor.
bool SetCursorResource(QWidget& widget, int id);
// A string of the string table as a QString; empty when absent.
QString LoadQString(int id);

inline constexpr int IDC_HAND = 234;
inline constexpr int IDC_ZOOM = 235;
inline constexpr int IDB_CONTROL_ICON = 501;
inline constexpr int IDB_TOOLBOX = 1;

} // namespace kv::viewer
