#include "platform/com/class_server.h"

#include <new>
#include <utility>

namespace kv::com {

bool CModuleUsage::Unlock() noexcept
{
    int locks = m_locks.load();
    while (locks > 0) {
        if (m_locks.compare_exchange_weak(locks, locks - 1))
            return true;
    }
    return false;
}

CClassFactory::CClassFactory(const Guid& clsid, Creator creator, CModuleUsage& usage)
    : m_clsid(clsid), m_creator(std::move(creator)), m_usage(usage)
{
}

QWidget* CClassFactory::CreateInstance(QWidget* parent)
{
    if (!m_creator)
        return nullptr;
    try {
        return m_creator(parent);
    } catch (...) {
        // The host is another program: nothing may be thrown across to it.
        return nullptr;
    }
}

HRESULT CClassFactory::LockServer(bool lock)
{
    if (lock) {
        m_usage.Lock();
        return S_OK;
    }
    return m_usage.Unlock() ? S_OK : E_FAIL;
}

HRESULT GetClassObject(std::span<CClassFactory* const> factories, const Guid* clsid, const Guid* iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid)
        return E_POINTER;
    for (CClassFactory* factory : factories) {
        if (!factory || factory->ClassId() != *clsid)
            continue;
        if (*iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace kv::com
