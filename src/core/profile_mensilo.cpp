// Linked into libMensilo.so only: the module's profile. The module's start and entry points
// are in motion/control/mensilo_exports.cpp.
#include "core/module_profile.h"

namespace kv {
const ModuleProfile& ActiveProfile() { return kMensiloProfile; }
} // namespace kv
