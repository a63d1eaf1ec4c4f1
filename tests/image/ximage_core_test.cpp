#include "ximage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(CxImageCore, DefaultsAfterConstruction)
{
    CxImage image(2);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetType(), 2u);
    EXPECT_EQ(image.GetJpegQuality(), 90);
    EXPECT_EQ(image.GetJpegScale(), 0);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_FALSE(image.IsTransparent());
    EXPECT_TRUE(image.IsEnabled());
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 3780);
    EXPECT_EQ(image.GetEscape(), 0);
    EXPECT_STREQ(image.GetLastError(), "");
    EXPECT_EQ(image.RowPointer(0), nullptr);
    EXPECT_EQ(image.PalettePointer(), nullptr);
}

TEST(CxImageCore, CreateNormalisesBitsAndLaysOutThePackedDib)
{
    struct Case {
        std::uint32_t asked, bpp, colors;
    } cases[] = {{0, 1, 2}, {1, 1, 2}, {2, 4, 16}, {4, 4, 16}, {5, 8, 256}, {8, 8, 256}, {16, 24, 0}, {32, 24, 0}};
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(10, 3, c.asked, 1), nullptr) << c.asked;
        EXPECT_EQ(image.GetBpp(), c.bpp) << c.asked;
        EXPECT_EQ(image.GetNumColors(), c.colors) << c.asked;
        EXPECT_EQ(image.PaletteSize(), c.colors * 4);
        EXPECT_EQ(image.IsIndexed(), c.colors != 0);
        // The palette starts zeroed.
        for (std::uint32_t i = 0; i < c.colors; ++i)
            EXPECT_EQ(image.GetPaletteColor(i).rgbRed, 0);
    }

    CxImage vga;
    auto* dib = static_cast<std::uint8_t*>(vga.Create(640, 480, 24, 1));
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(vga.GetEffWidth(), 1920u);
    EXPECT_EQ(vga.TotalSize(), 40u + 921600u);
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof(header));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight, 480);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biSizeImage, 921600u);
    EXPECT_EQ(header.biXPelsPerMeter, 3780);
    EXPECT_EQ(vga.RowPointer(0), dib + 40);
    EXPECT_EQ(vga.RowPointer(479), dib + 40 + 479 * 1920);
    EXPECT_EQ(vga.RowPointer(480), nullptr);
    EXPECT_EQ(vga.RowPointer(-1), nullptr);

    CxImage odd;
    ASSERT_NE(odd.Create(321, 2, 24, 1), nullptr);
    EXPECT_EQ(odd.GetEffWidth(), 964u);
    CxImage mono;
    ASSERT_NE(mono.Create(33, 2, 1, 1), nullptr);
    EXPECT_EQ(mono.GetEffWidth(), 8u);
    EXPECT_EQ(static_cast<std::uint8_t*>(mono.GetDIB()) + 48, mono.RowPointer(0));
}

TEST(CxImageCore, CreateRefusesSizesNoPictureNeeds)
{
    CxImage image;
    EXPECT_EQ(image.Create(100000, 100000, 24, 1), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CxImage::Create can't allocate memory");
    EXPECT_FALSE(image.IsValid());
}

TEST(CxImageCore, DpiSettersKeepPixelsPerMetre)
{
    CxImage image;
    image.SetXDPI(72);
    image.SetYDPI(0);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 2835);
    EXPECT_EQ(image.GetHeader().biYPelsPerMeter, 0);
    EXPECT_EQ(image.GetXDPI(), 72);
    EXPECT_EQ(image.GetYDPI(), 0);
}

