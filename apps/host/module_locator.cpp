#include "host/module_locator.h"

#include <filesystem>
#include <system_error>

namespace kv::host {

namespace fs = std::filesystem;

std::vector<std::string> ModuleCandidates(const std::string& programDir, const std::string& fileName)
{
    const fs::path dir(programDir);
    std::vector<std::string> out;
    // In a build tree the hosts sit in apps/ and the modules in lib/.
    out.push_back((dir / ".." / "lib" / fileName).lexically_normal().string());
    // Installed: the library folder relative to the program folder (lib, or lib/<arch>).
    const fs::path installed = (dir / KV_HOST_LIBDIR_FROM_BINDIR / fileName).lexically_normal();
    if (installed.string() != out.front())
        out.push_back(installed.string());
    return out;
}

std::string FindModule(const std::string& programDir, const std::string& fileName, const std::string& explicitPath)
{
    const std::vector<std::string> candidates =
        explicitPath.empty() ? ModuleCandidates(programDir, fileName) : std::vector<std::string>{explicitPath};
    for (const std::string& candidate : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec))
            return fs::absolute(candidate, ec).lexically_normal().string();
    }
    return {};
}

} // namespace kv::host
