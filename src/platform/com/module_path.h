// Where the code of a running module came from, and keeping libraries resident.
#pragma once

#include <string>

namespace kv::com {

// The absolute path of the shared object (or program) that contains address; empty when
// the loader does not know it.
std::string ModulePathOf(const void* address);

// Keeps the shared object that contains address loaded for the rest of the process, even
// after everything that loaded it has unloaded. For libraries that do not survive being
// unloaded and loaded again: each cycle would leave behind what their start-up code
// allocated. True when the library is (now) resident.
bool KeepLibraryResident(const void* address);

} // namespace kv::com