TEST(CxImageCore, TakeOverMovesAndShareFromViewsWithoutFreeing)
{
    CxImage source;
    ASSERT_TRUE(source.Create(4, 4, 24, 1));
    source.SetJpegQuality(50);
    void* dib = source.GetDIB();

    CxImage view;
    view.ShareFrom(source);
    EXPECT_EQ(view.GetDIB(), dib);
    EXPECT_FALSE(view.Free()); // views free nothing
    EXPECT_EQ(view.Create(2, 2, 8, 1), nullptr);
    CxImage thief;
    EXPECT_FALSE(thief.TakeOver(view)); // a view's buffers are not its own to hand over
    view.RowPointer(0)[0] = 0x5A;
    EXPECT_EQ(source.RowPointer(0)[0], 0x5A);

    CxImage target;
    ASSERT_TRUE(target.Create(1, 1, 8, 1));
    ASSERT_TRUE(target.TakeOver(source));
    EXPECT_EQ(target.GetDIB(), dib);
    EXPECT_EQ(target.GetJpegQuality(), 50);
    EXPECT_FALSE(source.IsValid());
    EXPECT_EQ(source.GetWidth(), 0u);
}

TEST(CxImageCore, CopySettingsOnlyIntoAnEmptyImage)
{
    CxImage settings;
    settings.SetJpegQuality(40);
    settings.SetEscape(-1);
    settings.SetCodecOption(0x80);
    CxImage empty;
    empty.CopySettings(settings);
    EXPECT_EQ(empty.GetJpegQuality(), 40);
    EXPECT_EQ(empty.GetEscape(), -1);
    EXPECT_EQ(empty.GetCodecOption(), 0x80u);
    CxImage full;
    ASSERT_TRUE(full.Create(1, 1, 24, 1));
    full.CopySettings(settings);
    EXPECT_EQ(full.GetJpegQuality(), 90);
}

TEST(CxImageCore, CopyDuplicatesPixelsPaletteAndPlanes)
{
    CxImage source;
    ASSERT_TRUE(source.Create(5, 3, 8, 1));
    source.SetGreyRamp();
    for (long row = 0; row < 3; ++row)
        std::memset(source.RowPointer(row), static_cast<int>(row * 10 + 1), source.GetEffWidth());
    ASSERT_TRUE(source.AlphaCreate());
    source.AlphaPlane()[7] = 9;
    source.SetXDPI(300);

    CxImage copy(source);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.GetDIB(), source.GetDIB());
    // Palette and pixels; the block's header is refreshed from the copy's own header.
    EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(copy.GetDIB()) + 40,
                          static_cast<std::uint8_t*>(source.GetDIB()) + 40, source.TotalSize() - 40), 0);
    EXPECT_EQ(copy.GetXDPI(), 300);
    EXPECT_EQ(static_cast<const BITMAPINFOHEADER*>(copy.GetDIB())->biXPelsPerMeter, 11811);
    ASSERT_NE(copy.AlphaPlane(), nullptr);
    EXPECT_EQ(copy.AlphaPlane()[7], 9);

    CxImage noPixels(source, false, false, false);
    ASSERT_TRUE(noPixels.IsValid());
    EXPECT_TRUE(noPixels.IsGreyRamp());
    EXPECT_EQ(noPixels.AlphaPlane(), nullptr);

    CxImage assigned;
    assigned = source;
    EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(assigned.GetDIB()) + 40,
                          static_cast<std::uint8_t*>(source.GetDIB()) + 40, source.TotalSize() - 40), 0);
}

TEST(CxImageCore, FlipRowsReversesTheRowOrder)
{
    CxImage image;
    EXPECT_FALSE(image.FlipRows());
    ASSERT_TRUE(image.Create(3, 4, 24, 1));
    for (long row = 0; row < 4; ++row)
        std::memset(image.RowPointer(row), static_cast<int>(row), image.GetEffWidth());
    ASSERT_TRUE(image.FlipRows());
    for (long row = 0; row < 4; ++row)
        EXPECT_EQ(image.RowPointer(row)[0], 3 - row);
}

