// The motion-setup module as a class server. The exported entry points
// (mensilo_exports.cpp) forward to it; tests call it directly.
#pragma once

#include "platform/com/control_server.h"

namespace kv::motion {

com::CControlServer& MensiloServer();

} // namespace kv::motion
