#include "video/image/jpeg_codec.h"
#include "video/image/saturating_cast.h"

#include "video/image/jpeg_error.h"
#include "video/image/jpeg_stream_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kv {
namespace {

using Buffer = std::unique_ptr<std::uint8_t, decltype(&std::free)>;

Buffer Allocate(std::size_t bytes)
{
    return Buffer(static_cast<std::uint8_t*>(std::malloc(bytes)), &std::free);
}

} // namespace

JpegCodec::JpegCodec() : CxImage(CXIMAGE_FORMAT_JPG)
{
    std::memset(&m_exifinfo, 0, sizeof(m_exifinfo));
}

bool JpegCodec::Read(CxFile* file)
{
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    ExifReader exif(file, &m_exifinfo);
    const bool exifValid = exif.Decode();
    return ReadJpeg(file, info.szLastError, sizeof(info.szLastError),
                    [this, exifValid](j_decompress_ptr cinfo) { return Decompress(cinfo, exifValid); });
}

// Runs between the codec's setjmp and the library calls: only trivially destructible
// objects live in this frame, since an error leaves it by longjmp.
bool JpegCodec::Decompress(jpeg_decompress_struct* cinfo, bool exifValid)
{
    jpeg_read_header(cinfo, TRUE);

    const std::uint32_t options = info.dwCodecOptions;
    if (options & CXIMAGE_JPEG_DEC_GREY)
        cinfo->out_color_space = JCS_GRAYSCALE;
    if (options & CXIMAGE_JPEG_QUANTIZE) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = info.nJpegQuality;
    }
    if (options & CXIMAGE_JPEG_DITHER)
        cinfo->dither_mode = kDitherMode;
    if (options & CXIMAGE_JPEG_ONEPASS)
        cinfo->two_pass_quantize = FALSE;
    if (options & CXIMAGE_JPEG_NOSMOOTH)
        cinfo->do_fancy_upsampling = FALSE;
    // 0 means full size. This library would read a denominator of 0 as the largest
    // upscaling it supports, so it gets 1 instead.
    cinfo->scale_denom = info.nJpegScale ? info.nJpegScale : 1;

    if (info.nEscape == -1) {
        jpeg_calc_output_dimensions(cinfo);
        head.biWidth = static_cast<std::int32_t>(cinfo->output_width);
        head.biHeight = static_cast<std::int32_t>(cinfo->output_height);
        return true;
    }

    // Three-component output goes to blue-green-red straight from the colour converter,
    // which gives the same bytes as converting to red-green-blue and swapping afterwards.
    const bool bgrDirect = !cinfo->quantize_colors && cinfo->out_color_space == JCS_RGB;
    if (bgrDirect)
        cinfo->out_color_space = JCS_EXT_BGR;

    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    if (!Create(cinfo->output_width, cinfo->output_height, 8 * static_cast<std::uint32_t>(components),
                CXIMAGE_FORMAT_JPG))
        return false;

    if (exifValid) {
        if (m_exifinfo.xResolution != 0 && m_exifinfo.resolutionUnit != 0)
            SetXDPI(kv::image::SaturatingCast<std::int32_t>(m_exifinfo.xResolution / m_exifinfo.resolutionUnit));
        if (m_exifinfo.yResolution != 0 && m_exifinfo.resolutionUnit != 0)
            SetYDPI(kv::image::SaturatingCast<std::int32_t>(m_exifinfo.yResolution / m_exifinfo.resolutionUnit));
    } else if (cinfo->density_unit == 2) {
        SetXDPI(static_cast<std::int32_t>(std::floor(cinfo->X_density * 2.54 + 0.5)));
        SetYDPI(static_cast<std::int32_t>(std::floor(cinfo->Y_density * 2.54 + 0.5)));
    } else {
        SetXDPI(cinfo->X_density);
        SetYDPI(cinfo->Y_density);
    }

    if (cinfo->quantize_colors) {
        const int colors = std::clamp(cinfo->actual_number_of_colors, 0, 256);
        const std::uint32_t palette = static_cast<std::uint32_t>(colors);
        // The block keeps its room for 256 entries; the pixels follow the used ones so the
        // block stays a valid DIB for its header.
        if (palette < head.biClrUsed) {
            head.biClrUsed = palette;
            info.pImage = static_cast<std::uint8_t*>(pDib) + sizeof(BITMAPINFOHEADER) + PaletteSize();
            std::memcpy(pDib, &head, sizeof(head));
        }
        // The map has one row per colour component of the (unquantized) output.
        if (cinfo->out_color_components == 1) {
            SetPalette(palette, cinfo->colormap[0], cinfo->colormap[0], cinfo->colormap[0]);
        } else {
            SetPalette(palette, cinfo->colormap[0], cinfo->colormap[1], cinfo->colormap[2]);
        }
    } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
        SetGreyRamp();
        head.biClrUsed = 256;
    } else {
        head.biClrUsed = 0;
    }

    const std::size_t rowBytes = static_cast<std::size_t>(components) * cinfo->output_width;
    const std::size_t effWidth = info.dwEffWidth;
    const bool cmyk = components == 4 && !cinfo->quantize_colors;
    JSAMPARRAY libraryRow = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                         static_cast<JDIMENSION>(rowBytes), 1);
    const long height = static_cast<long>(GetHeight());
    for (long row = height - 1; cinfo->output_scanline < cinfo->output_height; --row) {
        if (info.nEscape) {
            SetLastError("Cancelled");
            jpeg_abort_decompress(cinfo);
            return false;
        }
        std::uint8_t* dest = RowPointer(row);
        if (!cmyk && rowBytes <= effWidth) {
            // Straight into the picture row: the library's own row is not needed.
            JSAMPROW target = dest;
            jpeg_read_scanlines(cinfo, &target, 1);
            std::memset(dest + rowBytes, 0, effWidth - rowBytes);
            continue;
        }
        jpeg_read_scanlines(cinfo, libraryRow, 1);
        const std::uint8_t* src = libraryRow[0];
        if (cmyk) {
            std::size_t out = 0;
            for (std::size_t in = 0; out + 3 <= effWidth && in + 4 <= rowBytes; in += 4, out += 3) {
                const unsigned k = src[in + 3];
                dest[out + 0] = static_cast<std::uint8_t>(k * src[in + 2] / 255);
                dest[out + 1] = static_cast<std::uint8_t>(k * src[in + 1] / 255);
                dest[out + 2] = static_cast<std::uint8_t>(k * src[in + 0] / 255);
            }
            std::memset(dest + out, 0, effWidth - out);
        } else {
            std::memcpy(dest, src, std::min(rowBytes, effWidth));
        }
    }
    jpeg_finish_decompress(cinfo);

    if (components == 3 && !cinfo->quantize_colors && !bgrDirect) {
        for (long row = 0; row < height; ++row) {
            if (info.nEscape) {
                SetLastError("Cancelled");
                return false;
            }
            SwapRedBlue(RowPointer(row), info.dwEffWidth);
        }
    }
    return true;
}

