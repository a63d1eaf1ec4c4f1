// Picture decoding through synthetic streams: DC prediction, motion vectors at the border,
// rounding control, not-coded macroblocks, the two inverse quantisation methods and the
// post-filter; plus the small building blocks they rest on.
#include "stream_builder.h"
#include "video/mpeg4/motion_comp.h"
#include "video/mpeg4/picture_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kv::test {
namespace {

using namespace mpeg4;

constexpr int kW = 160, kH = 120, kMbs = 80;
constexpr size_t kFrame = kW * kH * 3 / 2;

// I-VOP whose first macroblock has luma blocks a (left) and b (right); the rest is grey.
std::vector<uint8_t> TwoToneFirstUnit(int a, int b, const VolFields& vol = {})
{
    // Block 0 predicts from 1024 / 8 = 128, block 1 from block 0; blocks 2 and 3 predict
    // from the blocks above them with a zero difference.
    return Concat(HeaderBytes(vol), DcOnlyIntraVop(VopFields{}, kMbs, {a - 128, b - a, 0, 0, 0, 0}));
}

// P-VOP: macroblock 0 is inter with one vector (mvdX, mvdY are the coded bit strings), no
// coefficients; every other macroblock is not coded.
std::vector<uint8_t> OneVectorPVop(const std::string& mvdX, const std::string& mvdY, int fcode, int rounding)
{
    BitWriter w;
    VopFields v;
    v.type = 1;
    v.fcode = fcode;
    v.rounding = rounding;
    WriteVopHeader(w, v);
    w.PutBits("0");  // coded
    w.PutBits("1");  // mcbpc: inter, no chroma coefficients
    w.PutBits("11"); // cbpy 15, i.e. no luma coefficients for an inter macroblock
    w.PutBits(mvdX);
    w.PutBits(mvdY);
    for (int i = 1; i < kMbs; ++i)
        w.PutBits("1");
    w.Stuff();
    return w.Bytes();
}

std::vector<uint8_t> AllNotCodedPVop(int quant = 4)
{
    BitWriter w;
    VopFields v;
    v.type = 1;
    v.quant = quant;
    WriteVopHeader(w, v);
    for (int i = 0; i < kMbs; ++i)
        w.PutBits("1");
    w.Stuff();
    return w.Bytes();
}

DecoderPtr Unfiltered(const ModuleProfile& p = kKavaroProfile)
{
    DecoderPtr d = MakeDecoder(p);
    d->postFilter = 0;
    return d;
}

TEST(IntraPrediction, TopLeftBlockPredictsFrom1024AndNeighboursFromEachOther)
{
    DecoderPtr d = Unfiltered();
    std::vector<uint8_t> out(6 * kW * kH);
    ASSERT_EQ(Decode(d.get(), out, TwoToneFirstUnit(100, 200)), 0);
    EXPECT_EQ(out[0], 100);           // 128 + (-28)
    EXPECT_EQ(out[8], 200);           // block 1: block 0's DC + 100
    EXPECT_EQ(out[15 * kW + 0], 100); // block 2 from block 0 above it
    EXPECT_EQ(out[15 * kW + 15], 200);
    EXPECT_EQ(out[16], 200);          // macroblock 1 from the block on its left
}

TEST(MotionVectors, VectorFortyPixelsLeftPredictsFromTheBorder)
{
    DecoderPtr d = Unfiltered();
    std::vector<uint8_t> first(6 * kW * kH), out(6 * kW * kH);
    ASSERT_EQ(Decode(d.get(), first, TwoToneFirstUnit(100, 200)), 0);
    // -80 half-pels with f_code 3 (f = 4): code 20 ("0000001000"), sign 1, residual 3.
    ASSERT_EQ(Decode(d.get(), out, OneVectorPVop("0000001000" "1" "11", "1", 3, 0)), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(out[y * kW + x], 100) << x << "," << y; // the left edge, repeated
    EXPECT_TRUE(std::equal(out.begin() + 16, out.begin() + kW, first.begin() + 16));
    EXPECT_TRUE(std::equal(out.begin() + 16 * kW, out.begin() + kFrame, first.begin() + 16 * kW));
}

TEST(MotionVectors, RoundingTypeSelectsHowHalfPelAveragesRound)
{
    for (int rounding : {0, 1}) {
        DecoderPtr d = Unfiltered();
        std::vector<uint8_t> out(6 * kW * kH);
        ASSERT_EQ(Decode(d.get(), out, TwoToneFirstUnit(10, 11)), 0);
        ASSERT_EQ(out[7], 10);
        ASSERT_EQ(out[8], 11);
        // Half a pixel to the right: "01" + sign 0.
        ASSERT_EQ(Decode(d.get(), out, OneVectorPVop("010", "1", 1, rounding)), 0);
        EXPECT_EQ(out[7], rounding ? 10 : 11) << rounding;
        EXPECT_EQ(out[6], 10);
        EXPECT_EQ(out[8], 11);
    }
}

TEST(MotionVectors, PredictBlockRoundsEveryHalfPelCase)
{
    // Reference 10 11 / 12 13 repeated; 2x2 neighbourhoods give all four cases.
    uint8_t ref[40 * 40];
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ref[y * 40 + x] = static_cast<uint8_t>(10 + (x & 1) + 2 * (y & 1));
    const uint8_t* origin = ref + 8 * 40 + 8;
    struct Case {
        int hx, hy, r, expect;
    } cases[] = {{0, 0, 0, 10}, {1, 0, 0, 11}, {1, 0, 1, 10}, {0, 1, 0, 11}, {0, 1, 1, 11},
                 {1, 1, 0, 12}, {1, 1, 1, 11}, {-1, 0, 0, 11}, {2, 2, 1, 13}};
    for (const Case& c : cases) {
        uint8_t dst[16 * 16];
        for (int size : {8, 16}) {
            PredictBlock(dst, 16, origin, 40, c.hx, c.hy, size, c.r);
            EXPECT_EQ(dst[0], c.expect) << c.hx << "," << c.hy << " r" << c.r << " size " << size;
        }
    }
}

TEST(NotCoded, PictureOfNotCodedMacroblocksRepeatsThePreviousOne)
{
    DecoderPtr d = Unfiltered();
    std::vector<uint8_t> first(6 * kW * kH), out(6 * kW * kH);
    ASSERT_EQ(Decode(d.get(), first, TwoToneFirstUnit(37, 201)), 0);
    ASSERT_EQ(Decode(d.get(), out, AllNotCodedPVop()), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + kFrame, first.begin()));
}

TEST(NotCoded, FailedPictureDoesNotLeakIntoTheNextOne)
{
    DecoderPtr d = Unfiltered();
    std::vector<uint8_t> first(6 * kW * kH), out(6 * kW * kH);
    ASSERT_EQ(Decode(d.get(), first, TwoToneFirstUnit(37, 201)), 0);
    // A P-VOP that writes macroblock 0 (moved by half a pixel) and then runs out.
    auto broken = OneVectorPVop("010", "1", 1, 0);
    broken.resize(broken.size() / 2);
    ASSERT_EQ(Decode(d.get(), out, broken), 1);
    ASSERT_EQ(Decode(d.get(), out, AllNotCodedPVop()), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + kFrame, first.begin()));
}

