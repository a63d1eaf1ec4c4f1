// The viewer module as a class server. The exported entry points (kavaro_exports.cpp)
// forward to it; tests call it directly.
#pragma once

#include "platform/com/control_server.h"

namespace kv::viewer {

com::CControlServer& KavaroServer();

} // namespace kv::viewer
