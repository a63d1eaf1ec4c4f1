// Separable fixed-point 8x8 inverse DCT: a pass over the rows, then one over the columns,
// with the same butterfly in both. Two precisions: the viewer's 10-bit constants and the
// motion module's cheaper 8-bit ones.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// Transforms block (raster order) in place; results are not clamped.
void IdctHigh(int32_t block[64]);
void IdctLow(int32_t block[64]);

using IdctFunction = void (*)(int32_t block[64]);

// Writes the clamped (0 ... 255) result, or adds it to what dst holds and clamps.
void PutBlock(const int32_t block[64], uint8_t* dst, int stride);
void AddBlock(const int32_t block[64], uint8_t* dst, int stride);

} // namespace kv::mpeg4
