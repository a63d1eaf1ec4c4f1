#include "yuv2rgb.h"
#include "video/yuv2rgb32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

// One picture in the decoder's output layout, in a buffer of exactly that size so that an
// out-of-bounds read shows up under AddressSanitizer.
struct Yuv {
    int width;
    int height;
    std::vector<std::uint8_t> data;

    Yuv(int w, int h)
        : width(w), height(h),
          data(static_cast<std::size_t>(w) * h + 2 * static_cast<std::size_t>(w / 2) * (h / 2)) {}
    std::uint8_t* Y() { return data.data(); }
    std::uint8_t* U() { return data.data() + static_cast<std::size_t>(width) * height; }
    std::uint8_t* V() { return U() + static_cast<std::size_t>(width / 2) * (height / 2); }
    void Fill(std::uint8_t y, std::uint8_t u, std::uint8_t v) {
        std::memset(Y(), y, static_cast<std::size_t>(width) * height);
        std::memset(U(), u, static_cast<std::size_t>(width / 2) * (height / 2));
        std::memset(V(), v, static_cast<std::size_t>(width / 2) * (height / 2));
    }
    void Randomise(std::mt19937& rng) {
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    }
};

struct Bgr {
    std::uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Bgr& p) {
    return os << "(b " << int(p.b) << ", g " << int(p.g) << ", r " << int(p.r) << ")";
}

int Clip(std::int64_t sum) {
    // Floor division by 65536, written independently of the shift in the converter.
    std::int64_t v = sum >= 0 ? sum / 65536 : -((-sum + 65535) / 65536);
    return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
}

Bgr Expected(int y, int u, int v) {
    const std::int64_t yy = 76309LL * (y - 16);
    return {static_cast<std::uint8_t>(Clip(yy + 132201LL * (u - 128))),
            static_cast<std::uint8_t>(Clip(yy - 53279LL * (v - 128) - 25675LL * (u - 128))),
            static_cast<std::uint8_t>(Clip(yy + 104597LL * (v - 128)))};
}

// The documented chroma choice: sample (x / 2, y / 2), clamped to the last column or row of
// the plane; 128 when the plane is empty.
Bgr ExpectedPixel(Yuv& p, int x, int y) {
    const int cw = p.width / 2, ch = p.height / 2;
    int u = 128, v = 128;
    if (cw > 0 && ch > 0) {
        const int cx = std::min(x / 2, cw - 1), cy = std::min(y / 2, ch - 1);
        u = p.U()[cy * cw + cx];
        v = p.V()[cy * cw + cx];
    }
    return Expected(p.Y()[y * p.width + x], u, v);
}

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 64;

// Converts into a buffer with guard bytes behind it and checks they survive.
std::vector<std::uint8_t> Convert(Yuv& p, void (*convert)(const unsigned char*, unsigned char*, int, int) = ConvertYUVtoRGB) {
    const std::size_t size = static_cast<std::size_t>(p.width) * p.height * 3;
    std::vector<std::uint8_t> out(size + kGuardBytes, kGuard);
    convert(p.data.data(), out.data(), p.width, p.height);
    for (std::size_t i = size; i < out.size(); ++i) {
        EXPECT_EQ(out[i], kGuard) << "write past the picture at " << i - size;
    }
    out.resize(size);
    return out;
}

// Top picture row y is destination row height - 1 - y.
Bgr At(const std::vector<std::uint8_t>& out, const Yuv& p, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(p.height - 1 - y) * p.width + x) * 3;
    return {out[i], out[i + 1], out[i + 2]};
}

template <kv::Yuv2RgbPath Path>
void Via(const unsigned char* source, unsigned char* destination, int width, int height) {
    kv::ConvertYUVtoRGBUsing(Path, source, destination, width, height);
}

bool Supported(kv::Yuv2RgbPath path) {
    std::uint8_t src[6] = {}, dst[12] = {};
    return kv::ConvertYUVtoRGBUsing(path, src, dst, 2, 2);
}

class Yuv2Rgb : public ::testing::Test {
protected:
    void SetUp() override { init_YUV2RGB_tab(); }
    void TearDown() override { delete_YUV2RGB_tab(); }
};

