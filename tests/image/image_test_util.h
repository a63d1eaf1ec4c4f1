// Helpers shared by the image tests: fixture files and pictures as top-down RGB bytes.
#pragma once

#include "ximage.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kv::test {

inline std::string FixturePath(const std::string& name)
{
    return std::string(KV_TEST_DATA_DIR) + "/image/" + name;
}

inline std::vector<std::uint8_t> ReadFixture(const std::string& name)
{
    std::ifstream in(FixturePath(name), std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The picture as top-down red, green, blue bytes, palettes resolved.
inline std::vector<std::uint8_t> TopDownRgb(const CxImage& image)
{
    std::vector<std::uint8_t> out;
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = image.RowPointer(static_cast<long>(h - 1 - y));
        for (std::uint32_t x = 0; x < w; ++x) {
            RGBQUAD c{};
            switch (image.GetBpp()) {
            case 24: c = RGBQUAD{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0}; break;
            case 8: c = image.GetPaletteColor(row[x]); break;
            case 4: c = image.GetPaletteColor((x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4)); break;
            case 1: c = image.GetPaletteColor((row[x / 8] >> (7 - x % 8)) & 1); break;
            }
            out.push_back(c.rgbRed);
            out.push_back(c.rgbGreen);
            out.push_back(c.rgbBlue);
        }
    }
    return out;
}

// The JPEG with its quantisation tables (DQT segments) left out: the header still reads,
// decoding fails once it starts. Segments are walked up to the start of the scan.
inline std::vector<std::uint8_t> WithoutQuantTables(const std::vector<std::uint8_t>& jpeg)
{
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + std::min<std::size_t>(2, jpeg.size()));
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = (std::size_t(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (marker == 0xDA)
            break;  // the scan and what follows are kept whole
        if (marker != 0xDB)
            out.insert(out.end(), jpeg.begin() + static_cast<long>(i),
                       jpeg.begin() + static_cast<long>(std::min(jpeg.size(), i + 2 + length)));
        i += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<long>(std::min(i, jpeg.size())), jpeg.end());
    return out;
}

// Little-endian writers for hand-built files.
inline void Put16(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void Put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A 40-byte info header.
inline std::vector<std::uint8_t> InfoHeader(std::int32_t w, std::int32_t h, std::uint16_t bpp, std::uint32_t comp,
                                            std::uint32_t image, std::uint32_t used, std::int32_t ppm = 0)
{
    std::vector<std::uint8_t> v;
    Put32(v, 40);
    Put32(v, static_cast<std::uint32_t>(w));
    Put32(v, static_cast<std::uint32_t>(h));
    Put16(v, 1);
    Put16(v, bpp);
    Put32(v, comp);
    Put32(v, image);
    Put32(v, static_cast<std::uint32_t>(ppm));
    Put32(v, static_cast<std::uint32_t>(ppm));
    Put32(v, used);
    Put32(v, 0);
    return v;
}

// "BM" file header in front of the given DIB bytes; data offset given explicitly.
inline std::vector<std::uint8_t> WithFileHeader(const std::vector<std::uint8_t>& dib, std::uint32_t dataOffset)
{
    std::vector<std::uint8_t> v{'B', 'M'};
    Put32(v, static_cast<std::uint32_t>(dib.size() + 14));
    Put32(v, 0);
    Put32(v, dataOffset);
    v.insert(v.end(), dib.begin(), dib.end());
    return v;
}

} // namespace kv::test
