#include "stream/frame_chain.h"
#include "stream/frame_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kv {
namespace {

TEST(FrameChain, FirstInFirstOutWithOwnership)
{
    CFrameChain chain;
    EXPECT_FALSE(chain.PopFront().has_value());
    chain.Append({1, 2, 3}, 7);
    chain.Append({4}, 8);
    EXPECT_EQ(chain.Count(), 2u);
    auto first = chain.PopFront();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(first->Size(), 3u);
    EXPECT_EQ(first->timestamp, 7u);
    chain.Clear();
    EXPECT_EQ(chain.Count(), 0u);
}

TEST(FrameChain, ProducerAndConsumerOnTwoThreads)
{
    CFrameChain chain;
    constexpr int kFrames = 5000;
    std::thread producer([&] {
        for (int i = 0; i < kFrames; ++i)
            chain.Append(std::vector<std::uint8_t>(static_cast<std::size_t>(i % 7 + 1), 0), static_cast<std::uint32_t>(i));
    });
    std::uint32_t expected = 0;
    while (expected < kFrames) {
        if (auto r = chain.PopFront()) {
            ASSERT_EQ(r->timestamp, expected);
            ++expected;
        }
    }
    producer.join();
}

// A waiting consumer is woken by the next frame and by a stop, not by its time limit: the
// limits here are far beyond what the test may take, so a lost wake shows as a hang.
TEST(FrameChain, WaitingConsumerWakesForAFrameOrAStop)
{
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    CFrameChain chain;
    std::atomic<bool> stop{false};
    chain.Append({9}, 1);
    EXPECT_TRUE(chain.WaitForRecord(0ms, stop)) << "a record already there";
    chain.Clear();
    EXPECT_FALSE(chain.WaitForRecord(1ms, stop)) << "nothing came within the limit";

    for (int round = 0; round < 50; ++round) {
        const auto start = Clock::now();
        std::thread producer([&] { chain.Append({1}, 2); });
        EXPECT_TRUE(chain.WaitForRecord(60s, stop));
        producer.join();
        EXPECT_TRUE(chain.PopFront());
        EXPECT_LT(Clock::now() - start, 30s);
    }
    for (int round = 0; round < 50; ++round) {
        const auto start = Clock::now();
        std::thread stopper([&] {
            stop = true;
            chain.Wake();
        });
        EXPECT_FALSE(chain.WaitForRecord(60s, stop));
        stopper.join();
        stop = false;
        EXPECT_LT(Clock::now() - start, 30s);
    }
}

TEST(FrameText, AtMostTwentyBytesEndingAtTheFirstNul)
{
    const std::uint8_t full[24] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
                                   'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'X', 'Y', 'Z', 0};
    EXPECT_EQ(FrameTextFrom(full, sizeof full), "0123456789abcdefghij");
    const std::uint8_t shortText[20] = {'1', '2', ':', '0', '0', 0, 'x'};
    EXPECT_EQ(FrameTextFrom(shortText, sizeof shortText), "12:00");
    EXPECT_EQ(FrameTextFrom(full, 3), "012");

    CurrentFrameText current;
    current.Set("frame 1");
    EXPECT_EQ(current.Get(), "frame 1");
    current.Clear();
    EXPECT_EQ(current.Get(), "");
}

} // namespace
} // namespace kv
