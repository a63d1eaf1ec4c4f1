// Drawing onto the software canvas: stretch with a raster operation, stretch with a
// transparent colour, alpha-aware drawing, and the platform bitmap.
#include "ximage.h"
#include "xcanvas.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace {

// Ternary raster operation with a white pattern, as a device with its default brush applies it.
std::uint8_t ApplyRop(std::uint32_t rop, std::uint8_t source, std::uint8_t dest)
{
    const std::uint32_t code = (rop >> 16) & 0xFF;
    const std::uint8_t pattern = 0xFF;
    std::uint8_t result = 0;
    for (int idx = 0; idx < 8; ++idx) {
        if (!((code >> idx) & 1))
            continue;
        const std::uint8_t p = (idx & 4) ? pattern : static_cast<std::uint8_t>(~pattern);
        const std::uint8_t s = (idx & 2) ? source : static_cast<std::uint8_t>(~source);
        const std::uint8_t d = (idx & 1) ? dest : static_cast<std::uint8_t>(~dest);
        result = static_cast<std::uint8_t>(result | (p & s & d));
    }
    return result;
}

bool SameColor(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

// Nearest-neighbour column for target offset tx of a target cx wide.
std::uint32_t StretchColumn(std::int64_t tx, std::int64_t cx, std::uint32_t width)
{
    return static_cast<std::uint32_t>(tx * width / cx);
}

// Nearest-neighbour source row, counted from the bottom as the DIB stores it, for target row
// ty (counted from the top) of a target cy tall: the column rule applied from the bottom,
// floor(yb x height / cy) with yb = cy - 1 - ty. Every source row appears in order, once per
// its share, both ends included, and equal heights map each row to itself.
std::uint32_t StretchRow(std::int64_t ty, std::int64_t cy, std::uint32_t height)
{
    return static_cast<std::uint32_t>((cy - 1 - ty) * height / cy);
}

// The target rectangle; an edge past the 32-bit range stops at its end instead of wrapping.
CxRect TargetRect(std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy)
{
    const auto edge = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                                  std::numeric_limits<std::int32_t>::max()));
    };
    return CxRect{x, y, edge(static_cast<std::int64_t>(x) + cx), edge(static_cast<std::int64_t>(y) + cy)};
}

// Offset of a visible target pixel from the rectangle's origin (never negative).
std::int64_t Offset(std::int32_t position, std::int32_t origin)
{
    return static_cast<std::int64_t>(position) - origin;
}

} // namespace

bool CxImage::Stretch(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                      std::uint32_t rop)
{
    if (!pDib || !dc || !dc->IsValid() || cx <= 0 || cy <= 0)
        return false;
    const CxRect visible = CxCanvas::Intersect(TargetRect(x, y, cx, cy), dc->GetClipBox());
    const std::uint32_t width = GetWidth(), height = GetHeight();
    for (std::int32_t ty = visible.top; ty < visible.bottom; ++ty) {
        const std::uint32_t srcRow = StretchRow(Offset(ty, y), cy, height);
        for (std::int32_t tx = visible.left; tx < visible.right; ++tx) {
            const RGBQUAD c = PixelColorAt(StretchColumn(Offset(tx, x), cx, width), srcRow);
            std::uint8_t* d = dc->PixelAt(tx, ty);
            d[0] = ApplyRop(rop, c.rgbBlue, d[0]);
            d[1] = ApplyRop(rop, c.rgbGreen, d[1]);
            d[2] = ApplyRop(rop, c.rgbRed, d[2]);
        }
    }
    return true;
}

bool CxImage::Stretch(CxCanvas* dc, const CxRect& r, std::uint32_t rop)
{
    return Stretch(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, rop);
}

bool CxImage::Draw2(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy)
{
    if (!pDib || !dc || !dc->IsValid() || !info.bEnabled)
        return false;
    if (cx < 0)
        cx = static_cast<std::int32_t>(GetWidth());
    if (cy < 0)
        cy = static_cast<std::int32_t>(GetHeight());
    if (cx == 0 || cy == 0)
        return false;
    const CxRect visible = CxCanvas::Intersect(TargetRect(x, y, cx, cy), dc->GetClipBox());
    if (CxCanvas::IsEmpty(visible))
        return false;
    if (!IsTransparent())
        return Stretch(dc, x, y, cx, cy, CX_SRCCOPY);

    // The mask blits leave every pixel of the transparent colour as the destination had it.
    const RGBQUAD transparent = GetTransColor();
    const std::uint32_t width = GetWidth(), height = GetHeight();
    for (std::int32_t ty = visible.top; ty < visible.bottom; ++ty) {
        const std::uint32_t srcRow = StretchRow(Offset(ty, y), cy, height);
        for (std::int32_t tx = visible.left; tx < visible.right; ++tx) {
            const RGBQUAD c = PixelColorAt(StretchColumn(Offset(tx, x), cx, width), srcRow);
            if (SameColor(c, transparent))
                continue;
            std::uint8_t* d = dc->PixelAt(tx, ty);
            d[0] = c.rgbBlue;
            d[1] = c.rgbGreen;
            d[2] = c.rgbRed;
        }
    }
    return true;
}

