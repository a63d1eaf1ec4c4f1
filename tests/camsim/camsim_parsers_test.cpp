// camsim's streams as the product's own parsers see them: every frame camsim sends arrives
// whole, and each ordered fault ends the parse with the code the players report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "camsim_process.h"
#include "core/module_profile.h"
#include "stream/asf_parser.h"
#include "stream/mjpg_parser.h"
#include "stream_reader.h"

using camsim::CamsimProcess;

namespace {

struct MjpgSink : kv::IMjpgParserEvents {
    int width = 0, height = 0, audioCode = 0;
    std::vector<std::string> frames, texts, audio;
    void OnStartDisplay(std::uint16_t w, std::uint16_t h) override { width = w, height = h; }
    bool OnStartAudio(std::uint16_t code) override { return audioCode = code, true; }
    void OnVideoFrame(std::vector<std::uint8_t>&& f, std::uint32_t, const std::string& text) override
    {
        frames.emplace_back(f.begin(), f.end());
        texts.push_back(text);
    }
    void OnAudioFrame(std::vector<std::uint8_t>&& a, std::uint32_t, const std::string&) override
    {
        audio.emplace_back(a.begin(), a.end());
    }
};

struct AsfSink : kv::IAsfParserEvents {
    int width = 0, height = 0, bits = 0, keys = 0;
    std::vector<std::string> video, audio, texts;
    std::vector<std::array<std::uint8_t, 4>> levels;
    void OnStartVideo(std::int32_t w, std::int32_t h, std::span<const std::uint8_t>) override { width = w, height = h; }
    bool OnStartAudio(std::uint16_t b) override { return bits = b, true; }
    void OnVideoObject(std::vector<std::uint8_t>&& d, std::uint32_t, bool key) override
    {
        video.emplace_back(d.begin(), d.end());
        keys += key;
    }
    void OnAudioObject(std::vector<std::uint8_t>&& d, std::uint32_t) override { audio.emplace_back(d.begin(), d.end()); }
    void OnFrameText(const std::string& text) override { texts.push_back(text); }
    void OnMotionLevels(const std::array<std::uint8_t, 4>& l) override { levels.push_back(l); }
};

// Feeds in the player's 2048-byte blocks; returns the failure, if any.
std::optional<kv::CMJpegPlayerException> ParseMjpg(const std::string& body, const kv::ModuleProfile& profile,
                                                   MjpgSink& sink)
{
    kv::CMjpgParser parser(profile, sink);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
    for (std::size_t pos = 0; pos < body.size(); pos += 2048) {
        if (auto failure = parser.Feed({bytes + pos, std::min<std::size_t>(2048, body.size() - pos)}))
            return failure;
    }
    return std::nullopt;
}

std::optional<kv::CPlayerException> ParseAsf(const std::string& body, const kv::ModuleProfile& profile, AsfSink& sink)
{
    kv::CAsfParser parser(profile, sink);
    std::size_t consumed = 0;
    return parser.FeedAvailable({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()}, consumed);
}

} // namespace

TEST(CamsimThroughParsers, MjpgFramesAndAudioArriveByteForByte)
{
    CamsimProcess cam({"--audio", "on", "--audio-bits", "5", "--chunk-size", "1500", "--no-pacing", "--size", "320x240"});
    const std::string body = cam.ReadStream("/img/mjpeg.cgi", 600000, 5000).body;
    MjpgSink sink;
    EXPECT_FALSE(ParseMjpg(body, kv::kKavaroProfile, sink));
    EXPECT_EQ(sink.width, 320);
    EXPECT_EQ(sink.height, 240);
    EXPECT_EQ(sink.audioCode, 5);
    std::vector<camsim_test::MjpgChunk> audio;
    const auto frames = camsim_test::AssembleMjpg(camsim_test::ReadMjpg(body), &audio);
    ASSERT_GT(sink.frames.size(), 10u);
    for (std::size_t i = 0; i < sink.frames.size(); ++i) {
        EXPECT_EQ(sink.frames[i], frames[i].jpeg) << i;
        EXPECT_EQ(sink.texts[i], frames[i].text) << i;
    }
    ASSERT_FALSE(sink.audio.empty());
    EXPECT_EQ(sink.audio[0], audio[0].payload);
}

TEST(CamsimThroughParsers, RefusalPagesMapToTheirResultCodes)
{
    CamsimProcess cam({"--user", "u:p"});
    MjpgSink sink;
    auto unauthorized = ParseMjpg(cam.Get("/img/mjpeg.cgi").body, kv::kKavaroProfile, sink);
    ASSERT_TRUE(unauthorized);
    EXPECT_EQ(unauthorized->Code(), 300);

    cam.SetFault("busy");
    auto busy = ParseMjpg(cam.Get("/img/mjpeg.cgi").body, kv::kKavaroProfile, sink);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->Code(), 310);
    AsfSink asfSink;
    auto asfBusy = ParseAsf(cam.Get("/img/video.asf").body, kv::kKavaroProfile, asfSink);
    ASSERT_TRUE(asfBusy);
    EXPECT_EQ(asfBusy->Code(), 310);
    cam.SetFault("unauthorized");
    auto asfDenied = ParseAsf(cam.Get("/img/video.asf").body, kv::kKavaroProfile, asfSink);
    ASSERT_TRUE(asfDenied);
    EXPECT_EQ(asfDenied->Code(), 300);
}

TEST(CamsimThroughParsers, AsfClipAudioTextAndLevelsArriveWhole)
{
    CamsimProcess cam({"--audio", "on", "--no-pacing", "--size", "320x240", "--levels", "9,8,7,6"});
    const std::string body = cam.ReadStream("/img/video.asf", 400000, 5000).body;
    const auto independent = camsim_test::ReadAsf(body);
    if (independent.objects.empty())
        GTEST_SKIP() << "no MPEG-4 clip committed";
    AsfSink viewer;
    EXPECT_FALSE(ParseAsf(body, kv::kKavaroProfile, viewer));
    EXPECT_EQ(viewer.width, 320);
    EXPECT_EQ(viewer.height, 240);
    EXPECT_EQ(viewer.bits, 4);
    EXPECT_GT(viewer.keys, 0);
    std::size_t v = 0;
    for (const auto& object : independent.objects) {
        if (object.stream == 1 && v < viewer.video.size()) {
            EXPECT_EQ(viewer.video[v++], object.data);
        }
    }
    EXPECT_GT(v, 5u);
    EXPECT_FALSE(viewer.audio.empty());
    ASSERT_FALSE(viewer.texts.empty());
    EXPECT_EQ(viewer.texts[0].size(), 19u);

    AsfSink motion;
    EXPECT_FALSE(ParseAsf(body, kv::kMensiloProfile, motion));
    ASSERT_FALSE(motion.levels.empty());
    EXPECT_EQ(motion.levels[0], (std::array<std::uint8_t, 4>{9, 8, 7, 6}));
}

TEST(CamsimThroughParsers, UnknownStreamNumberEndsWith420)
{
    CamsimProcess cam({"--no-pacing"});
    cam.SetFault("bad_stream_no");
    const std::string body = cam.ReadStream("/img/video.asf", 100000, 3000).body;
    if (camsim_test::ReadAsf(body).firstStreamBytes.empty())
        GTEST_SKIP() << "no MPEG-4 clip committed";
    AsfSink sink;
    auto failure = ParseAsf(body, kv::kKavaroProfile, sink);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 420);
    EXPECT_EQ(failure->Message(), "Bad StreamNo: 3");
}
