#include "image_test_util.h"

#include "core/module_profile.h"
#include "ximage.h"
#include "xmemfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kv {
namespace {

using test::InfoHeader;
using test::Put16;
using test::Put32;
using test::ReadFixture;
using test::TopDownRgb;
using test::WithFileHeader;

struct Variant {
    const char* file;
    const char* expected;
    std::uint16_t bpp;
};

// Every variant against the reference decode made by the fixture script (ImageMagick's, or
// the shift rule for 16-bit files).
TEST(BmpCodec, DecodesEveryVariantPixelExact)
{
    const Variant variants[] = {
        {"b1.bmp", "b1.rgb", 1},           {"b4.bmp", "b4.rgb", 4},
        {"b8.bmp", "b8.rgb", 8},           {"rle8.bmp", "rle8.rgb", 8},
        {"rle8_absolute.bmp", "rle8_absolute.rgb", 8}, {"rle4.bmp", "rle4.rgb", 4},
        {"p555.bmp", "p555.rgb", 24},      {"bf565.bmp", "bf565.rgb", 24},
        {"b24.bmp", "b24.rgb", 24},        {"b32.bmp", "b32.rgb", 24},
        {"core24.bmp", "core24.rgb", 24},  {"core4.bmp", "core4.rgb", 4},
        {"core8.bmp", "core8.rgb", 8},     {"h64_8.bmp", "h64_8.rgb", 8},
        {"v4_24.bmp", "v4_24.rgb", 24},    {"v5_24.bmp", "v5_24.rgb", 24},
        {"topdown24.bmp", "b24.rgb", 24},  {"topdown8.bmp", "b8.rgb", 8},
        {"bare24.dib", "b24.rgb", 24},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.file);
        const auto bytes = ReadFixture(v.file);
        ASSERT_FALSE(bytes.empty());
        CxImage image;
        ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CXIMAGE_FORMAT_BMP))
            << image.GetLastError();
        EXPECT_EQ(image.GetType(), CXIMAGE_FORMAT_BMP);
        EXPECT_EQ(image.GetWidth(), 13u);
        EXPECT_EQ(image.GetHeight(), 9u);
        EXPECT_EQ(image.GetBpp(), v.bpp);
        EXPECT_EQ(TopDownRgb(image), ReadFixture(v.expected));
    }
}

TEST(BmpCodec, BareDibDecodesExactlyLikeTheFullFile)
{
    const auto full = ReadFixture("b24.bmp");
    const auto bare = ReadFixture("bare24.dib");
    CxImage a, b;
    ASSERT_TRUE(a.Decode(full.data(), static_cast<std::uint32_t>(full.size()), 1));
    ASSERT_TRUE(b.Decode(bare.data(), static_cast<std::uint32_t>(bare.size()), 1));
    ASSERT_EQ(a.TotalSize(), b.TotalSize());
    EXPECT_EQ(std::memcmp(a.GetDIB(), b.GetDIB(), a.TotalSize()), 0);
}

TEST(BmpCodec, PixelsPerMetreBecomeDpi)
{
    const auto zero = ReadFixture("b24.bmp");
    CxImage image;
    ASSERT_TRUE(image.Decode(zero.data(), static_cast<std::uint32_t>(zero.size()), 1));
    EXPECT_EQ(image.GetXDPI(), 0);
    EXPECT_EQ(image.GetYDPI(), 0);
    const auto dpi96 = ReadFixture("b24_96dpi.bmp");
    ASSERT_TRUE(image.Decode(dpi96.data(), static_cast<std::uint32_t>(dpi96.size()), 1));
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 3779); // the file's own value is kept
}

TEST(BmpCodec, EscapeReportsDimensionsOrCancels)
{
    const auto bytes = ReadFixture("b8.bmp");
    CxImage image;
    image.SetEscape(-1);
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 1));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 13u);
    EXPECT_EQ(image.GetHeight(), 9u);
    EXPECT_STREQ(image.GetLastError(), "output dimensions returned");

    const auto topDown = ReadFixture("topdown24.bmp");
    CxImage flipped;
    flipped.SetEscape(-1);
    ASSERT_TRUE(flipped.Decode(topDown.data(), static_cast<std::uint32_t>(topDown.size()), 1));
    EXPECT_EQ(flipped.GetHeight(), 9u);

    CxImage cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(cancelled.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 1));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
    EXPECT_FALSE(cancelled.IsValid());
}

