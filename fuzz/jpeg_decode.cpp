// JPEG decoding with the EXIF scan, on hostile bytes; also the format-0 fallback path.
#include "ximage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    const auto length = static_cast<std::uint32_t>(size);
    CxImage probe;
    probe.SetEscape(-1);
    if (!probe.Decode(data, length, CXIMAGE_FORMAT_JPG))
        return 0;
    if (static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight() > (1u << 18))
        return 0;
    CxImage image;
    // The last byte picks a few decoder options so those paths are reached too.
    const std::uint8_t selector = size > 0 ? data[size - 1] : 0;
    std::uint32_t options = 0;
    if (selector & 1)
        options |= CXIMAGE_JPEG_DEC_GREY;
    if (selector & 2)
        options |= CXIMAGE_JPEG_QUANTIZE | ((selector & 4) ? CXIMAGE_JPEG_ONEPASS : 0u);
    if (selector & 8)
        options |= CXIMAGE_JPEG_NOSMOOTH;
    image.SetCodecOption(options);
    image.SetJpegQuality(static_cast<std::uint8_t>(8 + (selector >> 4) * 15));
    image.Decode(data, length, (selector & 0x80) ? CXIMAGE_FORMAT_UNKNOWN : CXIMAGE_FORMAT_JPG);
    return 0;
}
