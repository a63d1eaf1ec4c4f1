// CxImage: construction, the DIB block and its palette, and the plain accessors.
#include "ximage.h"
#include "video/image/saturating_cast.h"
#include "video/image/image_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using kv::image::EffectiveWidth;
using kv::image::kMaxImageBytes;

} // namespace

CxImage::tagCxTextInfo& CxImage::tagCxTextInfo::operator=(const tagCxTextInfo& other)
{
    if (this != &other)
        std::memcpy(static_cast<void*>(this), &other, sizeof(*this));
    return *this;
}

CxImage::CxImage(std::uint32_t imagetype)
{
    ResetInfo(imagetype);
}

CxImage::CxImage(const CxImage& src, bool copypixels, bool copyselection, bool copyalpha)
{
    ResetInfo(src.GetType());
    Copy(src, copypixels, copyselection, copyalpha);
}

CxImage& CxImage::operator=(const CxImage& src)
{
    if (this != &src && Free())
        Copy(src, true, true, true);
    return *this;
}

CxImage::~CxImage()
{
    Free();
}

void CxImage::ResetInfo(std::uint32_t imagetype)
{
    pDib = nullptr;
    pSelection = nullptr;
    pAlpha = nullptr;
    ppLayers = nullptr;
    std::memset(&head, 0, sizeof(head));
    std::memset(static_cast<void*>(&info), 0, sizeof(info));
    info.dwType = imagetype;
    info.nJpegQuality = 90;
    info.nAlphaMax = 255;
    info.nTransIndex = -1;
    info.bEnabled = true;
    SetXDPI(96);
    SetYDPI(96);
}

void CxImage::SetXDPI(std::int32_t dpi)
{
    info.xDPI = dpi;
    head.biXPelsPerMeter = kv::image::SaturatingCast<std::int32_t>(std::floor(dpi * 39.37007874015748 + 0.5));
}

void CxImage::SetYDPI(std::int32_t dpi)
{
    info.yDPI = dpi;
    head.biYPelsPerMeter = kv::image::SaturatingCast<std::int32_t>(std::floor(dpi * 39.37007874015748 + 0.5));
}

bool CxImage::Free()
{
    if (info.pOwner)
        return false;
    if (ppLayers) {
        for (std::int32_t i = 0; i < info.nNumLayers; ++i)
            delete ppLayers[i];
        delete[] ppLayers;
        ppLayers = nullptr;
        info.nNumLayers = 0;
    }
    std::free(pSelection);
    pSelection = nullptr;
    std::free(pAlpha);
    pAlpha = nullptr;
    std::free(pDib);
    pDib = nullptr;
    info.pImage = nullptr;
    return true;
}

void CxImage::SetLastError(const char* text)
{
    std::snprintf(info.szLastError, sizeof(info.szLastError), "%s", text ? text : "");
}

void CxImage::ClearLastColorCache()
{
    info.lastColorValid = false;
}

void* CxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t imagetype)
{
    if (!Free())
        return nullptr;

    if (bpp <= 1)
        bpp = 1;
    else if (bpp <= 4)
        bpp = 4;
    else if (bpp <= 8)
        bpp = 8;
    else
        bpp = 24;

    const std::uint32_t effWidth = EffectiveWidth(width, bpp);
    const std::uint64_t imageSize = static_cast<std::uint64_t>(effWidth) * height;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || imageSize > kMaxImageBytes) {
        SetLastError("CxImage::Create can't allocate memory");
        return nullptr;
    }

    switch (bpp) {
    case 1: head.biClrUsed = 2; break;
    case 4: head.biClrUsed = 16; break;
    case 8: head.biClrUsed = 256; break;
    default: head.biClrUsed = 0; break;
    }
    info.dwType = imagetype;
    info.dwEffWidth = effWidth;
    head.biSize = sizeof(BITMAPINFOHEADER);
    head.biWidth = static_cast<std::int32_t>(width);
    head.biHeight = static_cast<std::int32_t>(height);
    head.biPlanes = 1;
    head.biBitCount = static_cast<std::uint16_t>(bpp);
    head.biCompression = 0;
    head.biSizeImage = static_cast<std::uint32_t>(imageSize);
    head.biClrImportant = 0;

    pDib = std::malloc(TotalSize());
    if (!pDib) {
        SetLastError("CxImage::Create can't allocate memory");
        return nullptr;
    }
    RGBQUAD* palette = PalettePointer();
    if (palette)
        std::memset(palette, 0, PaletteSize());
    ClearLastColorCache();
    std::memcpy(pDib, &head, sizeof(head));
    info.pImage = static_cast<std::uint8_t*>(pDib) + sizeof(head) + PaletteSize();
    return pDib;
}

