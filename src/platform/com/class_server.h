// The module side of the class objects: counting what keeps a module loaded, and the
// factory each class hands out through DllGetClassObject.
#pragma once

#include "platform/com/class_factory.h"

#include <atomic>
#include <functional>
#include <span>

namespace kv::com {

// Live instances and factory locks of one module. DllCanUnloadNow answers from it.
class CModuleUsage {
public:
    void AddInstance() noexcept { ++m_instances; }
    void ReleaseInstance() noexcept { --m_instances; }
    void Lock() noexcept { ++m_locks; }
    // An unlock without a lock is ignored, so a confused host cannot make the count lie.
    bool Unlock() noexcept;
    int Instances() const noexcept { return m_instances.load(); }
    int Locks() const noexcept { return m_locks.load(); }
    bool CanUnload() const noexcept { return Instances() == 0 && Locks() == 0; }

private:
    std::atomic<int> m_instances{0};
    std::atomic<int> m_locks{0};
};

// Counts one instance for its lifetime; every object a factory makes holds one.
class CInstanceToken {
public:
    explicit CInstanceToken(CModuleUsage& usage) noexcept : m_usage(usage) { m_usage.AddInstance(); }
    ~CInstanceToken() { m_usage.ReleaseInstance(); }
    CInstanceToken(const CInstanceToken&) = delete;
    CInstanceToken& operator=(const CInstanceToken&) = delete;

private:
    CModuleUsage& m_usage;
};

class CClassFactory final : public IClassFactory {
public:
    using Creator = std::function<QWidget*(QWidget* parent)>;

    CClassFactory(const Guid& clsid, Creator creator, CModuleUsage& usage);

    // Null when the creator fails or runs out of memory; nothing escapes to the host.
    QWidget* CreateInstance(QWidget* parent) override;
    HRESULT LockServer(bool lock) override;
    const Guid& ClassId() const noexcept { return m_clsid; }

private:
    Guid m_clsid;
    Creator m_creator;
    CModuleUsage& m_usage;
};

// DllGetClassObject over a module's factories: E_POINTER without an out pointer (or a null
// identifier), CLASS_E_CLASSNOTAVAILABLE for a class the module does not have,
// E_NOINTERFACE for another interface. *object is null on every failure.
HRESULT GetClassObject(std::span<CClassFactory* const> factories, const Guid* clsid, const Guid* iid, void** object);

} // namespace kv::com
