#include "platform/com/module_path.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace kv::com {

std::string ModulePathOf(const void* address)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code ec;
    // The loader reports the name it was given, which may be relative to a folder the
    // host has since left; the registry needs a path that stays valid.
    auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, ec), ec);
    return ec ? std::string(info.dli_fname) : path.string();
}

bool KeepLibraryResident(const void* address)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname)
        return false;
    // Already loaded: this only raises the "never unload" flag, then gives back the extra
    // reference.
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

} // namespace kv::com
