// Packed bitmaps: what a frame sink accepts, palette expansion, and the capture resize with
// its integer bilinear weights.
#include "display_test_support.h"

#include <gtest/gtest.h>

namespace kv::test {
namespace {

void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
                                   static_cast<std::uint8_t>(x >> 16), static_cast<std::uint8_t>(x >> 24)};
    std::copy(bytes, bytes + 4, v.begin() + static_cast<long>(at));
}

// A packed bitmap of width by height at this bit depth, with a palette of the given entries
// (blue, green, red each) for indexed pictures; rows zeroed.
std::vector<std::uint8_t> Packed(int width, int height, int bits, const std::vector<std::array<std::uint8_t, 3>>& palette = {})
{
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
    std::vector<std::uint8_t> v(40 + palette.size() * 4 + stride * rows, 0);
    Put32(v, 0, 40);
    Put32(v, 4, static_cast<std::uint32_t>(width));
    Put32(v, 8, static_cast<std::uint32_t>(height));
    v[12] = 1;
    v[14] = static_cast<std::uint8_t>(bits);
    Put32(v, 20, static_cast<std::uint32_t>(stride * rows));
    Put32(v, 32, static_cast<std::uint32_t>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i)
        std::copy(palette[i].begin(), palette[i].end(), v.begin() + 40 + static_cast<long>(4 * i));
    return v;
}

// Row y from the top of a bottom-up packed block.
std::uint8_t* Row(std::vector<std::uint8_t>& packed, int y)
{
    const auto view = SplitPackedDib(packed);
    const auto layout = DescribeDib(*view);
    const std::size_t stored = layout->topDown ? y : layout->height - 1 - y;
    return packed.data() + (view->pixels.data() - packed.data()) + stored * layout->stride;
}

std::array<std::uint8_t, 3> Bgr(std::uint8_t b, std::uint8_t g, std::uint8_t r) { return {b, g, r}; }

TEST(DibViews, OnlyCompletePicturesOfKnownDepthsAreAccepted)
{
    std::vector<std::uint8_t> good = Packed(3, 2, 24);
    ASSERT_TRUE(SplitPackedDib(good));
    const DibLayout layout = *DescribeDib(*SplitPackedDib(good));
    EXPECT_EQ(layout.stride, 12u);  // 9 bytes padded to 12
    EXPECT_EQ(layout.height, 2);
    EXPECT_FALSE(layout.topDown);

    const std::span<const std::uint8_t> all(good);
    EXPECT_FALSE(DescribeDib({all.first(40), all.subspan(40, 23)})) << "a row short";
    EXPECT_FALSE(DescribeDib({all.first(39), all.subspan(40)})) << "header short";

    auto changed = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> v = good;
        Put32(v, at, value);
        return v;
    };
    for (const auto& bad : {changed(16, 1) /* compressed */, changed(4, 0) /* no width */, changed(8, 0),
                            changed(4, 0x7FFFFFFF), changed(8, 0x80000000u), changed(0, 12) /* core header */}) {
        const std::span<const std::uint8_t> s(bad);
        EXPECT_FALSE(DescribeDib({s.first(40), s.subspan(40)}));
    }
    std::vector<std::uint8_t> sixteen = good;
    sixteen[14] = 16;
    EXPECT_FALSE(SplitPackedDib(sixteen));

    // An 8-bit picture whose palette is not within the header span it was given.
    std::vector<std::uint8_t> indexed = Packed(4, 1, 8, {Bgr(0, 0, 0), Bgr(1, 1, 1)});
    const std::span<const std::uint8_t> s(indexed);
    EXPECT_TRUE(DescribeDib({s.first(48), s.subspan(48)}));
    EXPECT_FALSE(DescribeDib({s.first(44), s.subspan(48)}));

    // A negative height means rows stored top-down.
    std::vector<std::uint8_t> topDown = Packed(2, -3, 24);
    const auto td = DescribeDib(*SplitPackedDib(topDown));
    ASSERT_TRUE(td);
    EXPECT_TRUE(td->topDown);
    EXPECT_EQ(td->height, 3);
}

