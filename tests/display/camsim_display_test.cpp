// The players and the display workers together against the camera emulator: the pictures
// drawn are the pictures camsim sent, decoded.
#include "display_test_support.h"

#include "camsim_process.h"
#include "core/timings.h"
#include "display/display_worker.h"
#include "stream/asf_player.h"
#include "stream/debug_log.h"
#include "stream/keeping_rules.h"
#include "stream/mjpeg_player.h"
#include "stream/recording_events.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace kv::test {
namespace {

class DisplayAgainstCamsim : public ::testing::Test {
protected:
    void SetUp() override
    {
        Timings& t = ModuleTimings();
        t.openSettleMs = 20;
        t.connectSettleMs = 10;
        t.consumerStopMs = 2000;
        t.stopSleepMs = 20;
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_dir = std::filesystem::temp_directory_path() / ("kv-display-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        SetLogPath((m_dir / "errlog.txt").string());
    }
    void TearDown() override
    {
        cam.reset();
        ModuleTimings().ResetToDefaults();
        SetAsfVideoKeepFactor(kAsfVideoKeepFactorAtLoad);
        SetLogPath({});
        std::filesystem::remove_all(m_dir);
    }

    void StartCamsim(std::vector<std::string> flags)
    {
        flags.insert(flags.end(), {"--record-dir", m_dir.string(), "--clock-start", "2026/01/01 12:00:00"});
        cam = std::make_unique<camsim::CamsimProcess>(flags);
    }

    // The body camsim sent on the stream whose record file ends in suffix.
    std::vector<std::uint8_t> Sent(const std::string& suffix) const
    {
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            const std::string file = entry.path().filename().string();
            if (file.size() > suffix.size() && file.ends_with(suffix)) {
                std::ifstream in(entry.path(), std::ios::binary);
                return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            }
        }
        return {};
    }

    // Plays until the sink has `pictures` pictures, then stops the player as the panel does.
    void Play(CStreamPlayerBase& player, CDisplayWorker& display, const std::string& path, int pictures)
    {
        display.SetSink(&sink);
        display.SetWindow(&window);
        player.SetDisplayConsumer(&display);
        player.SetStream(cam->Url(path), "", "");
        ASSERT_TRUE(player.Start());
        EXPECT_TRUE(WaitFor([&] { return sink.Count() >= pictures || player.IsFinished(); }, 20000));
        EXPECT_TRUE(player.RequestStop(10000));
        EXPECT_GE(sink.Count(), pictures);
    }

    std::unique_ptr<camsim::CamsimProcess> cam;
    CFrameChain video;
    CFrameChain audio;
    RecordingSink sink;
    RecordingWindow window;

private:
    std::filesystem::path m_dir;
};

TEST_F(DisplayAgainstCamsim, MotionJpegPicturesDrawnAreThePicturesSent)
{
    StartCamsim({"--size", "320x240", "--fps", "30"});
    CMJpegPlayer player(kKavaroProfile, video, audio);
    CMJpegDisplay display(kKavaroProfile, video);
    Play(player, display, "img/mjpeg.cgi", 6);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 1);
    EXPECT_FALSE(display.IsOpen());

    // Every JPEG in the recorded body, decoded on its own.
    const std::vector<std::uint8_t> sent = Sent("-mjpeg.bin");
    ASSERT_FALSE(sent.empty());
    testing::RecordingMjpgEvents events;
    CMjpgParser parser(kKavaroProfile, events);
    for (std::size_t at = 0; at < sent.size(); at += 2048)
        parser.Feed(std::span<const std::uint8_t>(sent).subspan(at, std::min<std::size_t>(2048, sent.size() - at)));
    std::vector<std::vector<std::uint8_t>> decoded;
    for (const auto& frame : events.video) {
        CxImage image;
        ASSERT_TRUE(image.Decode(frame.data.data(), static_cast<std::uint32_t>(frame.data.size()), CXIMAGE_FORMAT_JPG));
        const auto* block = static_cast<const std::uint8_t*>(image.GetDIB());
        decoded.push_back(PackDib24({{block, 40 + image.PaletteSize()},
                                     {block + 40 + image.PaletteSize(), image.TotalSize() - 40 - image.PaletteSize()}}));
    }
    const auto pictures = sink.Pictures();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].destination, (FrameRect{225, 35, 320, 240}));
        EXPECT_NE(std::find(decoded.begin(), decoded.end(), pictures[i].packed), decoded.end()) << "picture " << i;
    }
    // Consecutive pictures of the moving scene differ: each is its own frame.
    EXPECT_NE(pictures[0].packed, pictures[1].packed);
}

TEST_F(DisplayAgainstCamsim, Mpeg4PicturesDrawnAreThePicturesSentDecoded)
{
    StartCamsim({"--kind", "mpeg", "--size", "320x240", "--fps", "30"});
    CPlayer player(kKavaroProfile, video, audio);
    CMpeg4Display display(kKavaroProfile, video);
    Play(player, display, "img/video.asf", 8);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 1);
    EXPECT_FALSE(display.IsOpen()) << "the player released the decoder";
    EXPECT_EQ(AsfVideoKeepFactor(), 36);

    const std::vector<std::uint8_t> sent = Sent("-asf.bin");
    testing::RecordingAsfEvents events;
    CAsfParser parser(kKavaroProfile, events);
    std::size_t consumed = 0;
    parser.FeedAvailable(sent, consumed);
    M4vStream stream{events.videoConfig, {}};
    for (const auto& frame : events.video)
        stream.frames.push_back(frame.data);
    ASSERT_GE(stream.frames.size(), 8u);
    const auto reference = ReferencePictures(kKavaroProfile, stream);
    const auto pictures = sink.Pictures();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].destination, (FrameRect{225, 35, 320, 240}));
        EXPECT_TRUE(i < reference.size() && pictures[i].packed == reference[i]) << "picture " << i;
    }
}

} // namespace
} // namespace kv::test
