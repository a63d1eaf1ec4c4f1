#include "stream/debug_log.h"

#include "core/module_profile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace kv {
namespace {

std::mutex g_pathLock;
std::string g_path;  // empty: the default

std::string DefaultLogPath()
{
    std::filesystem::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        base = std::filesystem::temp_directory_path();
    return (base / "kavaro" / "errlog.txt").string();
}

} // namespace

std::string FormatLogLine(const std::tm& t, std::string_view message)
{
    char stamp[64];
    const int stampLength = std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d ",
                                          t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string line(stamp, stampLength > 0 ? static_cast<std::size_t>(stampLength) : 0);
    const std::size_t room = kMaxLogLine - 1 - std::min(line.size(), kMaxLogLine - 1);
    line.append(message.substr(0, room));
    line.push_back('\n');
    return line;
}

void SetLogPath(std::string path)
{
    std::lock_guard<std::mutex> guard(g_pathLock);
    g_path = std::move(path);
}

std::string LogPath()
{
    std::lock_guard<std::mutex> guard(g_pathLock);
    return g_path.empty() ? DefaultLogPath() : g_path;
}

void WriteLogLine(std::string_view message)
{
    const std::filesystem::path path = LogPath();
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file && path.has_parent_path()) {
        // the first line in a fresh per-user state folder: make the folder, then try once more
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        file = std::fopen(path.c_str(), "a");
    }
    if (!file)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string line = FormatLogLine(local, message);
    std::fputs(line.c_str(), file);
    std::fclose(file);
}

void DebugMessage(std::string_view message, int toFile)
{
    if (toFile != 0 && ActiveProfile().writesLog)
        WriteLogLine(message);
}

std::string RedactUrlCredentials(std::string_view url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t authorityStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t authorityEnd = url.find_first_of("/?#", authorityStart);
    const std::string_view authority =
        url.substr(authorityStart, authorityEnd == std::string_view::npos ? std::string_view::npos : authorityEnd - authorityStart);
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos)
        return std::string(url);
    std::string clean(url.substr(0, authorityStart));
    clean.append(url.substr(authorityStart + at + 1));
    return clean;
}

} // namespace kv