TEST_F(Yuv2Rgb, ColourExamplesGiveTheTableValues) {
    struct Case {
        int y, u, v;
        Bgr want;
    } cases[] = {
        {16, 128, 128, {0, 0, 0}},
        // 76309 x 219 = 16 711 671 < 255 x 65536: the tables give 254 for nominal white.
        {235, 128, 128, {254, 254, 254}},
        {255, 128, 255, {255, 175, 255}}, // red clamps at 255
        {0, 0, 128, {0, 31, 0}},          // blue below 0 clamps to 0
        {81, 90, 240, {0, 0, 254}},       // BT.601 red
        {41, 240, 110, {255, 0, 0}},      // BT.601 blue
    };
    for (const auto& c : cases) {
        Yuv p(2, 2);
        p.Fill(static_cast<std::uint8_t>(c.y), static_cast<std::uint8_t>(c.u), static_cast<std::uint8_t>(c.v));
        const auto out = Convert(p);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ((Bgr{out[3 * i], out[3 * i + 1], out[3 * i + 2]}), c.want)
                << "Y " << c.y << " U " << c.u << " V " << c.v;
        }
        EXPECT_EQ(c.want, Expected(c.y, c.u, c.v));
    }
}

TEST_F(Yuv2Rgb, TablesHoldTheDefinedEntries) {
    const std::int32_t* y = kv::Yuv2RgbCoefficientTable(0);
    EXPECT_EQ(y[16], 0);
    EXPECT_EQ(y[235], 76309 * 219);
    EXPECT_EQ(y[0], -76309 * 16);
    EXPECT_EQ(kv::Yuv2RgbCoefficientTable(1)[255], 104597 * 127);
    EXPECT_EQ(kv::Yuv2RgbCoefficientTable(2)[0], 25675 * -128);
    EXPECT_EQ(kv::Yuv2RgbCoefficientTable(3)[200], 53279 * 72);
    EXPECT_EQ(kv::Yuv2RgbCoefficientTable(4)[128], 0);
    EXPECT_EQ(kv::Yuv2RgbCoefficientTable(4)[1], 132201 * -127);
    const unsigned char* clip = kv::Yuv2RgbClipTable();
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip[-384], 0);
    EXPECT_EQ(clip[-1], 0);
    EXPECT_EQ(clip[0], 0);
    EXPECT_EQ(clip[100], 100);
    EXPECT_EQ(clip[255], 255);
    EXPECT_EQ(clip[256], 255);
    EXPECT_EQ(clip[639], 255);
}

TEST_F(Yuv2Rgb, QvgaPictureIsBottomUpWithoutPadding) {
    Yuv p(320, 240);
    p.Fill(235, 128, 128);
    std::memset(p.Y(), 16, 320);  // top row black
    const auto out = Convert(p);
    ASSERT_EQ(out.size(), 230400u);
    for (std::size_t i = 0; i < 960; ++i) {
        ASSERT_EQ(out[230400 - 960 + i], 0) << i;  // the top row is the last destination row
        ASSERT_EQ(out[i], 254) << i;               // the first 960 bytes are the bottom row
    }
    EXPECT_EQ(out[230400 - 961], 254);
}