std::uint8_t* CxImage::RowPointer(long row) const
{
    if (!pDib || !info.pImage || row < 0 || row >= head.biHeight)
        return nullptr;
    return info.pImage + static_cast<std::size_t>(row) * info.dwEffWidth;
}

std::uint32_t CxImage::PaletteSize() const
{
    return head.biClrUsed * static_cast<std::uint32_t>(sizeof(RGBQUAD));
}

RGBQUAD* CxImage::PalettePointer() const
{
    if (pDib && head.biClrUsed)
        return reinterpret_cast<RGBQUAD*>(static_cast<std::uint8_t*>(pDib) + sizeof(BITMAPINFOHEADER));
    return nullptr;
}

std::uint32_t CxImage::TotalSize() const
{
    return static_cast<std::uint32_t>(sizeof(BITMAPINFOHEADER)) + PaletteSize() + head.biSizeImage;
}

bool CxImage::TakeOver(CxImage& other)
{
    // A view's buffers belong to the image it views: taking them would free them twice.
    if (&other == this || other.info.pOwner || !Free())
        return false;
    head = other.head;
    info = other.info;
    pDib = other.pDib;
    pSelection = other.pSelection;
    pAlpha = other.pAlpha;
    ppLayers = other.ppLayers;
    other.pDib = nullptr;
    other.pSelection = nullptr;
    other.pAlpha = nullptr;
    other.ppLayers = nullptr;
    std::memset(&other.head, 0, sizeof(other.head));
    std::memset(static_cast<void*>(&other.info), 0, sizeof(other.info));
    return true;
}

void CxImage::ShareFrom(CxImage& other)
{
    if (&other == this)
        return;
    Free();
    head = other.head;
    info = other.info;
    pDib = other.pDib;
    pSelection = other.pSelection;
    pAlpha = other.pAlpha;
    ppLayers = other.ppLayers;
    info.pOwner = &other;
}

void CxImage::CopySettings(const CxImage& other)
{
    if (pDib || &other == this)
        return;
    // The buffer pointers describe this object's own storage, never the other's.
    std::uint8_t* const image = info.pImage;
    CxImage* const owner = info.pOwner;
    CxImage* const second = info.pSecond;
    info = other.info;
    info.pImage = image;
    info.pOwner = owner;
    info.pSecond = second;
}

void CxImage::Copy(const CxImage& src, bool copypixels, bool copyselection, bool copyalpha)
{
    if (&src == this || !Free())
        return;
    CopySettings(src);
    if (!Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType()))
        return;
    head.biXPelsPerMeter = src.head.biXPelsPerMeter;
    head.biYPelsPerMeter = src.head.biYPelsPerMeter;
    if (copypixels && pDib && src.pDib && src.head.biClrUsed == head.biClrUsed &&
        src.TotalSize() == TotalSize()) {
        std::memcpy(pDib, src.pDib, TotalSize());
    } else {
        RGBQUAD* palette = PalettePointer();
        const RGBQUAD* srcPalette = src.PalettePointer();
        if (palette && srcPalette)
            std::memcpy(palette, srcPalette, std::min({PaletteSize(), src.PaletteSize(), 256u * 4u}));
        if (copypixels && src.info.pImage && info.pImage)
            std::memcpy(info.pImage, src.info.pImage, std::min(head.biSizeImage, src.head.biSizeImage));
    }
    std::memcpy(pDib, &head, sizeof(head));
    const std::size_t planeBytes = static_cast<std::size_t>(GetWidth()) * GetHeight();
    if (copyselection && src.pSelection) {
        pSelection = static_cast<std::uint8_t*>(std::malloc(planeBytes ? planeBytes : 1));
        if (pSelection)
            std::memcpy(pSelection, src.pSelection, planeBytes);
    }
    if (copyalpha && src.pAlpha) {
        pAlpha = static_cast<std::uint8_t*>(std::malloc(planeBytes ? planeBytes : 1));
        if (pAlpha)
            std::memcpy(pAlpha, src.pAlpha, planeBytes);
    }
}

