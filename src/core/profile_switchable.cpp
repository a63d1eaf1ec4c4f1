// The profile provider of the test library: Kavaro unless a test chooses otherwise.
#include "core/module_profile.h"

#include <atomic>

namespace kv {
namespace {
std::atomic<const ModuleProfile*> g_active{&kKavaroProfile};
}
const ModuleProfile& ActiveProfile() { return *g_active.load(); }
void SetActiveProfileForTesting(const ModuleProfile& profile) { g_active = &profile; }
} // namespace kv
