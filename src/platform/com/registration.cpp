#include "platform/com/registration.h"

#include "platform/registry/registry.h"

#include <cstdio>
#include <filesystem>

namespace kv::com {

namespace {

std::string Join(const std::string& key, const std::string& child) { return key + "\\" + child; }

// Collects writes and remembers whether every one of them reached the store.
class Writer {
public:
    void String(const std::string& key, const std::string& name, const std::string& value)
    {
        m_ok = registry::SetString(key, name, value) && m_ok;
    }
    void Default(const std::string& key, const std::string& value) { String(key, "", value); }
    void EmptyKey(const std::string& key) { Default(key, ""); }
    bool Ok() const { return m_ok; }

private:
    bool m_ok = true;
};

// Removes a key with everything below it; true when it is gone afterwards.
bool RemoveKey(const std::string& key)
{
    if (!registry::KeyExists(key))
        return true;
    registry::DeleteKey(key);
    return !registry::KeyExists(key);
}

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

} // namespace

std::string TypeLibInfo::Version() const
{
    return std::to_string(majorVersion) + "." + std::to_string(minorVersion);
}

std::string ClassKey(const Guid& clsid) { return std::string(kClassesRoot) + "\\CLSID\\" + ToString(clsid); }
std::string ProgIdKey(const std::string& progId) { return std::string(kClassesRoot) + "\\" + progId; }
std::string TypeLibKey(const Guid& libid) { return std::string(kClassesRoot) + "\\TypeLib\\" + ToString(libid); }
std::string InterfaceKey(const Guid& iid) { return std::string(kClassesRoot) + "\\Interface\\" + ToString(iid); }
std::string CategoryKey(const Guid& catid)
{
    return std::string(kClassesRoot) + "\\Component Categories\\" + ToString(catid);
}

std::string LocaleName(int locale)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(locale));
    return text;
}

bool RegisterTypeLib(const TypeLibInfo& typeLib, const std::string& modulePath)
{
    Writer w;
    const std::string version = Join(TypeLibKey(typeLib.libid), typeLib.Version());
    w.Default(version, typeLib.helpString);
    w.String(version, "HelpFile", typeLib.helpFile);
    w.Default(Join(version, "FLAGS"), "0");
    w.Default(Join(version, "HELPDIR"), FolderOf(modulePath));
    w.Default(Join(Join(version, LocaleName(typeLib.locale)), "win32"), modulePath);
    for (const InterfaceInfo& itf : typeLib.interfaces) {
        const std::string key = InterfaceKey(itf.iid);
        w.Default(key, itf.name);
        w.Default(Join(key, "TypeLib"), ToString(typeLib.libid));
        w.String(Join(key, "TypeLib"), "Version", typeLib.Version());
    }
    return w.Ok();
}

bool UnregisterTypeLib(const TypeLibInfo& typeLib)
{
    const std::string library = TypeLibKey(typeLib.libid);
    const std::string version = Join(library, typeLib.Version());
    if (!registry::KeyExists(version))
        return false;
    bool ok = RemoveKey(version);
    for (const InterfaceInfo& itf : typeLib.interfaces) {
        // Only interface records that still belong to this library.
        const auto owner = registry::GetString(Join(InterfaceKey(itf.iid), "TypeLib"), "");
        if (owner && ParseGuid(*owner) == typeLib.libid)
            ok = RemoveKey(InterfaceKey(itf.iid)) && ok;
    }
    // The library key goes with its last version.
    if (ok && registry::SubKeys(library).empty())
        ok = RemoveKey(library);
    return ok;
}

bool RegisterClass(const ClassInfo& info, const std::string& modulePath)
{
    Writer w;
    const std::string key = ClassKey(info.clsid);
    const std::string clsid = ToString(info.clsid);
    w.Default(key, info.typeName);
    w.Default(Join(key, "InprocServer32"), modulePath);
    w.String(Join(key, "InprocServer32"), "ThreadingModel", "Apartment");
    if (!info.progId.empty()) {
        w.Default(Join(key, "ProgID"), info.progId);
        w.Default(ProgIdKey(info.progId), info.typeName);
        w.Default(Join(ProgIdKey(info.progId), "CLSID"), clsid);
    }
    if (info.control) {
        const ControlTraits& c = *info.control;
        w.EmptyKey(Join(key, "Control"));
        w.EmptyKey(Join(key, "Insertable"));
        w.Default(Join(key, "MiscStatus"), "0");
        w.Default(Join(Join(key, "MiscStatus"), "1"), std::to_string(c.miscStatus));
        w.Default(Join(key, "ToolboxBitmap32"), modulePath + ", " + std::to_string(c.toolboxBitmapId));
        w.Default(Join(key, "TypeLib"), ToString(c.libid));
        w.Default(Join(key, "Version"), c.typeLibVersion);
    }
    return w.Ok();
}

bool UnregisterClass(const ClassInfo& info)
{
    bool ok = RemoveKey(ClassKey(info.clsid));
    if (!info.progId.empty()) {
        // Another module may have taken the ProgID since: its record stays.
        const auto named = registry::GetString(Join(ProgIdKey(info.progId), "CLSID"), "");
        if (!named || ParseGuid(*named) == info.clsid)
            ok = RemoveKey(ProgIdKey(info.progId)) && ok;
    }
    return ok;
}

HRESULT RegisterCategory(const CategoryInfo& category)
{
    const std::string description = category.description.substr(0, kMaxCategoryDescription);
    return registry::SetString(CategoryKey(category.catid), LocaleName(category.locale), description)
               ? S_OK
               : REGDB_E_WRITEREGDB;
}

HRESULT RegisterImplementedCategory(const Guid& clsid, const Guid& catid)
{
    const std::string key = Join(Join(ClassKey(clsid), "Implemented Categories"), ToString(catid));
    return registry::SetString(key, "", "") ? S_OK : REGDB_E_WRITEREGDB;
}

HRESULT RegisterServer(const ServerInfo& server, const std::string& modulePath)
{
    if (!RegisterTypeLib(server.typeLib, modulePath))
        return SELFREG_E_TYPELIB;
    for (const ClassInfo& info : server.classes)
        if (!RegisterClass(info, modulePath))
            return SELFREG_E_CLASS;
    for (const CategoryInfo& category : server.categories) {
        if (const HRESULT hr = RegisterCategory(category); Failed(hr))
            return hr;
        if (const HRESULT hr = RegisterImplementedCategory(server.controlClsid, category.catid); Failed(hr))
            return hr;
    }
    return S_OK;
}

HRESULT UnregisterServer(const ServerInfo& server)
{
    if (!UnregisterTypeLib(server.typeLib))
        return SELFREG_E_TYPELIB;
    bool ok = true;
    for (const ClassInfo& info : server.classes)
        ok = UnregisterClass(info) && ok;
    return ok ? S_OK : SELFREG_E_CLASS;
}

std::optional<Guid> ClsidFromProgId(const std::string& progId)
{
    if (progId.empty())
        return std::nullopt;
    const auto text = registry::GetString(Join(ProgIdKey(progId), "CLSID"), "");
    if (!text)
        return std::nullopt;
    return ParseGuid(*text);
}

std::optional<std::string> InprocServerPath(const Guid& clsid)
{
    auto path = registry::GetString(Join(ClassKey(clsid), "InprocServer32"), "");
    if (!path || path->empty())
        return std::nullopt;
    return path;
}

} // namespace kv::com
