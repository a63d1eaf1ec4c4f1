#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <unordered_map>

namespace kv::registry {
namespace {

constexpr std::uintmax_t kMaxStoreBytes = 4u << 20;

struct NamedValue {
    std::string name;
    Value value;
};

struct Key {
    std::string path;
    std::vector<NamedValue> values;
};

using Store = std::vector<Key>;

std::mutex g_lock;         // one writer at a time inside this process
std::string g_pathOverride;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// Trims the separators at both ends; nullopt for spellings the file cannot hold.
std::optional<std::string> NormalKey(std::string_view key)
{
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    if (key.empty() || key.find("\\\\") != std::string_view::npos)
        return std::nullopt;
    for (char c : key)
        if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']' || c == 0x7f)
            return std::nullopt;
    return std::string(key);
}

std::string Escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20 || u == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Reads a quoted, escaped string starting at text[pos] == '"'; advances pos past the close.
std::optional<std::string> Unquote(std::string_view text, std::size_t& pos)
{
    if (pos >= text.size() || text[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++pos >= text.size())
            return std::nullopt;
        const char e = text[pos];
        if (e == '\\' || e == '"') {
            out.push_back(e);
        } else if (e == 'x' && pos + 2 < text.size()) {
            const std::string hex(text.substr(pos + 1, 2));
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end != hex.c_str() + 2)
                return std::nullopt;
            out.push_back(static_cast<char>(v));
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<NamedValue> ParseValueLine(std::string_view line)
{
    std::size_t pos = 0;
    NamedValue nv;
    if (line.starts_with("@=")) {
        pos = 1;
    } else {
        auto name = Unquote(line, pos);
        if (!name || pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        nv.name = std::move(*name);
    }
    ++pos;  // '='
    const std::string_view rest = line.substr(pos);
    if (rest.starts_with("dword:")) {
        const std::string digits(rest.substr(6));
        if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        nv.value = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
        return nv;
    }
    auto text = Unquote(line, pos);
    if (!text || pos != line.size())
        return std::nullopt;
    nv.value = std::move(*text);
    return nv;
}

std::string Folded(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// Later lines for a key or value already seen update it. Keys and values are found through
// indexes on their case-folded names, so a file of many keys loads in one pass: the file is
// outside input, and a module reads it at every start.
Store Parse(const std::string& content)
{
    Store store;
    std::unordered_map<std::string, std::size_t> keyIndex;
    std::vector<std::unordered_map<std::string, std::size_t>> valueIndex;  // per key in store
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t current = kNone;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            auto key = NormalKey(std::string_view(line).substr(1, line.size() - 2));
            current = kNone;
            if (!key)
                continue;
            const auto [it, added] = keyIndex.try_emplace(Folded(*key), store.size());
            if (added) {
                store.push_back(Key{std::move(*key), {}});
                valueIndex.emplace_back();
            }
            current = it->second;
            continue;
        }
        if (current == kNone)
            continue;
        if (auto nv = ParseValueLine(line)) {
            std::vector<NamedValue>& values = store[current].values;
            const auto [it, added] = valueIndex[current].try_emplace(Folded(nv->name), values.size());
            if (added)
                values.push_back(std::move(*nv));
            else
                values[it->second].value = std::move(nv->value);
        }
    }
    return store;
}

std::string Serialise(const Store& store)
{
    std::string out = "; per-user registry of the camera controls\n";
    for (const Key& key : store) {
        out += "\n[" + key.path + "]\n";
        for (const NamedValue& nv : key.values) {
            out += nv.name.empty() ? std::string("@") : "\"" + Escape(nv.name) + "\"";
            out += '=';
            if (const auto* number = std::get_if<std::uint32_t>(&nv.value)) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", *number);
                out += hex;
            } else {
                out += "\"" + Escape(std::get<std::string>(nv.value)) + "\"";
            }
            out += '\n';
        }
    }
    return out;
}

std::string DefaultStorePath()
{
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = std::filesystem::temp_directory_path();
    return (base / "kavaro-mensilo" / "registry.reg").string();
}

// Holds the inter-process lock on the store's lock file for its lifetime.
class FileLock {
public:
    FileLock(const std::string& storePath, bool exclusive)
    {
        std::error_code ignored;
        const std::filesystem::path path(storePath);
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), ignored);
        m_fd = ::open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0 && ::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

Store Load(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxStoreBytes)
        return {};
    std::ifstream in(path, std::ios::binary);
    std::string content(static_cast<std::size_t>(size), '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(content);
}

bool Save(const std::string& path, const Store& store)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        const std::string content = Serialise(store);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out)
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

Key* FindKey(Store& store, std::string_view key)
{
    auto it = std::find_if(store.begin(), store.end(), [&](const Key& k) { return SameName(k.path, key); });
    return it == store.end() ? nullptr : &*it;
}

std::string StorePathLocked()
{
    return g_pathOverride.empty() ? DefaultStorePath() : g_pathOverride;
}

// Runs edit on the loaded store under both locks and saves when edit says it changed.
template <typename Edit>
bool Modify(Edit edit)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const std::string path = StorePathLocked();
    FileLock lock(path, true);
    if (!lock.Held())
        return false;
    Store store = Load(path);
    if (!edit(store))
        return false;
    return Save(path, store);
}

