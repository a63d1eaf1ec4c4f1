// Reads and writes Windows bitmap files (and bare DIBs without the file header).
#pragma once

#include "ximage.h"

namespace kv {

class BmpCodec : public CxImage {
public:
    BmpCodec() : CxImage(CXIMAGE_FORMAT_BMP) {}

    bool Read(CxFile* file);
    bool Write(CxFile* file);

    // Converts 16-bit pixels (masks applied) or 32-bit pixels (bytes 0-2 kept) at src into
    // this image's 24-bit rows. src may be the pixel buffer itself for 16 bits.
    void ExpandBitfields(const std::uint8_t* src, std::uint32_t redMask, std::uint32_t greenMask,
                         std::uint32_t blueMask, std::uint16_t bpp);

private:
    struct DibHeader {
        BITMAPINFOHEADER bi;
        bool core;  // 12-byte header: palette entries are 3 bytes
    };
    bool ReadDibHeader(CxFile* file, DibHeader& out);
    bool DecodeRle8(CxFile* file);
    bool DecodeRle4(CxFile* file);
};

} // namespace kv