bool CxImage::FlipRows()
{
    if (!pDib)
        return false;
    CxImage flipped(*this, false, false, true);
    if (!flipped.pDib)
        return false;
    const long height = static_cast<long>(GetHeight());
    for (long row = 0; row < height; ++row)
        std::memcpy(flipped.RowPointer(height - 1 - row), RowPointer(row), info.dwEffWidth);
    if (pAlpha && flipped.pAlpha) {
        const std::size_t width = GetWidth();
        for (long row = 0; row < height; ++row)
            std::memcpy(flipped.pAlpha + (height - 1 - row) * width, pAlpha + row * width, width);
    }
    return TakeOver(flipped);
}

void CxImage::SetGreyRamp()
{
    RGBQUAD* palette = PalettePointer();
    const std::uint32_t count = head.biClrUsed;
    if (!palette || count < 2)
        return;
    const std::uint32_t step = 255 / (count - 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint8_t>(i * step);
        palette[i].rgbBlue = value;
        palette[i].rgbGreen = value;
        palette[i].rgbRed = value;
    }
    ClearLastColorCache();
}

bool CxImage::IsGreyRamp() const
{
    const RGBQUAD* palette = PalettePointer();
    if (!palette)
        return false;
    for (std::uint32_t i = 0; i < head.biClrUsed; ++i) {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    }
    return true;
}

void CxImage::SetPalette(std::uint32_t count, const std::uint8_t* red, const std::uint8_t* green,
                         const std::uint8_t* blue)
{
    RGBQUAD* palette = PalettePointer();
    if (!palette || !red)
        return;
    if (!green)
        green = red;
    if (!blue)
        blue = green;
    const std::uint32_t n = std::min(count, head.biClrUsed);
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = red[i];
        palette[i].rgbGreen = green[i];
        palette[i].rgbBlue = blue[i];
    }
    ClearLastColorCache();
}

void CxImage::SetPalette(const RGBQUAD* entries, std::uint32_t count)
{
    RGBQUAD* palette = PalettePointer();
    if (!palette || !entries)
        return;
    const std::uint64_t bytes = std::min<std::uint64_t>(static_cast<std::uint64_t>(count) * 4, PaletteSize());
    std::memcpy(palette, entries, static_cast<std::size_t>(bytes));
    ClearLastColorCache();
}

RGBQUAD CxImage::GetPaletteColor(std::uint32_t idx) const
{
    const RGBQUAD* palette = PalettePointer();
    if (palette && idx < head.biClrUsed)
        return palette[idx];
    return RGBQUAD{0, 0, 0, 0};
}

void CxImage::SwapRedBlue(std::uint8_t* row, std::uint32_t length)
{
    if (!row || head.biClrUsed != 0)
        return;
    const std::uint32_t n = std::min(length, info.dwEffWidth);
    for (std::uint32_t i = 0; i + 2 < n; i += 3)
        std::swap(row[i], row[i + 2]);
}

std::uint8_t CxImage::PixelIndexAt(std::uint32_t x, std::uint32_t y) const
{
    const std::uint8_t* row = RowPointer(static_cast<long>(y));
    if (!row || x >= GetWidth())
        return 0;
    switch (head.biBitCount) {
    case 8: return row[x];
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default: return 0;
    }
}

RGBQUAD CxImage::PixelColorAt(std::uint32_t x, std::uint32_t y) const
{
    if (head.biClrUsed)
        return GetPaletteColor(PixelIndexAt(x, y));
    const std::uint8_t* row = RowPointer(static_cast<long>(y));
    if (!row || x >= GetWidth() || head.biBitCount != 24)
        return RGBQUAD{0, 0, 0, 0};
    const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
    return RGBQUAD{p[0], p[1], p[2], 0};
}

bool CxImage::AlphaCreate()
{
    if (!pDib)
        return false;
    if (!pAlpha) {
        const std::size_t bytes = static_cast<std::size_t>(GetWidth()) * GetHeight();
        pAlpha = static_cast<std::uint8_t*>(std::malloc(bytes ? bytes : 1));
        if (!pAlpha)
            return false;
        std::memset(pAlpha, 255, bytes);
    }
    return true;
}

