// Half-pel block prediction from the padded reference picture.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// Predicts a size x size block (size 8 or 16) into dst from the reference sample at half-pel
// position (hx, hy) relative to refOrigin; the caller has clamped the position into the
// border. rounding is the VOP's rounding type (0 or 1).
void PredictBlock(uint8_t* dst, int dstStride, const uint8_t* refOrigin, int refStride, int hx,
                  int hy, int size, int rounding);

} // namespace kv::mpeg4
