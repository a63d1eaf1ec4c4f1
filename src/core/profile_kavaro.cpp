// Linked into libKavaro.so only: the module's profile. The module's start and entry points
// are in viewer/control/kavaro_exports.cpp.
#include "core/module_profile.h"

namespace kv {
const ModuleProfile& ActiveProfile() { return kKavaroProfile; }
} // namespace kv