TEST(CxImageCore, GreyRampAndPalettes)
{
    CxImage grey;
    ASSERT_TRUE(grey.Create(2, 2, 8, 1));
    EXPECT_FALSE(grey.IsGreyRamp()); // all black
    grey.SetGreyRamp();
    EXPECT_TRUE(grey.IsGreyRamp());
    EXPECT_EQ(grey.GetPaletteColor(200).rgbGreen, 200);
    EXPECT_EQ(grey.GetPaletteColor(256).rgbRed, 0); // past the count: black

    CxImage sixteen;
    ASSERT_TRUE(sixteen.Create(2, 2, 4, 1));
    sixteen.SetGreyRamp();
    EXPECT_EQ(sixteen.GetPaletteColor(1).rgbBlue, 17);
    EXPECT_EQ(sixteen.GetPaletteColor(15).rgbBlue, 255);
    EXPECT_FALSE(sixteen.IsGreyRamp()); // entries must equal their index

    const std::uint8_t red[3] = {10, 20, 30};
    const std::uint8_t green[3] = {11, 21, 31};
    sixteen.SetPalette(3, red, green); // blue follows green
    EXPECT_EQ(sixteen.GetPaletteColor(2).rgbRed, 30);
    EXPECT_EQ(sixteen.GetPaletteColor(2).rgbGreen, 31);
    EXPECT_EQ(sixteen.GetPaletteColor(2).rgbBlue, 31);
    sixteen.SetPalette(3, red); // green and blue follow red
    EXPECT_EQ(sixteen.GetPaletteColor(1).rgbBlue, 20);

    CxImage mono;
    ASSERT_TRUE(mono.Create(2, 2, 1, 1));
    RGBQUAD entries[4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 9, 9, 9}, {9, 9, 9, 9}};
    mono.SetPalette(entries, 4); // only two entries fit
    EXPECT_EQ(mono.GetPaletteColor(1).rgbRed, 7);
    EXPECT_EQ(mono.GetPaletteColor(1).rgbReserved, 8);
    EXPECT_EQ(mono.GetPaletteColor(2).rgbRed, 0);
}

TEST(CxImageCore, SwapRedBlueOnlyWithoutPaletteAndWithinTheRow)
{
    CxImage image;
    ASSERT_TRUE(image.Create(2, 1, 24, 1)); // effective width 8
    std::uint8_t row[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    image.SwapRedBlue(row, 100);
    const std::uint8_t expected[9] = {3, 2, 1, 6, 5, 4, 7, 8, 9};
    EXPECT_EQ(std::memcmp(row, expected, 9), 0);

    CxImage indexed;
    ASSERT_TRUE(indexed.Create(8, 1, 8, 1));
    std::uint8_t same[3] = {1, 2, 3};
    indexed.SwapRedBlue(same, 3);
    EXPECT_EQ(same[0], 1);
}

TEST(CxImageCore, TransparentColourComesFromThePaletteBelow24Bits)
{
    CxImage indexed;
    ASSERT_TRUE(indexed.Create(2, 2, 8, 1));
    const std::uint8_t red[6] = {0, 0, 0, 0, 0, 200};
    indexed.SetPalette(6, red);
    indexed.SetTransColor(RGBQUAD{1, 2, 3, 4});
    EXPECT_EQ(indexed.GetTransColor().rgbRed, 3); // no index yet: the stored colour
    EXPECT_EQ(indexed.GetTransColor().rgbReserved, 0);
    indexed.SetTransIndex(5);
    EXPECT_TRUE(indexed.IsTransparent());
    EXPECT_EQ(indexed.GetTransColor().rgbRed, 200);
    indexed.SetTransIndex(300);
    EXPECT_EQ(indexed.GetTransColor().rgbRed, 0); // past the palette: black

    CxImage rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 24, 1));
    rgb.SetTransIndex(0);
    rgb.SetTransColor(RGBQUAD{9, 8, 7, 6});
    EXPECT_EQ(rgb.GetTransColor().rgbBlue, 9);
}

TEST(CxImageCore, TextInfoAssignsByteWise)
{
    CxImage::tagCxTextInfo a{}, b{};
    std::strcpy(a.text, "caption");
    a.fontHeight = 12;
    b = a;
    EXPECT_STREQ(b.text, "caption");
    EXPECT_EQ(b.fontHeight, 12);
}

} // namespace
