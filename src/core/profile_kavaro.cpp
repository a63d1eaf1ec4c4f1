#include "core/module_profile.h"

namespace kv {
const ModuleProfile& ActiveProfile() { return kKavaroProfile; }
} // namespace kv
