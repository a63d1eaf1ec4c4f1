#include "platform/com/inproc_server.h"

#include "platform/com/registration.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kv::com {

namespace {

template <typename F>
F Symbol(void* handle, const char* name)
{
    return reinterpret_cast<F>(dlsym(handle, name));
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

std::string HresultText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::unique_ptr<CInprocServer> CInprocServer::Load(const std::string& path, std::string& error)
{
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    std::unique_ptr<CInprocServer> server(new CInprocServer);
    server->m_path = path;
    server->m_handle = handle;
    server->m_register = Symbol<DllRegisterServerFn>(handle, kDllRegisterServer);
    server->m_unregister = Symbol<DllUnregisterServerFn>(handle, kDllUnregisterServer);
    server->m_getClassObject = Symbol<DllGetClassObjectFn>(handle, kDllGetClassObject);
    server->m_canUnloadNow = Symbol<DllCanUnloadNowFn>(handle, kDllCanUnloadNow);
    if (!server->m_register || !server->m_unregister || !server->m_getClassObject || !server->m_canUnloadNow) {
        error = path + " is not a control module (it lacks the entry points)";
        return nullptr;  // the destructor unloads it: nothing of it was used
    }
    return server;
}

CInprocServer::~CInprocServer()
{
    if (!m_handle)
        return;
    // A module with live objects stays: unloading it would pull their code away.
    if (m_canUnloadNow && m_canUnloadNow() != S_OK)
        return;
    dlclose(m_handle);
}

HRESULT CInprocServer::GetClassObject(const Guid& clsid, IClassFactory** factory) const
{
    if (!factory)
        return E_POINTER;
    void* object = nullptr;
    const HRESULT hr = m_getClassObject(&clsid, &IID_IClassFactory, &object);
    *factory = Succeeded(hr) ? static_cast<IClassFactory*>(object) : nullptr;
    return (Succeeded(hr) && !object) ? E_POINTER : hr;
}

CControlInstance::CControlInstance(std::unique_ptr<CInprocServer> server, QWidget* widget)
    : m_server(std::move(server)), m_widget(widget)
{
}

CControlInstance::~CControlInstance()
{
    delete m_widget.data();
    m_server.reset();
}

bool IsRegisteredTo(const std::string& progId, const std::string& modulePath)
{
    const auto clsid = ClsidFromProgId(progId);
    if (!clsid)
        return false;
    const auto path = InprocServerPath(*clsid);
    return path && SameFile(*path, modulePath);
}

std::unique_ptr<CControlInstance> CreateControlByProgId(const std::string& progId, QWidget* parent,
                                                        std::string& error)
{
    const auto clsid = ClsidFromProgId(progId);
    if (!clsid) {
        error = "no class is registered for " + progId;
        return nullptr;
    }
    const auto path = InprocServerPath(*clsid);
    if (!path) {
        error = "class " + ToString(*clsid) + " of " + progId + " has no module registered";
        return nullptr;
    }
    auto server = CInprocServer::Load(*path, error);
    if (!server)
        return nullptr;
    IClassFactory* factory = nullptr;
    if (const HRESULT hr = server->GetClassObject(*clsid, &factory); Failed(hr)) {
        error = *path + " does not serve class " + ToString(*clsid) + " of " + progId + " (" + HresultText(hr) + ")";
        return nullptr;
    }
    QWidget* widget = factory->CreateInstance(parent);
    if (!widget) {
        error = *path + " could not create " + progId;
        return nullptr;
    }
    return std::make_unique<CControlInstance>(std::move(server), widget);
}

} // namespace kv::com
