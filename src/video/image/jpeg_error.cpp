#include "video/image/jpeg_error.h"

namespace kv {
namespace {

// No object with a destructor may live in this frame: it is left by longjmp.
[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::snprintf(manager->lastError, manager->lastErrorSize, "%s", message);
    std::longjmp(manager->jump, 1);
}

// Warnings (a premature end of data, for instance) do not fail the call and are not printed.
void OutputMessage(j_common_ptr) {}

} // namespace

jpeg_error_mgr* InstallJpegErrorManager(JpegErrorManager& manager, char* lastError, std::size_t lastErrorSize)
{
    jpeg_error_mgr* err = jpeg_std_error(&manager.pub);
    err->error_exit = ErrorExit;
    err->output_message = OutputMessage;
    manager.lastError = lastError;
    manager.lastErrorSize = lastErrorSize;
    return err;
}

} // namespace kv
