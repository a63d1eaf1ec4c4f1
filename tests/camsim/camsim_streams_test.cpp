// The two live streams as camsim sends them, read back with independent readers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "camsim_process.h"
#include "stream_reader.h"

using camsim::CamsimProcess;
using namespace camsim_test;

namespace {

std::string WriteTemp(const std::string& name, const std::string& bytes)
{
    const auto path = std::filesystem::temp_directory_path() / ("camsim_test_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// A stand-in MPEG-4 elementary stream: camsim only cuts it at VOP start codes, so the
// pictures need not decode. Configuration, then I, P, P, I pictures of different sizes.
std::string FakeM4v(std::vector<std::string>& pictures)
{
    const std::string config("\x00\x00\x01\xb0\x01\x00\x00\x01\xb5\x09\x00\x00\x01\x00\x00\x00\x01\x20\xaa\xbb", 20);
    const char types[] = {0x00, 0x40, 0x40, 0x00};  // coding type in the top two bits
    pictures.clear();
    std::string all = config;
    for (int i = 0; i < 4; ++i) {
        std::string picture("\x00\x00\x01\xb6", 4);
        picture += types[i];
        picture += std::string(static_cast<std::size_t>(500 + 1500 * i), static_cast<char>(0x10 + i));
        pictures.push_back(picture);
        all += picture;
    }
    return all;
}

} // namespace

TEST(CamsimMjpg, FramesAreWholeJpegsInOrderedChunks)
{
    CamsimProcess cam({"--size", "320x240", "--chunk-size", "1000", "--no-pacing", "--clock-start", "2024/02/29 23:59:58"});
    const auto answer = cam.ReadStream("/img/mjpeg.cgi", 400000, 5000);
    ASSERT_EQ(answer.status, 200);
    const auto chunks = ReadMjpg(answer.body);
    ASSERT_GT(chunks.size(), 20u);
    for (const auto& c : chunks) {
        EXPECT_EQ(c.tag, "MJPG");
        EXPECT_EQ(c.version, 1);
        EXPECT_EQ(c.type, 1);
        EXPECT_EQ(c.width, 320);
        EXPECT_EQ(c.height, 240);
        EXPECT_LE(c.chunkSize, 1000);
    }
    const auto frames = AssembleMjpg(chunks);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_TRUE(LooksLikeJpeg(frames[0].jpeg));
    EXPECT_NE(frames[0].jpeg, frames[1].jpeg) << "every frame differs";
    // The text is the clock; at 15 frames per second the second ticks over at frame 15/30.
    EXPECT_EQ(frames[0].text, "2024/02/29 23:59:58");
    ASSERT_GT(frames.size(), 31u);
    EXPECT_EQ(frames[15].text, "2024/02/29 23:59:59");
    EXPECT_EQ(frames[30].text, "2024/03/01 00:00:00");
    EXPECT_EQ(chunks[0].timestamp, 0u);
}

TEST(CamsimMjpg, AudioChunksComeBetweenVideoChunks)
{
    CamsimProcess cam({"--audio", "on", "--audio-bits", "3", "--chunk-size", "512", "--no-pacing", "--size", "160x120"});
    const auto answer = cam.ReadStream("/img/mjpeg.cgi", 300000, 5000);
    std::vector<MjpgChunk> audio;
    int inside = 0;
    const auto frames = AssembleMjpg(ReadMjpg(answer.body), &audio, &inside);
    ASSERT_GT(frames.size(), 10u);
    ASSERT_GT(audio.size(), 1u);
    EXPECT_GT(inside, 0);
    for (const auto& a : audio) {
        EXPECT_EQ(a.payload.size(), 1920u);
        EXPECT_EQ(a.audioCode, 3);
        EXPECT_EQ(a.version, 1);
        EXPECT_EQ(a.tag, "MJPG");
    }
    // Audio keeps its real rate against video: 3000 bytes a second at 3 bits, 15 pictures a second.
    const double seconds = static_cast<double>(frames.size()) / 15.0;
    EXPECT_NEAR(static_cast<double>(audio.size()), seconds * 3000 / 1920 + 1, 2.0);
}

TEST(CamsimMjpg, PacedStreamKeepsTheRequestedRate)
{
    CamsimProcess cam({"--size", "160x120"});
    const auto started = std::chrono::steady_clock::now();
    const auto answer = cam.ReadStream("/img/mjpeg.cgi?Speed=5", 10000000, 1500);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto frames = AssembleMjpg(ReadMjpg(answer.body));
    // About 5 per second (the first at once); generous bounds for a loaded machine.
    EXPECT_GE(frames.size(), 4u);
    EXPECT_LE(static_cast<double>(frames.size()), seconds * 5 + 2);
}

TEST(CamsimAsf, FixedLayoutCarriesTheClipAudioAndPaddingPrefix)
{
    std::vector<std::string> pictures;
    const std::string m4v = WriteTemp("clip.m4v", FakeM4v(pictures));
    CamsimProcess cam({"--m4v", m4v, "--audio", "on", "--no-pacing", "--levels", "1,2,3,250", "--asf-packet-size", "1024",
                       "--size", "320x240", "--clock-start", "2030/01/01 00:00:00"});
    const auto answer = cam.ReadStream("/img/video.asf", 120000, 5000);
    ASSERT_EQ(answer.status, 200);
    const AsfOut asf = ReadAsf(answer.body);
    ASSERT_TRUE(asf.ok);
    EXPECT_EQ(asf.packetSize, 1024u);
    EXPECT_EQ(asf.width, 320u);
    EXPECT_EQ(asf.height, 240u);
    EXPECT_EQ(asf.audioBits, 4);
    EXPECT_EQ(asf.config.size(), 20u);
    std::size_t video = 0, audio = 0;
    for (const auto& object : asf.objects) {
        if (object.stream == 1) {
            const std::string& expected = pictures[video % pictures.size()];
            EXPECT_EQ(object.data, expected) << "video object " << video;
            EXPECT_EQ(object.key, video % 4 == 0 || video % 4 == 3) << "video object " << video;
            ++video;
        } else {
            EXPECT_EQ(object.data.size(), 1920u);
            ++audio;
        }
        EXPECT_EQ(object.levels, (std::array<std::uint8_t, 4>{1, 2, 3, 250}));
        EXPECT_EQ(object.text.substr(0, 16), "2030/01/01 00:00");
    }
    EXPECT_GT(video, 8u);
    EXPECT_GT(audio, 0u);
}

TEST(CamsimAsf, WithoutAudioTheHeaderHasNoAudioStream)
{
    std::vector<std::string> pictures;
    const std::string m4v = WriteTemp("clip2.m4v", FakeM4v(pictures));
    CamsimProcess cam({"--m4v", m4v, "--no-pacing"});
    const AsfOut asf = ReadAsf(cam.ReadStream("/img/video.asf", 60000, 5000).body);
    ASSERT_TRUE(asf.ok);
    EXPECT_EQ(asf.audioBits, 0);
    for (const auto& object : asf.objects)
        EXPECT_EQ(object.stream, 1);
    // Motion levels follow the scene when not scripted: they cannot all stay at zero.
    int moving = 0;
    for (const auto& object : asf.objects)
        moving += object.levels[0] + object.levels[1] + object.levels[2] + object.levels[3];
    EXPECT_GT(moving, 0);
}

TEST(CamsimRecording, RecordFileHoldsExactlyTheBytesSentAndClockStartRepeats)
{
    const auto dir = std::filesystem::temp_directory_path() / ("camsim_rec_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> pictures;
    const std::string m4v = WriteTemp("clip3.m4v", FakeM4v(pictures));
    std::string first;
    {
        CamsimProcess cam({"--record-dir", dir.string(), "--m4v", m4v, "--clock-start", "2026/01/01 12:00:00", "--fps", "50"});
        first = cam.ReadStream("/img/video.asf", 30000, 3000).body;
        const auto second = cam.ReadStream("/img/video.asf", 30000, 3000).body;
        ASSERT_EQ(first.size(), 30000u);
        EXPECT_EQ(first, second) << "a fixed clock start makes streams repeatable";
        const auto mjpeg = cam.ReadStream("/img/mjpeg.cgi", 50000, 3000).body;
        ASSERT_EQ(mjpeg.size(), 50000u);
        cam.Stop();  // the file is complete once camsim has seen the client leave
        std::ifstream in(dir / "3-mjpeg.bin", std::ios::binary);
        const std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(recorded.size(), mjpeg.size());
        EXPECT_EQ(recorded.substr(0, mjpeg.size()), mjpeg);
    }
    std::ifstream in(dir / "1-asf.bin", std::ios::binary);
    const std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(recorded.substr(0, first.size()), first);
    std::filesystem::remove_all(dir);
}
