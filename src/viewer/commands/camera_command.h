// One camera command as it travels: the request URL and the credentials to send it with,
// each an own copy, so nothing the panel changes later can reach a command on its way.
#pragma once

#include <functional>
#include <string>

namespace kv::viewer {

struct CameraCommand {
    std::string url;
    std::string user;
    std::string password;
};

// Sends one GET and gives the answer's body; false when the camera did not answer.
using CameraGet = std::function<bool(std::string& body, const std::string& url, const std::string& user,
                                     const std::string& password)>;

// A fresh one-shot HTTP request per call.
bool SendCameraGet(std::string& body, const std::string& url, const std::string& user, const std::string& password);

} // namespace kv::viewer