TEST(PackDib24, ExpandsPalettesAndTurnsTopDownRowsUpright)
{
    // 8 bits: index 5 lies past a two-entry palette and reads as black.
    std::vector<std::uint8_t> eight = Packed(3, 1, 8, {Bgr(10, 20, 30), Bgr(40, 50, 60)});
    Row(eight, 0)[0] = 1;
    Row(eight, 0)[1] = 0;
    Row(eight, 0)[2] = 5;
    std::vector<std::uint8_t> out = PackDib24(*SplitPackedDib(eight));
    ASSERT_EQ(out.size(), 40u + 12u);
    EXPECT_EQ(out[14], 24);
    EXPECT_EQ(Le32(out.data() + 32), 0u) << "no palette left";
    EXPECT_EQ(PixelAt(out, 0, 0), Bgr(40, 50, 60));
    EXPECT_EQ(PixelAt(out, 1, 0), Bgr(10, 20, 30));
    EXPECT_EQ(PixelAt(out, 2, 0), Bgr(0, 0, 0));

    // 4 bits, high nibble first; 1 bit, high bit first.
    std::vector<std::uint8_t> four = Packed(3, 1, 4, {Bgr(0, 0, 0), Bgr(1, 2, 3), Bgr(4, 5, 6)});
    Row(four, 0)[0] = 0x21;
    Row(four, 0)[1] = 0x10;
    out = PackDib24(*SplitPackedDib(four));
    EXPECT_EQ(PixelAt(out, 0, 0), Bgr(4, 5, 6));
    EXPECT_EQ(PixelAt(out, 1, 0), Bgr(1, 2, 3));
    EXPECT_EQ(PixelAt(out, 2, 0), Bgr(1, 2, 3));
    std::vector<std::uint8_t> one = Packed(10, 1, 1, {Bgr(0, 0, 0), Bgr(255, 255, 255)});
    Row(one, 0)[0] = 0x81;
    Row(one, 0)[1] = 0x40;
    out = PackDib24(*SplitPackedDib(one));
    for (int x = 0; x < 10; ++x) {
        const bool white = x == 0 || x == 7 || x == 9;
        EXPECT_EQ(PixelAt(out, x, 0), white ? Bgr(255, 255, 255) : Bgr(0, 0, 0)) << x;
    }

    // Top-down 24 bits: the top row stays on top.
    std::vector<std::uint8_t> topDown = Packed(1, -2, 24);
    Row(topDown, 0)[0] = 7;
    Row(topDown, 1)[0] = 9;
    out = PackDib24(*SplitPackedDib(topDown));
    EXPECT_EQ(static_cast<std::int32_t>(Le32(out.data() + 8)), 2);
    EXPECT_EQ(PixelAt(out, 0, 0)[0], 7);
    EXPECT_EQ(PixelAt(out, 0, 1)[0], 9);
}

TEST(ResizePackedDib24, TwoPixelsToFourSampleAtHalfSteps)
{
    std::vector<std::uint8_t> source = Packed(2, 1, 24);
    const std::uint8_t pixels[6] = {10, 20, 30, 110, 120, 131};
    std::copy(pixels, pixels + 6, Row(source, 0));
    const std::vector<std::uint8_t> out = ResizePackedDib24(source, 4, 1);
    ASSERT_EQ(out.size(), 40u + 12u);
    EXPECT_EQ(PixelAt(out, 0, 0), Bgr(10, 20, 30));
    EXPECT_EQ(PixelAt(out, 1, 0), Bgr(60, 70, 80)) << "weights 50 and 50, truncated";
    EXPECT_EQ(PixelAt(out, 2, 0), Bgr(110, 120, 131));
    EXPECT_EQ(PixelAt(out, 3, 0), Bgr(110, 120, 131)) << "the right edge repeats the last pixel";
}

