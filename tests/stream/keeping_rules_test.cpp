#include "stream/debug_log.h"
#include "stream/keeping_rules.h"

#include "core/module_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kv {
namespace {

std::vector<std::uint8_t> Frame(std::uint8_t tag) { return std::vector<std::uint8_t>(16, tag); }

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class KeepingRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_log = ::testing::TempDir() + "keeping_rules_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::filesystem::remove(m_log);
        SetLogPath(m_log);
        SetActiveProfileForTesting(kKavaroProfile);
    }
    void TearDown() override
    {
        SetActiveProfileForTesting(kKavaroProfile);
        SetAsfVideoKeepFactor(kAsfVideoKeepFactorAtLoad);
    }
    std::string m_log;
};

TEST_F(KeepingRules, MjpgVideoKeepsTenAndOnlyKeptFramesTouchTextAndLog)
{
    CFrameChain chain;
    CurrentFrameText text;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(KeepMjpgVideoFrame(chain, text, Frame(i), i, "kept " + std::to_string(i)));
    EXPECT_FALSE(KeepMjpgVideoFrame(chain, text, Frame(10), 10, "dropped"));
    EXPECT_EQ(chain.Count(), 10u);
    EXPECT_EQ(text.Get(), "kept 9");
    // The newest frames are the ones dropped; a free place is used again.
    EXPECT_EQ(chain.PopFront()->timestamp, 0u);
    EXPECT_TRUE(KeepMjpgVideoFrame(chain, text, Frame(11), 11, "kept 11"));
    EXPECT_EQ(text.Get(), "kept 11");

    const auto lines = ReadLines(m_log);
    ASSERT_EQ(lines.size(), 11u);
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), 20u + std::string("motion-jpeg Add Video Frame").size());
        EXPECT_EQ(line.substr(20), "motion-jpeg Add Video Frame");
    }
}

TEST_F(KeepingRules, MjpgAudioNeedsStartedAudioAndKeepsFive)
{
    CFrameChain chain;
    CurrentFrameText text;
    EXPECT_FALSE(KeepMjpgAudioFrame(chain, text, false, Frame(1), 1, "not started"));
    EXPECT_EQ(chain.Count(), 0u);
    EXPECT_EQ(text.Get(), "");
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(KeepMjpgAudioFrame(chain, text, true, Frame(i), i, "a"));
    EXPECT_FALSE(KeepMjpgAudioFrame(chain, text, true, Frame(5), 5, "full"));
    EXPECT_EQ(chain.Count(), 5u);
    EXPECT_EQ(text.Get(), "a");
    const auto lines = ReadLines(m_log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(20), "motion-jpeg Add audio Frame");
}

TEST_F(KeepingRules, MotionSetupWritesNoLog)
{
    SetActiveProfileForTesting(kMensiloProfile);
    CFrameChain chain;
    CurrentFrameText text;
    EXPECT_TRUE(KeepMjpgVideoFrame(chain, text, Frame(1), 1, "t"));
    EXPECT_FALSE(std::filesystem::exists(m_log));
}

TEST_F(KeepingRules, AsfSkipModeLastsUntilAKeyFrameEvenWhenTheChainEmpties)
{
    SetAsfVideoKeepFactor(3);  // 2N = 6
    CFrameChain chain;
    CAsfVideoKeeping keeping;
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(keeping.Keep(chain, Frame(i), i, false));  // up to 6 waiting: appended
    EXPECT_EQ(chain.Count(), 7u);
    EXPECT_FALSE(keeping.Skipping());
    EXPECT_FALSE(keeping.Keep(chain, Frame(7), 7, true));  // more than 2N waiting: even a key frame goes
    EXPECT_TRUE(keeping.Skipping());

    // A key frame while the chain is still over the limit does not end skip mode.
    chain.PopFront();
    EXPECT_EQ(chain.Count(), 6u);
    EXPECT_TRUE(keeping.Keep(chain, Frame(8), 8, true));  // at most 2N waiting: kept, skip ends
    EXPECT_FALSE(keeping.Skipping());

    // Overflow again, then empty the chain: plain frames are still dropped.
    EXPECT_EQ(chain.Count(), 7u);
    EXPECT_FALSE(keeping.Keep(chain, Frame(10), 10, false));
    EXPECT_TRUE(keeping.Skipping());
    chain.Clear();
    for (int i = 11; i < 20; ++i)
        EXPECT_FALSE(keeping.Keep(chain, Frame(i), i, false));
    EXPECT_EQ(chain.Count(), 0u);
    EXPECT_TRUE(keeping.Keep(chain, Frame(20), 20, true));
    EXPECT_TRUE(keeping.Keep(chain, Frame(21), 21, false));
    EXPECT_EQ(chain.PopFront()->timestamp, 20u);

    keeping.Reset();
    EXPECT_FALSE(keeping.Skipping());
}

TEST_F(KeepingRules, AsfKeepFactorIsModuleWideAndStartsAt18)
{
    EXPECT_EQ(AsfVideoKeepFactor(), 18);
    CFrameChain chain;
    CAsfVideoKeeping keeping;
    for (int i = 0; i <= 36; ++i)
        EXPECT_TRUE(keeping.Keep(chain, Frame(1), i, false));
    EXPECT_FALSE(keeping.Keep(chain, Frame(1), 37, false));
    SetAsfVideoKeepFactor(36);  // the display worker's choice for small pictures
    EXPECT_EQ(AsfVideoKeepFactor(), 36);
    EXPECT_TRUE(keeping.Keep(chain, Frame(1), 38, true));
}

TEST_F(KeepingRules, AsfAudioNeverHoldsMoreThanThreeAndDropsTheOldest)
{
    CFrameChain chain;
    for (std::uint32_t i = 0; i < 10; ++i) {
        EXPECT_TRUE(KeepAsfAudioFrame(chain, Frame(1), i));
        EXPECT_LE(chain.Count(), 3u);
    }
    ASSERT_EQ(chain.Count(), 3u);
    EXPECT_EQ(chain.PopFront()->timestamp, 7u);
    EXPECT_EQ(chain.PopFront()->timestamp, 8u);
    EXPECT_EQ(chain.PopFront()->timestamp, 9u);
}

} // namespace
} // namespace kv
