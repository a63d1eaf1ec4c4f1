// The host side: loading a control module, and creating a control by its ProgID through the
// registry (ProgID -> CLSID -> InprocServer32 -> load -> DllGetClassObject -> factory).
#pragma once

#include "platform/com/class_factory.h"
#include "platform/com/entry_points.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

namespace kv::com {

// A loaded module and its four entry points. Unloaded when destroyed, but only when the
// module says it can be (no live instance, no lock); otherwise it stays loaded.
class CInprocServer {
public:
    // Nullptr, with the reason in error, when the file cannot be loaded or lacks an entry
    // point.
    static std::unique_ptr<CInprocServer> Load(const std::string& path, std::string& error);
    ~CInprocServer();
    CInprocServer(const CInprocServer&) = delete;
    CInprocServer& operator=(const CInprocServer&) = delete;

    const std::string& Path() const { return m_path; }
    HRESULT RegisterServer() const { return m_register(); }
    HRESULT UnregisterServer() const { return m_unregister(); }
    HRESULT CanUnloadNow() const { return m_canUnloadNow(); }
    HRESULT GetClassObject(const Guid& clsid, IClassFactory** factory) const;

private:
    CInprocServer() = default;

    std::string m_path;
    void* m_handle = nullptr;
    DllRegisterServerFn m_register = nullptr;
    DllUnregisterServerFn m_unregister = nullptr;
    DllGetClassObjectFn m_getClassObject = nullptr;
    DllCanUnloadNowFn m_canUnloadNow = nullptr;
};

// A control made by its module's factory, and the module it came from. The widget goes
// first (if its parent has not taken it already), then the module.
class CControlInstance {
public:
    CControlInstance(std::unique_ptr<CInprocServer> server, QWidget* widget);
    ~CControlInstance();
    CControlInstance(const CControlInstance&) = delete;
    CControlInstance& operator=(const CControlInstance&) = delete;

    QWidget* Widget() const { return m_widget.data(); }
    CInprocServer& Server() const { return *m_server; }

private:
    std::unique_ptr<CInprocServer> m_server;
    QPointer<QWidget> m_widget;
};

// True when the registry names modulePath (the same file) as the server of progId.
bool IsRegisteredTo(const std::string& progId, const std::string& modulePath);

// Creates the control that progId names, as a child of parent. Nullptr, with a one-line
// reason in error, when the ProgID or its class is not registered, the module does not load
// or does not serve the class, or the factory makes nothing.
std::unique_ptr<CControlInstance> CreateControlByProgId(const std::string& progId, QWidget* parent,
                                                        std::string& error);

// "0x80040111" for messages.
std::string HresultText(HRESULT hr);

} // namespace kv::com
