#include "xcanvas.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

namespace {

// A 24-bit image whose pixels are given top row first, one grey value each.
CxImage GreyRows(std::uint32_t width, const std::vector<std::vector<std::uint8_t>>& rows)
{
    CxImage image;
    const auto height = static_cast<std::uint32_t>(rows.size());
    EXPECT_TRUE(image.Create(width, height, 24, 1));
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image.RowPointer(static_cast<long>(height - 1 - y));
        for (std::uint32_t x = 0; x < width; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = rows[y][x];
    }
    return image;
}

std::uint8_t At(const CxCanvas& canvas, int x, int y)
{
    return canvas.PixelAt(x, y)[0];
}

TEST(Draw, OwnSizeCopiesStraightWithinTheClip)
{
    CxImage image = GreyRows(2, {{1, 2}, {3, 4}});
    CxCanvas canvas(5, 5);
    canvas.Fill(9, 9, 9);
    ASSERT_TRUE(image.Draw(&canvas, 1, 1));
    EXPECT_EQ(At(canvas, 1, 1), 1); // top row at the top
    EXPECT_EQ(At(canvas, 2, 1), 2);
    EXPECT_EQ(At(canvas, 1, 2), 3);
    EXPECT_EQ(At(canvas, 2, 2), 4);
    EXPECT_EQ(At(canvas, 0, 0), 9);
    EXPECT_EQ(At(canvas, 3, 3), 9);

    // The clip rectangle narrows the device clip box for this call only.
    canvas.Fill(9, 9, 9);
    const CxRect clip{0, 0, 2, 5};
    ASSERT_TRUE(image.Draw(&canvas, 1, 1, -1, -1, &clip));
    EXPECT_EQ(At(canvas, 1, 1), 1);
    EXPECT_EQ(At(canvas, 2, 1), 9);
    EXPECT_EQ(canvas.GetClipBox().right, 5);

    canvas.Fill(9, 9, 9);
    canvas.SetClipBox(CxRect{0, 2, 5, 5});
    ASSERT_TRUE(image.Draw(&canvas, 1, 1));
    EXPECT_EQ(At(canvas, 1, 1), 9);
    EXPECT_EQ(At(canvas, 1, 2), 3);
}

// Grey values of one canvas column, top to bottom.
std::vector<std::uint8_t> Column(const CxCanvas& canvas, int x)
{
    std::vector<std::uint8_t> got;
    for (int y = 0; y < canvas.Height(); ++y)
        got.push_back(At(canvas, x, y));
    return got;
}

TEST(Draw, ScaledRowsAppearInOrderOncePerShare)
{
    const CxImage column = GreyRows(1, {{10}, {20}, {30}, {40}});
    CxCanvas tall(1, 8);
    ASSERT_TRUE(const_cast<CxImage&>(column).Draw(&tall, 0, 0, 1, 8));
    EXPECT_EQ(Column(tall, 0), (std::vector<std::uint8_t>{10, 10, 20, 20, 30, 30, 40, 40}));

    // Five rows drawn five tall through the scaling path (a different width forces it):
    // every row once, top to bottom, as at the picture's own size.
    CxImage five = GreyRows(1, {{1}, {2}, {3}, {4}, {5}});
    CxCanvas same(2, 5);
    ASSERT_TRUE(five.Draw(&same, 0, 0, 2, 5));
    EXPECT_EQ(Column(same, 0), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Column(same, 1), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));

    // Shrinking and uneven factors keep the order and both ends, and agree with Draw2.
    for (int target : {2, 3, 7, 9, 13}) {
        SCOPED_TRACE(target);
        CxCanvas drawn(1, target), stretched(1, target);
        ASSERT_TRUE(five.Draw(&drawn, 0, 0, 1, target));
        ASSERT_TRUE(five.Draw2(&stretched, 0, 0, 1, target));
        const auto rows = Column(drawn, 0);
        EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
        EXPECT_EQ(rows.back(), 5);  // the bottom row is never lost
        if (target >= 5) {
            EXPECT_EQ(rows.front(), 1);
            EXPECT_EQ(std::set<std::uint8_t>(rows.begin(), rows.end()).size(), 5u);
        }
        EXPECT_EQ(rows, Column(stretched, 0)) << "Draw and Draw2 differ";
    }