TEST(BmpCodec, MalformedFilesFailWithTheirMessage)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({{'B', 'M', 0, 0}, "Not a BMP"});
    cases.push_back({{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0}, "Error reading BMP info"});
    cases.push_back({ReadFixture("v5_8.bmp"), "Error reading BMP info"});  // palette count in a larger header
    cases.push_back({ReadFixture("v5_32.bmp"), "Error reading BMP info"}); // bit fields in a larger header
    auto header = InfoHeader(2, 2, 8, 4, 0, 0);                             // 8 bits, JPEG compression
    cases.push_back({WithFileHeader(header, 0), "compression type not supported"});
    header = InfoHeader(2, 2, 24, 1, 0, 0);
    cases.push_back({WithFileHeader(header, 0), "unknown compression"});
    header = InfoHeader(2, 2, 32, 2, 0, 0);
    cases.push_back({WithFileHeader(header, 0), "unknown compression"});
    header = InfoHeader(0, 2, 24, 0, 0, 0); // no width
    cases.push_back({WithFileHeader(header, 0), "Error reading BMP info"});
    header = InfoHeader(2, 2, 24, 0, 0, 0);
    header[0] = 39; // header size below 40
    cases.push_back({WithFileHeader(header, 0), "Error reading BMP info"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CxImage image;
        EXPECT_FALSE(image.Decode(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), 1));
        EXPECT_STREQ(image.GetLastError(), c.message);
        EXPECT_FALSE(image.IsValid());
    }
}

TEST(BmpCodec, FailedDecodeKeepsThePreviousPicture)
{
    CxImage image;
    ASSERT_TRUE(image.Create(3, 3, 24, 1));
    void* previous = image.GetDIB();
    const std::uint8_t junk[20] = {1, 2, 3};
    EXPECT_FALSE(image.Decode(junk, sizeof(junk), 1));
    EXPECT_EQ(image.GetDIB(), previous);
}

TEST(BmpCodec, ShortOrLyingFilesReadOnlyWhatIsThere)
{
    // Claims a huge image size; only the allocated pixel bytes may be filled.
    auto header = InfoHeader(4, 2, 24, 0, 0x7FFFFFF0, 0);
    std::vector<std::uint8_t> dib = header;
    for (int i = 0; i < 24 + 100; ++i)
        dib.push_back(static_cast<std::uint8_t>(i));
    CxImage image;
    ASSERT_TRUE(image.Decode(dib.data(), static_cast<std::uint32_t>(dib.size()), 1));
    EXPECT_EQ(image.RowPointer(1)[11], 23);

    // Cut in the middle of the pixels: what was read, the rest black.
    std::vector<std::uint8_t> cut = InfoHeader(4, 2, 24, 0, 0, 0);
    for (int i = 0; i < 5; ++i)
        cut.push_back(0xEE);
    ASSERT_TRUE(image.Decode(cut.data(), static_cast<std::uint32_t>(cut.size()), 1));
    EXPECT_EQ(image.RowPointer(0)[4], 0xEE);
    EXPECT_EQ(image.RowPointer(0)[5], 0);
    EXPECT_EQ(image.RowPointer(1)[11], 0);

    // A palette that ends early.
    std::vector<std::uint8_t> palette = InfoHeader(2, 2, 8, 0, 0, 256);
    palette.insert(palette.end(), {1, 2, 3});
    ASSERT_TRUE(image.Decode(palette.data(), static_cast<std::uint32_t>(palette.size()), 1));
    EXPECT_EQ(image.GetPaletteColor(0).rgbRed, 3);
    EXPECT_EQ(image.GetPaletteColor(1).rgbRed, 0);
}

std::vector<std::uint8_t> Rle8File(std::int32_t w, std::int32_t h, std::vector<std::uint8_t> runs)
{
    std::vector<std::uint8_t> dib = InfoHeader(w, h, 8, 1, static_cast<std::uint32_t>(runs.size()), 2);
    Put32(dib, 0x00000000); // index 0 black
    Put32(dib, 0x00FFFFFF); // index 1 white
    dib.insert(dib.end(), runs.begin(), runs.end());
    return WithFileHeader(dib, 14 + 40 + 8);
}

TEST(BmpCodec, RleRunsStayInsideThePicture)
{
    // Runs longer than the row, deltas past the picture, literal runs running off the end,
    // and an unterminated stream: nothing may be written outside the pixels.
    const std::vector<std::uint8_t> hostile = {
        255, 1,          // a run of 255 on a 3-pixel row
        0, 2, 200, 200,  // delta far outside
        0, 250, 1, 1,    // literal run cut short
    };
    for (std::uint32_t compression : {1u, 2u}) {
        auto file = Rle8File(3, 2, hostile);
        file[14 + 16] = static_cast<std::uint8_t>(compression);
        if (compression == 2)
            file[14 + 14] = 4;
        CxImage image;
        EXPECT_TRUE(image.Decode(file.data(), static_cast<std::uint32_t>(file.size()), 1));
        EXPECT_TRUE(image.IsValid());
    }
}

