// libjpeg source and destination managers over a CxFile, with a 4096-byte buffer.
#pragma once

#include "video/image/jpeg_error.h"
#include "xfile.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

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

// Reads a JPEG from file: runs decompress(cinfo) on a library object whose source is file
// (through the adapter above) and whose errors unwind to here with their message in
// lastError. False when the stream buffer cannot be had or the library reports an error;
// otherwise what decompress returned. decompress runs between the setjmp and the library
// calls, so nothing with a destructor may live in its frame; an exception it throws passes
// through once the library object is destroyed.
template <class Decompress>
bool ReadJpeg(CxFile* file, char* lastError, std::size_t lastErrorSize, Decompress&& decompress)
{
    const std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
        static_cast<std::uint8_t*>(std::malloc(JpegStreamAdapter::kBufferSize)), &std::free);
    if (!buffer) {
        std::snprintf(lastError, lastErrorSize, "%s", "Can't allocate memory");
        return false;
    }
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    JpegStreamAdapter adapter;
    cinfo.err = InstallJpegErrorManager(error, lastError, lastErrorSize);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    adapter.InstallSource(&cinfo, file, buffer.get());
    bool ok = false;
    try {
        ok = decompress(&cinfo);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

} // namespace kv
