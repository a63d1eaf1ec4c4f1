#include "video/image/bmp_codec.h"
#include "core/byte_order.h"

#include "video/image/byte_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kv {
namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitfields = 3;


std::uint32_t RowBytes(std::int64_t width, std::uint32_t bpp)
{
    return static_cast<std::uint32_t>(((width * bpp + 31) / 32) * 4);
}

// A shift by a signed count: positive to the right, negative to the left.
std::uint32_t ShiftRight(std::uint32_t value, int count)
{
    if (count >= 32 || count <= -32)
        return 0;
    return count >= 0 ? value >> count : value << -count;
}

// Reads up to bytes into dest and clears whatever the file did not supply.
void ReadBounded(CxFile* file, std::uint8_t* dest, std::size_t bytes)
{
    const std::size_t got = file->Read(dest, 1, bytes);
    if (got < bytes)
        std::memset(dest + got, 0, bytes - got);
}

struct ReadFailure {
    const char* message;
};

} // namespace

bool BmpCodec::ReadDibHeader(CxFile* file, DibHeader& out)
{
    std::uint8_t raw[40];
    if (file->Read(raw, sizeof(raw), 1) != 1)
        return false;
    BITMAPINFOHEADER& bi = out.bi;
    bi.biSize = Le32(raw);
    out.core = false;
    if (bi.biSize == 12) {
        std::memset(&bi, 0, sizeof(bi));
        bi.biSize = 40;
        bi.biWidth = Le16(raw + 4);
        bi.biHeight = Le16(raw + 6);
        bi.biPlanes = Le16(raw + 8);
        bi.biBitCount = Le16(raw + 10);
        out.core = true;
        if (!file->Seek(-28, SEEK_CUR))
            return false;
    } else {
        bi.biWidth = static_cast<std::int32_t>(Le32(raw + 4));
        bi.biHeight = static_cast<std::int32_t>(Le32(raw + 8));
        bi.biPlanes = Le16(raw + 12);
        bi.biBitCount = Le16(raw + 14);
        bi.biCompression = Le32(raw + 16);
        bi.biSizeImage = Le32(raw + 20);
        bi.biXPelsPerMeter = static_cast<std::int32_t>(Le32(raw + 24));
        bi.biYPelsPerMeter = static_cast<std::int32_t>(Le32(raw + 28));
        bi.biClrUsed = Le32(raw + 32);
        bi.biClrImportant = Le32(raw + 36);
        if (bi.biSize == 64) {
            if (!file->Seek(24, SEEK_CUR))
                return false;
        } else if (bi.biSize != 40) {
            if (bi.biSize < 40 || bi.biSize > 0x10000)
                return false;
            const std::int64_t rows = bi.biHeight < 0 ? -static_cast<std::int64_t>(bi.biHeight) : bi.biHeight;
            const std::int64_t aligned = static_cast<std::int64_t>(RowBytes(bi.biWidth, bi.biBitCount)) * rows;
            if (bi.biWidth <= 0 || static_cast<std::int64_t>(bi.biSizeImage) != aligned || bi.biPlanes != 1 ||
                bi.biCompression != 0 || bi.biClrUsed != 0)
                return false;
            if (!file->Seek(static_cast<long>(bi.biSize - 40), SEEK_CUR))
                return false;
        }
    }
    // Dimensions a picture cannot have; the row arithmetic below relies on them.
    if (bi.biWidth <= 0 || bi.biHeight == 0 || bi.biHeight == INT32_MIN || bi.biWidth > 0xFFFFFF ||
        bi.biBitCount == 0 || bi.biBitCount > 32)
        return false;
    if (bi.biSizeImage == 0) {
        const std::int64_t rows = bi.biHeight < 0 ? -static_cast<std::int64_t>(bi.biHeight) : bi.biHeight;
        const std::int64_t size = static_cast<std::int64_t>(RowBytes(bi.biWidth, bi.biBitCount)) * rows;
        bi.biSizeImage = size > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    }
    if (bi.biClrUsed == 0 && bi.biBitCount <= 8)
        bi.biClrUsed = 1u << bi.biBitCount;
    return true;
}

