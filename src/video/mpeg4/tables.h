// Fixed data of the MPEG-4 Visual bitstream: variable-length code lists, coefficient scans,
// default quantisation matrices and the chroma vector rounding tables. The code lists are
// turned into lookup tables by vlc.cpp.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// One variable-length code: the bit string as text ("0011") and the value it stands for.
struct VlcCode {
    const char* bits;
    int16_t value;
};

// I-VOP mcbpc: value = macroblock type (3 intra, 4 intra+q) * 4 + chroma coded flags,
// or kMcbpcStuffing.
inline constexpr int16_t kMcbpcStuffing = -2;
extern const VlcCode kMcbpcIntraCodes[];
extern const int kMcbpcIntraCount;
// P-VOP mcbpc: value = type (0 inter, 1 inter+q, 2 four vectors, 3 intra, 4 intra+q) * 4 +
// chroma coded flags, or kMcbpcStuffing.
extern const VlcCode kMcbpcInterCodes[];
extern const int kMcbpcInterCount;
// cbpy as coded for intra macroblocks (inter macroblocks use 15 - value).
extern const VlcCode kCbpyCodes[];
extern const int kCbpyCount;
// Size of the intra DC difference, luminance and chrominance.
extern const VlcCode kDcSizeLumaCodes[];
extern const int kDcSizeLumaCount;
extern const VlcCode kDcSizeChromaCodes[];
extern const int kDcSizeChromaCount;
// Motion vector codes 0 ... 32 without their sign bit (every code but 0 is followed by one:
// 0 positive, 1 negative).
extern const VlcCode kMvdCodes[];
extern const int kMvdCount;

// Transform coefficients: 102 code words plus ESCAPE, shared by the intra and inter tables.
// The value of each code is its index; kTcoefEscape is the escape code.
inline constexpr int kTcoefCodeCount = 102;
inline constexpr int16_t kTcoefEscape = 102;
extern const char* const kTcoefCodeBits[kTcoefCodeCount + 1];

// The intra table: for each code index, last (bit 10), run (bits 5-9) and level (bits 0-4).
extern const uint16_t kTcoefIntraPacked[kTcoefCodeCount];
// The inter table maps codes arithmetically: codes below 58 have last = 0, the rest last = 1
// (index - 58); the run is found by walking the number of levels each run has.
inline constexpr int kTcoefInterLastStart = 58;
extern const uint8_t kTcoefInterLevelsPerRunLast0[27];
extern const uint8_t kTcoefInterLevelsPerRunLast1[41];

// Scans: position in the block (row * 8 + column) of the n-th coefficient.
extern const uint8_t kZigzagScan[64];
extern const uint8_t kAlternateHorizontalScan[64];
extern const uint8_t kAlternateVerticalScan[64];

// Default quantisation matrices in raster order.
extern const uint8_t kDefaultIntraMatrix[64];
extern const uint8_t kDefaultInterMatrix[64];

// Chroma vector rounding for one vector (by |v| mod 4) and for the sum of four (|s| mod 16).
extern const uint8_t kChromaRound1[4];
extern const uint8_t kChromaRound4[16];

// DC scaler for a quantiser of 1 ... 31.
constexpr int DcScalerLuma(int q)
{
    return q <= 4 ? 8 : q <= 8 ? 2 * q : q <= 24 ? q + 8 : 2 * q - 16;
}
constexpr int DcScalerChroma(int q)
{
    return q <= 4 ? 8 : q <= 24 ? (q + 13) / 2 : q - 6;
}

} // namespace kv::mpeg4
