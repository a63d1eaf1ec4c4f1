#include "image_test_util.h"

#include "xmemfile.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <csetjmp>
#include <thread>
#include <vector>

#include <jpeglib.h>

namespace kv {
namespace {

using test::ReadFixture;
using test::TopDownRgb;

CxImage DecodeFixture(const char* name, std::uint32_t options = 0)
{
    const auto bytes = ReadFixture(name);
    CxImage image;
    image.SetCodecOption(options);
    EXPECT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CXIMAGE_FORMAT_JPG))
        << name << ": " << image.GetLastError();
    return image;
}

// A reference decode straight through the library, in the colour space asked for.
struct BareDecode {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> pixels; // top-down
};

BareDecode LibjpegDecode(const std::vector<std::uint8_t>& bytes, J_COLOR_SPACE space)
{
    BareDecode out;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = space;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.components = cinfo.output_components;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * out.components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * out.components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

std::vector<std::uint8_t> Encoded(CxImage& image, std::uint32_t format = CXIMAGE_FORMAT_JPG)
{
    std::uint8_t* buffer = nullptr;
    std::int32_t size = 0;
    EXPECT_TRUE(image.Encode(buffer, size, format)) << image.GetLastError();
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    CxImage::FreeMemory(buffer);
    return bytes;
}

TEST(JpegCodec, ColourDecodesLikeTheReferenceDecoder)
{
    CxImage image = DecodeFixture("color.jpg");
    EXPECT_EQ(image.GetType(), CXIMAGE_FORMAT_JPG);
    EXPECT_EQ(image.GetBpp(), 24);
    EXPECT_EQ(image.GetNumColors(), 0u);
    EXPECT_EQ(image.GetWidth(), 64u);
    EXPECT_EQ(image.GetHeight(), 48u);
    EXPECT_EQ(TopDownRgb(image), ReadFixture("color.rgb"));
}

TEST(JpegCodec, GreyscaleGivesAGreyRampAndEncodesAsOneComponent)
{
    CxImage image = DecodeFixture("grey.jpg");
    EXPECT_EQ(image.GetBpp(), 8);
    EXPECT_EQ(image.GetNumColors(), 256u);
    EXPECT_TRUE(image.IsGreyRamp());
    const auto expected = ReadFixture("grey.gray");
    std::vector<std::uint8_t> grey;
    for (long row = 47; row >= 0; --row)
        grey.insert(grey.end(), image.RowPointer(row), image.RowPointer(row) + 64);
    EXPECT_EQ(grey, expected);

    const auto written = Encoded(image);
    const BareDecode back = LibjpegDecode(written, JCS_GRAYSCALE);
    EXPECT_EQ(back.components, 1);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, written.data(), static_cast<unsigned long>(written.size()));
    jpeg_read_header(&cinfo, TRUE);
    EXPECT_EQ(cinfo.num_components, 1);
    EXPECT_EQ(cinfo.jpeg_color_space, JCS_GRAYSCALE);
    jpeg_destroy_decompress(&cinfo);
}

TEST(JpegCodec, FourComponentsAreWeightedByK)
{
    const auto bytes = ReadFixture("cmyk.jpg");
    const BareDecode raw = LibjpegDecode(bytes, JCS_CMYK);
    ASSERT_EQ(raw.components, 4);
    CxImage image = DecodeFixture("cmyk.jpg");
    ASSERT_EQ(image.GetBpp(), 24);
    for (int y = 0; y < raw.height; ++y) {
        const std::uint8_t* row = image.RowPointer(raw.height - 1 - y);
        for (int x = 0; x < raw.width; ++x) {
            const std::uint8_t* s = &raw.pixels[(static_cast<std::size_t>(y) * raw.width + x) * 4];
            const unsigned k = s[3];
            ASSERT_EQ(row[3 * x + 0], k * s[2] / 255) << x << "," << y;
            ASSERT_EQ(row[3 * x + 1], k * s[1] / 255);
            ASSERT_EQ(row[3 * x + 2], k * s[0] / 255);
        }
    }
}

TEST(JpegCodec, TruncatedDataStillDecodes)
{
    CxImage image = DecodeFixture("truncated.jpg");
    EXPECT_EQ(TopDownRgb(image), ReadFixture("truncated.rgb"));
}

TEST(JpegCodec, EscapeReportsDimensionsOrCancels)
{
    const auto bytes = ReadFixture("color.jpg");
    CxImage image;
    image.SetEscape(-1);
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 64u);
    EXPECT_EQ(image.GetHeight(), 48u);

    image.SetJpegScale(2);
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2));
    EXPECT_EQ(image.GetWidth(), 32u);

    CxImage cancelled;
    cancelled.SetEscape(3);
    EXPECT_FALSE(cancelled.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2));
    EXPECT_FALSE(cancelled.IsValid());
}

