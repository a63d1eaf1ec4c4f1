#include "image_test_util.h"

#include "video/image/exif_reader.h"
#include "ximage.h"
#include "xmemfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace kv {
namespace {

using test::ReadFixture;

ExifInfo Scan(std::vector<std::uint8_t> bytes, bool* valid, std::string* error = nullptr)
{
    ExifInfo info{};
    CxMemFile file(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ExifReader reader(&file, &info);
    *valid = reader.Decode();
    EXPECT_EQ(file.Tell(), 0); // the position is restored
    if (error)
        *error = reader.GetLastError();
    return info;
}

TEST(ExifReader, ReadsLittleEndianExifWithCommentAndFrame)
{
    bool valid = false;
    const ExifInfo info = Scan(ReadFixture("exif_in72.jpg"), &valid);
    ASSERT_TRUE(valid);
    EXPECT_TRUE(info.isExif);
    EXPECT_FLOAT_EQ(info.xResolution, 72.0f);
    EXPECT_FLOAT_EQ(info.yResolution, 72.0f);
    EXPECT_FLOAT_EQ(info.resolutionUnit, 1.0f);
    EXPECT_EQ(info.orientation, 6);
    EXPECT_STREQ(info.cameraMake, "Camera");
    EXPECT_STREQ(info.comments, "first line\nsecond");
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_TRUE(info.isColor);
    EXPECT_EQ(info.process, 0xC0);
}

TEST(ExifReader, ReadsBigEndianExifWithCentimetres)
{
    bool valid = false;
    const ExifInfo info = Scan(ReadFixture("exif_cm.jpg"), &valid);
    ASSERT_TRUE(valid);
    EXPECT_NEAR(info.xResolution, 28.35, 1e-4);
    EXPECT_NEAR(info.resolutionUnit, 0.3937007874, 1e-7);
    EXPECT_NEAR(info.exposureTime, 0.01, 1e-6); // from the EXIF sub-directory
}

TEST(ExifReader, PlainJfifHasNoExif)
{
    bool valid = true;
    const ExifInfo info = Scan(ReadFixture("color.jpg"), &valid);
    EXPECT_FALSE(valid);
    EXPECT_EQ(info.width, 64);
}

std::vector<std::uint8_t> Section(int marker, const std::vector<std::uint8_t>& body)
{
    const std::size_t length = body.size() + 2;
    std::vector<std::uint8_t> v{0xFF, static_cast<std::uint8_t>(marker), static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length)};
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

std::vector<std::uint8_t> Jpeg(const std::vector<std::vector<std::uint8_t>>& sections)
{
    std::vector<std::uint8_t> v{0xFF, 0xD8};
    for (const auto& s : sections)
        v.insert(v.end(), s.begin(), s.end());
    return v;
}

TEST(ExifReader, SectionScanLimits)
{
    bool valid = true;
    std::string error;
    Scan({0x12, 0x34}, &valid);
    EXPECT_FALSE(valid);

    // Six 0xFF bytes before a marker code are accepted, seven are not.
    auto six = Jpeg({});
    six.insert(six.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'});
    six.insert(six.end(), {0xFF, 0xDA, 0x00, 0x02});
    ExifInfo info = Scan(six, &valid);
    EXPECT_STREQ(info.comments, "hi");
    auto seven = Jpeg({});
    seven.insert(seven.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'});
    info = Scan(seven, &valid);
    EXPECT_FALSE(valid);
    EXPECT_STREQ(info.comments, "");

    std::vector<std::vector<std::uint8_t>> many(21, Section(0xE0, {1, 2}));
    Scan(Jpeg(many), &valid, &error);
    EXPECT_FALSE(valid);
    EXPECT_EQ(error, "Too many sections in jpg file");

    Scan(Jpeg({{0xFF, 0xE0, 0x00, 0x01}}), &valid, &error);
    EXPECT_EQ(error, "invalid marker");
    Scan(Jpeg({{0xFF, 0xE0, 0x00, 0x10, 1, 2}}), &valid, &error);
    EXPECT_EQ(error, "Premature end of file?");
    Scan(Jpeg({{0xFF, 0xE0}}), &valid, &error);
    EXPECT_EQ(error, "Premature end of file?");
    Scan(Jpeg({Section(0xD9, {})}), &valid, &error);
    EXPECT_FALSE(valid);
}

TEST(ExifReader, OnlyTheFirstCommentIsKeptAndCleaned)
{
    bool valid = false;
    std::vector<std::uint8_t> text{'a', '\r', '\n', 'b', 0x01, '\t', 'c', '\n'};
    const ExifInfo info = Scan(Jpeg({Section(0xFE, text), Section(0xFE, {'x'}), Section(0xDA, {})}), &valid);
    EXPECT_STREQ(info.comments, "ab?\tc\n");

    std::vector<std::uint8_t> longText(1500, 'z');
    const ExifInfo capped = Scan(Jpeg({Section(0xFE, longText), Section(0xDA, {})}), &valid);
    EXPECT_EQ(std::strlen(capped.comments), 1000u);
}

// A TIFF block with one directory of entries (tag, format, count, value or offset).
struct Entry {
    std::uint16_t tag, format;
    std::uint32_t count, value;
};

std::vector<std::uint8_t> ExifSection(const std::vector<Entry>& entries, const std::vector<std::uint8_t>& tail = {},
                                      bool motorola = false, std::uint32_t firstOffset = 8)
{
    std::vector<std::uint8_t> tiff;
    auto put16 = [&](std::uint32_t v) {
        if (motorola) {
            tiff.push_back(static_cast<std::uint8_t>(v >> 8));
            tiff.push_back(static_cast<std::uint8_t>(v));
        } else {
            tiff.push_back(static_cast<std::uint8_t>(v));
            tiff.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    };
    auto put32 = [&](std::uint32_t v) {
        if (motorola) {
            put16(v >> 16);
            put16(v & 0xFFFF);
        } else {
            put16(v & 0xFFFF);
            put16(v >> 16);
        }
    };
    tiff.push_back(motorola ? 'M' : 'I');
    tiff.push_back(motorola ? 'M' : 'I');
    put16(42);
    put32(firstOffset);
    put16(static_cast<std::uint32_t>(entries.size()));
    for (const Entry& e : entries) {
        put16(e.tag);
        put16(e.format);
        put32(e.count);
        if (e.format == 3 && e.count == 1) {
            put16(e.value);
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0);
    tiff.insert(tiff.end(), tail.begin(), tail.end());
    std::vector<std::uint8_t> body{'E', 'x', 'i', 'f', 0, 0};
    body.insert(body.end(), tiff.begin(), tiff.end());
    return Section(0xE1, body);
}

bool Parse(const std::vector<std::uint8_t>& section, ExifInfo& info, std::string& error)
{
    CxMemFile unused;
    ExifReader reader(&unused, &info);
    const bool ok = reader.ProcessExif(section.data() + 2, section.size() - 2);
    error = reader.GetLastError();
    return ok;
}

TEST(ExifReader, ResolutionUnitsAndRationals)
{
    // Directory at 8: 2 + 4 x 12 + 4 = 54 bytes, so the rationals start at 62.
    struct Case {
        std::uint32_t unit;
        double factor;
    } cases[] = {{1, 1.0}, {2, 1.0}, {3, 0.3937007874}, {4, 0.03937007874}, {5, 0.00003937007874}, {7, 0.0}};
    for (bool motorola : {false, true}) {
        for (const Case& c : cases) {
            std::vector<std::uint8_t> tail;
            auto rational = [&](std::uint32_t num, std::uint32_t den) {
                for (std::uint32_t v : {num, den})
                    for (int i = 0; i < 4; ++i)
                        tail.push_back(static_cast<std::uint8_t>(motorola ? v >> (24 - 8 * i) : v >> (8 * i)));
            };
            rational(300, 1);
            rational(5, 0); // zero denominator reads as 0
            const auto section = ExifSection({{282, 5, 1, 62}, {283, 5, 1, 70}, {296, 3, 1, c.unit}, {274, 3, 1, 3}},
                                             tail, motorola);
            ExifInfo info{};
            std::string error;
            ASSERT_TRUE(Parse(section, info, error)) << error;
            EXPECT_FLOAT_EQ(info.xResolution, 300.0f);
            EXPECT_FLOAT_EQ(info.yResolution, 0.0f);
            EXPECT_NEAR(info.resolutionUnit, c.factor, c.factor * 1e-6) << c.unit;
            EXPECT_EQ(info.orientation, 3);
        }
    }
}

// Values far outside an integer field (an orientation of -1e10, a resolution unit of 1e10,
// both as doubles) are clamped instead of converted with undefined results.
TEST(ExifReader, OutOfRangeNumbersAreClampedToTheirFields)
{
    std::vector<std::uint8_t> tail;
    for (double v : {-1e10, 1e10}) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            tail.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    // directory at 8 with two entries: 2 + 2 x 12 + 4 bytes, so the doubles start at 38
    const auto section = ExifSection({{274, 12, 1, 38}, {296, 12, 1, 46}}, tail, false);
    ExifInfo info{};
    std::string error;
    Parse(section, info, error);
    EXPECT_EQ(info.orientation, 0);
    EXPECT_EQ(info.resolutionUnit, 0.0f);

    CxImage image;
    ASSERT_TRUE(image.Create(4, 4, 24));
    image.SetXDPI(2000000000);
    image.SetYDPI(-2000000000);
    CxMemFile bmp;
    bmp.Open();
    ASSERT_TRUE(image.Encode(&bmp, 1));
    const std::uint8_t* bytes = bmp.GetBuffer(false);
    std::int32_t xPels, yPels;  // the written file's header, after the 14-byte file header
    std::memcpy(&xPels, bytes + 14 + 24, 4);
    std::memcpy(&yPels, bytes + 14 + 28, 4);
    EXPECT_EQ(xPels, 2147483647);
    EXPECT_EQ(yPels, -2147483647 - 1);
}

TEST(ExifReader, MalformedDataEndsTheParseWithItsMessage)
{
    struct Case {
        std::vector<std::uint8_t> section;
        const char* message;
    };
    std::vector<Case> cases;
    auto base = ExifSection({{282, 5, 1, 26}});
    auto badHeader = base;
    badHeader[9] = 1;
    cases.push_back({badHeader, "Incorrect Exif header"});
    auto badOrder = base;
    badOrder[10] = 'X';
    cases.push_back({badOrder, "Invalid Exif alignment marker."});
    auto bad42 = base;
    bad42[12] = 43;
    cases.push_back({bad42, "Invalid Exif start (1)"});
    cases.push_back({ExifSection({{282, 13, 1, 0}}), "Illegal format code in EXIF dir"});
    cases.push_back({ExifSection({{282, 5, 1, 0xFFFFFFF0}}), "Illegal pointer offset value in EXIF."});
    cases.push_back({ExifSection({{282, 5, 0x40000000, 8}}), "Illegal pointer offset value in EXIF."});
    cases.push_back({ExifSection({{0x8769, 4, 1, 5000}}), "Illegal subdirectory link"});
    cases.push_back({ExifSection({{0x8769, 4, 1, 25}}), "Illegally sized directory"});
    auto bigCount = ExifSection({});
    bigCount[18] = 0xFF; // 255 entries claimed, none there
    cases.push_back({bigCount, "Illegally sized directory"});
    cases.push_back({ExifSection({}, {}, false, 4000), "Illegally sized directory"});
    for (const Case& c : cases) {
        ExifInfo info{};
        std::string error;
        EXPECT_FALSE(Parse(c.section, info, error)) << c.message;
        EXPECT_EQ(error, c.message);
        EXPECT_FALSE(info.isExif);
    }
}

TEST(ExifReader, SubdirectoriesAndRotation)
{
    // Directory 0 (at 8, 30 bytes) links to a sub-directory at 38 holding an exposure time at 68; the
    // sub-directory links to itself, which must not recurse forever.
    std::vector<std::uint8_t> tail;
    auto put16 = [&](std::uint32_t v) {
        tail.push_back(static_cast<std::uint8_t>(v));
        tail.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(2);
    put16(0x829A);
    put16(5);
    put32(1);
    put32(68);
    put16(0xA005);
    put16(4);
    put32(1);
    put32(38);
    put32(0);
    put32(1);
    put32(250);
    const auto section = ExifSection({{0x8769, 4, 1, 38}, {274, 3, 1, 9}}, tail);
    ExifInfo info{};
    std::string error;
    ASSERT_TRUE(Parse(section, info, error));
    EXPECT_NEAR(info.exposureTime, 0.004, 1e-7);
    EXPECT_EQ(info.orientation, 0);
    EXPECT_EQ(error, "Undefined rotation value");
}

TEST(ExifReader, ASecondDirectoryAtTheStatedOffset)
{
    // The first directory (at 8) is empty; the stated first offset points at a second one.
    std::vector<std::uint8_t> tail = {1, 0, 0x1A, 0x01, 3, 0, 1, 0, 0, 0, 96, 0, 0, 0, 0, 0, 0, 0};
    // Entry: X resolution, short, 1, value 96 (a short read as a number).
    const auto section = ExifSection({}, tail, false, 14);
    ExifInfo info{};
    std::string error;
    ASSERT_TRUE(Parse(section, info, error)) << error;
    EXPECT_FLOAT_EQ(info.xResolution, 96.0f);
}

} // namespace
} // namespace kv
