// Linked into libMensilo.so only: the module's profile, and what the module does when loaded.
#include "core/module_profile.h"
#include "platform/registry/registry.h"

namespace kv {
const ModuleProfile& ActiveProfile() { return kMensiloProfile; }
} // namespace kv

namespace {
// At module start the current user's per-server connection limits are set to 25, so the
// stream and the single requests to one camera are never queued behind each other.
const bool g_connectionLimitsWritten = kv::registry::WriteConnectionLimits();
} // namespace
