#include "video/image/jpeg_direct.h"

#include "video/image/image_limits.h"
#include "video/image/jpeg_stream_adapter.h"
#include "xmemfile.h"

#include <bit>
#include <limits>

namespace kv {
namespace {

// The library's pixel layout that is 0xFFRRGGBB in memory on this machine; it fills the
// fourth byte with 0xFF.
constexpr J_COLOR_SPACE kNativeOpaque = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Between the setjmp and the library calls: nothing with a destructor lives in this frame,
// since an error leaves it by longjmp.
JpegDirectResult Decompress(jpeg_decompress_struct* cinfo, IPixelLender& lender)
{
    jpeg_read_header(cinfo, TRUE);
    // Grey and three-component pictures convert to the window's pixels in the library;
    // four-component ones go through the image's own conversion.
    if (cinfo->out_color_space != JCS_RGB && cinfo->out_color_space != JCS_GRAYSCALE)
        return JpegDirectResult::Declined;
    cinfo->out_color_space = kNativeOpaque;
    jpeg_calc_output_dimensions(cinfo);
    const JDIMENSION width = cinfo->output_width;
    const JDIMENSION height = cinfo->output_height;
    // The image decode refuses pictures whose 24-bit rows would pass the size bound.
    if (std::uint64_t{image::EffectiveWidth(width, 24)} * height > image::kMaxImageBytes)
        return JpegDirectResult::Failed;
    const PixelBuffer32 rows = lender.Lend(static_cast<int>(width), static_cast<int>(height));
    if (!rows || rows.width != static_cast<int>(width) || rows.height != static_cast<int>(height))
        return JpegDirectResult::Declined;

    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW target = reinterpret_cast<JSAMPROW>(rows.Row(static_cast<int>(cinfo->output_scanline)));
        jpeg_read_scanlines(cinfo, &target, 1);
    }
    jpeg_finish_decompress(cinfo);
    return JpegDirectResult::Decoded;
}

} // namespace

JpegDirectResult DecodeJpegTo32(const std::uint8_t* data, std::size_t size, IPixelLender& lender)
{
    if (!data || size > std::numeric_limits<std::uint32_t>::max())
        return JpegDirectResult::Failed;
    // Read through the same file, source manager and error exit as the image decode, so that
    // short or damaged data ends the same way.
    CxMemFile file(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    char lastError[256] = {};
    JpegDirectResult result = JpegDirectResult::Failed;  // stays so when the library fails
    ReadJpeg(&file, lastError, sizeof(lastError), [&result, &lender](j_decompress_ptr cinfo) {
        result = Decompress(cinfo, lender);
        return true;
    });
    return result;
}

} // namespace kv