// Reference inverse DCT in double precision.
void ExactIdct(const double in[64], double out[64])
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
                    s += cu * cv * in[v * 8 + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                         std::cos((2 * y + 1) * v * M_PI / 16);
                }
            out[y * 8 + x] = s / 4;
        }
}

TEST(Quantisation, BothMethodsScaleTheSameLevelAsTheStandardSays)
{
    // One intra block: DC difference 0 (level 128), then by escape (fixed length) last 1,
    // run 62, level 4: the coefficient lands at zigzag position 63, raster 63.
    auto unit = [](int quantType) {
        VolFields vol;
        vol.quantType = quantType;
        BitWriter w;
        WriteHeaders(w, vol);
        WriteVopHeader(w, VopFields{}); // quantiser 4
        w.PutBits("1");     // mcbpc: intra, no chroma coefficients
        w.PutBits("0");     // no AC prediction
        w.PutBits("00010"); // cbpy 8: only block 0 coded
        WriteDcDiff(w, 0, true);
        w.PutBits("0000011" "11"); // escape, fixed length
        w.Put(1, 1);
        w.Put(62, 6);
        w.Put(1, 1);
        w.Put(4, 12);
        w.Put(1, 1);
        for (int b = 1; b < 6; ++b)
            WriteDcDiff(w, 0, b < 4);
        for (int i = 1; i < kMbs; ++i)
            WriteDcOnlyIntraMacroblock(w, {0, 0, 0, 0, 0, 0});
        w.Stuff();
        return w.Bytes();
    };
    // quant_type 0: 4 x (2 x 4 + 1) - 1 = 35. quant_type 1: 4 x 45 x 4 / 8 = 90, and the
    // coefficient sum 1024 + 90 is even, so mismatch control makes it 91.
    for (auto [quantType, coefficient] : {std::pair{0, 35}, {1, 91}}) {
        DecoderPtr d = Unfiltered();
        std::vector<uint8_t> out(6 * kW * kH);
        ASSERT_EQ(Decode(d.get(), out, unit(quantType)), 0) << quantType;
        EXPECT_EQ(Inner(d.get()).QuantType(), quantType);
        double in[64] = {}, exact[64];
        in[0] = 1024;
        in[63] = coefficient;
        ExactIdct(in, exact);
        for (int i = 0; i < 64; ++i)
            EXPECT_NEAR(out[(i / 8) * kW + i % 8], std::clamp(exact[i], 0.0, 255.0), 1.0) << quantType << " " << i;
    }
}

