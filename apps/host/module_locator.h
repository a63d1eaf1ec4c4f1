// Finding a control module for a host: an explicit path, beside the build's lib/ folder, or
// in the installed library folder next to the host's own bin/ folder.
#pragma once

#include <string>
#include <vector>

namespace kv::host {

// The places a module file is looked for, in order, for a host whose program lives in
// programDir.
std::vector<std::string> ModuleCandidates(const std::string& programDir, const std::string& fileName);

// The first candidate that exists as a regular file (absolute path); empty when none does.
// explicitPath, when not empty, is the only candidate.
std::string FindModule(const std::string& programDir, const std::string& fileName, const std::string& explicitPath);

} // namespace kv::host
