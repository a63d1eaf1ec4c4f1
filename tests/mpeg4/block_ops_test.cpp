// The fused transform-and-store paths (full blocks and first-coefficient-only blocks, vector
// and baseline builds) must give exactly what the plain transform followed by PutBlock or
// AddBlock gives: the decoder picks between them per block.
#include "video/mpeg4/idct.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace kv::mpeg4 {
namespace {

constexpr int kStride = 13; // not a multiple of 8, and the block sits inside a larger area

struct Picture {
    uint8_t pixels[kStride * 10];
};

// Runs the reference (transform, then put or add) and the candidate on the same start picture.
void ExpectSame(IdctFunction idct, bool add, const int32_t block[64], const Picture& start,
                void (*candidate)(const int32_t*, uint8_t*, int), const std::string& what)
{
    Picture want = start, got = start;
    int32_t out[64];
    idct(block, out);
    (add ? AddBlock : PutBlock)(out, want.pixels + kStride + 2, kStride);
    candidate(block, got.pixels + kStride + 2, kStride);
    ASSERT_EQ(0, std::memcmp(want.pixels, got.pixels, sizeof want.pixels)) << what;
}

struct Variant {
    const char* name;
    IdctFunction idct;
    bool low;
};
constexpr Variant kVariants[] = {{"10-bit", IdctHigh, false}, {"8-bit", IdctLow, true}};

TEST(BlockOps, FusedTransformMatchesTransformThenStore)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> level(-2048, 2047), small(-40, 40), pos(0, 63), pix(0, 255), count(1, 64);
    for (const Variant& v : kVariants) {
        for (bool avx2 : {true, false}) {
            const BlockOps ops = SelectBlockOps(v.low, avx2);
            for (int n = 0; n < 3000; ++n) {
                // Sparse blocks of small levels (the usual case), dense ones and full-range
                // hostile ones whose sums wrap and saturate.
                alignas(32) int32_t block[64] = {};
                const int k = n % 3 == 2 ? 64 : count(rng) / (n % 3 == 0 ? 8 : 1) + 1;
                for (int i = 0; i < k; ++i)
                    block[pos(rng)] = n % 3 == 2 ? level(rng) : small(rng) * 8;
                Picture start;
                for (uint8_t& p : start.pixels)
                    p = static_cast<uint8_t>(pix(rng));
                const std::string what = std::string(v.name) + (avx2 ? " vector" : " baseline") + " block " + std::to_string(n);
                ExpectSame(v.idct, false, block, start, ops.put, what + " put");
                ExpectSame(v.idct, true, block, start, ops.add, what + " add");
            }
        }
    }
}

TEST(BlockOps, FirstCoefficientShortcutsMatchFullTransformForEveryValue)
{
    // The shortcuts' rows are not all equal (the odd part's rounding terms reach rows 1, 2,
    // 5 and 6; a last coefficient reaches every sample), so every possible dequantised first
    // value is checked, alone and with a last coefficient of 1, on light and dark pictures,
    // far beyond 12 bits too, where the products wrap.
    for (const Variant& v : kVariants) {
        for (bool avx2 : {true, false}) {
            const BlockOps ops = SelectBlockOps(v.low, avx2);
            struct Shortcut {
                const char* name;
                int32_t last;
                void (*put)(int32_t, uint8_t*, int);
                void (*add)(int32_t, uint8_t*, int);
            };
            const Shortcut shortcuts[] = {{"dc", 0, ops.putDc, ops.addDc}, {"dc+last", 1, ops.putDcLast, ops.addDcLast}};
            for (const Shortcut& sc : shortcuts) {
                for (int64_t d = -2048 - 70000; d <= 2047 + 70000; ++d) {
                    // every value in the 12-bit range, a sparse sample of the rest
                    const int32_t dc = static_cast<int32_t>(d < -2048 || d > 2047 ? d * 30011 : d);
                    if ((d < -2048 || d > 2047) && d % 97 != 0)
                        continue;
                    alignas(32) int32_t block[64] = {};
                    block[0] = dc;
                    block[63] = sc.last;
                    int32_t out[64];
                    v.idct(block, out);
                    for (uint8_t fill : {uint8_t{0}, uint8_t{3}, uint8_t{128}, uint8_t{254}}) {
                        Picture want, got;
                        std::memset(want.pixels, fill, sizeof want.pixels);
                        std::memset(got.pixels, fill, sizeof got.pixels);
                        AddBlock(out, want.pixels + kStride + 2, kStride);
                        sc.add(dc, got.pixels + kStride + 2, kStride);
                        ASSERT_EQ(0, std::memcmp(want.pixels, got.pixels, sizeof want.pixels))
                            << v.name << " add " << sc.name << " " << dc;
                        PutBlock(out, want.pixels + kStride + 2, kStride);
                        sc.put(dc, got.pixels + kStride + 2, kStride);
                        ASSERT_EQ(0, std::memcmp(want.pixels, got.pixels, sizeof want.pixels))
                            << v.name << " put " << sc.name << " " << dc;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace kv::mpeg4
