// Where a display worker hands its finished pictures. Free of any window-system type, so
// the workers and their tests do not depend on Qt.
#pragma once

#include "core/byte_order.h"
#include "video/rgb32_rows.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kv {

struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const FrameRect&) const = default;
};

// A device-independent bitmap as its owner holds it, without copying: the BITMAPINFOHEADER
// with the palette behind it (header), and the pixel rows (pixels), bottom-up unless the
// height is negative, each row padded to 4 bytes. A decoded JPEG hands its one DIB block
// cut in two; the MPEG-4 worker hands its own header and its RGB buffer.
struct DibView {
    std::span<const std::uint8_t> header;
    std::span<const std::uint8_t> pixels;
};

// What a DibView holds, once checked.
struct DibLayout {
    int width = 0;
    int height = 0;           // rows, always positive
    bool topDown = false;     // the header's height was negative
    int bits = 0;             // 1, 4, 8 or 24
    std::size_t stride = 0;   // bytes per row
    int paletteEntries = 0;   // entries present in the header span (indexed pictures)
    std::size_t paletteOffset = 0;
};

inline constexpr int kMaxDibSide = 16384;

// Checks the header and that the pixel span holds every row. Nothing (no layout) for a block
// that is not an uncompressed 1, 4, 8 or 24-bit picture, whose sides are 0 or above
// kMaxDibSide, whose palette is not within the header span, or whose rows are not all there.
// An indexed picture may carry fewer palette entries than its bit depth allows; indices past
// them read as black.
inline std::optional<DibLayout> DescribeDib(const DibView& dib)
{
    constexpr std::size_t kInfoHeader = 40;
    if (dib.header.size() < kInfoHeader)
        return std::nullopt;
    const std::uint8_t* h = dib.header.data();
    const std::uint32_t headerSize = Le32(h);
    const auto width = static_cast<std::int32_t>(Le32(h + 4));
    const auto rawHeight = static_cast<std::int32_t>(Le32(h + 8));
    const int bits = Le16(h + 14);
    const std::uint32_t compression = Le32(h + 16);
    const std::uint32_t coloursUsed = Le32(h + 32);
    if (headerSize < kInfoHeader || headerSize > dib.header.size() || compression != 0)
        return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return std::nullopt;
    if (width <= 0 || width > kMaxDibSide || rawHeight == 0 || rawHeight < -kMaxDibSide || rawHeight > kMaxDibSide)
        return std::nullopt;

    DibLayout layout;
    layout.width = width;
    layout.topDown = rawHeight < 0;
    layout.height = layout.topDown ? -rawHeight : rawHeight;
    layout.bits = bits;
    layout.stride = ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
    layout.paletteOffset = headerSize;
    if (bits <= 8) {
        const std::uint32_t full = 1u << bits;
        const std::uint32_t entries = coloursUsed == 0 || coloursUsed > full ? full : coloursUsed;
        if (dib.header.size() < headerSize + static_cast<std::size_t>(entries) * 4)
            return std::nullopt;
        layout.paletteEntries = static_cast<int>(entries);
    }
    if (dib.pixels.size() / layout.stride < static_cast<std::size_t>(layout.height))
        return std::nullopt;
    return layout;
}

class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    // Called from the worker's thread. The sink takes what it needs from dib before it
    // returns (the worker reuses its buffers). The source rectangle of the picture (top-down
    // coordinates) is drawn stretched into the destination rectangle of the window. Returns
    // false when the view is not a picture DescribeDib accepts, or the destination is empty
    // (nothing changes then).
    virtual bool Present(const DibView& dib, FrameRect source, FrameRect destination) = 0;
    // Forgets the last picture.
    virtual void Clear() = 0;

    // Optional, for workers that can write the drawn format themselves: lends a buffer of
    // 0xFFRRGGBB pixels (video/rgb32_rows.h) for the next picture (sides 1 to kMaxDibSide), so
    // the picture is decoded straight into what the window draws rather than handed over as
    // a DIB and converted. Empty when the sink lends nothing (the default), refuses the size,
    // or has a buffer out already; the worker then presents a DIB. Called from the worker's
    // thread; every buffer lent must come back through EndPicture.
    virtual PixelBuffer32 BeginPicture(int /*width*/, int /*height*/) { return {}; }
    // Gives the lent buffer back: with show, it is drawn as Present would draw it (same
    // rectangles, same result); without, it is dropped and what was drawn before stays.
    virtual bool EndPicture(bool /*show*/, FrameRect /*source*/, FrameRect /*destination*/) { return false; }
};

} // namespace kv
