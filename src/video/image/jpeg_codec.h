// Reads and writes JPEG (JFIF) through libjpeg's 6b interface over a CxFile.
#pragma once

#include "video/image/exif_reader.h"
#include "ximage.h"

#include <cstdio>

#include <jpeglib.h>

namespace kv {

class JpegCodec : public CxImage {
public:
    JpegCodec();

    bool Read(CxFile* file);
    bool Write(CxFile* file);

    const ExifInfo& Exif() const { return m_exifinfo; }

    // Neither has a setter in the system; these are the values the option bits apply.
    static constexpr int kSmoothingFactor = 25;
    static constexpr J_DITHER_MODE kDitherMode = JDITHER_ORDERED;

private:
    bool Decompress(jpeg_decompress_struct* cinfo, bool exifValid);
    bool Compress(jpeg_compress_struct* cinfo, std::uint8_t* rowBuffer);

    ExifInfo m_exifinfo;
};

} // namespace kv