bool BmpCodec::Read(CxFile* file)
{
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    try {
        const long start = file->Tell();
        std::uint8_t fileHeader[14];
        if (file->Read(fileHeader, sizeof(fileHeader), 1) != 1)
            throw ReadFailure{"Not a BMP"};
        std::uint32_t dataOffset = 0;
        if (Le16(fileHeader) == 0x4D42) {
            dataOffset = Le32(fileHeader + 10);
        } else if (!file->Seek(start, SEEK_SET)) {
            throw ReadFailure{"Not a BMP"};
        }

        DibHeader dib{};
        if (!ReadDibHeader(file, dib))
            throw ReadFailure{"Error reading BMP info"};
        BITMAPINFOHEADER& bi = dib.bi;

        const bool topDown = bi.biHeight < 0;
        if (topDown)
            bi.biHeight = -bi.biHeight;

        if (info.nEscape == -1) {
            head.biWidth = bi.biWidth;
            head.biHeight = bi.biHeight;
            throw ReadFailure{"output dimensions returned"};
        }

        if (!Create(static_cast<std::uint32_t>(bi.biWidth), static_cast<std::uint32_t>(bi.biHeight), bi.biBitCount,
                    CXIMAGE_FORMAT_BMP))
            throw ReadFailure{"Can't allocate memory"};
        head.biXPelsPerMeter = bi.biXPelsPerMeter;
        head.biYPelsPerMeter = bi.biYPelsPerMeter;
        info.xDPI = static_cast<std::int32_t>(std::floor(bi.biXPelsPerMeter * 0.0254 + 0.5));
        info.yDPI = static_cast<std::int32_t>(std::floor(bi.biYPelsPerMeter * 0.0254 + 0.5));

        if (info.nEscape)
            throw ReadFailure{"Cancelled"};

        if (RGBQUAD* palette = PalettePointer()) {
            std::uint32_t fileColors = bi.biClrUsed;
            if (fileColors == 0 && bi.biBitCount <= 8)
                fileColors = 1u << bi.biBitCount;
            const std::uint32_t count = std::min(fileColors, head.biClrUsed);
            auto* bytes = reinterpret_cast<std::uint8_t*>(palette);
            if (dib.core) {
                ReadBounded(file, bytes, static_cast<std::size_t>(count) * 3);
                for (std::uint32_t i = count; i-- > 0;) {
                    bytes[i * 4 + 3] = 0;
                    bytes[i * 4 + 2] = bytes[i * 3 + 2];
                    bytes[i * 4 + 1] = bytes[i * 3 + 1];
                    bytes[i * 4 + 0] = bytes[i * 3 + 0];
                }
            } else {
                ReadBounded(file, bytes, static_cast<std::size_t>(count) * 4);
                for (std::uint32_t i = 0; i < count; ++i)
                    palette[i].rgbReserved = 0;
            }
            ClearLastColorCache();
        }

        if (info.nEscape)
            throw ReadFailure{"Cancelled"};

        auto seekToData = [&] {
            if (dataOffset != 0)
                file->Seek(start + static_cast<long>(dataOffset), SEEK_SET);
        };
        // The pixel read never goes past the buffer, whatever the file's image size says.
        const std::size_t allocated = head.biSizeImage;
        switch (bi.biBitCount) {
        case 1:
        case 4:
        case 8:
            if (bi.biCompression == kRgb) {
                seekToData();
                const std::size_t wanted = std::min<std::size_t>(bi.biSizeImage, allocated);
                ReadBounded(file, info.pImage, wanted);
                if (wanted < allocated)
                    std::memset(info.pImage + wanted, 0, allocated - wanted);
            } else if (bi.biCompression == kRle8 || bi.biCompression == kRle4) {
                seekToData();
                // Runs may skip pixels; those read as index 0.
                std::memset(info.pImage, 0, allocated);
                if (bi.biCompression == kRle8)
                    DecodeRle8(file);
                else
                    DecodeRle4(file);
            } else {
                throw ReadFailure{"compression type not supported"};
            }
            break;
        case 16: {
            std::uint32_t redMask = 0x7C00, greenMask = 0x03E0, blueMask = 0x001F;
            if (bi.biCompression == kBitfields) {
                std::uint8_t masks[12];
                ReadBounded(file, masks, sizeof(masks));
                redMask = Le32(masks);
                greenMask = Le32(masks + 4);
                blueMask = Le32(masks + 8);
            }
            seekToData();
            const std::size_t bytes = static_cast<std::size_t>((head.biWidth + 1) / 2) * 4 * GetHeight();
            ReadBounded(file, info.pImage, std::min(bytes, allocated));
            ExpandBitfields(info.pImage, redMask, greenMask, blueMask, 16);
            break;
        }
        case 24:
            if (bi.biCompression != kRgb)
                throw ReadFailure{"unknown compression"};
            seekToData();
            ReadBounded(file, info.pImage, std::min<std::size_t>(bi.biSizeImage, allocated));
            if (bi.biSizeImage < allocated)
                std::memset(info.pImage + bi.biSizeImage, 0, allocated - bi.biSizeImage);
            break;
        case 32: {
            if (bi.biCompression != kRgb && bi.biCompression != kBitfields)
                throw ReadFailure{"unknown compression"};
            seekToData();
            const std::size_t bytes = static_cast<std::size_t>(head.biWidth) * GetHeight() * 4;
            std::unique_ptr<std::uint8_t, decltype(&std::free)> temp(static_cast<std::uint8_t*>(std::malloc(bytes)),
                                                                      &std::free);
            if (!temp)
                throw ReadFailure{"can't allocate memory"};
            ReadBounded(file, temp.get(), bytes);
            ExpandBitfields(temp.get(), 0, 0, 0, 32);
            break;
        }
        default:
            // Nothing this reader understands: leave a defined (black) picture.
            std::memset(info.pImage, 0, allocated);
            break;
        }

        if (topDown)
            FlipRows();
        return true;
    } catch (const ReadFailure& failure) {
        SetLastError(failure.message);
        return info.nEscape == -1 && std::strcmp(failure.message, "output dimensions returned") == 0;
    }
}

