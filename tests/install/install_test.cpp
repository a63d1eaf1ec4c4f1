// Installs the modules to a scratch prefix as the README says, then builds and runs a small
// program against each through its pkg-config file alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string text;
};

// Runs a shell command line made only of paths this test chose; stdout and stderr together.
Output Shell(const std::string& command)
{
    Output out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe))
        out.text += buffer.data();
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

const char kProbe[] = R"(#include <mpeg4dec.h>
#include <ximage.h>
#include <cstdio>
int main()
{
    DECODER* decoder = reinterpret_cast<DECODER*>(decoder_create());
    if (!decoder)
        return 2;
    std::printf("%dx%d ", decoder->width, decoder->height);
    decoder_destroy(decoder);
    CxImage image;
    if (!image.Create(321, 2, 24, 1))
        return 3;
    std::printf("%u\n", image.GetEffWidth());
    return 0;
}
)";

class InstalledModules : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = fs::temp_directory_path() / ("kv-install-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        // Installed under a prefix unlike the configured one, as a packager or user would.
        prefix = root / "elsewhere" / "prefix";
        installed = Shell("cmake --install " + Quoted(KV_BINARY_DIR) + " --prefix " + Quoted(prefix));
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(prefix, error); !error && it != fs::recursive_directory_iterator();
             it.increment(error))
            if (it->path().filename() == "Kavaro.pc")
                pkgconfigDir = it->path().parent_path();
    }
    static void TearDownTestSuite() { fs::remove_all(root); }

    static std::string PkgConfig(const std::string& arguments)
    {
        return "PKG_CONFIG_PATH=" + Quoted(pkgconfigDir) + " PKG_CONFIG_LIBDIR=" + Quoted(pkgconfigDir) + " pkg-config " +
               arguments;
    }

    static fs::path root;
    static fs::path prefix;
    static fs::path pkgconfigDir;
    static Output installed;
};

fs::path InstalledModules::root;
fs::path InstalledModules::prefix;
fs::path InstalledModules::pkgconfigDir;
Output InstalledModules::installed;

TEST_F(InstalledModules, PkgConfigPointsIntoTheInstalledPrefix)
{
    ASSERT_EQ(installed.status, 0) << installed.text;
    ASSERT_FALSE(pkgconfigDir.empty()) << "no Kavaro.pc installed";
    for (const char* module : {"Kavaro", "Mensilo"}) {
        SCOPED_TRACE(module);
        const Output includedir = Shell(PkgConfig("--variable=includedir ") + module);
        ASSERT_EQ(includedir.status, 0) << includedir.text;
        EXPECT_TRUE(fs::exists(fs::path(Trimmed(includedir.text)) / "mpeg4dec.h")) << includedir.text;
        std::error_code error;
        EXPECT_TRUE(fs::equivalent(fs::path(Trimmed(includedir.text)), prefix / "include" / "kavaro-mensilo", error));
        const Output libdir = Shell(PkgConfig("--variable=libdir ") + module);
        ASSERT_EQ(libdir.status, 0) << libdir.text;
        EXPECT_TRUE(fs::exists(fs::path(Trimmed(libdir.text)) / (std::string("lib") + module + ".so"))) << libdir.text;
    }
}

TEST_F(InstalledModules, ASmallProgramBuildsAndRunsAgainstEachModule)
{
    ASSERT_EQ(installed.status, 0) << installed.text;
    ASSERT_FALSE(pkgconfigDir.empty());
    const fs::path source = root / "probe.cpp";
    std::ofstream(source) << kProbe;
    const std::pair<const char*, const char*> expected[] = {{"Kavaro", "1024x768 964"}, {"Mensilo", "640x480 964"}};
    for (const auto& [module, answer] : expected) {
        SCOPED_TRACE(module);
        const fs::path program = root / (std::string("probe-") + module);
        // The flags come from pkg-config inside the shell, exactly as a user's build would take them.
        const std::string compile = std::string(KV_CXX_COMPILER) + " -std=c++20 " + KV_PROBE_FLAGS + " " + Quoted(source) +
                                    " -o " + Quoted(program) + " $(" + PkgConfig("--cflags --libs ") + module + ")";
        const Output built = Shell(compile);
        ASSERT_EQ(built.status, 0) << compile << "\n" << built.text;
        const std::string libdir = Trimmed(Shell(PkgConfig("--variable=libdir ") + module).text);
        const Output ran = Shell("ASAN_OPTIONS=detect_leaks=0 LD_LIBRARY_PATH=" + Quoted(libdir) + " " + Quoted(program));
        EXPECT_EQ(ran.status, 0) << ran.text;
        EXPECT_EQ(Trimmed(ran.text), answer);
    }
}

} // namespace
