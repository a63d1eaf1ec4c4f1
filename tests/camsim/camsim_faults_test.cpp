// Faults ordered through the control path take effect, and end when cleared.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "camsim_process.h"
#include "stream_reader.h"

using camsim::CamsimProcess;
using namespace camsim_test;
using Clock = std::chrono::steady_clock;

namespace {
double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}
} // namespace

TEST(CamsimFaults, NeverAnswerAndStallFirst)
{
    CamsimProcess cam;
    ASSERT_TRUE(cam.SetFault("never_answer&path=/util/"));
    const auto silent = cam.Get("/util/util.cgi", "", 600);
    EXPECT_EQ(silent.status, 0);
    EXPECT_TRUE(silent.body.empty());
    EXPECT_EQ(cam.RequestsTo("/util/util.cgi").size(), 1u) << "the request was read and logged";

    ASSERT_TRUE(cam.SetFault("stall_first&ms=400"));
    auto start = Clock::now();
    EXPECT_EQ(cam.Get("/util/util.cgi").status, 200);
    EXPECT_GE(SecondsSince(start), 0.38);

    ASSERT_TRUE(cam.SetFault("stall_first&count=1"));
    EXPECT_EQ(cam.Get("/util/util.cgi", "", 500).status, 0);
    EXPECT_EQ(cam.Get("/util/util.cgi", "", 2000).status, 200) << "count=1 hits one request only";
    EXPECT_FALSE(cam.SetFault("stall_first&count=0"));
    EXPECT_FALSE(cam.SetFault("stall_first&ms=-1"));
    EXPECT_FALSE(cam.SetFault("melt_down"));
    EXPECT_EQ(cam.Get("/util/util.cgi", "", 2000).status, 200) << "a refused order changes nothing";
}

TEST(CamsimFaults, StallMidHoldsTheStreamUntilCleared)
{
    CamsimProcess cam({"--no-pacing", "--size", "160x120"});
    ASSERT_TRUE(cam.SetFault("stall_mid&after_bytes=5000"));
    const auto stalled = cam.ReadStream("/img/mjpeg.cgi", 100000, 800);
    EXPECT_EQ(stalled.status, 200);
    EXPECT_EQ(stalled.body.size(), 5000u);

    // Cleared while a stream waits: the stream goes on.
    std::thread clear([&cam] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        cam.ClearFault();
    });
    cam.SetFault("stall_mid&after_bytes=1000");
    const auto resumed = cam.ReadStream("/img/mjpeg.cgi", 20000, 4000);
    clear.join();
    EXPECT_EQ(resumed.body.size(), 20000u);
}

TEST(CamsimFaults, FaultOrderedWhileStreamingReachesTheRunningStream)
{
    CamsimProcess cam({"--size", "160x120", "--fps", "20"});
    std::thread order([&cam] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        cam.SetFault("stall_mid");
    });
    const auto answer = cam.ReadStream("/img/mjpeg.cgi", 10000000, 1500);
    order.join();
    std::size_t rest = 0;
    const auto frames = AssembleMjpg(ReadMjpg(answer.body, &rest));
    EXPECT_GE(frames.size(), 3u);
    EXPECT_LE(frames.size(), 16u) << "the stall stops the stream about 0.5 s in";
}

TEST(CamsimFaults, RunningOnlyFaultBreaksTheRunningStreamAndSparesTheNextOne)
{
    CamsimProcess cam({"--size", "160x120", "--fps", "20"});
    std::thread order([&cam] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(cam.SetFault("close_mid&after_frames=0&running_only=1&path=/img/"));
    });
    const auto start = Clock::now();
    const auto cut = cam.ReadStream("/img/mjpeg.cgi", 10000000, 20000);
    order.join();
    EXPECT_LT(SecondsSince(start), 15.0) << "the running stream was closed";
    std::size_t rest = 0;
    const auto cutFrames = AssembleMjpg(ReadMjpg(cut.body, &rest));
    ASSERT_FALSE(cutFrames.empty());
    EXPECT_FALSE(cutFrames.back().complete && rest == 0) << "closed inside a frame";

    // The order is still in force, and a new stream is not touched by it.
    const auto next = cam.ReadStream("/img/mjpeg.cgi", 10000000, 800);
    EXPECT_EQ(next.status, 200);
    EXPECT_GE(AssembleMjpg(ReadMjpg(next.body)).size(), 5u);
    EXPECT_FALSE(cam.SetFault("close_mid&running_only=2"));
}

TEST(CamsimFaults, CloseMidFrameCutsTheThirdFrame)
{
    CamsimProcess cam({"--no-pacing", "--chunk-size", "700", "--size", "320x240"});
    ASSERT_TRUE(cam.SetFault("close_mid"));
    const auto answer = cam.ReadStream("/img/mjpeg.cgi", 10000000, 3000);
    std::size_t rest = 0;
    const auto frames = AssembleMjpg(ReadMjpg(answer.body, &rest));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(frames[0].complete);
    EXPECT_TRUE(frames[1].complete);
    EXPECT_FALSE(frames[2].complete && rest == 0) << "the connection closed inside the third frame";
}

TEST(CamsimFaults, GarbageAndBadStreamNumber)
{
    std::vector<std::string> unused;
    CamsimProcess cam({"--no-pacing", "--seed", "7"});
    ASSERT_TRUE(cam.SetFault("garbage&bytes=3000"));
    const auto garbage = cam.ReadStream("/img/mjpeg.cgi", 100000, 2000);
    EXPECT_EQ(garbage.status, 200);
    EXPECT_EQ(garbage.body.size(), 3000u);
    EXPECT_NE(garbage.body.substr(0, 4), "MJPG");

    ASSERT_TRUE(cam.SetFault("garbage&raw=1&bytes=100"));
    const auto raw = cam.Get("/util/util.cgi", "", 2000);
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.body.size(), 100u);

    ASSERT_TRUE(cam.SetFault("bad_stream_no&after_packets=1"));
    const auto asf = cam.ReadStream("/img/video.asf", 50000, 2000);
    if (asf.body.size() < 50000u)
        GTEST_SKIP() << "no MPEG-4 clip to stream";
    const AsfOut parsed = ReadAsf(asf.body);
    ASSERT_GE(parsed.firstStreamBytes.size(), 2u);
    EXPECT_NE(parsed.firstStreamBytes[0], 3);
    EXPECT_EQ(parsed.firstStreamBytes[1], 3);
}
