#include "viewer/commands/camera_command.h"

#include "stream/http_poster.h"

namespace kv::viewer {

bool SendCameraGet(std::string& body, const std::string& url, const std::string& user, const std::string& password)
{
    kv::CHttpPoster poster;
    return poster.Request(body, url.c_str(), false, user, password);
}

} // namespace kv::viewer
