#include "core/module_profile.h"

namespace kv {
const ModuleProfile& ActiveProfile() { return kMensiloProfile; }
} // namespace kv
