#include "platform/com/module_start.h"

#include "platform/com/module_path.h"
#include "platform/registry/registry.h"

namespace kv::com {

void StartControlModule(std::initializer_list<const void*> residentLibraries)
{
    for (const void* address : residentLibraries)
        KeepLibraryResident(address);
    registry::WriteConnectionLimits();
}

} // namespace kv::com
