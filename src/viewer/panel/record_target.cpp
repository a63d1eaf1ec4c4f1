#include "viewer/panel/record_target.h"

#include <filesystem>
#include <system_error>

namespace kv::viewer {

bool IsAcceptableRecordTarget(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return true;
    if (error)
        return false;
    return status.type() == std::filesystem::file_type::regular;
}

} // namespace kv::viewer
