// Rows of 32-bit pixels as the window draws them: each pixel the native 32-bit value
// 0xFFRRGGBB (blue, green, red, 0xFF in memory on a little-endian machine). Decoders that can
// write these directly save the window a conversion pass over every picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline constexpr std::uint32_t kOpaquePixel = 0xFF000000u;

// A picture lent to be written in place: height rows of width pixels, top-down, stride bytes
// apart. Empty (no bits) when nothing is lent.
struct PixelBuffer32 {
    std::uint8_t* bits = nullptr;
    std::size_t stride = 0;
    int width = 0;
    int height = 0;

    explicit operator bool() const { return bits != nullptr; }
    std::uint32_t* Row(int y) const { return reinterpret_cast<std::uint32_t*>(bits + static_cast<std::size_t>(y) * stride); }
};

// Whoever lends a decoder the rows of a picture once its size is known. An empty buffer
// declines the picture.
class IPixelLender {
public:
    virtual PixelBuffer32 Lend(int width, int height) = 0;

protected:
    ~IPixelLender() = default;
};

// Widens one row of 24-bit blue-green-red pixels into 0xFFRRGGBB values.
void ExpandBgrRow(const std::uint8_t* source, std::uint32_t* destination, int width);

} // namespace kv
