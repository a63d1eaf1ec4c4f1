#include "platform/com/control_server.h"

#include "platform/com/component_categories.h"

#include <array>
#include <utility>

namespace kv::com {

ServerInfo ControlServerInfo(const ControlIdentity& id)
{
    ServerInfo s;
    s.typeLib.libid = id.libid;
    s.typeLib.majorVersion = id.versionMajor;
    s.typeLib.minorVersion = id.versionMinor;
    s.typeLib.helpString = id.typeLibHelp;
    s.typeLib.helpFile = id.helpFile;
    s.typeLib.interfaces = {{id.dispatchIid, id.dispatchName}, {id.eventIid, id.eventName}};
    ControlTraits control;
    control.toolboxBitmapId = id.toolboxBitmap;
    control.miscStatus = id.miscStatus;
    control.libid = id.libid;
    control.typeLibVersion = s.typeLib.Version();
    s.classes = {
        {id.clsid, id.progId, id.typeName, control},
        {id.pageClsid, id.pageProgId, id.pageTypeName, std::nullopt},
    };
    s.controlClsid = id.clsid;
    s.categories = {
        {CATID_SafeForInitializing, kLocaleEnglishUs, kSafeForInitializingDescription},
        {CATID_SafeForScripting, kLocaleEnglishUs, kSafeForScriptingDescription},
    };
    return s;
}

CControlServer::CControlServer(const ControlIdentity& identity, CClassFactory::Creator control,
                               CClassFactory::Creator page)
    : m_info(ControlServerInfo(identity)),
      m_control(identity.clsid, std::move(control), m_usage),
      m_page(identity.pageClsid, std::move(page), m_usage)
{
}

HRESULT CControlServer::GetClassObject(const Guid* clsid, const Guid* iid, void** object)
{
    const std::array<CClassFactory*, 2> factories{&m_control, &m_page};
    return com::GetClassObject(factories, clsid, iid, object);
}

} // namespace kv::com
