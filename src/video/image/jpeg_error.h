// libjpeg error manager whose error exit formats the library's message into an image's
// last-error text and unwinds to the codec call that set the jump buffer.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace kv {

struct JpegErrorManager {
    jpeg_error_mgr pub;      // first, so the library's pointer converts back
    std::jmp_buf jump;
    char* lastError;         // the codec's last-error text
    std::size_t lastErrorSize;
};

// Installs the handlers into manager and returns the library's view of it.
jpeg_error_mgr* InstallJpegErrorManager(JpegErrorManager& manager, char* lastError, std::size_t lastErrorSize);

} // namespace kv