template <typename Query>
auto Read(Query query)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const std::string path = StorePathLocked();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        Store none;
        return query(none);  // nothing stored yet: leave the disk untouched
    }
    FileLock lock(path, false);
    Store store = lock.Held() ? Load(path) : Store{};
    return query(store);
}

bool IsBelow(std::string_view candidate, std::string_view key)
{
    return candidate.size() > key.size() + 1 && candidate[key.size()] == '\\' && SameName(candidate.substr(0, key.size()), key);
}

} // namespace

std::string StorePath()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return StorePathLocked();
}

void SetStorePathForTesting(std::string path)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_pathOverride = std::move(path);
}

bool SetValue(std::string_view key, std::string_view name, const Value& value)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return false;
    return Modify([&](Store& store) {
        Key* k = FindKey(store, *normal);
        if (!k) {
            store.push_back(Key{*normal, {}});
            k = &store.back();
        }
        auto it = std::find_if(k->values.begin(), k->values.end(), [&](const NamedValue& v) { return SameName(v.name, name); });
        if (it == k->values.end())
            k->values.push_back(NamedValue{std::string(name), value});
        else
            it->value = value;
        return true;
    });
}

bool SetDword(std::string_view key, std::string_view name, std::uint32_t value)
{
    return SetValue(key, name, Value{value});
}

bool SetString(std::string_view key, std::string_view name, std::string_view value)
{
    return SetValue(key, name, Value{std::string(value)});
}

std::optional<Value> GetValue(std::string_view key, std::string_view name)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return std::nullopt;
    return Read([&](Store& store) -> std::optional<Value> {
        const Key* k = FindKey(store, *normal);
        if (!k)
            return std::nullopt;
        for (const NamedValue& v : k->values)
            if (SameName(v.name, name))
                return v.value;
        return std::nullopt;
    });
}

std::optional<std::uint32_t> GetDword(std::string_view key, std::string_view name)
{
    const auto value = GetValue(key, name);
    if (value)
        if (const auto* number = std::get_if<std::uint32_t>(&*value))
            return *number;
    return std::nullopt;
}

std::optional<std::string> GetString(std::string_view key, std::string_view name)
{
    const auto value = GetValue(key, name);
    if (value)
        if (const auto* text = std::get_if<std::string>(&*value))
            return *text;
    return std::nullopt;
}

bool KeyExists(std::string_view key)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return false;
    return Read([&](Store& store) {
        return std::any_of(store.begin(), store.end(),
                           [&](const Key& k) { return SameName(k.path, *normal) || IsBelow(k.path, *normal); });
    });
}

std::vector<std::string> SubKeys(std::string_view key)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return {};
    return Read([&](Store& store) {
        std::vector<std::string> names;
        for (const Key& k : store) {
            if (!IsBelow(k.path, *normal))
                continue;
            std::string child = k.path.substr(normal->size() + 1);
            child = child.substr(0, child.find('\\'));
            if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, child); }))
                names.push_back(child);
        }
        return names;
    });
}

bool DeleteValue(std::string_view key, std::string_view name)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return false;
    return Modify([&](Store& store) {
        Key* k = FindKey(store, *normal);
        if (!k)
            return false;
        const auto before = k->values.size();
        std::erase_if(k->values, [&](const NamedValue& v) { return SameName(v.name, name); });
        return k->values.size() != before;
    });
}

bool DeleteKey(std::string_view key)
{
    const auto normal = NormalKey(key);
    if (!normal)
        return false;
    return Modify([&](Store& store) {
        const auto before = store.size();
        std::erase_if(store, [&](const Key& k) { return SameName(k.path, *normal) || IsBelow(k.path, *normal); });
        return store.size() != before;
    });
}

bool WriteConnectionLimits()
{
    return Modify([](Store& store) {
        Key* k = FindKey(store, kInternetSettingsKey);
        if (!k) {
            store.push_back(Key{kInternetSettingsKey, {}});
            k = &store.back();
        }
        for (const char* name : {kMaxConnectionsPer1_0Server, kMaxConnectionsPerServer}) {
            auto it = std::find_if(k->values.begin(), k->values.end(), [&](const NamedValue& v) { return SameName(v.name, name); });
            if (it == k->values.end())
                k->values.push_back(NamedValue{name, Value{kModuleConnectionLimit}});
            else
                it->value = Value{kModuleConnectionLimit};
        }
        return true;
    });
}

int MaxConnectionsPerServer()
{
    const auto value = GetDword(kInternetSettingsKey, kMaxConnectionsPerServer);
    if (!value || *value == 0)
        return static_cast<int>(kModuleConnectionLimit);
    return static_cast<int>(std::min<std::uint32_t>(*value, 128));
}

} // namespace kv::registry
