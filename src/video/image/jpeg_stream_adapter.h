// libjpeg source and destination managers over a CxFile, with a 4096-byte buffer.
#pragma once

#include "xfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

namespace kv {

struct JpegStreamAdapter {
    static constexpr std::size_t kBufferSize = 4096;

    union {
        jpeg_source_mgr source;
        jpeg_destination_mgr destination;
    } pub;                     // first, so the library's pointer converts back
    CxFile* file;
    std::uint8_t* buffer;      // kBufferSize bytes, owned by the caller
    bool startOfFile;

    // buffer must hold kBufferSize bytes and outlive the library object.
    void InstallSource(j_decompress_ptr cinfo, CxFile* stream, std::uint8_t* bytes);
    void InstallDestination(j_compress_ptr cinfo, CxFile* stream, std::uint8_t* bytes);
};

} // namespace kv
