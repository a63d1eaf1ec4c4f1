#include "display/packed_dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kv {
namespace {

constexpr std::size_t kInfoHeader = 40;

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// A new packed 24-bit block for width by height, its header taken from base (40 bytes).
std::vector<std::uint8_t> NewPacked24(const std::uint8_t* base, int width, int height)
{
    std::vector<std::uint8_t> out(kInfoHeader + RowBytes24(width) * static_cast<std::size_t>(height));
    std::memcpy(out.data(), base, kInfoHeader);
    WriteInfoHeader24(out.data(), width, height);
    return out;
}

// Row y of the picture, counted from the top.
const std::uint8_t* PictureRow(const DibView& dib, const DibLayout& layout, int y)
{
    const std::size_t stored = layout.topDown ? static_cast<std::size_t>(y) : static_cast<std::size_t>(layout.height - 1 - y);
    return dib.pixels.data() + stored * layout.stride;
}

// Destination row j (from the top) of a packed bottom-up block.
std::uint8_t* PackedRow(std::vector<std::uint8_t>& packed, int height, std::size_t stride, int j)
{
    return packed.data() + kInfoHeader + static_cast<std::size_t>(height - 1 - j) * stride;
}

int TruncClamped(float value, int low, int high)
{
    const float t = std::trunc(value);
    if (!(t >= static_cast<float>(low)))  // also catches NaN
        return low;
    if (t >= static_cast<float>(high))
        return high;
    return static_cast<int>(t);
}

} // namespace

std::size_t RowBytes24(int width)
{
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t(3);
}

void WriteInfoHeader24(std::uint8_t* header, int width, int height)
{
    PutLe32(header, kInfoHeader);
    PutLe32(header + 4, static_cast<std::uint32_t>(width));
    PutLe32(header + 8, static_cast<std::uint32_t>(height));
    header[12] = 1;  // planes
    header[13] = 0;
    header[14] = 24;  // bits per pixel
    header[15] = 0;
    PutLe32(header + 16, 0);  // no compression
    PutLe32(header + 20, static_cast<std::uint32_t>(RowBytes24(width) * static_cast<std::size_t>(height)));
    PutLe32(header + 32, 0);  // no palette
    PutLe32(header + 36, 0);
}

std::optional<DibView> SplitPackedDib(std::span<const std::uint8_t> packed)
{
    if (packed.size() < kInfoHeader)
        return std::nullopt;
    const std::uint64_t headerSize = Le32(packed.data());
    const int bits = Le16(packed.data() + 14);
    const std::uint64_t coloursUsed = Le32(packed.data() + 32);
    const std::uint64_t entries = bits <= 8 && coloursUsed == 0 ? (std::uint64_t(1) << std::min(bits, 8)) : coloursUsed;
    const std::uint64_t pixelsAt = headerSize + entries * 4;
    if (headerSize < kInfoHeader || pixelsAt > packed.size())
        return std::nullopt;
    DibView view{packed.first(static_cast<std::size_t>(pixelsAt)), packed.subspan(static_cast<std::size_t>(pixelsAt))};
    if (!DescribeDib(view))
        return std::nullopt;
    return view;
}

std::vector<std::uint8_t> PackDib24(const DibView& dib)
{
    const std::optional<DibLayout> layout = DescribeDib(dib);
    if (!layout)
        return {};
    std::vector<std::uint8_t> out = NewPacked24(dib.header.data(), layout->width, layout->height);
    const std::size_t stride = RowBytes24(layout->width);
    std::uint8_t palette[256][3] = {};
    const std::uint8_t* entry = dib.header.data() + layout->paletteOffset;
    for (int i = 0; i < layout->paletteEntries; ++i, entry += 4)
        std::memcpy(palette[i], entry, 3);
    for (int y = 0; y < layout->height; ++y) {
        const std::uint8_t* src = PictureRow(dib, *layout, y);
        std::uint8_t* dst = PackedRow(out, layout->height, stride, y);
        if (layout->bits == 24) {
            std::memcpy(dst, src, static_cast<std::size_t>(layout->width) * 3);
            continue;
        }
        for (int x = 0; x < layout->width; ++x) {
            int index;
            if (layout->bits == 8)
                index = src[x];
            else if (layout->bits == 4)
                index = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            else
                index = (src[x >> 3] >> (7 - (x & 7))) & 1;
            std::memcpy(dst + 3 * x, palette[index], 3);  // entries past the palette stay black
        }
    }
    return out;
}

std::vector<std::uint8_t> ResizePackedDib24(std::span<const std::uint8_t> packed, int width, int height)
{
    const std::optional<DibView> dib = SplitPackedDib(packed);
    if (!dib || width < 1 || height < 1 || width > kMaxDibSide || height > kMaxDibSide)
        return {};
    const DibLayout layout = *DescribeDib(*dib);
    if (layout.bits != 24)
        return {};
    std::vector<std::uint8_t> out = NewPacked24(packed.data(), width, height);
    const std::size_t stride = RowBytes24(width);
    const int w = layout.width;
    const int h = layout.height;
    if (w == width && h == height) {
        for (int y = 0; y < h; ++y)
            std::memcpy(PackedRow(out, height, stride, y), PictureRow(*dib, layout, y), static_cast<std::size_t>(w) * 3);
        return out;
    }
    for (int j = 0; j < height; ++j) {
        const float y = static_cast<float>(j) * static_cast<float>(h) / static_cast<float>(height);
        const int y0 = TruncClamped(y, 0, h - 1);
        const int y1 = TruncClamped(y + 1.0f, 0, h - 1);
        const int fy = TruncClamped((y - static_cast<float>(y0)) * 100.0f, 0, 100);
        const std::uint8_t* row0 = PictureRow(*dib, layout, y0);
        const std::uint8_t* row1 = PictureRow(*dib, layout, y1);
        std::uint8_t* dst = PackedRow(out, height, stride, j);
        for (int i = 0; i < width; ++i) {
            const float x = static_cast<float>(i) * static_cast<float>(w) / static_cast<float>(width);
            const int x0 = TruncClamped(x, 0, w - 1);
            const int x1 = TruncClamped(x + 1.0f, 0, w - 1);
            const int fx = TruncClamped((x - static_cast<float>(x0)) * 100.0f, 0, 100);
            for (int c = 0; c < 3; ++c) {
                const int p00 = row0[3 * x0 + c];
                const int p10 = row0[3 * x1 + c];
                const int p01 = row1[3 * x0 + c];
                const int p11 = row1[3 * x1 + c];
                dst[3 * i + c] = static_cast<std::uint8_t>(
                    (p00 * (100 - fy) * (100 - fx) + p01 * fy * (100 - fx) + p10 * (100 - fy) * fx + p11 * fy * fx) / 10000);
            }
        }
    }
    return out;
}

} // namespace kv