void BmpCodec::ExpandBitfields(const std::uint8_t* src, std::uint32_t redMask, std::uint32_t greenMask,
                               std::uint32_t blueMask, std::uint16_t bpp)
{
    if (!src || !info.pImage)
        return;
    const std::uint32_t width = GetWidth();
    const std::uint32_t height = GetHeight();
    const std::uint32_t effWidth = info.dwEffWidth;
    if (bpp == 16) {
        const int r = std::popcount(redMask);
        const int g = std::popcount(greenMask);
        const int b = std::popcount(blueMask);
        const std::size_t srcStride = static_cast<std::size_t>((width + 1) / 2) * 4;
        for (std::uint32_t y = height; y-- > 0;) {
            for (std::uint32_t x = width; x-- > 0;) {
                const std::uint8_t* s = src + y * srcStride + x * 2;
                const std::uint32_t p = static_cast<std::uint32_t>(s[0] | (s[1] << 8));
                std::uint8_t* d = info.pImage + static_cast<std::size_t>(y) * effWidth + static_cast<std::size_t>(x) * 3;
                d[0] = static_cast<std::uint8_t>(ShiftRight((p & 0xFF) & (blueMask & 0xFF), r - 8));
                d[1] = static_cast<std::uint8_t>(ShiftRight(p & greenMask, r + g - 8));
                d[2] = static_cast<std::uint8_t>(ShiftRight(p & redMask, r + g + b - 8));
            }
            std::uint8_t* rowEnd = info.pImage + static_cast<std::size_t>(y) * effWidth;
            std::memset(rowEnd + static_cast<std::size_t>(width) * 3, 0, effWidth - static_cast<std::size_t>(width) * 3);
        }
    } else if (bpp == 32) {
        const std::size_t srcStride = static_cast<std::size_t>(width) * 4;
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* s = src + y * srcStride;
            std::uint8_t* d = info.pImage + static_cast<std::size_t>(y) * effWidth;
            for (std::uint32_t x = 0; x < width; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
            std::memset(d, 0, effWidth - static_cast<std::size_t>(width) * 3);
        }
    }
}

