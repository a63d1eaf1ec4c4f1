// What a control module does when it is loaded.
#pragma once

#include <initializer_list>

namespace kv::com {

// Module start: keeps the libraries that contain the given addresses loaded for the rest of
// the process (libraries that would leave memory behind on every unload and reload, see
// KeepLibraryResident), then sets the current user's per-server connection limits to 25, so
// the stream and the single requests to one camera are never queued behind each other. The
// registry write is not checked: a read-only store leaves the limits at their defaults.
//
// Module exit is the destruction of the module's static objects (workers, chains, class
// objects) when it is unloaded; each stops what it runs and frees what it holds.
void StartControlModule(std::initializer_list<const void*> residentLibraries);

} // namespace kv::com
