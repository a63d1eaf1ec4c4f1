// JPEG pictures of the module's "IMAGE" resources, decoded with our own image object.
#pragma once

#include <QByteArray>
#include <QImage>

namespace kv::viewer {

// A null image when the bytes are not a decodable JPEG picture.
QImage DecodeJpegPicture(const QByteArray& bytes);

} // namespace kv::viewer
