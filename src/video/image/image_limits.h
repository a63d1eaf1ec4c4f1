// Bounds every decoded picture keeps to, whichever way it is decoded.
#pragma once

#include <cstdint>

namespace kv::image {

// Largest pixel area a single image may take, counted as its 24-bit bitmap rows; keeps
// hostile headers from asking for more memory than any picture of this system needs.
inline constexpr std::uint64_t kMaxImageBytes = 512ull * 1024 * 1024;

// Bytes of one bitmap row of width pixels at bpp bits, padded to 4.
inline constexpr std::uint32_t EffectiveWidth(std::uint32_t width, std::uint32_t bpp)
{
    return static_cast<std::uint32_t>(((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4);
}

} // namespace kv::image
