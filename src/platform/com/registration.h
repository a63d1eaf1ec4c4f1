// Registration of a control module in the per-user registry, in the keys the original
// platform uses below "Software\Classes":
//
//   CLSID\{clsid}                  @ = type name
//     InprocServer32               @ = module path, ThreadingModel = "Apartment"
//     ProgID                       @ = ProgID
//     Control, Insertable          (controls only; present, empty)
//     MiscStatus                   @ = "0";  MiscStatus\1  @ = the misc status in decimal
//     ToolboxBitmap32              @ = "<module path>, <bitmap number>"
//     TypeLib                      @ = {libid}
//     Version                      @ = "1.0"
//     Implemented Categories\{catid}
//   <ProgID>                       @ = type name;  <ProgID>\CLSID  @ = {clsid}
//   TypeLib\{libid}\<major.minor>  @ = help string, HelpFile = help file
//     FLAGS @ = "0";  HELPDIR @ = module folder;  <lcid hex>\win32  @ = module path
//   Interface\{iid}                @ = interface name;  TypeLib @ = {libid}, Version = "1.0"
//   Component Categories\{catid}   "<lcid hex>" = description (at most 127 characters)
//
// A key without values of its own is stored with an empty default value, which is how the
// store keeps an empty key.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv::com {

inline constexpr const char kClassesRoot[] = "Software\\Classes";
inline constexpr std::size_t kMaxCategoryDescription = 127;
inline constexpr int kLocaleEnglishUs = 0x409;  // 1033

struct InterfaceInfo {
    Guid iid;
    std::string name;
};

struct TypeLibInfo {
    Guid libid;
    int majorVersion = 1;
    int minorVersion = 0;
    int locale = kLocaleEnglishUs;
    std::string helpString;
    std::string helpFile;
    std::vector<InterfaceInfo> interfaces;

    std::string Version() const;  // "1.0"
};

// What only an insertable control records.
struct ControlTraits {
    int toolboxBitmapId = 1;
    std::uint32_t miscStatus = 0;
    Guid libid;
    std::string typeLibVersion = "1.0";
};

struct ClassInfo {
    Guid clsid;
    std::string progId;
    std::string typeName;
    std::optional<ControlTraits> control;
};

struct CategoryInfo {
    Guid catid;
    int locale = kLocaleEnglishUs;
    std::string description;
};

// Everything one module registers. The control class (controlClsid) is marked as
// implementing every category listed.
struct ServerInfo {
    TypeLibInfo typeLib;
    std::vector<ClassInfo> classes;
    Guid controlClsid;
    std::vector<CategoryInfo> categories;
};

// Key paths, for the host side and for tests.
std::string ClassKey(const Guid& clsid);             // Software\Classes\CLSID\{clsid}
std::string ProgIdKey(const std::string& progId);    // Software\Classes\<ProgID>
std::string TypeLibKey(const Guid& libid);           // Software\Classes\TypeLib\{libid}
std::string InterfaceKey(const Guid& iid);           // Software\Classes\Interface\{iid}
std::string CategoryKey(const Guid& catid);          // Software\Classes\Component Categories\{catid}
std::string LocaleName(int locale);                  // 0x409 -> "409"

// Single steps. Each is false (or its error code) when the store cannot be written.
bool RegisterTypeLib(const TypeLibInfo& typeLib, const std::string& modulePath);
// False when that version of the library is not registered, or cannot be removed.
bool UnregisterTypeLib(const TypeLibInfo& typeLib);
bool RegisterClass(const ClassInfo& info, const std::string& modulePath);
// Removes the class key, and the ProgID key when it names this class. True when nothing
// of it is left (also when nothing was there).
bool UnregisterClass(const ClassInfo& info);
HRESULT RegisterCategory(const CategoryInfo& category);
HRESULT RegisterImplementedCategory(const Guid& clsid, const Guid& catid);

// The module's DllRegisterServer: type library (SELFREG_E_TYPELIB), classes
// (SELFREG_E_CLASS), then each category and the control's mark (the first failing step's
// code). S_OK when everything was recorded.
HRESULT RegisterServer(const ServerInfo& server, const std::string& modulePath);
// The module's DllUnregisterServer: type library (SELFREG_E_TYPELIB, also when it is not
// registered), then the classes with everything below their keys (SELFREG_E_CLASS). The
// component categories stay, as other controls may implement them too.
HRESULT UnregisterServer(const ServerInfo& server);

// Host side: the class a ProgID names, and the module that serves a class.
std::optional<Guid> ClsidFromProgId(const std::string& progId);
std::optional<std::string> InprocServerPath(const Guid& clsid);

} // namespace kv::com
