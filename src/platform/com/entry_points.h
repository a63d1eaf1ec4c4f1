// The four functions every control module exports (with C linkage, so a host finds them by
// name with dlsym), and what they mean:
//
//   DllRegisterServer    records the module's type library, classes and categories in the
//                        per-user registry; S_OK, or SELFREG_E_TYPELIB / SELFREG_E_CLASS /
//                        the failing category step's code.
//   DllUnregisterServer  removes the type library and class records; the categories stay.
//   DllGetClassObject    the class factory of a class the module implements, for the
//                        interface IID_IClassFactory.
//   DllCanUnloadNow      S_OK when no instance lives and no factory is locked, else S_FALSE.
#pragma once

#include "core/export.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/module_path.h"

#include <type_traits>

namespace kv::com {

using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, const Guid* iid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();

inline constexpr const char kDllRegisterServer[] = "DllRegisterServer";
inline constexpr const char kDllUnregisterServer[] = "DllUnregisterServer";
inline constexpr const char kDllGetClassObject[] = "DllGetClassObject";
inline constexpr const char kDllCanUnloadNow[] = "DllCanUnloadNow";

} // namespace kv::com

// Defines the four exported functions of a module over its CControlServer (an expression
// of type kv::com::CControlServer&). Used once per module, in a file only that module
// compiles.
#define KV_EXPORT_CONTROL_ENTRY_POINTS(server)                                                                  \
    extern "C" {                                                                                                \
    KV_API ::kv::com::HRESULT DllRegisterServer()                                                               \
    {                                                                                                           \
        return (server).Register(::kv::com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));  \
    }                                                                                                           \
    KV_API ::kv::com::HRESULT DllUnregisterServer() { return (server).Unregister(); }                           \
    KV_API ::kv::com::HRESULT DllGetClassObject(const ::kv::com::Guid* clsid, const ::kv::com::Guid* iid,       \
                                                void** object)                                                  \
    {                                                                                                           \
        return (server).GetClassObject(clsid, iid, object);                                                     \
    }                                                                                                           \
    KV_API ::kv::com::HRESULT DllCanUnloadNow() { return (server).CanUnloadNow(); }                             \
    }                                                                                                           \
    static_assert(std::is_same_v<decltype(&DllRegisterServer), ::kv::com::DllRegisterServerFn>);              \
    static_assert(std::is_same_v<decltype(&DllUnregisterServer), ::kv::com::DllUnregisterServerFn>);          \
    static_assert(std::is_same_v<decltype(&DllGetClassObject), ::kv::com::DllGetClassObjectFn>);              \
    static_assert(std::is_same_v<decltype(&DllCanUnloadNow), ::kv::com::DllCanUnloadNowFn>)
