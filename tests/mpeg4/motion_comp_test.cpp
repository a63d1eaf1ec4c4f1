// Every sample of every half-pel prediction case (both block sizes, both rounding types)
// against the plain formulas, on random pictures where all lanes of the vector code differ.
#include "video/mpeg4/motion_comp.h"

#include <gtest/gtest.h>

#include <random>

namespace kv::mpeg4 {
namespace {

TEST(MotionCompensation, EverySampleOfEveryHalfPelCaseMatchesTheFormula)
{
    constexpr int kRefStride = 48, kDstStride = 21;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pix(0, 255), pos(0, 2 * 24);
    uint8_t ref[kRefStride * 48];
    for (int round = 0; round < 40; ++round) {
        // Some pictures of extremes only, where sums overflow 8 bits and halves are common.
        for (uint8_t& p : ref)
            p = static_cast<uint8_t>(round % 4 == 0 ? (pix(rng) & 1) * 255 : round % 4 == 1 ? 254 + (pix(rng) & 1) : pix(rng));
        for (int size : {8, 16}) {
            for (int rounding : {0, 1}) {
                const int hx = pos(rng), hy = pos(rng);
                uint8_t dst[kDstStride * 17];
                for (uint8_t& p : dst)
                    p = 77;
                PredictBlock(dst, kDstStride, ref, kRefStride, hx, hy, size, rounding);
                const uint8_t* s = ref + (hy >> 1) * kRefStride + (hx >> 1);
                for (int y = 0; y < 17; ++y) {
                    for (int x = 0; x < kDstStride; ++x) {
                        int want = 77; // outside the block nothing is written
                        if (y < size && x < size) {
                            const int a = s[y * kRefStride + x], b = s[y * kRefStride + x + 1];
                            const int c = s[(y + 1) * kRefStride + x], d = s[(y + 1) * kRefStride + x + 1];
                            switch ((hx & 1) | (hy & 1) << 1) {
                            case 0: want = a; break;
                            case 1: want = (a + b + 1 - rounding) >> 1; break;
                            case 2: want = (a + c + 1 - rounding) >> 1; break;
                            default: want = (a + b + c + d + 2 - rounding) >> 2; break;
                            }
                        }
                        ASSERT_EQ(dst[y * kDstStride + x], want)
                            << "size " << size << " rounding " << rounding << " at " << hx << "," << hy
                            << " sample " << x << "," << y;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace kv::mpeg4
