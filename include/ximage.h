// The image object: one DIB block (see ximage_types.h) plus a block of image information,
// with a BMP and a JPEG codec behind Decode and Encode, and drawing onto a CxCanvas.
//
// Failures are reported by a false or null result plus GetLastError() (at most 255
// characters); nothing is thrown.
#ifndef KV_XIMAGE_H
#define KV_XIMAGE_H

#include "xfile.h"
#include "ximage_types.h"

#include <cstddef>
#include <cstdint>

class CxCanvas;

// Format codes (the image type).
enum : std::uint32_t {
    CXIMAGE_FORMAT_UNKNOWN = 0, // Decode tries BMP, then JPEG
    CXIMAGE_FORMAT_BMP = 1,
    CXIMAGE_FORMAT_JPG = 2,
};

// Codec option bits; only the JPEG codec reads them.
enum : std::uint32_t {
    CXIMAGE_JPEG_BASELINE = 0x1,     // encode: force baseline quantization tables
    CXIMAGE_JPEG_GREYSCALE = 0x4,    // encode: greyscale colour space
    CXIMAGE_JPEG_SMOOTHING = 0x40,   // encode: smoothing factor
    CXIMAGE_JPEG_DEC_GREY = 0x80,    // decode: greyscale output
    CXIMAGE_JPEG_QUANTIZE = 0x100,   // decode: quantize to GetJpegQuality() colours
    CXIMAGE_JPEG_DITHER = 0x200,     // decode: dither while quantizing
    CXIMAGE_JPEG_ONEPASS = 0x400,    // decode: one-pass quantizer
    CXIMAGE_JPEG_NOSMOOTH = 0x800,   // decode: no fancy upsampling
};

// Raster operations understood by Stretch (ternary codes, the pattern is white).
enum : std::uint32_t {
    CX_SRCCOPY = 0x00CC0020,
    CX_SRCPAINT = 0x00EE0086,
    CX_SRCAND = 0x008800C6,
    CX_SRCINVERT = 0x00660046,
    CX_SRCERASE = 0x00440328,
    CX_NOTSRCCOPY = 0x00330008,
    CX_NOTSRCERASE = 0x001100A6,
    CX_DSTINVERT = 0x00550009,
    CX_BLACKNESS = 0x00000042,
    CX_WHITENESS = 0x00FF0062,
};

class KV_IMAGE_API CxImage {
public:
    // Fields 3 to 25 of the image: the unit CopySettings copies.
    struct CXIMAGEINFO {
        std::uint32_t dwEffWidth;     // row stride in bytes
        std::uint8_t* pImage;         // first pixel row inside the DIB block
        CxImage* pOwner;              // set when this object only views another image
        CxImage* pSecond;             // always null here
        std::uint32_t dwType;         // format code
        char szLastError[256];
        std::int32_t nProgress;
        std::int32_t nEscape;         // 0 run, -1 dimensions only, else cancel
        std::int32_t nTransIndex;     // -1 = none
        RGBQUAD transColor;
        std::uint8_t nJpegQuality;    // default 90; colour count for quantized decoding
        std::uint8_t nJpegScale;      // scale denominator, 0 = full size
        std::int32_t nFrame;
        std::int32_t nNumFrames;
        std::uint32_t dwFrameDelay;
        std::int32_t xDPI;
        std::int32_t yDPI;
        CxRect selectionBox;
        std::uint8_t nAlphaMax;       // default 255
        bool bAlphaPaletteEnabled;
        bool bEnabled;                // default true
        std::int32_t xOffset;
        std::int32_t yOffset;
        std::uint32_t dwCodecOptions;
        RGBQUAD lastColor;            // last-colour cache
        std::uint8_t lastColorIndex;
        bool lastColorValid;
        std::int32_t nNumLayers;      // always 0 here
        std::uint32_t dwFlags;
    };

    // Unused by the system; kept for callers that expect it.
    struct KV_IMAGE_API tagCxTextInfo {
        char text[256];
        char fontName[32];
        std::int32_t fontHeight;
        std::int32_t fontWeight;
        std::uint8_t italic;
        std::uint8_t underline;
        RGBQUAD fgColor;
        RGBQUAD bgColor;
        std::uint8_t opaque;
        std::uint8_t align;
        tagCxTextInfo& operator=(const tagCxTextInfo& other); // byte-wise copy
    };