TEST(JpegCodec, ScaleDenominatorShrinksTheOutput)
{
    const auto bytes = ReadFixture("color.jpg");
    CxImage image;
    image.SetJpegScale(4);
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2));
    EXPECT_EQ(image.GetWidth(), 16u);
    EXPECT_EQ(image.GetHeight(), 12u);
}

TEST(JpegCodec, ResolutionFromExifFirstThenJfifDensity)
{
    struct Case {
        const char* file;
        std::int32_t dpi;
    } cases[] = {{"dpi_cm38.jpg", 97}, {"dpi_in72.jpg", 72}, {"color.jpg", 1}, {"exif_in72.jpg", 72},
                 {"exif_cm.jpg", 72}};
    for (const Case& c : cases) {
        CxImage image = DecodeFixture(c.file);
        EXPECT_EQ(image.GetXDPI(), c.dpi) << c.file;
        EXPECT_EQ(image.GetYDPI(), c.dpi) << c.file;
    }
}

TEST(JpegCodec, WritesQualityNinetyWithDensityInDotsPerInch)
{
    CxImage image = DecodeFixture("color.jpg");
    image.SetXDPI(0);
    image.SetYDPI(0);
    auto bytes = Encoded(image);
    ASSERT_GT(bytes.size(), 20u);
    ASSERT_EQ(std::memcmp(bytes.data() + 6, "JFIF", 5), 0);
    EXPECT_EQ(bytes[13], 1); // dots per inch
    EXPECT_EQ(bytes[14] << 8 | bytes[15], 0);
    EXPECT_EQ(bytes[16] << 8 | bytes[17], 0);

    image.SetXDPI(300);
    image.SetYDPI(150);
    bytes = Encoded(image);
    EXPECT_EQ(bytes[14] << 8 | bytes[15], 300);
    EXPECT_EQ(bytes[16] << 8 | bytes[17], 150);

    // Same tables as the library's own quality-90 encode of the same pixels.
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* reference = nullptr;
    unsigned long referenceSize = 0;
    jpeg_mem_dest(&cinfo, &reference, &referenceSize);
    cinfo.image_width = 64;
    cinfo.image_height = 48;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, FALSE);
    cinfo.density_unit = 1;
    cinfo.X_density = 300;
    cinfo.Y_density = 150;
    jpeg_start_compress(&cinfo, TRUE);
    const auto rgb = TopDownRgb(image);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + cinfo.next_scanline * 64 * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(reference, reference + referenceSize));
    std::free(reference);
}

