// Both modules in one process: each exports only its public names and runs on its own
// copy of the shared decoding code, with its own limits.
#include "mpeg4dec.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

struct Module {
    explicit Module(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Module()
    {
        if (handle)
            dlclose(handle);
    }
    template <typename F>
    F Symbol(const char* name) const
    {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
    void* handle;
};

using CreateFn = intptr_t (*)();
using DestroyFn = int (*)(DECODER*);

std::set<std::string> ExportedNames(const std::string& path)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only --format=posix " + path + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    std::array<char, 1024> line{};
    while (fgets(line.data(), static_cast<int>(line.size()), pipe)) {
        std::string text(line.data());
        names.insert(text.substr(0, text.find(' ')));
    }
    pclose(pipe);
    return names;
}

bool IsPublicName(const std::string& name)
{
    static const std::set<std::string> plain = {
        "decoder_create", "decoder_decode", "decoder_destroy", "init_YUV2RGB_tab", "delete_YUV2RGB_tab",
        "ConvertYUVtoRGB", "MotionDetect", "G726_decoder_create", "G726_dec", "G726_decoder_destroy",
        "DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"};
    if (plain.count(name))
        return true;
    // the exported image classes, mangled: members, typeinfo and vtables
    for (const char* cls : {"7CxImage", "6CxFile", "8CxIOFile", "9CxMemFile"}) {
        if (name.find(cls) != std::string::npos)
            return true;
    }
    return false;
}

TEST(Modules, ExportOnlyTheirPublicNames)
{
    for (const char* path : {KV_KAVARO_MODULE, KV_MENSILO_MODULE}) {
        for (const std::string& name : ExportedNames(path))
            EXPECT_TRUE(IsPublicName(name)) << path << " exports " << name;
    }
    const auto kavaro = ExportedNames(KV_KAVARO_MODULE);
    const auto mensilo = ExportedNames(KV_MENSILO_MODULE);
    EXPECT_TRUE(kavaro.count("decoder_create"));
    EXPECT_TRUE(mensilo.count("decoder_create"));
    EXPECT_TRUE(kavaro.count("G726_dec"));
    EXPECT_FALSE(mensilo.count("G726_dec"));
}

TEST(Modules, EachRunsItsOwnCopyWithItsOwnLimits)
{
    // Loading a module writes the user's connection limits; keep them in a scratch folder.
    const auto config = std::filesystem::temp_directory_path() / "kv-module-test-config";
    std::filesystem::remove_all(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    Module kavaro(KV_KAVARO_MODULE);
    Module mensilo(KV_MENSILO_MODULE);
    ASSERT_NE(kavaro.handle, nullptr) << dlerror();
    ASSERT_NE(mensilo.handle, nullptr) << dlerror();

    auto kCreate = kavaro.Symbol<CreateFn>("decoder_create");
    auto mCreate = mensilo.Symbol<CreateFn>("decoder_create");
    ASSERT_TRUE(kCreate && mCreate);
    EXPECT_NE(reinterpret_cast<void*>(kCreate), reinterpret_cast<void*>(mCreate));

    // Until a stream says otherwise, a decoder is as large as its module allows.
    auto* k = reinterpret_cast<DECODER*>(kCreate());
    auto* m = reinterpret_cast<DECODER*>(mCreate());
    ASSERT_TRUE(k && m);
    EXPECT_EQ(k->width, 1024);
    EXPECT_EQ(k->height, 768);
    EXPECT_EQ(m->width, 640);
    EXPECT_EQ(m->height, 480);
    EXPECT_EQ(kavaro.Symbol<DestroyFn>("decoder_destroy")(k), 0);
    EXPECT_EQ(mensilo.Symbol<DestroyFn>("decoder_destroy")(m), 0);

    EXPECT_NE(kavaro.Symbol<void*>("G726_decoder_create"), nullptr);
    EXPECT_EQ(mensilo.Symbol<void*>("G726_decoder_create"), nullptr);

    std::stringstream store;
    store << std::ifstream(config / "kavaro-mensilo" / "registry.reg").rdbuf();
    EXPECT_NE(store.str().find("MaxConnectionsPerServer"), std::string::npos) << store.str();
    EXPECT_NE(store.str().find("MaxConnectionsPer1_0Server"), std::string::npos) << store.str();
    EXPECT_NE(store.str().find("\"MaxConnectionsPerServer\"=dword:00000019"), std::string::npos) << store.str();  // 25
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

TEST(Modules, UnloadCompletelyAndLeaveNothingBehind)
{
    // Run under AddressSanitizer, the leak check at exit covers every cycle: what a module
    // made at load is gone with it, and the libraries it brought in that cannot be unloaded
    // cleanly stay loaded instead of leaving memory behind on every cycle.
    const auto config = std::filesystem::temp_directory_path() / "kv-module-test-cycles";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (const char* path : {KV_KAVARO_MODULE, KV_MENSILO_MODULE}) {
            { Module module(path); ASSERT_NE(module.handle, nullptr) << dlerror(); }
            void* again = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
            EXPECT_EQ(again, nullptr) << path << " stayed loaded";
            if (again)
                dlclose(again);
        }
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

} // namespace