    // --- construction -----------------------------------------------------------------
    explicit CxImage(std::uint32_t imagetype = 0);
    CxImage(const CxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    CxImage& operator=(const CxImage& src); // Copy with all three flags, after Free
    virtual ~CxImage();

    void ResetInfo(std::uint32_t imagetype);
    // Returns the DIB block or null (last error set).
    void* Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t imagetype = 0);
    // False (and nothing freed) when this object views another image.
    bool Free();
    void Copy(const CxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    bool TakeOver(CxImage& other);
    void ShareFrom(CxImage& other);
    void CopySettings(const CxImage& other);
    bool FlipRows();

    // --- palette and pixels -------------------------------------------------------------
    std::uint8_t* RowPointer(long row) const;
    std::uint32_t PaletteSize() const;
    RGBQUAD* PalettePointer() const;
    std::uint32_t TotalSize() const; // 40 + palette bytes + image size
    void SetGreyRamp();
    bool IsGreyRamp() const;
    void SetPalette(std::uint32_t count, const std::uint8_t* red, const std::uint8_t* green = nullptr,
                    const std::uint8_t* blue = nullptr);
    void SetPalette(const RGBQUAD* entries, std::uint32_t count);
    // Palette entry idx; black past the colour count or without a palette.
    RGBQUAD GetPaletteColor(std::uint32_t idx) const;
    void SwapRedBlue(std::uint8_t* row, std::uint32_t length);

    // --- accessors ------------------------------------------------------------------------
    void* GetDIB() const;
    std::uint32_t GetHeight() const;
    std::uint32_t GetWidth() const;
    std::uint32_t GetEffWidth() const;
    std::uint32_t GetNumColors() const;
    std::uint16_t GetBpp() const;
    std::uint32_t GetType() const;
    const char* GetLastError() const;
    std::uint32_t GetFrameDelay() const;
    void SetFrameDelay(std::uint32_t delay);
    void GetOffset(std::int32_t* x, std::int32_t* y) const;
    void SetOffset(std::int32_t x, std::int32_t y);
    std::uint8_t GetJpegQuality() const;
    void SetJpegQuality(std::uint8_t quality);
    std::uint8_t GetJpegScale() const;
    void SetJpegScale(std::uint8_t scale);
    std::int32_t GetXDPI() const;
    std::int32_t GetYDPI() const;
    void SetXDPI(std::int32_t dpi);
    void SetYDPI(std::int32_t dpi);
    std::uint32_t GetClrImportant() const;
    std::int32_t GetProgress() const;
    void SetProgress(std::int32_t progress);
    std::int32_t GetEscape() const;
    void SetEscape(std::int32_t escape);
    std::int32_t GetTransIndex() const;
    void SetTransIndex(std::int32_t idx);
    void SetTransColor(RGBQUAD color);
    // The colour treated as transparent when drawing.
    RGBQUAD GetTransColor() const;
    bool IsTransparent() const;
    std::uint32_t GetCodecOption() const;
    void SetCodecOption(std::uint32_t options);
    std::uint32_t GetFlags() const;
    bool IsIndexed() const;
    bool IsValid() const;
    bool IsEnabled() const;
    void Enable(bool enable = true);
    std::int32_t GetNumFrames() const;
    std::int32_t GetFrame() const;
    void SetFrame(std::int32_t frame);
    // Optional planes (width x height bytes, rows bottom-up); no codec creates them.
    std::uint8_t* AlphaPlane() const;
    std::uint8_t* SelectionPlane() const;
    bool AlphaCreate();
    bool SelectionCreate();
    void SetAlphaMax(std::uint8_t alphaMax);
    void EnableAlphaPalette(bool enable);
    const BITMAPINFOHEADER& GetHeader() const;

    // --- codecs ---------------------------------------------------------------------------
    // The buffer stays the caller's; nothing outside [buffer, buffer + size) is read.
    bool Decode(const std::uint8_t* buffer, std::uint32_t size, std::uint32_t imagetype);
    bool Decode(CxFile* file, std::uint32_t imagetype);
    bool Decode(const char* path, std::uint32_t imagetype);
    // Returns false silently when the file cannot be created.
    bool Encode(const char* path, std::uint32_t imagetype);
    bool Encode(CxFile* file, std::uint32_t imagetype);
    // Into a new buffer (release it with FreeMemory).
    bool Encode(std::uint8_t*& buffer, std::int32_t& size, std::uint32_t imagetype);
    static void FreeMemory(void* block);

    // --- drawing onto a software canvas ---------------------------------------------------
    // Width or height below 0 means the image's own.
    bool Draw(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx = -1, std::int32_t cy = -1,
              const CxRect* clip = nullptr);
    bool Draw(CxCanvas* dc, const CxRect& rect, const CxRect* clip = nullptr);
    bool Draw2(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx = -1, std::int32_t cy = -1);
    bool Draw2(CxCanvas* dc, const CxRect& rect);
    bool Stretch(CxCanvas* dc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                 std::uint32_t rop = CX_SRCCOPY);
    bool Stretch(CxCanvas* dc, const CxRect& rect, std::uint32_t rop = CX_SRCCOPY);
    // The platform bitmap: with a canvas, a 24-bit copy in the canvas's format (palette
    // resolved); without one, a copy with the DIB's own header and palette. Null without a
    // DIB. The caller deletes it.
    CxImage* ToBitmap(CxCanvas* dc = nullptr) const;

protected:
    void SetLastError(const char* text);
    void ClearLastColorCache();
    std::uint8_t PixelIndexAt(std::uint32_t x, std::uint32_t y) const; // y from the bottom
    RGBQUAD PixelColorAt(std::uint32_t x, std::uint32_t y) const;
    bool EncodeSafeCheck(CxFile* file);

    void* pDib;                 // the DIB block; null = no image
    BITMAPINFOHEADER head;      // authoritative header copy
    CXIMAGEINFO info;
    std::uint8_t* pSelection;   // selection plane
    std::uint8_t* pAlpha;       // alpha plane
    CxImage** ppLayers;         // sub-images
};

#endif
