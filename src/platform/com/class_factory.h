// What a module hands out for one of its classes: a factory that makes instances of it as
// widgets. Hosts reach it through the module's DllGetClassObject (entry_points.h).
//
// The interface is plain virtual calls, so a host uses a factory from a module it loaded
// at run time without linking any of the module's symbols.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

class QWidget;

namespace kv::com {

class IClassFactory {
public:
    // A new instance as a child of parent (or a top-level widget when parent is null, which
    // the caller then deletes). Null when the instance cannot be made.
    virtual QWidget* CreateInstance(QWidget* parent) = 0;
    // While locked, the module says it cannot be unloaded even without live instances.
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;  // factories belong to their module
};

// The interface identifier a host asks DllGetClassObject for.
inline constexpr Guid IID_IClassFactory = MakeGuid("56761342-15B2-4177-8C0D-F1B9B5A5DF58");

} // namespace kv::com
