// One control module as a class server: the control class and its property page, the type
// library with the control's dispatch and event interfaces, the two safe-for-pages
// categories. Its four operations are what the module's exported entry points do.
#pragma once

#include "platform/com/class_server.h"
#include "platform/com/hresult.h"
#include "platform/com/registration.h"

#include <cstdint>
#include <string>

namespace kv::com {

struct ControlIdentity {
    Guid libid;
    Guid dispatchIid;
    const char* dispatchName;      // "_DKavaro"
    Guid eventIid;
    const char* eventName;         // "_DKavaroEvents"
    Guid clsid;
    const char* progId;
    const char* typeName;
    Guid pageClsid;
    const char* pageProgId;
    const char* pageTypeName;
    const char* typeLibHelp;
    const char* helpFile;
    int versionMajor = 1;
    int versionMinor = 0;
    std::uint32_t miscStatus = 0;
    int toolboxBitmap = 1;
};

// The registration record of such a module.
ServerInfo ControlServerInfo(const ControlIdentity& identity);

class CControlServer {
public:
    CControlServer(const ControlIdentity& identity, CClassFactory::Creator control, CClassFactory::Creator page);
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;

    const ServerInfo& Info() const { return m_info; }
    // Live objects and factory locks; every object the factories make holds a token on it.
    CModuleUsage& Usage() { return m_usage; }

    HRESULT Register(const std::string& modulePath) const { return RegisterServer(m_info, modulePath); }
    HRESULT Unregister() const { return UnregisterServer(m_info); }
    HRESULT GetClassObject(const Guid* clsid, const Guid* iid, void** object);
    HRESULT CanUnloadNow() const { return m_usage.CanUnload() ? S_OK : S_FALSE; }

private:
    ServerInfo m_info;
    CModuleUsage m_usage;
    CClassFactory m_control;
    CClassFactory m_page;
};

} // namespace kv::com
