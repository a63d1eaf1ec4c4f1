#include "platform/net/connection_limit.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kv {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() /
                ("kv-registry-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        registry::SetStorePathForTesting((m_dir / "registry.reg").string());
    }
    void TearDown() override
    {
        registry::SetStorePathForTesting({});
        std::filesystem::remove_all(m_dir);
    }
    std::filesystem::path m_dir;
};

TEST_F(RegistryTest, ModuleStartWritesBothLimitsAndTheHttpLayerReadsThem)
{
    EXPECT_EQ(registry::MaxConnectionsPerServer(), 25);  // nothing stored yet
    ASSERT_TRUE(registry::SetDword(registry::kInternetSettingsKey, registry::kMaxConnectionsPerServer, 3));
    EXPECT_EQ(registry::MaxConnectionsPerServer(), 3);
    ASSERT_TRUE(registry::WriteConnectionLimits());
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    EXPECT_EQ(registry::GetDword(key, "MaxConnectionsPer1_0Server"), 25u);
    EXPECT_EQ(registry::GetDword(key, "MaxConnectionsPerServer"), 25u);
    EXPECT_EQ(registry::MaxConnectionsPerServer(), 25);
    std::ifstream in(registry::StorePath());
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("[Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]"), std::string::npos);
    EXPECT_NE(text.find("\"MaxConnectionsPerServer\"=dword:00000019"), std::string::npos);
}

TEST_F(RegistryTest, ValuesRoundTripWithCaseInsensitiveNamesAndEscapes)
{
    const std::string odd = std::string("quote\" back\\slash\nline\ttab") + '\0' + "end";
    ASSERT_TRUE(registry::SetString("Software\\Classes\\KAVARO.KavaroCtrl.1", "", "Kavaro Control"));
    ASSERT_TRUE(registry::SetString("Software\\Classes\\KAVARO.KavaroCtrl.1\\CLSID", "", "{1234}"));
    ASSERT_TRUE(registry::SetString("Software\\Classes\\Other", "Odd \"name\"", odd));
    ASSERT_TRUE(registry::SetDword("software\\classes\\other", "Number", 0xFFFFFFFFu));
    EXPECT_EQ(registry::GetString("SOFTWARE\\CLASSES\\kavaro.kavaroctrl.1", ""), "Kavaro Control");
    EXPECT_EQ(registry::GetString("Software\\Classes\\Other", "odd \"NAME\""), odd);
    EXPECT_EQ(registry::GetDword("Software\\Classes\\Other", "Number"), 0xFFFFFFFFu);
    EXPECT_FALSE(registry::GetDword("Software\\Classes\\Other", "odd \"name\""));  // a string, not a number
    const auto children = registry::SubKeys("Software\\Classes");
    EXPECT_EQ(children.size(), 2u);
    EXPECT_TRUE(registry::DeleteKey("Software\\Classes\\KAVARO.KavaroCtrl.1"));
    EXPECT_FALSE(registry::KeyExists("Software\\Classes\\KAVARO.KavaroCtrl.1\\CLSID"));
    EXPECT_TRUE(registry::KeyExists("Software\\Classes\\Other"));
    EXPECT_TRUE(registry::DeleteValue("Software\\Classes\\Other", "Number"));
    EXPECT_FALSE(registry::GetValue("Software\\Classes\\Other", "Number"));
    EXPECT_FALSE(registry::SetString("Bad[Key]", "x", "y"));
    EXPECT_FALSE(registry::SetString("", "x", "y"));
}

TEST_F(RegistryTest, DamagedStoreLinesAreIgnored)
{
    {
        std::ofstream out(registry::StorePath());
        out << "garbage line\n\"orphan\"=dword:1\n[Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\n"
               "\"MaxConnectionsPerServer\"=dword:zzzz\n\"Unclosed=\"x\n\"Good\"=dword:0000000a\n[\n";
    }
    EXPECT_EQ(registry::GetDword(registry::kInternetSettingsKey, "Good"), 10u);
    EXPECT_EQ(registry::MaxConnectionsPerServer(), 25);  // the damaged value counts as unset
    ASSERT_TRUE(registry::WriteConnectionLimits());
    EXPECT_EQ(registry::GetDword(registry::kInternetSettingsKey, "Good"), 10u);
}

// A hostile store of a hundred thousand keys and values (inside the 4 MiB size limit) once took
// minutes to load, and a module loads it at every start; it must load in one pass and keep
// its values.
TEST_F(RegistryTest, StoreOfManyKeysAndValuesLoadsAndKeepsThem)
{
    {
        std::ofstream out(registry::StorePath());
        for (int i = 0; i < 80000; ++i)
            out << "[M\\k" << i << "]\n\"v\"=dword:1\n";
        out << "[M\\Values]\n";
        for (int i = 0; i < 50000; ++i)
            out << "\"v" << i << "\"=dword:" << std::hex << i << std::dec << "\n";
    }
    ASSERT_LT(std::filesystem::file_size(registry::StorePath()), 4u << 20);
    EXPECT_EQ(registry::GetDword("m\\K79999", "V"), 1u);
    ASSERT_TRUE(registry::WriteConnectionLimits());
    EXPECT_EQ(registry::GetDword("M\\k0", "v"), 1u);
    EXPECT_EQ(registry::GetDword("M\\Values", "v49999"), 49999u);
    EXPECT_EQ(registry::MaxConnectionsPerServer(), 25);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing)
{
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 20; ++i)
                registry::SetDword("Software\\Test", "v" + std::to_string(t * 100 + i), static_cast<std::uint32_t>(i));
        });
    for (auto& w : writers)
        w.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(registry::GetDword("Software\\Test", "v" + std::to_string(t * 100 + i)), static_cast<std::uint32_t>(i));
}

TEST_F(RegistryTest, ConnectionSlotsFollowTheRegistryLimit)
{
    ASSERT_TRUE(registry::SetDword(registry::kInternetSettingsKey, registry::kMaxConnectionsPerServer, 1));
    using namespace std::chrono;
    net::ConnectionSlot first;
    net::ConnectionSlot second;
    net::ConnectionSlot other;
    EXPECT_EQ(first.Acquire("http://a:80", steady_clock::now(), {}), net::ConnectionSlot::Outcome::Acquired);
    EXPECT_EQ(other.Acquire("http://b:80", steady_clock::now(), {}), net::ConnectionSlot::Outcome::Acquired);
    const auto start = steady_clock::now();
    EXPECT_EQ(second.Acquire("http://a:80", start + 50ms, {}), net::ConnectionSlot::Outcome::TimedOut);
    EXPECT_GE(steady_clock::now() - start, 50ms);
    EXPECT_EQ(second.Acquire("http://a:80", start + 10s, [] { return true; }), net::ConnectionSlot::Outcome::Cancelled);
    std::thread releaser([&] {
        std::this_thread::sleep_for(30ms);
        first.Release();
    });
    EXPECT_EQ(second.Acquire("http://a:80", steady_clock::now() + 10s, {}), net::ConnectionSlot::Outcome::Acquired);
    releaser.join();
    EXPECT_EQ(net::ConnectionsInUse("http://a:80"), 1);
}

} // namespace
} // namespace kv
