#include "platform/ui/picture_image.h"

#include "ximage.h"

namespace kv::ui {

QImage ImageFromPicture(const CxImage& picture)
{
    if (!picture.IsValid())
        return {};
    const int width = static_cast<int>(picture.GetWidth());
    const int height = static_cast<int>(picture.GetHeight());
    const int bpp = picture.GetBpp();
    if (width <= 0 || height <= 0 || (bpp != 24 && bpp != 8))
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = picture.RowPointer(height - 1 - y);
        if (!row)
            return {};
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (bpp == 24) {
                const std::uint8_t* p = row + 3 * x;
                out[x] = qRgb(p[2], p[1], p[0]);
            } else {
                const RGBQUAD c = picture.GetPaletteColor(row[x]);
                out[x] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
            }
        }
    }
    return image;
}

} // namespace kv::ui