TEST_F(Yuv2Rgb, EveryPathMatchesTheFormulaForRandomPictures) {
    std::mt19937 rng(7);
    // Widths that end the 32-pixel and 16-pixel vector runs in every way.
    const int sizes[][2] = {{320, 240}, {640, 480}, {176, 144}, {200, 150}, {16, 2}, {32, 4},
                            {48, 6}, {18, 4}, {34, 2}, {64, 1}, {80, 4}, {50, 3}, {96, 2}, {33, 2}, {1024, 2}};
    const bool avx2 = Supported(kv::Yuv2RgbPath::Avx2);
    const bool avx512 = Supported(kv::Yuv2RgbPath::Avx512);
    if (!avx2 || !avx512) {
        std::printf("vector paths on this processor: AVX2 %s, AVX-512 %s\n", avx2 ? "yes" : "no", avx512 ? "yes" : "no");
    }
    for (const auto& s : sizes) {
        Yuv p(s[0], s[1]);
        p.Randomise(rng);
        const auto out = Convert(p);
        ASSERT_EQ(out, Convert(p, Via<kv::Yuv2RgbPath::Tables>)) << s[0] << "x" << s[1];
        if (avx2) {
            ASSERT_EQ(out, Convert(p, Via<kv::Yuv2RgbPath::Avx2>)) << s[0] << "x" << s[1];
        }
        if (avx512) {
            ASSERT_EQ(out, Convert(p, Via<kv::Yuv2RgbPath::Avx512>)) << s[0] << "x" << s[1];
        }
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                ASSERT_EQ(At(out, p, x, y), ExpectedPixel(p, x, y)) << s[0] << "x" << s[1] << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(Yuv2Rgb, EverySampleCombinationGivesTheFormula) {
    // All 2^24 (Y, U, V) triples: one picture per U value; luma row pairs with Y rising along
    // the first row and falling along the second, V = the chroma row. The vector paths split
    // the sums into 16-bit parts, so this checks that split for every input.
    Yuv p(512, 512);
    for (int row = 0; row < 512; ++row) {
        for (int x = 0; x < 512; ++x) {
            p.Y()[row * 512 + x] = static_cast<std::uint8_t>(row % 2 == 0 ? x / 2 : 255 - x / 2);
        }
    }
    for (int row = 0; row < 256; ++row) {
        std::memset(p.V() + row * 256, row, 256);
    }
    std::vector<void (*)(const unsigned char*, unsigned char*, int, int)> paths;
    if (Supported(kv::Yuv2RgbPath::Avx512)) paths.push_back(Via<kv::Yuv2RgbPath::Avx512>);
    if (Supported(kv::Yuv2RgbPath::Avx2)) paths.push_back(Via<kv::Yuv2RgbPath::Avx2>);
    if (paths.empty()) paths.push_back(ConvertYUVtoRGB);
    for (auto path : paths) {
        for (int u = 0; u < 256; ++u) {
            std::memset(p.U(), u, 256 * 256);
            const auto out = Convert(p, path);
            for (int row = 0; row < 512; ++row) {
                const int v = row / 2;
                for (int x = 0; x < 512; x += 2) {
                    const Bgr want = Expected(p.Y()[row * 512 + x], u, v);
                    ASSERT_EQ(At(out, p, x, row), want)
                        << "Y " << int(p.Y()[row * 512 + x]) << " U " << u << " V " << v;
                }
            }
        }
    }
}

TEST_F(Yuv2Rgb, OddSizesAreConvertedExactlyWithinThePlanes) {
    std::mt19937 rng(11);
    const int sizes[][2] = {{1, 1}, {1, 2}, {2, 1}, {3, 3}, {5, 7}, {17, 9}, {33, 5}, {31, 31},
                            {47, 3}, {15, 16}, {16, 15}, {35, 1}, {1, 35}, {201, 151}};
    for (const auto& s : sizes) {
        Yuv p(s[0], s[1]);
        p.Randomise(rng);
        const auto out = Convert(p);
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                ASSERT_EQ(At(out, p, x, y), ExpectedPixel(p, x, y)) << s[0] << "x" << s[1] << " at " << x << "," << y;
            }
        }
    }
}

