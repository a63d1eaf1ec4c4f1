// The per-user registry file as a module finds it at load: any bytes at all.
//
// Input: the file's content. The target writes it to a scratch store, reads every value the
// file names, runs what a module does when it starts (writing both connection limits) and
// checks that the limits are 25 afterwards and that every other value it could read before
// reads the same afterwards: a damaged file may lose its unreadable lines, never the rest.
#include "platform/registry/registry.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Probe {
    std::string key;
    std::string name;
};

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view TrimSeparators(std::string_view key)
{
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    return key;
}

// Key and value names as the file spells them (names with escapes are passed over: the
// probes only need to be a fair sample).
std::vector<Probe> ProbesOf(std::string_view text)
{
    std::vector<Probe> probes;
    std::string key;
    size_t start = 0;
    while (start < text.size() && probes.size() < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            key = std::string(line.substr(1, line.size() - 2));
        } else if (line.starts_with("@=")) {
            probes.push_back({key, ""});
        } else if (line.starts_with("\"")) {
            const size_t close = line.find('"', 1);
            if (close != std::string_view::npos && line.substr(1, close - 1).find('\\') == std::string_view::npos)
                probes.push_back({key, std::string(line.substr(1, close - 1))});
        }
    }
    return probes;
}

bool IsConnectionLimit(const Probe& p)
{
    namespace r = kv::registry;
    if (Lower(TrimSeparators(p.key)) != Lower(r::kInternetSettingsKey))
        return false;
    const std::string name = Lower(p.name);
    return name == Lower(r::kMaxConnectionsPer1_0Server) || name == Lower(r::kMaxConnectionsPerServer);
}

std::string ScratchStore()
{
    const std::filesystem::path shm("/dev/shm");
    std::error_code ec;
    const auto dir = std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    return (dir / ("kv-fuzz-registry-" + std::to_string(::getpid()) + ".reg")).string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace r = kv::registry;
    // One scratch store per process, removed with its lock file when the process ends.
    static const struct Scratch {
        std::string path = ScratchStore();
        Scratch() { r::SetStorePathForTesting(path); }
        ~Scratch()
        {
            std::error_code ec;
            std::filesystem::remove(path, ec);
            std::filesystem::remove(path + ".lock", ec);
        }
    } scratch;
    const std::string& path = scratch.path;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<Probe> probes = ProbesOf(text);
    std::vector<std::optional<r::Value>> before;
    before.reserve(probes.size());
    for (const Probe& p : probes) {
        before.push_back(r::GetValue(p.key, p.name));
        (void)r::KeyExists(p.key);
        (void)r::SubKeys(p.key);
    }
    (void)r::MaxConnectionsPerServer();

    if (!r::WriteConnectionLimits())
        __builtin_trap(); // the scratch store is writable: the module's start must succeed
    if (r::GetDword(r::kInternetSettingsKey, r::kMaxConnectionsPerServer) != r::kModuleConnectionLimit ||
        r::GetDword(r::kInternetSettingsKey, r::kMaxConnectionsPer1_0Server) != r::kModuleConnectionLimit ||
        r::MaxConnectionsPerServer() != static_cast<int>(r::kModuleConnectionLimit))
        __builtin_trap();
    for (size_t i = 0; i < probes.size(); ++i) {
        if (IsConnectionLimit(probes[i]))
            continue;
        if (r::GetValue(probes[i].key, probes[i].name) != before[i])
            __builtin_trap(); // a value readable before the module started was lost or changed
    }
    return 0;
}