TEST(ResizePackedDib24, WeightsAreWholeHundredthsAndTheSumIsTruncated)
{
    // x = 0, 0.75, 1.5, 2.25: (1 x 25 + 2 x 75) / 100 = 1, not the 1.75 a rounding filter makes.
    std::vector<std::uint8_t> source = Packed(3, 1, 24);
    const std::uint8_t pixels[9] = {1, 0, 0, 2, 0, 0, 4, 0, 0};
    std::copy(pixels, pixels + 9, Row(source, 0));
    const std::vector<std::uint8_t> out = ResizePackedDib24(source, 4, 1);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(PixelAt(out, 0, 0)[0], 1);
    EXPECT_EQ(PixelAt(out, 1, 0)[0], 1);
    EXPECT_EQ(PixelAt(out, 2, 0)[0], 3);
    EXPECT_EQ(PixelAt(out, 3, 0)[0], 4);
}

TEST(ResizePackedDib24, QuarterPictureEnlargedToPreviewSize)
{
    // blue = x, green = y, red = 255 - x. The doubled picture samples x = i / 2: even columns
    // are source columns, odd ones the truncated mean of two neighbours (blue floor(i / 2),
    // red one less than its even neighbour), and the last column and row repeat the edge.
    std::vector<std::uint8_t> source = Packed(160, 120, 24);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            std::uint8_t* p = Row(source, y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(255 - x);
        }
    const std::vector<std::uint8_t> out = ResizePackedDib24(source, 320, 240);
    ASSERT_EQ(out.size(), 40u + 960u * 240u);
    EXPECT_EQ(Le32(out.data()), 40u);
    EXPECT_EQ(Le32(out.data() + 4), 320u);
    EXPECT_EQ(Le32(out.data() + 8), 240u);
    EXPECT_EQ(Le32(out.data() + 20), 960u * 240u);
    int wrong = 0;
    for (int j = 0; j < 240; ++j)
        for (int i = 0; i < 320; ++i) {
            const bool between = i % 2 == 1 && i < 319;
            const auto expected = Bgr(static_cast<std::uint8_t>(i / 2), static_cast<std::uint8_t>(j / 2),
                                      static_cast<std::uint8_t>(255 - i / 2 - (between ? 1 : 0)));
            if (PixelAt(out, i, j) != expected && ++wrong < 5)
                ADD_FAILURE() << "at " << i << "," << j;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(ResizePackedDib24, SameSizeCopiesAndOtherDepthsAreRefused)
{
    std::vector<std::uint8_t> source = Packed(5, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int b = 0; b < 15; ++b)
            Row(source, y)[b] = static_cast<std::uint8_t>(16 * y + b);
    EXPECT_EQ(ResizePackedDib24(source, 5, 3), source);

    // Shrinking: 4 columns to 2 samples columns 0 and 2 exactly.
    std::vector<std::uint8_t> wide = Packed(4, 1, 24);
    for (int x = 0; x < 4; ++x)
        Row(wide, 0)[3 * x] = static_cast<std::uint8_t>(50 * x);
    const std::vector<std::uint8_t> half = ResizePackedDib24(wide, 2, 1);
    EXPECT_EQ(PixelAt(half, 0, 0)[0], 0);
    EXPECT_EQ(PixelAt(half, 1, 0)[0], 100);

    EXPECT_TRUE(ResizePackedDib24(Packed(4, 4, 8, {Bgr(0, 0, 0)}), 8, 8).empty());
    EXPECT_TRUE(ResizePackedDib24(source, 0, 3).empty());
    EXPECT_TRUE(ResizePackedDib24(source, 5, kMaxDibSide + 1).empty());
    source.pop_back();
    EXPECT_TRUE(ResizePackedDib24(source, 10, 6).empty()) << "a row short";
}

} // namespace
} // namespace kv::test
