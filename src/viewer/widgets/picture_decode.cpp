#include "viewer/widgets/picture_decode.h"

#include <cstdint>
#include <limits>

#include "platform/ui/picture_image.h"
#include "ximage.h"

namespace kv::viewer {

QImage DecodeJpegPicture(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<std::int32_t>::max())
        return {};
    CxImage picture(CXIMAGE_FORMAT_JPG);
    if (!picture.Decode(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        static_cast<std::uint32_t>(bytes.size()), CXIMAGE_FORMAT_JPG))
        return {};
    return ui::ImageFromPicture(picture);
}

} // namespace kv::viewer