// The 32-bit rows give the formula's colours, opaque, top-down, for odd and even sizes and
// widths on each side of the vector paths' steps; nothing past a row is touched.
TEST_F(Yuv2Rgb, RowsOf32BitPixelsHoldTheSameColoursTopDown) {
    std::mt19937 rng(23);
    const int sizes[][2] = {{1, 1}, {2, 1}, {1, 3}, {3, 3}, {17, 9}, {31, 31}, {32, 2}, {33, 5},
                            {64, 7}, {65, 4}, {201, 151}, {640, 480}};
    for (const auto& s : sizes) {
        Yuv p(s[0], s[1]);
        p.Randomise(rng);
        const std::size_t stride = static_cast<std::size_t>(p.width) * 4 + 20;
        std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(p.height), kGuard);
        ASSERT_TRUE(kv::ConvertYUVtoRows32(p.data.data(), p.width, p.height, {rows.data(), stride, p.width, p.height}));
        for (int y = 0; y < p.height; ++y) {
            const std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < p.width; ++x) {
                std::uint32_t value;
                std::memcpy(&value, row + 4 * x, 4);
                const Bgr got{std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16)};
                ASSERT_EQ(value >> 24, 0xFFu) << s[0] << "x" << s[1] << " at " << x << "," << y;
                ASSERT_EQ(got, ExpectedPixel(p, x, y)) << s[0] << "x" << s[1] << " at " << x << "," << y;
            }
            for (std::size_t k = 4 * static_cast<std::size_t>(p.width); k < stride; ++k)
                ASSERT_EQ(row[k], kGuard) << "past row " << y << " of " << s[0] << "x" << s[1];
        }
    }

    // Refused with nothing written: rows of another size, no tables.
    Yuv p(4, 4);
    std::vector<std::uint8_t> rows(64, kGuard);
    EXPECT_FALSE(kv::ConvertYUVtoRows32(p.data.data(), 4, 4, {rows.data(), 16, 4, 3}));
    EXPECT_FALSE(kv::ConvertYUVtoRows32(p.data.data(), 4, 4, {}));
    delete_YUV2RGB_tab();
    EXPECT_FALSE(kv::ConvertYUVtoRows32(p.data.data(), 4, 4, {rows.data(), 16, 4, 4}));
    for (auto b : rows) ASSERT_EQ(b, kGuard);
}

TEST_F(Yuv2Rgb, NothingIsWrittenForEmptyPicturesOrNullPointers) {
    std::vector<std::uint8_t> src(64, 128);
    std::vector<std::uint8_t> dst(64, kGuard);
    ConvertYUVtoRGB(src.data(), dst.data(), 4, 0);
    ConvertYUVtoRGB(src.data(), dst.data(), 4, -2);
    ConvertYUVtoRGB(src.data(), dst.data(), 0, 4);
    ConvertYUVtoRGB(src.data(), dst.data(), -4, 4);
    ConvertYUVtoRGB(nullptr, dst.data(), 2, 2);
    ConvertYUVtoRGB(src.data(), nullptr, 2, 2);
    for (auto b : dst) ASSERT_EQ(b, kGuard);
}

TEST_F(Yuv2Rgb, SecondInitKeepsTheTablesAndDeleteThenInitBuildsThemAgain) {
    const unsigned char* first = kv::Yuv2RgbClipTable();
    ASSERT_NE(first, nullptr);
    init_YUV2RGB_tab();
    EXPECT_EQ(kv::Yuv2RgbClipTable(), first);

    delete_YUV2RGB_tab();
    EXPECT_EQ(kv::Yuv2RgbClipTable(), nullptr);
    delete_YUV2RGB_tab();  // twice is harmless

    // Without tables a conversion leaves the destination alone.
    Yuv p(4, 4);
    p.Fill(235, 128, 128);
    std::vector<std::uint8_t> dst(48, kGuard);
    ConvertYUVtoRGB(p.data.data(), dst.data(), 4, 4);
    for (auto b : dst) ASSERT_EQ(b, kGuard);

    init_YUV2RGB_tab();
    ASSERT_NE(kv::Yuv2RgbClipTable(), nullptr);
    ConvertYUVtoRGB(p.data.data(), dst.data(), 4, 4);
    for (auto b : dst) ASSERT_EQ(b, 254);
}

TEST(Yuv2RgbTables, ConcurrentInitsBuildOneTableThatConversionsUse) {
    delete_YUV2RGB_tab();
    std::vector<std::thread> threads;
    std::vector<std::vector<std::uint8_t>> outputs(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &outputs] {
            init_YUV2RGB_tab();
            Yuv p(64, 8);
            p.Fill(235, 128, 128);
            outputs[static_cast<std::size_t>(t)].assign(64 * 8 * 3, 0);
            ConvertYUVtoRGB(p.data.data(), outputs[static_cast<std::size_t>(t)].data(), 64, 8);
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& out : outputs) {
        for (auto b : out) ASSERT_EQ(b, 254);
    }
    const unsigned char* clip = kv::Yuv2RgbClipTable();
    ASSERT_NE(clip, nullptr);
    init_YUV2RGB_tab();
    EXPECT_EQ(kv::Yuv2RgbClipTable(), clip);
    delete_YUV2RGB_tab();
}

} // namespace