    CxImage row = GreyRows(4, {{1, 2, 3, 4}});
    CxCanvas wide(8, 1);
    ASSERT_TRUE(row.Draw(&wide, 0, 0, 8, 1));
    std::vector<std::uint8_t> got;
    for (int x = 0; x < 8; ++x)
        got.push_back(At(wide, x, 0));
    EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 1, 2, 2, 3, 3, 4, 4}));
}

// Rectangles reaching past the 32-bit range are drawn as far as the canvas shows them.
TEST(Draw, HugeRectanglesDoNotWrapAround)
{
    CxImage image = GreyRows(2, {{7, 8}, {9, 10}});
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    CxCanvas canvas(4, 4);
    ASSERT_TRUE(image.Draw(&canvas, most - 1, 0, 100, 2));  // entirely off the canvas
    EXPECT_EQ(At(canvas, 3, 0), 0);
    EXPECT_FALSE(image.Draw2(&canvas, most - 1, 0, 100, 2));
    EXPECT_TRUE(image.Stretch(&canvas, most - 1, most - 1, 100, 100));
    EXPECT_EQ(At(canvas, 3, 3), 0);

    // From x 1 across the whole range: the first source column fills the canvas's rest.
    ASSERT_TRUE(image.Draw(&canvas, 1, 0, most, 2));
    EXPECT_EQ(At(canvas, 0, 0), 0);
    EXPECT_EQ(At(canvas, 1, 0), 7);
    EXPECT_EQ(At(canvas, 3, 1), 9);
    canvas.Fill(0, 0, 0);
    ASSERT_TRUE(image.Draw2(&canvas, 0, 1, 2, most));
    EXPECT_EQ(At(canvas, 0, 0), 0);
    EXPECT_EQ(At(canvas, 1, 3), 8);  // the top row is all a huge height shows of it
    canvas.Fill(0, 0, 0);
    ASSERT_TRUE(image.Stretch(&canvas, 2, 2, most, most));
    EXPECT_EQ(At(canvas, 3, 3), 7);
    EXPECT_EQ(At(canvas, 1, 1), 0);
}

TEST(Draw, TransparencyAndAlpha)
{
    // Transparent colour on a 24-bit image.
    CxImage image = GreyRows(2, {{50, 60}});
    image.SetTransIndex(0);
    image.SetTransColor(RGBQUAD{50, 50, 50, 0});
    CxCanvas canvas(2, 1);
    canvas.Fill(7, 7, 7);
    ASSERT_TRUE(image.Draw(&canvas, 0, 0));
    EXPECT_EQ(At(canvas, 0, 0), 7);
    EXPECT_EQ(At(canvas, 1, 0), 60);

    // Alpha plane scaled by the alpha maximum: 128 x 256 >> 8 = 128.
    CxImage blended = GreyRows(3, {{200, 200, 200}});
    ASSERT_TRUE(blended.AlphaCreate());
    blended.AlphaPlane()[0] = 128;
    blended.AlphaPlane()[1] = 0;
    blended.AlphaPlane()[2] = 255;
    CxCanvas target(3, 1);
    target.Fill(100, 100, 100);
    ASSERT_TRUE(blended.Draw(&target, 0, 0));
    EXPECT_EQ(At(target, 0, 0), (200 * 128 + 100 * 127) >> 8);
    EXPECT_EQ(At(target, 1, 0), 100);
    EXPECT_EQ(At(target, 2, 0), 200);

    blended.SetAlphaMax(0); // every pixel's alpha becomes 0
    target.Fill(100, 100, 100);
    ASSERT_TRUE(blended.Draw(&target, 0, 0));
    EXPECT_EQ(At(target, 2, 0), 100);

    // Alpha palette and transparent index on an 8-bit image.
    CxImage indexed;
    ASSERT_TRUE(indexed.Create(3, 1, 8, 1));
    RGBQUAD palette[3] = {{10, 10, 10, 255}, {240, 240, 240, 127}, {90, 90, 90, 255}};
    indexed.SetPalette(palette, 3);
    indexed.RowPointer(0)[0] = 0;
    indexed.RowPointer(0)[1] = 1;
    indexed.RowPointer(0)[2] = 2;
    indexed.EnableAlphaPalette(true);
    indexed.SetTransIndex(2);
    target.Fill(100, 100, 100);
    ASSERT_TRUE(indexed.Draw(&target, 0, 0));
    EXPECT_EQ(At(target, 0, 0), 10);
    const unsigned a = (255u * 128u) >> 8; // 127
    EXPECT_EQ(At(target, 1, 0), (240 * a + 100 * (255 - a)) >> 8);
    EXPECT_EQ(At(target, 2, 0), 100); // the transparent index
}