bool BmpCodec::DecodeRle8(CxFile* file)
{
    ByteReader in(file);
    const std::size_t effWidth = info.dwEffWidth;
    const std::size_t height = GetHeight();
    std::size_t row = 0, col = 0;
    auto put = [&](std::uint8_t value) {
        if (row < height && col < effWidth)
            info.pImage[row * effWidth + col] = value;
        ++col;
    };
    while (row < height) {
        const int count = in.Get();
        if (count < 0)
            return false;
        if (count != 0) {
            const int value = in.Get();
            if (value < 0)
                return false;
            for (int i = 0; i < count; ++i)
                put(static_cast<std::uint8_t>(value));
            continue;
        }
        const int command = in.Get();
        if (command < 0)
            return false;
        if (command == 0) {
            col = 0;
            ++row;
        } else if (command == 1) {
            return true;
        } else if (command == 2) {
            const int dx = in.Get();
            const int dy = in.Get();
            if (dx < 0 || dy < 0)
                return false;
            col += static_cast<std::size_t>(dx);
            row += static_cast<std::size_t>(dy);
        } else {
            for (int i = 0; i < command; ++i) {
                const int value = in.Get();
                if (value < 0)
                    return false;
                put(static_cast<std::uint8_t>(value));
            }
            if (command & 1)
                in.Get();
        }
    }
    return true;
}

bool BmpCodec::DecodeRle4(CxFile* file)
{
    ByteReader in(file);
    const std::size_t effWidth = info.dwEffWidth;
    const std::size_t height = GetHeight();
    std::size_t row = 0, x = 0; // x counts pixels (nibbles)
    auto put = [&](std::uint8_t nibble) {
        const std::size_t byte = x >> 1;
        if (row < height && byte < effWidth) {
            std::uint8_t& target = info.pImage[row * effWidth + byte];
            if (x & 1)
                target = static_cast<std::uint8_t>((target & 0xF0) | nibble);
            else
                target = static_cast<std::uint8_t>((target & 0x0F) | (nibble << 4));
        }
        ++x;
    };
    while (row < height) {
        const int count = in.Get();
        if (count < 0)
            return false;
        if (count != 0) {
            const int value = in.Get();
            if (value < 0)
                return false;
            for (int i = 0; i < count; ++i)
                put(static_cast<std::uint8_t>((i & 1) ? (value & 0x0F) : (value >> 4)));
            continue;
        }
        const int command = in.Get();
        if (command < 0)
            return false;
        if (command == 0) {
            x = 0;
            ++row;
        } else if (command == 1) {
            return true;
        } else if (command == 2) {
            const int dx = in.Get();
            const int dy = in.Get();
            if (dx < 0 || dy < 0)
                return false;
            x += static_cast<std::size_t>(dx);
            row += static_cast<std::size_t>(dy);
        } else {
            int value = 0;
            for (int i = 0; i < command; ++i) {
                if ((i & 1) == 0) {
                    value = in.Get();
                    if (value < 0)
                        return false;
                }
                put(static_cast<std::uint8_t>((i & 1) ? (value & 0x0F) : (value >> 4)));
            }
            if (((command - 1) & 2) == 0)
                in.Get();
        }
    }
    return true;
}

bool BmpCodec::Write(CxFile* file)
{
    if (!EncodeSafeCheck(file))
        return false;
    std::uint8_t fileHeader[14] = {'B', 'M'};
    const std::uint32_t fileSize = TotalSize() + 14;
    const std::uint32_t dataOffset = 14 + 40 + PaletteSize();
    for (int i = 0; i < 4; ++i) {
        fileHeader[2 + i] = static_cast<std::uint8_t>(fileSize >> (8 * i));
        fileHeader[10 + i] = static_cast<std::uint8_t>(dataOffset >> (8 * i));
    }
    std::memcpy(pDib, &head, sizeof(head));
    if (file->Write(fileHeader, sizeof(fileHeader), 1) != 1 || file->Write(pDib, TotalSize(), 1) != 1) {
        SetLastError("Error writing BMP file");
        return false;
    }
    return true;
}

} // namespace kv
