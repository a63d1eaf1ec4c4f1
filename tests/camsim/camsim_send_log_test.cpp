// What camsim tells a client that only sees what it painted: when each video frame left
// (--send-log) and which frame a Motion-JPEG picture is (--frame-code).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "camsim_process.h"
#include "frame_code.h"
#include "send_log.h"
#include "stream_reader.h"
#include "ximage.h"

using camsim::CamsimProcess;
using namespace camsim_test;

namespace {

std::int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

using camsim::ReadSendLog;
using camsim::SentFrame;

std::filesystem::path TempPath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("camsim_test_" + std::to_string(::getpid()) + "_" + name);
}

// The frame code read from a decoded JPEG.
std::optional<std::uint32_t> CodeOf(const std::string& jpeg, CxImage& image)
{
    if (!image.Decode(reinterpret_cast<const std::uint8_t*>(jpeg.data()), static_cast<std::uint32_t>(jpeg.size()),
                      CXIMAGE_FORMAT_JPG))
        return std::nullopt;
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    return camsim::ReadFrameCode(width, height, [&](int x, int y) {
        const std::uint8_t* bgr = image.RowPointer(height - 1 - y) + x * 3;  // rows bottom-up
        return std::array<int, 3>{bgr[2], bgr[1], bgr[0]};
    });
}

std::vector<std::uint8_t> Grey(int width, int height)
{
    return std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 128);
}

} // namespace

TEST(CamsimFrameCode, DrawnCodesReadBackAndDamagedOnesAreRefused)
{
    const int width = 320;
    const int height = 240;
    auto read = [&](const std::vector<std::uint8_t>& rgb) {
        return camsim::ReadFrameCode(width, height, [&](int x, int y) {
            const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            return std::array<int, 3>{p[0], p[1], p[2]};
        });
    };
    for (std::int64_t frame : {0ll, 1ll, 12345ll, (1ll << 20) - 1}) {
        auto rgb = Grey(width, height);
        camsim::DrawFrameCode(rgb, width, height, frame);
        EXPECT_EQ(read(rgb), static_cast<std::uint32_t>(frame));
    }
    auto wrapped = Grey(width, height);
    camsim::DrawFrameCode(wrapped, width, height, (1ll << 20) + 7);
    EXPECT_EQ(read(wrapped), 7u) << "numbers wrap at 20 bits";

    EXPECT_EQ(read(Grey(width, height)), std::nullopt) << "a picture without a code";
    auto damaged = Grey(width, height);
    camsim::DrawFrameCode(damaged, width, height, 5);
    const int side = camsim::FrameCodeCell(width);
    for (int y = height - side; y < height; ++y)  // flip bit 0 (cell 21): the parity no longer holds
        for (int x = 21 * side; x < 22 * side; ++x)
            for (int c = 0; c < 3; ++c)
                damaged[(static_cast<std::size_t>(y) * width + x) * 3 + c] ^= 0xFF;
    EXPECT_EQ(read(damaged), std::nullopt);
}

TEST(CamsimFrameCode, MotionJpegPicturesCarryTheirFrameNumberOnlyWhenAsked)
{
    const std::vector<std::string> common{"--no-pacing", "--clock-start", "2026/01/01 12:00:00"};
    for (const char* size : {"640x480", "320x240"}) {
        SCOPED_TRACE(size);
        auto flags = common;
        flags.insert(flags.end(), {"--size", size});
        CamsimProcess plain(flags);
        flags.insert(flags.end(), {"--frame-code", "on"});
        CamsimProcess coded(flags);
        const auto codedFrames = AssembleMjpg(ReadMjpg(coded.ReadStream("/img/mjpeg.cgi", 600000, 5000).body));
        const auto plainFrames = AssembleMjpg(ReadMjpg(plain.ReadStream("/img/mjpeg.cgi", 600000, 5000).body));
        ASSERT_GE(codedFrames.size(), 5u);
        ASSERT_GE(plainFrames.size(), 5u);

        CxImage coded0;
        CxImage plain0;
        for (std::size_t i = 0; i < 5; ++i) {
            CxImage image;
            EXPECT_EQ(CodeOf(codedFrames[i].jpeg, image), static_cast<std::uint32_t>(i));
            EXPECT_EQ(CodeOf(plainFrames[i].jpeg, image), std::nullopt);
        }
        // The code stays in its band: rows clear of its blocks (and of the chroma smoothing
        // across the block row above them) decode as without it.
        ASSERT_TRUE(CodeOf(codedFrames[1].jpeg, coded0));
        ASSERT_FALSE(CodeOf(plainFrames[1].jpeg, plain0));
        const int width = static_cast<int>(plain0.GetWidth());
        const int height = static_cast<int>(plain0.GetHeight());
        const int untouched = (height - camsim::FrameCodeCell(width)) / 16 * 16 - 16;
        for (int y = 0; y < untouched; ++y)
            ASSERT_EQ(0, std::memcmp(coded0.RowPointer(height - 1 - y), plain0.RowPointer(height - 1 - y),
                                     static_cast<std::size_t>(width) * 3))
                << "row " << y;
    }
}

TEST(CamsimSendLog, EveryFrameOfBothStreamsIsStampedOnTheSharedClock)
{
    const auto log = TempPath("sends.log");
    std::filesystem::remove(log);
    CamsimProcess cam({"--send-log", log.string(), "--fps", "30", "--size", "320x240"});

    const std::int64_t before = NowNs();
    const auto mjpeg = AssembleMjpg(ReadMjpg(cam.ReadStream("/img/mjpeg.cgi", 1u << 30, 700).body));
    const auto asf = cam.ReadStream("/img/video.asf", 1u << 30, 700);
    ASSERT_GE(mjpeg.size(), 5u);
    ASSERT_EQ(asf.status, 200);

    // Lines are written once the socket took a frame; the client may have it a moment sooner.
    std::vector<SentFrame> lines;
    for (int wait = 0; wait < 200; ++wait) {
        lines = ReadSendLog(log);
        if (lines.size() >= mjpeg.size() + 5)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // both streams have ended
    lines = ReadSendLog(log);
    const std::int64_t after = NowNs();
    std::filesystem::remove(log);

    std::map<std::string, std::vector<SentFrame>> byStream;
    for (const SentFrame& line : lines)
        byStream[line.stream].push_back(line);
    ASSERT_EQ(byStream.size(), 2u);
    ASSERT_GE(byStream["mjpeg"].size(), mjpeg.size());
    ASSERT_GE(byStream["asf"].size(), 5u);
    const auto requests = cam.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(byStream["mjpeg"].front().request, requests[0].id);
    EXPECT_EQ(byStream["asf"].front().request, requests[1].id);

    for (const auto& [stream, sent] : byStream) {
        SCOPED_TRACE(stream);
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].frame, static_cast<std::int64_t>(i));
            EXPECT_EQ(sent[i].request, sent.front().request);
            EXPECT_LE(before, sent[i].firstByteNs);
            EXPECT_LE(sent[i].firstByteNs, sent[i].lastByteNs);
            EXPECT_LE(sent[i].lastByteNs, after);
            if (i > 0) {
                EXPECT_LE(sent[i - 1].lastByteNs, sent[i].firstByteNs);
            }
        }
        // Paced at 30 a second: ten frames span about a third of a second, never none of it.
        if (sent.size() > 10) {
            EXPECT_GT(sent[10].firstByteNs - sent[0].firstByteNs, 200'000'000);
        }
    }
}
