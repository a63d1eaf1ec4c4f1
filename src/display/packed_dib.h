// Packed bitmaps for the capture copies: one block of a 40-byte BITMAPINFOHEADER followed by
// the 24-bit pixel rows, bottom-up, each padded to 4 bytes. This is what CxImage decodes with
// format code 1, and what the capture copies are resized in.
#pragma once

#include "platform/ui/frame_sink.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kv {

// Bytes per 24-bit row, padded to 4.
std::size_t RowBytes24(int width);

// Fills a 40-byte BITMAPINFOHEADER for a 24-bit bottom-up picture of width by height without
// palette; the pixels-per-metre fields are left as they are.
void WriteInfoHeader24(std::uint8_t* header, int width, int height);

// The header (with any palette) and the pixels of a packed bitmap, or nothing when the block
// is not a picture DescribeDib accepts.
std::optional<DibView> SplitPackedDib(std::span<const std::uint8_t> packed);

// The picture as a packed 24-bit bottom-up bitmap: 24-bit rows are copied, palette pictures
// are expanded through their palette. Empty when DescribeDib refuses the view.
std::vector<std::uint8_t> PackDib24(const DibView& dib);

// Resizes a packed 24-bit bitmap to width by height (each 1 to kMaxDibSide) into a new packed
// block: the source header with the new width, height, header size 40, image size and no
// palette, then the rows. The same size copies the rows. Otherwise every destination pixel
// (column i, row j from the top) samples the source at x = i * w / width, y = j * h / height
// (32-bit floats) with integer bilinear weights in hundredths:
//   x0 = trunc(x), x1 = x0 + 1, both clamped to the picture (likewise y0, y1);
//   fx = trunc((x - x0) * 100), fy likewise, each clamped to 0..100;
//   channel = (P00 (100-fy)(100-fx) + P01 fy (100-fx) + P10 (100-fy) fx + P11 fy fx) / 10000.
// Empty for any other bit depth or a malformed block.
std::vector<std::uint8_t> ResizePackedDib24(std::span<const std::uint8_t> packed, int width, int height);

} // namespace kv