bool CxImage::SelectionCreate()
{
    if (!pDib)
        return false;
    if (!pSelection) {
        const std::size_t bytes = static_cast<std::size_t>(GetWidth()) * GetHeight();
        pSelection = static_cast<std::uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
        if (!pSelection)
            return false;
    }
    return true;
}

void* CxImage::GetDIB() const { return pDib; }
std::uint32_t CxImage::GetHeight() const { return static_cast<std::uint32_t>(head.biHeight); }
std::uint32_t CxImage::GetWidth() const { return static_cast<std::uint32_t>(head.biWidth); }
std::uint32_t CxImage::GetEffWidth() const { return info.dwEffWidth; }
std::uint32_t CxImage::GetNumColors() const { return head.biClrUsed; }
std::uint16_t CxImage::GetBpp() const { return head.biBitCount; }
std::uint32_t CxImage::GetType() const { return info.dwType; }
const char* CxImage::GetLastError() const { return info.szLastError; }
std::uint32_t CxImage::GetFrameDelay() const { return info.dwFrameDelay; }
void CxImage::SetFrameDelay(std::uint32_t delay) { info.dwFrameDelay = delay; }
void CxImage::GetOffset(std::int32_t* x, std::int32_t* y) const
{
    if (x)
        *x = info.xOffset;
    if (y)
        *y = info.yOffset;
}
void CxImage::SetOffset(std::int32_t x, std::int32_t y)
{
    info.xOffset = x;
    info.yOffset = y;
}
std::uint8_t CxImage::GetJpegQuality() const { return info.nJpegQuality; }
void CxImage::SetJpegQuality(std::uint8_t quality) { info.nJpegQuality = quality; }
std::uint8_t CxImage::GetJpegScale() const { return info.nJpegScale; }
void CxImage::SetJpegScale(std::uint8_t scale) { info.nJpegScale = scale; }
std::int32_t CxImage::GetXDPI() const { return info.xDPI; }
std::int32_t CxImage::GetYDPI() const { return info.yDPI; }
std::uint32_t CxImage::GetClrImportant() const { return head.biClrImportant; }
std::int32_t CxImage::GetProgress() const { return info.nProgress; }
void CxImage::SetProgress(std::int32_t progress) { info.nProgress = progress; }
std::int32_t CxImage::GetEscape() const { return info.nEscape; }
void CxImage::SetEscape(std::int32_t escape) { info.nEscape = escape; }
std::int32_t CxImage::GetTransIndex() const { return info.nTransIndex; }
void CxImage::SetTransIndex(std::int32_t idx) { info.nTransIndex = idx; }
void CxImage::SetTransColor(RGBQUAD color)
{
    color.rgbReserved = 0;
    info.transColor = color;
}
RGBQUAD CxImage::GetTransColor() const
{
    if (head.biBitCount < 24 && info.nTransIndex >= 0)
        return GetPaletteColor(static_cast<std::uint32_t>(info.nTransIndex));
    return info.transColor;
}
bool CxImage::IsTransparent() const { return info.nTransIndex >= 0; }
std::uint32_t CxImage::GetCodecOption() const { return info.dwCodecOptions; }
void CxImage::SetCodecOption(std::uint32_t options) { info.dwCodecOptions = options; }
std::uint32_t CxImage::GetFlags() const { return info.dwFlags; }
bool CxImage::IsIndexed() const { return head.biClrUsed != 0; }
bool CxImage::IsValid() const { return pDib != nullptr; }
bool CxImage::IsEnabled() const { return info.bEnabled; }
void CxImage::Enable(bool enable) { info.bEnabled = enable; }
std::int32_t CxImage::GetNumFrames() const { return info.nNumFrames; }
std::int32_t CxImage::GetFrame() const { return info.nFrame; }
void CxImage::SetFrame(std::int32_t frame) { info.nFrame = frame; }
std::uint8_t* CxImage::AlphaPlane() const { return pAlpha; }
std::uint8_t* CxImage::SelectionPlane() const { return pSelection; }
void CxImage::SetAlphaMax(std::uint8_t alphaMax) { info.nAlphaMax = alphaMax; }
void CxImage::EnableAlphaPalette(bool enable) { info.bAlphaPaletteEnabled = enable; }
const BITMAPINFOHEADER& CxImage::GetHeader() const { return head; }

void CxImage::FreeMemory(void* block)
{
    std::free(block);
}
