// Separable fixed-point 8x8 inverse DCT: a pass over the rows, then one over the columns,
// with the same butterfly in both. Two precisions: the viewer's 10-bit constants and the
// motion module's cheaper 8-bit ones.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// Transforms in (raster order) into out; results are not clamped. in and out may be the
// same block. Arithmetic is 32-bit with wrap-around, so even hostile coefficients give a
// defined (if meaningless) result.
void IdctHigh(const int32_t in[64], int32_t out[64]);
void IdctLow(const int32_t in[64], int32_t out[64]);

using IdctFunction = void (*)(const int32_t in[64], int32_t out[64]);

// Writes the clamped (0 ... 255) result, or adds it to what dst holds and clamps.
void PutBlock(const int32_t block[64], uint8_t* dst, int stride);
void AddBlock(const int32_t block[64], uint8_t* dst, int stride);

// The transform of a block straight into the picture, written (put) or added (add), with
// the same results as the transform followed by PutBlock or AddBlock. put and add take blocks
// aligned to 32 bytes. The dc variants are for blocks whose only non-zero coefficient is the
// first one (given as dc); the dcLast ones for blocks whose only non-zero coefficients are the
// first (dc) and the last, which is 1.
struct BlockOps {
    void (*put)(const int32_t in[64], uint8_t* dst, int stride);
    void (*add)(const int32_t in[64], uint8_t* dst, int stride);
    void (*putDc)(int32_t dc, uint8_t* dst, int stride);
    void (*addDc)(int32_t dc, uint8_t* dst, int stride);
    void (*putDcLast)(int32_t dc, uint8_t* dst, int stride);
    void (*addDcLast)(int32_t dc, uint8_t* dst, int stride);
};
// The fastest set the processor runs, for the 8-bit (low) or 10-bit constants; without
// allowAvx2 the baseline set.
BlockOps SelectBlockOps(bool lowPrecision, bool allowAvx2 = true);

} // namespace kv::mpeg4
