// Whether a camera address can be reached at all, before a control is made for it: the
// controls report an unreachable camera only inside their own window.
#pragma once

#include <string>

namespace kv::host {

// Opens (and closes) a connection to the host and port of url. False, with the reason in
// error, when no connection is made within timeoutMs.
bool CameraReachable(const std::string& url, int timeoutMs, std::string& error);

} // namespace kv::host
