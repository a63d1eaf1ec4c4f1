// The snapshot picture as something the window can paint: the image object's bottom-up DIB
// (24-bit, or 8-bit with its palette) turned into a top-down QImage.
#pragma once

#include <QImage>

class CxImage;

namespace kv::motion {

// A null image when the picture is empty or of another bit depth.
QImage ImageFromPicture(const CxImage& picture);

// Where the snapshot goes in the picture area: the picture minus its last column and row,
// stretched over the whole area (a one-pixel picture keeps its pixel).
QRect SnapshotSourceRect(const QImage& image);

} // namespace kv::motion