TEST(PostFilter, FiltersOnlyTheOutputAndFollowsTheSharedStrength)
{
    std::vector<uint8_t> filtered(6 * kW * kH), plain(6 * kW * kH);
    mpeg4::SetDeblockStrengthForTesting(0);
    DecoderPtr f = MakeDecoder(kKavaroProfile); // postFilter set for the first call
    DecoderPtr u = Unfiltered();
    // A sharp vertical edge at x = 8 with a small step: flat on both sides, so the smoothing
    // mode applies at strength 5 (I-VOP: s + 5).
    ASSERT_EQ(Decode(f.get(), filtered, TwoToneFirstUnit(100, 104)), 0);
    ASSERT_EQ(Decode(u.get(), plain, TwoToneFirstUnit(100, 104)), 0);
    EXPECT_EQ(plain[7], 100);
    EXPECT_EQ(plain[8], 104);
    EXPECT_EQ(filtered[7], 102);
    EXPECT_EQ(filtered[8], 103);
    EXPECT_EQ(mpeg4::DeblockStrengthForTesting(), 0); // an I-VOP leaves it
    // The reference was not filtered: the next picture, unfiltered, repeats the plain one.
    f->postFilter = 0;
    ASSERT_EQ(Decode(f.get(), filtered, AllNotCodedPVop()), 0);
    EXPECT_TRUE(std::equal(filtered.begin(), filtered.begin() + kFrame, plain.begin()));

    // A filtered P-VOP moves the strength: s = (quant + 4 s) / 5.
    u->postFilter = 1;
    ASSERT_EQ(Decode(u.get(), plain, AllNotCodedPVop(20)), 0);
    EXPECT_EQ(mpeg4::DeblockStrengthForTesting(), 4);
    u->postFilter = 1;
    ASSERT_EQ(Decode(u.get(), plain, AllNotCodedPVop(20)), 0);
    EXPECT_EQ(mpeg4::DeblockStrengthForTesting(), 7);
    mpeg4::SetDeblockStrengthForTesting(0);

    // The motion module has no filter, whatever the flag says.
    DecoderPtr m = MakeDecoder(kMensiloProfile);
    ASSERT_EQ(Decode(m.get(), plain, TwoToneFirstUnit(100, 104)), 0);
    EXPECT_EQ(plain[8] - plain[7], 104 - 100);
}

TEST(PostFilter, DefaultModeMovesTheTwoEdgeSamplesTowardsEachOther)
{
    uint8_t p[10] = {10, 20, 30, 40, 50, 90, 100, 110, 120, 130};
    // a0 = 5 (90 - 50) + 2 (40 - 100) = 80; a1 = a2 = -10; d = (5 (80 - 10) + 32) >> 6 = 5.
    DeblockLine(p, 1, 20);
    const uint8_t expect[10] = {10, 20, 30, 40, 55, 85, 100, 110, 120, 130};
    EXPECT_TRUE(std::equal(p, p + 10, expect));
    uint8_t q[10] = {10, 20, 30, 40, 50, 90, 100, 110, 120, 130};
    DeblockLine(q, 1, 10); // |a0| >= 8 QP: a real edge, left alone
    EXPECT_EQ(q[4], 50);
    EXPECT_EQ(q[5], 90);
}

TEST(PostFilter, SmoothingModeAppliesTheNineTapFilter)
{
    uint8_t p[20] = {};
    const int v[10] = {100, 100, 100, 100, 100, 104, 104, 104, 104, 104};
    for (int i = 0; i < 10; ++i)
        p[2 * i] = static_cast<uint8_t>(v[i]); // every second byte: the step argument
    DeblockLine(p, 2, 5);
    const int expect[10] = {100, 100, 101, 101, 102, 103, 103, 104, 104, 104};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(p[2 * i], expect[i]) << i;
    uint8_t wide[10] = {100, 100, 100, 100, 100, 120, 120, 120, 120, 120};
    DeblockLine(wide, 1, 5); // range 20 is not below 2 QP
    EXPECT_EQ(wide[4], 100);
}

TEST(Enlarge, EvenSamplesCopyAndNewOnesUseTheFourTaps)
{
    const uint8_t src[2 * 4] = {0, 255, 0, 255, 16, 16, 16, 16};
    uint8_t dst[4 * 8], rows[4 * 8];
    Enlarge2x(src, 4, 4, 2, dst, rows);
    EXPECT_EQ(dst[0], 0);
    EXPECT_EQ(dst[2], 255);
    EXPECT_EQ(dst[1], (9 * 255 + 8) >> 4);            // taps 0 (edge repeated), 0, 255, 0
    EXPECT_EQ(dst[3], (9 * 255 - 255 + 8) >> 4);      // 0, 255, 0, 255
    EXPECT_EQ(dst[5], (-255 + 9 * 255 - 255 + 8) >> 4); // 255, 0, 255, 255
    EXPECT_EQ(dst[7], 255);                           // 0, 255, 255, 255: clamped
    EXPECT_EQ(dst[3 * 8], (9 * 16 + 9 * 16 - 16 + 8) >> 4); // rows 0, 16, 16, 16: 17
}

} // namespace
} // namespace kv::test
