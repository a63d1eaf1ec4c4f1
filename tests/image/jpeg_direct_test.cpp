// JPEG straight into 32-bit rows: the same pixels, the same refusals as the image decode, and
// rows lent only for pictures that will be written whole.
#include "image_test_util.h"

#include "video/image/jpeg_direct.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace kv {
namespace {

using test::ReadFixture;
using test::TopDownRgb;

// Lends rows with a stride wider than the picture; the bytes past each row must stay as
// they were.
class TestLender final : public IPixelLender {
public:
    PixelBuffer32 Lend(int width, int height) override
    {
        ++asked;
        if (decline)
            return {};
        this->width = width;
        this->height = height;
        stride = static_cast<std::size_t>(width) * 4 + 8;
        rows.assign(stride * static_cast<std::size_t>(height), 0xA5);
        return {rows.data(), stride, width, height};
    }

    // Top-down red, green, blue, as TopDownRgb gives them; false when a pixel is not opaque
    // or a padding byte changed.
    bool Rgb(std::vector<std::uint8_t>& out) const
    {
        out.clear();
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x) {
                std::uint32_t value;
                std::memcpy(&value, row + 4 * x, 4);
                if ((value >> 24) != 0xFF)
                    return false;
                out.insert(out.end(), {std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value)});
            }
            for (std::size_t k = 4 * static_cast<std::size_t>(width); k < stride; ++k)
                if (row[k] != 0xA5)
                    return false;
        }
        return true;
    }

    bool decline = false;
    int asked = 0;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> rows;
};

// A width by height picture of smooth colour with some edges, encoded with the given
// sampling of the first component (2x2: 4:2:0, 2x1: 4:2:2, 1x1: 4:4:4), optionally
// progressive.
std::vector<std::uint8_t> Encode(int width, int height, int h, int v, bool progressive)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / std::max(width - 1, 1));
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / std::max(height - 1, 1));
            row[3 * x + 2] = static_cast<std::uint8_t>(((x / 5 + y / 3) & 1) ? 230 : 20);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// What the image decode makes of bytes: its pixels, or nothing when it fails.
std::optional<std::vector<std::uint8_t>> ImageDecode(const std::vector<std::uint8_t>& bytes)
{
    CxImage image;
    if (!image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CXIMAGE_FORMAT_JPG))
        return std::nullopt;
    return TopDownRgb(image);
}

// Decodes both ways and compares: both fail, or both give the same pixels.
void ExpectSameAsImageDecode(const std::vector<std::uint8_t>& bytes, const std::string& what)
{
    TestLender lender;
    const JpegDirectResult result = DecodeJpegTo32(bytes.data(), bytes.size(), lender);
    const auto reference = ImageDecode(bytes);
    ASSERT_NE(result, JpegDirectResult::Declined) << what;
    ASSERT_EQ(result == JpegDirectResult::Decoded, reference.has_value()) << what;
    EXPECT_LE(lender.asked, 1) << what;
    if (!reference)
        return;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(lender.Rgb(rgb)) << what << ": a pixel not opaque or a row overrun";
    EXPECT_EQ(rgb, *reference) << what;
}

TEST(JpegDirect, PixelsAreThoseOfTheImageDecodeForEverySamplingAndSize)
{
    for (const char* name : {"color.jpg", "grey.jpg", "truncated.jpg", "exif_in72.jpg", "dpi_cm38.jpg"})
        ExpectSameAsImageDecode(ReadFixture(name), name);
    const struct {
        int width, height, h, v;
        bool progressive;
    } cases[] = {
        {640, 480, 2, 2, false}, {1, 1, 2, 2, false},  {17, 9, 2, 2, false}, {33, 31, 2, 1, false},
        {31, 17, 1, 1, false},   {50, 37, 2, 2, true}, {7, 300, 1, 2, false},
    };
    for (const auto& c : cases)
        ExpectSameAsImageDecode(Encode(c.width, c.height, c.h, c.v, c.progressive),
                                std::to_string(c.width) + "x" + std::to_string(c.height) + " sampling " +
                                    std::to_string(c.h) + "x" + std::to_string(c.v) + (c.progressive ? " progressive" : ""));
}

TEST(JpegDirect, DamagedDataFailsOrDecodesExactlyAsTheImageDecodeDoes)
{
    const std::vector<std::uint8_t> colour = ReadFixture("color.jpg");
    ExpectSameAsImageDecode({}, "empty");
    ExpectSameAsImageDecode(std::vector<std::uint8_t>(500, 0x5A), "not a JPEG");
    for (std::size_t cut : {2u, 20u, 200u, 400u})
        ExpectSameAsImageDecode({colour.begin(), colour.begin() + static_cast<long>(std::min(cut, colour.size()))},
                                "cut at " + std::to_string(cut));
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> bytes = colour;
        for (int k = 0; k < 1 + round % 4; ++k)
            bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        ExpectSameAsImageDecode(bytes, "mutation round " + std::to_string(round));
    }
}

TEST(JpegDirect, RowsAreAskedForOnlyWhenThePictureCanBeWrittenWhole)
{
    // Four components: the image decode's own conversion is needed, nothing is lent.
    TestLender cmyk;
    const auto cmykBytes = ReadFixture("cmyk.jpg");
    EXPECT_EQ(DecodeJpegTo32(cmykBytes.data(), cmykBytes.size(), cmyk), JpegDirectResult::Declined);
    EXPECT_EQ(cmyk.asked, 0);

    // A lender that declines gets the picture declined, not failed.
    const auto colour = ReadFixture("color.jpg");
    TestLender declining;
    declining.decline = true;
    EXPECT_EQ(DecodeJpegTo32(colour.data(), colour.size(), declining), JpegDirectResult::Declined);
    EXPECT_EQ(declining.asked, 1);

    // A header asking for more than any image may take fails before rows are asked for, as
    // the image decode fails.
    std::vector<std::uint8_t> huge = colour;
    for (std::size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0x75, huge[i + 6] = 0x30;  // height 30000
            huge[i + 7] = 0x75, huge[i + 8] = 0x30;  // width 30000: within the library's limits
            break;
        }
    TestLender big;
    EXPECT_EQ(DecodeJpegTo32(huge.data(), huge.size(), big), JpegDirectResult::Failed);
    EXPECT_EQ(big.asked, 0);
    EXPECT_FALSE(ImageDecode(huge).has_value());

    // Tables missing: the header reads, the rows are lent, then decoding fails.
    TestLender partial;
    const auto noTables = test::WithoutQuantTables(colour);
    EXPECT_EQ(DecodeJpegTo32(noTables.data(), noTables.size(), partial), JpegDirectResult::Failed);
    EXPECT_EQ(partial.asked, 1);
    EXPECT_FALSE(ImageDecode(noTables).has_value());
}

TEST(JpegDirect, WhatTheLenderThrowsPassesThrough)
{
    struct Throwing final : IPixelLender {
        PixelBuffer32 Lend(int, int) override { throw std::bad_alloc(); }
    } lender;
    const auto colour = ReadFixture("color.jpg");
    EXPECT_THROW(DecodeJpegTo32(colour.data(), colour.size(), lender), std::bad_alloc);
}

} // namespace
} // namespace kv