TEST(JpegCodec, PaletteImagesMustBeGreyRamps)
{
    CxImage image;
    ASSERT_TRUE(image.Create(4, 4, 4, 1));
    const std::uint8_t red[16] = {255, 0, 0, 10};
    image.SetPalette(16, red, nullptr, nullptr);
    std::memset(image.RowPointer(0), 0x12, image.GetHeader().biSizeImage);
    CxMemFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(image.Encode(&file, CXIMAGE_FORMAT_JPG));
    EXPECT_STREQ(image.GetLastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(file.Size(), 0);
    EXPECT_FALSE(Encoded(image, CXIMAGE_FORMAT_BMP).empty());
}

TEST(JpegCodec, LowBitGreyRampIsWidenedBeforeEncoding)
{
    // A 4-bit palette whose entries equal their index counts as a grey ramp; each pixel must
    // reach the library as one byte.
    CxImage image;
    ASSERT_TRUE(image.Create(9, 2, 4, 1));
    std::uint8_t ramp[16];
    for (int i = 0; i < 16; ++i)
        ramp[i] = static_cast<std::uint8_t>(i);
    image.SetPalette(16, ramp);
    ASSERT_TRUE(image.IsGreyRamp());
    std::memset(image.RowPointer(0), 0xFF, image.GetHeader().biSizeImage);
    const auto bytes = Encoded(image);
    const BareDecode back = LibjpegDecode(bytes, JCS_GRAYSCALE);
    ASSERT_EQ(back.width, 9);
    for (std::uint8_t v : back.pixels)
        EXPECT_NEAR(v, 15, 2);
}

TEST(JpegCodec, FormatZeroFallsBackFromBmpToJpeg)
{
    const auto bytes = ReadFixture("color.jpg");
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(image.GetType(), CXIMAGE_FORMAT_JPG);
    EXPECT_STREQ(image.GetLastError(), "");
    EXPECT_EQ(TopDownRgb(image), ReadFixture("color.rgb"));

    const std::uint8_t junk[64] = {0x12, 0x34};
    EXPECT_FALSE(image.Decode(junk, sizeof(junk), CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_STREQ(image.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_TRUE(image.IsValid()); // the previous picture stays
}

TEST(JpegCodec, LibraryErrorsBecomeTheLastError)
{
    CxImage image;
    const std::uint8_t notJpeg[8] = {0x12, 0x34, 0, 0};
    EXPECT_FALSE(image.Decode(notJpeg, sizeof(notJpeg), 2));
    EXPECT_STREQ(image.GetLastError(), "Not a JPEG file: starts with 0x12 0x34");
    EXPECT_FALSE(image.Decode(notJpeg, 0, 2));
    EXPECT_STREQ(image.GetLastError(), "Empty input file");
}

TEST(JpegCodec, DecodeOptions)
{
    CxImage grey = DecodeFixture("color.jpg", CXIMAGE_JPEG_DEC_GREY);
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_TRUE(grey.IsGreyRamp());

    const auto bytes = ReadFixture("color.jpg");
    CxImage quantized;
    quantized.SetCodecOption(CXIMAGE_JPEG_QUANTIZE | CXIMAGE_JPEG_ONEPASS | CXIMAGE_JPEG_DITHER);
    quantized.SetJpegQuality(32);
    ASSERT_TRUE(quantized.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2));
    EXPECT_EQ(quantized.GetBpp(), 8);
    ASSERT_GT(quantized.GetNumColors(), 0u);
    EXPECT_LE(quantized.GetNumColors(), 32u);
    // The block stays a valid DIB: pixels follow the used palette entries.
    EXPECT_EQ(quantized.RowPointer(0),
              static_cast<std::uint8_t*>(quantized.GetDIB()) + 40 + quantized.GetNumColors() * 4);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(quantized.GetDIB());
    EXPECT_EQ(header->biClrUsed, quantized.GetNumColors());
    // Same colours as the library's own quantized decode with the same settings.
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 32;
    cinfo.two_pass_quantize = FALSE;
    cinfo.dither_mode = JDITHER_ORDERED;
    jpeg_start_decompress(&cinfo);
    std::vector<std::uint8_t> reference;
    std::vector<std::uint8_t> row(cinfo.output_width);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
        for (std::uint8_t idx : row)
            for (int c = 0; c < 3; ++c)
                reference.push_back(cinfo.colormap[c][idx]);
    }
    EXPECT_EQ(quantized.GetNumColors(), static_cast<std::uint32_t>(cinfo.actual_number_of_colors));
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    EXPECT_EQ(TopDownRgb(quantized), reference);

    CxImage plain = DecodeFixture("color.jpg", CXIMAGE_JPEG_NOSMOOTH);
    EXPECT_EQ(plain.GetBpp(), 24);
}

} // namespace
} // namespace kv

namespace kv {
namespace {

TEST(JpegCodec, ImagesDecodeOnSeveralThreadsAtOnce)
{
    const auto bytes = test::ReadFixture("exif_in72.jpg");
    const auto expected = test::ReadFixture("color.rgb");
    std::vector<std::thread> threads;
    std::atomic<int> matches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                CxImage image;
                if (image.Decode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 2) &&
                    test::TopDownRgb(image) == expected && image.GetXDPI() == 72)
                    ++matches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(matches.load(), 80);
}

} // namespace
} // namespace kv

namespace kv {
namespace {

// A stream that accepts a fixed number of bytes and then refuses every write.
class FullDisk : public CxMemFile {
public:
    explicit FullDisk(std::size_t room) : m_room(room) { Open(); }
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override
    {
        if (size * count > m_room)
            return 0;
        m_room -= size * count;
        return CxMemFile::Write(buffer, size, count);
    }

private:
    std::size_t m_room;
};

TEST(Encoders, WriteFailuresAreReported)
{
    CxImage image;
    ASSERT_TRUE(image.Create(300, 200, 24, 1));
    for (long row = 0; row < 200; ++row)
        for (std::uint32_t i = 0; i < image.GetEffWidth(); ++i)
            image.RowPointer(row)[i] = static_cast<std::uint8_t>(i * 7 + row * 13);
    FullDisk jpeg(5000);
    EXPECT_FALSE(image.Encode(&jpeg, CXIMAGE_FORMAT_JPG));
    EXPECT_STREQ(image.GetLastError(), "Output file write error --- out of disk space?");
    FullDisk bmp(100);
    EXPECT_FALSE(image.Encode(&bmp, CXIMAGE_FORMAT_BMP));
    EXPECT_STREQ(image.GetLastError(), "Error writing BMP file");
    FullDisk roomy(1 << 20);
    EXPECT_TRUE(image.Encode(&roomy, CXIMAGE_FORMAT_JPG));
}

} // namespace
} // namespace kv