TEST(Draw, DisabledOrEmptyDrawsNothing)
{
    CxImage image = GreyRows(1, {{5}});
    CxCanvas canvas(2, 2);
    image.Enable(false);
    EXPECT_FALSE(image.Draw(&canvas, 0, 0));
    EXPECT_FALSE(image.Draw2(&canvas, 0, 0));
    EXPECT_EQ(At(canvas, 0, 0), 0);
    CxImage empty;
    EXPECT_FALSE(empty.Draw(&canvas, 0, 0));
    EXPECT_FALSE(empty.Stretch(&canvas, 0, 0, 1, 1));
    image.Enable(true);
    EXPECT_FALSE(image.Draw2(&canvas, 5, 5)); // not visible
    EXPECT_FALSE(image.Draw(nullptr, 0, 0));
}

TEST(Draw2, StretchesAndMasksTheTransparentColour)
{
    CxImage image;
    ASSERT_TRUE(image.Create(2, 1, 1, 1));
    RGBQUAD palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    image.SetPalette(palette, 2);
    image.RowPointer(0)[0] = 0x40; // pixel 0 black (index 0), pixel 1 white (index 1)
    CxCanvas canvas(4, 2);
    canvas.Fill(33, 33, 33);
    ASSERT_TRUE(image.Draw2(&canvas, 0, 0, 4, 2));
    EXPECT_EQ(At(canvas, 1, 1), 0);
    EXPECT_EQ(At(canvas, 2, 0), 255);

    image.SetTransIndex(0); // black leaves the destination
    canvas.Fill(33, 33, 33);
    ASSERT_TRUE(image.Draw2(&canvas, 0, 0, -1, -1));
    EXPECT_EQ(At(canvas, 0, 0), 33);
    EXPECT_EQ(At(canvas, 1, 0), 255);
    EXPECT_EQ(At(canvas, 2, 0), 33);
}

TEST(Stretch, AppliesTheRasterOperation)
{
    CxImage image = GreyRows(1, {{0x0F}});
    CxCanvas canvas(2, 2);
    canvas.Fill(0x3C, 0x3C, 0x3C);
    ASSERT_TRUE(image.Stretch(&canvas, 0, 0, 2, 1, CX_SRCAND));
    EXPECT_EQ(At(canvas, 1, 0), 0x0C);
    EXPECT_EQ(At(canvas, 1, 1), 0x3C);
    ASSERT_TRUE(image.Stretch(&canvas, CxRect{0, 1, 2, 2}, CX_SRCINVERT));
    EXPECT_EQ(At(canvas, 0, 1), 0x33);
    ASSERT_TRUE(image.Stretch(&canvas, 0, 0, 1, 1, CX_NOTSRCCOPY));
    EXPECT_EQ(At(canvas, 0, 0), 0xF0);
    ASSERT_TRUE(image.Stretch(&canvas, 0, 0, 1, 1, CX_SRCPAINT));
    EXPECT_EQ(At(canvas, 0, 0), 0xFF);
    EXPECT_FALSE(image.Stretch(&canvas, 0, 0, 0, 1));
}

TEST(ToBitmap, WithAndWithoutADevice)
{
    CxImage image;
    ASSERT_TRUE(image.Create(3, 2, 4, 1));
    image.SetGreyRamp();
    image.RowPointer(0)[0] = 0x1F;
    image.RowPointer(1)[0] = 0x20;
    CxCanvas canvas(1, 1);
    CxImage* device = image.ToBitmap(&canvas);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetBpp(), 24);
    EXPECT_EQ(device->RowPointer(0)[0], 17);      // index 1
    EXPECT_EQ(device->RowPointer(0)[3], 255);     // index 15
    EXPECT_EQ(device->RowPointer(1)[0], 34);      // index 2
    delete device;

    CxImage* section = image.ToBitmap();
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->GetBpp(), 4);
    EXPECT_EQ(section->TotalSize(), image.TotalSize());
    EXPECT_EQ(std::memcmp(section->GetDIB(), image.GetDIB(), image.TotalSize()), 0);
    delete section;

    CxImage empty;
    EXPECT_EQ(empty.ToBitmap(), nullptr);
}

} // namespace
