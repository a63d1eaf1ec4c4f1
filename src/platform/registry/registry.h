// The current user's registry: a small key/value store kept in one text file per user.
//
// Keys are spelled as on the original platform ("Software\Microsoft\...", backslashes,
// compared without regard to ASCII case) below an implied current-user root. Values are
// 32-bit numbers or strings; the name "" is a key's default value. The file lives at
// $XDG_CONFIG_HOME/kavaro-mensilo/registry.reg (or ~/.config/...) and is rewritten whole
// under a file lock, so both modules and several processes may write at once.
//
// The file is outside input: lines that do not parse are ignored, and an oversized file is
// treated as empty rather than read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kv::registry {

using Value = std::variant<std::uint32_t, std::string>;

// Writes one value, creating the key (and the file) as needed. False when the store cannot
// be written.
bool SetValue(std::string_view key, std::string_view name, const Value& value);
bool SetDword(std::string_view key, std::string_view name, std::uint32_t value);
bool SetString(std::string_view key, std::string_view name, std::string_view value);

std::optional<Value> GetValue(std::string_view key, std::string_view name);
std::optional<std::uint32_t> GetDword(std::string_view key, std::string_view name);
std::optional<std::string> GetString(std::string_view key, std::string_view name);

// True when the key exists (with or without values).
bool KeyExists(std::string_view key);
// Names of the direct sub-keys of key, in stored spelling.
std::vector<std::string> SubKeys(std::string_view key);
// Removes one value; true when it was there and the store was written.
bool DeleteValue(std::string_view key, std::string_view name);
// Removes a key with all its values and sub-keys; true when anything was removed.
bool DeleteKey(std::string_view key);

// Where the store lives. Tests point it at a scratch file; empty restores the default.
std::string StorePath();
void SetStorePathForTesting(std::string path);

// Internet settings read by the HTTP layer and written at module start.
inline constexpr const char* kInternetSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* kMaxConnectionsPer1_0Server = "MaxConnectionsPer1_0Server";
inline constexpr const char* kMaxConnectionsPerServer = "MaxConnectionsPerServer";
inline constexpr std::uint32_t kModuleConnectionLimit = 25;

// Called by each module when it starts: sets both per-server connection limits to 25.
bool WriteConnectionLimits();

// The per-server connection limit for HTTP/1.1 as the store says (25 when unset or
// unusable, at most 128).
int MaxConnectionsPerServer();

} // namespace kv::registry