bool CxImage::Draw2(CxCanvas* dc, const CxRect& r)
{
    return Draw2(dc, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool CxImage::Draw(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, const CxRect* clip)
{
    if (!pDib || !dc || !dc->IsValid() || !info.bEnabled)
        return false;
    const std::uint32_t width = GetWidth(), height = GetHeight();
    if (cx < 0)
        cx = static_cast<std::int32_t>(width);
    if (cy < 0)
        cy = static_cast<std::int32_t>(height);
    if (cx == 0 || cy == 0 || width == 0 || height == 0)
        return false;
    // The clip rectangle narrows the device's clip box for this call only.
    CxRect clipBox = dc->GetClipBox();
    if (clip)
        clipBox = CxCanvas::Intersect(clipBox, *clip);
    const CxRect visible = CxCanvas::Intersect(TargetRect(x, y, cx, cy), clipBox);
    if (CxCanvas::IsEmpty(visible))
        return true;

    const bool ownSize = static_cast<std::uint32_t>(cx) == width && static_cast<std::uint32_t>(cy) == height;
    const bool blend = IsTransparent() || pAlpha || info.bAlphaPaletteEnabled;
    const bool indexed = head.biClrUsed != 0;
    const RGBQUAD transparent = GetTransColor();

    for (std::int32_t ty = visible.top; ty < visible.bottom; ++ty) {
        const std::uint32_t srcRow = StretchRow(Offset(ty, y), cy, height);
        for (std::int32_t tx = visible.left; tx < visible.right; ++tx) {
            const std::uint32_t srcCol = ownSize ? static_cast<std::uint32_t>(Offset(tx, x))
                                                 : StretchColumn(Offset(tx, x), cx, width);
            std::uint8_t* d = dc->PixelAt(tx, ty);
            if (!blend) {
                const RGBQUAD c = PixelColorAt(srcCol, srcRow);
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
                continue;
            }
            std::uint32_t a = pAlpha ? pAlpha[static_cast<std::size_t>(srcRow) * width + srcCol] : 255;
            a = (a * (info.nAlphaMax + 1u)) >> 8;
            RGBQUAD c;
            if (indexed) {
                const std::uint8_t idx = PixelIndexAt(srcCol, srcRow);
                c = GetPaletteColor(idx);
                if (IsTransparent() && idx == static_cast<std::uint32_t>(info.nTransIndex))
                    continue;
                if (info.bAlphaPaletteEnabled)
                    a = (a * (c.rgbReserved + 1u)) >> 8;
            } else {
                c = PixelColorAt(srcCol, srcRow);
                if (IsTransparent() && SameColor(c, transparent))
                    continue;
            }
            if (a == 0)
                continue;
            if (a == 255) {
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
            } else {
                d[0] = static_cast<std::uint8_t>((c.rgbBlue * a + d[0] * (255 - a)) >> 8);
                d[1] = static_cast<std::uint8_t>((c.rgbGreen * a + d[1] * (255 - a)) >> 8);
                d[2] = static_cast<std::uint8_t>((c.rgbRed * a + d[2] * (255 - a)) >> 8);
            }
        }
    }
    return true;
}

bool CxImage::Draw(CxCanvas* dc, const CxRect& r, const CxRect* clip)
{
    return Draw(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, clip);
}

CxImage* CxImage::ToBitmap(CxCanvas* dc) const
{
    if (!pDib)
        return nullptr;
    CxImage* bitmap = nullptr;
    if (dc) {
        // The device's own format: 24 bits, palette colours resolved.
        bitmap = new (std::nothrow) CxImage(info.dwType);
        if (!bitmap || !bitmap->Create(GetWidth(), GetHeight(), 24, info.dwType)) {
            delete bitmap;
            return nullptr;
        }
        for (std::uint32_t y = 0; y < GetHeight(); ++y) {
            std::uint8_t* d = bitmap->RowPointer(static_cast<long>(y));
            for (std::uint32_t x = 0; x < GetWidth(); ++x, d += 3) {
                const RGBQUAD c = PixelColorAt(x, y);
                d[0] = c.rgbBlue;
                d[1] = c.rgbGreen;
                d[2] = c.rgbRed;
            }
            std::uint8_t* pad = bitmap->RowPointer(static_cast<long>(y)) + static_cast<std::size_t>(GetWidth()) * 3;
            for (std::uint32_t i = GetWidth() * 3; i < bitmap->GetEffWidth(); ++i)
                *pad++ = 0;
        }
        return bitmap;
    }
    bitmap = new (std::nothrow) CxImage(*this, true, false, false);
    if (bitmap && !bitmap->IsValid()) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}
