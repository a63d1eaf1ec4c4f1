// Whole-picture operations: reference border padding, the 2x enlargement and the deblocking
// filter for the displayed picture.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// Fills the border around a width x height plane at origin (row stride `stride`, which is
// width + 2 x border): `border` columns left and right and `border` rows above and below,
// each sample repeating the nearest edge sample.
void PadBorders(uint8_t* origin, int stride, int width, int height, int border);

// Enlarges a w x h plane to 2w x 2h: even samples are copied, the samples between them are
// made with the taps -1, 9, 9, -1 (edges repeated). rows is scratch for 4 x 2w bytes.
void Enlarge2x(const uint8_t* src, int srcStride, int w, int h, uint8_t* dst, uint8_t* rows);

// Deblocking of a luma plane (stride = width) at strength qp: horizontal block edges first,
// then vertical ones. Edges whose ten taps would leave the picture are left alone.
void Deblock(uint8_t* plane, int width, int height, int qp);

// Filters one line of ten samples p[0], p[step], ... p[9 * step] across a block edge between
// p[4] and p[5].
void DeblockLine(uint8_t* p, int step, int qp);

} // namespace kv::mpeg4
