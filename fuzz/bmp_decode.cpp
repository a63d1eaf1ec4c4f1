// BMP decoding of hostile bytes: bare DIBs and files, every header size, RLE and bit fields.
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
    if (!probe.Decode(data, length, CXIMAGE_FORMAT_BMP))
        return 0;
    // Keep the fuzzer's memory bounded: the dimensions alone may ask for gigabytes.
    if (static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight() > (1u << 18))
        return 0;
    CxImage image;
    if (image.Decode(data, length, CXIMAGE_FORMAT_BMP)) {
        // Touch every pixel row so a bad layout shows.
        volatile std::uint8_t sink = 0;
        for (long row = 0; row < static_cast<long>(image.GetHeight()); ++row)
            sink = sink ^ image.RowPointer(row)[image.GetEffWidth() - 1];
        (void)sink;
    }
    return 0;
}