TEST(BmpCodec, Rle8CommandsPlacePixels)
{
    // Row 0: run of 2 white, end of line. Row 1: delta (1, 0), literal 3 (odd: padded).
    const std::vector<std::uint8_t> runs = {2, 1, 0, 0, 0, 2, 1, 0, 0, 3, 1, 0, 1, 0xAA, 0, 1};
    const auto file = Rle8File(4, 2, runs);
    CxImage image;
    ASSERT_TRUE(image.Decode(file.data(), static_cast<std::uint32_t>(file.size()), 1));
    const std::uint8_t* row0 = image.RowPointer(0);
    const std::uint8_t* row1 = image.RowPointer(1);
    EXPECT_EQ(std::vector<std::uint8_t>(row0, row0 + 4), (std::vector<std::uint8_t>{1, 1, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(row1, row1 + 4), (std::vector<std::uint8_t>{0, 1, 0, 1}));
}

TEST(BmpCodec, Rle4DeltaMovesByPixels)
{
    // Row 0: delta (3, 0) then a run of 3 pixels alternating 0xA and 0xB.
    std::vector<std::uint8_t> dib = InfoHeader(8, 1, 4, 2, 0, 16);
    for (int i = 0; i < 16; ++i)
        Put32(dib, static_cast<std::uint32_t>(i * 0x111111));
    dib.insert(dib.end(), {0, 2, 3, 0, 3, 0xAB, 0, 1});
    CxImage image;
    ASSERT_TRUE(image.Decode(dib.data(), static_cast<std::uint32_t>(dib.size()), 1));
    const std::uint8_t* row = image.RowPointer(0);
    EXPECT_EQ(row[0], 0x00);
    EXPECT_EQ(row[1], 0x0A); // pixel 3
    EXPECT_EQ(row[2], 0xBA); // pixels 4, 5
    EXPECT_EQ(row[3], 0x00);
}

TEST(BmpCodec, SixteenBitMasksShiftChannels)
{
    // One pixel per mask layout: full red, full green, full blue.
    struct Case {
        std::uint32_t comp, r, g, b;
        std::uint16_t pixels[3];
    } cases[] = {{0, 0x7C00, 0x03E0, 0x001F, {0x7C00, 0x03E0, 0x001F}},
                 {3, 0xF800, 0x07E0, 0x001F, {0xF800, 0x07E0, 0x001F}}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> dib = InfoHeader(3, 1, 16, c.comp, 0, 0);
        if (c.comp == 3) {
            Put32(dib, c.r);
            Put32(dib, c.g);
            Put32(dib, c.b);
        }
        for (std::uint16_t p : c.pixels)
            Put16(dib, p);
        Put16(dib, 0);
        CxImage image;
        ASSERT_TRUE(image.Decode(dib.data(), static_cast<std::uint32_t>(dib.size()), 1));
        const std::uint8_t green = c.comp ? 0xFC : 0xF8;
        EXPECT_EQ(TopDownRgb(image), (std::vector<std::uint8_t>{0xF8, 0, 0, 0, green, 0, 0, 0, 0xF8}));
    }
}

TEST(BmpCodec, EncodesAFileThatDecodesBack)
{
    const auto bytes = ReadFixture("b4.bmp");
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 1));
    image.SetXDPI(300);
    std::uint8_t* out = nullptr;
    std::int32_t size = 0;
    ASSERT_TRUE(image.Encode(out, size, CXIMAGE_FORMAT_BMP));
    ASSERT_EQ(static_cast<std::uint32_t>(size), image.TotalSize() + 14);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    std::uint32_t fileSize, offset;
    std::memcpy(&fileSize, out + 2, 4);
    std::memcpy(&offset, out + 10, 4);
    EXPECT_EQ(fileSize, static_cast<std::uint32_t>(size));
    EXPECT_EQ(offset, 14u + 40u + 64u);
    CxImage back;
    ASSERT_TRUE(back.Decode(out, static_cast<std::uint32_t>(size), CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(TopDownRgb(back), ReadFixture("b4.rgb"));
    CxImage::FreeMemory(out);
}

TEST(BmpCodec, EncoderChecksAndUnknownFormats)
{
    CxImage empty;
    CxMemFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(empty.Encode(&file, 1));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    CxImage image;
    ASSERT_TRUE(image.Create(2, 2, 24, 1));
    EXPECT_FALSE(image.Encode(static_cast<CxFile*>(nullptr), 1));
    EXPECT_STREQ(image.GetLastError(), "null file handler");
    EXPECT_FALSE(image.Encode(&file, 3));
    EXPECT_STREQ(image.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(image.Decode(&file, 7));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(image.Encode("/nonexistent-dir/x.bmp", 1));
}

TEST(BmpCodec, ModuleWithoutEncodersWritesNothing)
{
    const std::string path = std::string(KV_BINARY_DIR) + "/image_no_encoder.bmp";
    std::remove(path.c_str());
    CxImage image;
    ASSERT_TRUE(image.Create(2, 2, 24, 1));
    SetActiveProfileForTesting(kMensiloProfile);
    const bool bmp = image.Encode(path.c_str(), 1);
    const std::string bmpError = image.GetLastError();
    CxMemFile file;
    file.Open();
    const bool jpg = image.Encode(&file, 2);
    SetActiveProfileForTesting(kKavaroProfile);
    EXPECT_FALSE(bmp);
    EXPECT_FALSE(jpg);
    EXPECT_EQ(bmpError, "Encode: not available in this module");
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);

    ASSERT_TRUE(image.Encode(path.c_str(), 1));
    CxImage back;
    EXPECT_TRUE(back.Decode(path.c_str(), 0));
    std::remove(path.c_str());
}

} // namespace
} // namespace kv
