// JPEG straight into the 32-bit rows a window draws (video/rgb32_rows.h), for the live view:
// the picture is written once, where it is shown, instead of into a 24-bit bitmap that is
// then converted.
#pragma once

#include "video/rgb32_rows.h"

#include <cstddef>
#include <cstdint>

namespace kv {

enum class JpegDirectResult {
    Decoded,   // every row written
    Failed,    // not a picture a JPEG image decode would accept; any lent rows are partly written
    Declined,  // a picture the rows cannot hold (four-component colour), or the lender declined
};

// Decodes the JPEG in data with the settings, checks and errors of an image's JPEG decode
// (format code 2) on a new image, and gives the same pixels as that image's bitmap widened
// to 0xFFRRGGBB. lender is asked for the rows once the size is known, at most once; what it
// throws passes through.
JpegDirectResult DecodeJpegTo32(const std::uint8_t* data, std::size_t size, IPixelLender& lender);

} // namespace kv
