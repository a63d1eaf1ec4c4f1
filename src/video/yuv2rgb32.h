// The picture conversion of yuv2rgb.h into the 32-bit rows a window draws: the same colours,
// each widened to 0xFFRRGGBB, written top-down into lent rows. Each pair of rows is converted
// into a small buffer first and widened from there while it is still in the cache, so the
// picture is written once.
#pragma once

#include "video/rgb32_rows.h"

#include <cstdint>

namespace kv {

// Converts the width by height picture in source (laid out as for ConvertYUVtoRGB) into rows,
// which must be exactly that size. False, with nothing written, when the tables are not
// initialised, a side is below 1, or the sizes differ.
bool ConvertYUVtoRows32(const std::uint8_t* source, int width, int height, const PixelBuffer32& rows);

} // namespace kv
