// An image object's picture as something a widget can paint: the bottom-up DIB (24-bit, or
// 8-bit with its palette) turned into a top-down QImage.
#pragma once

#include <QImage>

class CxImage;

namespace kv::ui {

// A null image when the picture is empty or of another bit depth.
QImage ImageFromPicture(const CxImage& picture);

} // namespace kv::ui