bool JpegCodec::Write(CxFile* file)
{
    if (!EncodeSafeCheck(file))
        return false;
    if (head.biClrUsed != 0 && !IsGreyRamp()) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    // Rows below 8 bits are widened to one byte per pixel before they reach the library.
    const std::size_t rowBuffer = std::max<std::size_t>(info.dwEffWidth, GetWidth()) + 8;
    Buffer row = Allocate(rowBuffer);
    Buffer buffer = Allocate(JpegStreamAdapter::kBufferSize);
    if (!row || !buffer) {
        SetLastError("Can't allocate memory");
        return false;
    }
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    JpegStreamAdapter adapter;
    cinfo.err = InstallJpegErrorManager(error, info.szLastError, sizeof(info.szLastError));
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    adapter.InstallDestination(&cinfo, file, buffer.get());
    const bool ok = Compress(&cinfo, row.get());
    jpeg_destroy_compress(&cinfo);
    return ok;
}

// Same rule as Decompress: nothing with a destructor in this frame.
bool JpegCodec::Compress(jpeg_compress_struct* cinfo, std::uint8_t* rowBuffer)
{
    const bool grey = IsGreyRamp();
    cinfo->image_width = GetWidth();
    cinfo->image_height = GetHeight();
    cinfo->input_components = grey ? 1 : 3;
    cinfo->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    const std::uint32_t options = info.dwCodecOptions;
    if (options & CXIMAGE_JPEG_GREYSCALE)
        jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (options & CXIMAGE_JPEG_SMOOTHING)
        cinfo->smoothing_factor = kSmoothingFactor;
    jpeg_set_quality(cinfo, info.nJpegQuality, (options & CXIMAGE_JPEG_BASELINE) ? TRUE : FALSE);
    cinfo->density_unit = 1;
    cinfo->X_density = static_cast<UINT16>(info.xDPI);
    cinfo->Y_density = static_cast<UINT16>(info.yDPI);
    jpeg_start_compress(cinfo, TRUE);

    const std::uint32_t width = GetWidth();
    long row = static_cast<long>(GetHeight()) - 1;
    while (cinfo->next_scanline < cinfo->image_height) {
        const std::uint8_t* src = RowPointer(row--);
        if (head.biBitCount < 8) {
            for (std::uint32_t x = 0; x < width; ++x)
                rowBuffer[x] = PixelIndexAt(x, static_cast<std::uint32_t>(row + 1));
        } else {
            std::memcpy(rowBuffer, src, info.dwEffWidth);
        }
        if (head.biClrUsed == 0)
            SwapRedBlue(rowBuffer, info.dwEffWidth);
        JSAMPROW rows[1] = {rowBuffer};
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace kv
