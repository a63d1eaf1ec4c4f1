// Both players against the camera emulator: frames arrive intact, every fault ends with its
// result code, stop sequences run in order and leave no thread behind.
#include "player_support.h"

#include "camsim_process.h"
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/debug_log.h"
#include "stream/errors.h"
#include "stream/mjpeg_player.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

namespace kv::test {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

const std::uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

class PlayersAgainstCamsim : public ::testing::Test {
protected:
    void SetUp() override
    {
        Timings& t = ModuleTimings();
        t.openSettleMs = 20;
        t.openLimitMs = 400;
        t.readLimitMs = 400;
        t.connectSettleMs = 10;
        t.consumerStopMs = 300;
        t.stopSleepMs = 50;
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised names hold a slash
        m_dir = std::filesystem::temp_directory_path() / ("kv-players-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "sent");
        SetLogPath((m_dir / "errlog.txt").string());
    }
    void TearDown() override
    {
        cam.reset();
        ModuleTimings().ResetToDefaults();
        SetLogPath({});
        std::filesystem::remove_all(m_dir);
    }

    void StartCamsim(std::vector<std::string> flags)
    {
        flags.insert(flags.end(), {"--record-dir", (m_dir / "sent").string(), "--clock-start", "2026/01/01 12:00:00"});
        cam = std::make_unique<camsim::CamsimProcess>(flags);
    }

    std::vector<std::uint8_t> Sent(const std::string& suffix) { return ReadFile(FindRecording(m_dir / "sent", suffix)); }

    std::vector<std::string> LogLines()
    {
        std::ifstream in(m_dir / "errlog.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            const bool stamped = line.size() > 20 && line[4] == '/' && line[19] == ' ';
            lines.push_back(stamped ? line.substr(20) : line);  // without the time stamp
        }
        return lines;
    }

    // Starts the player and waits for it to end by itself; the result it reported.
    int RunToEnd(CStreamPlayerBase& player, int timeoutMs = 5000)
    {
        std::atomic<int> result{0};
        player.SetExitCallback([&result](int code) { result = code; });
        EXPECT_TRUE(player.Start());
        EXPECT_TRUE(WaitFor([&] { return player.IsFinished(); }, timeoutMs));
        player.SetExitCallback(nullptr);
        return result;
    }

    void Attach(CStreamPlayerBase& player)
    {
        player.SetDisplayConsumer(&display);
        player.SetAudioConsumer(&audioOut);
    }

    std::filesystem::path m_dir;
    std::unique_ptr<camsim::CamsimProcess> cam;
    CFrameChain video;
    CFrameChain audio;
    EventLog events;
    RecordingDisplay display{video, events};
    RecordingAudio audioOut{audio, events};
};

template <typename T>
std::vector<T> Head(const std::vector<T>& all, std::size_t count)
{
    return std::vector<T>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(count, all.size())));
}

TEST_F(PlayersAgainstCamsim, MjpgFramesAndAudioArriveIntactAndStopRunsInOrder)
{
    StartCamsim({"--size", "160x120", "--fps", "30", "--audio", "on", "--chunk-size", "700"});
    // A sanitizer runtime starts a helper thread of its own with the first thread; let that
    // happen before counting.
    std::thread([] {}).join();
    const int threadsBefore = ThreadCount();
    CMJpegPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
    std::atomic<bool> churn{true};
    std::thread setter([&] {  // the control may change the source at any time
        while (churn)
            player.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
    });
    ASSERT_TRUE(player.Start());
    EXPECT_TRUE(WaitFor([&] { return display.drainer.Sums().size() >= 8 && audioOut.drainer.Sums().size() >= 2; }, 8000));
    const std::string text = player.FrameText();
    churn = false;
    setter.join();
    EXPECT_TRUE(player.RequestStop(5000));

    const StreamFrames sent = MjpgFramesOf(Sent("-mjpeg.bin"));
    const auto gotVideo = display.drainer.Sums();
    const auto gotAudio = audioOut.drainer.Sums();
    ASSERT_GE(gotVideo.size(), 8u);
    EXPECT_EQ(gotVideo, Head(sent.video, gotVideo.size()));
    EXPECT_EQ(gotAudio, Head(sent.audio, gotAudio.size()));
    EXPECT_EQ(audioOut.drainer.Sizes().front(), 1920u);
    EXPECT_EQ(display.width, 160);
    EXPECT_EQ(display.height, 120);
    EXPECT_EQ(audioOut.bits, 4);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(std::find(sent.texts.begin(), sent.texts.end(), text), sent.texts.end());

    const auto log = events.Events();
    const auto at = [&](const std::string& e) { return std::find(log.begin(), log.end(), e) - log.begin(); };
    EXPECT_LT(at("display start"), at("display stop"));
    EXPECT_LT(at("display stop"), at("audio stop"));
    EXPECT_LT(at("audio stop"), at("audio shutdown"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "display release"), 0);  // JPEG display has no decoder to free
    EXPECT_EQ(video.Count() + audio.Count(), 0u);
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threadsBefore; }, 2000)) << ThreadCount() << " vs " << threadsBefore;
    const auto requests = cam->RequestsTo("/img/mjpeg.cgi");
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].Header("User-Agent"), "Kavaro");
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));  // no user name, no credentials
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "motion-jpeg Add Video Frame"), lines.end());
}

TEST_F(PlayersAgainstCamsim, MensiloMjpgPlayerKeepsVideoOnlyAndSendsWholeCredentials)
{
    const std::string longPassword(45, 'p');  // longer than a 32-byte copy would hold
    StartCamsim({"--size", "160x120", "--fps", "30", "--audio", "on", "--user", "operator-with-a-long-name:" + longPassword});
    SetActiveProfileForTesting(kMensiloProfile);  // as inside the motion module, whose log is off
    CMJpegPlayer player(kMensiloProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/mjpeg.cgi"), "operator-with-a-long-name", longPassword);
    ASSERT_TRUE(player.Start());
    EXPECT_TRUE(WaitFor([&] { return display.drainer.Sums().size() >= 4; }, 8000));
    std::this_thread::sleep_for(600ms);  // audio chunks come about twice a second
    EXPECT_TRUE(player.RequestStop(5000));
    const StreamFrames sent = MjpgFramesOf(Sent("-mjpeg.bin"));
    EXPECT_FALSE(sent.audio.empty());
    const auto got = display.drainer.Sums();
    EXPECT_EQ(got, Head(sent.video, got.size()));
    EXPECT_TRUE(audioOut.drainer.Sums().empty());
    const auto log = events.Events();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.starts_with("audio setup"); }), 0);
    EXPECT_EQ(cam->RequestsTo("/img/mjpeg.cgi").at(0).Header("User-Agent"), "Mensilo");
    EXPECT_TRUE(LogLines().empty());  // the motion module keeps no log
    SetActiveProfileForTesting(kKavaroProfile);
}

TEST_F(PlayersAgainstCamsim, AsfFramesAudioAndRecordingArriveIntact)
{
    StartCamsim({"--audio", "on", "--fps", "30"});
    const auto recording = m_dir / "record.asf";
    {
        std::ofstream junk(recording);
        junk << std::string(100000, 'x');  // must not survive the next connect
    }
    CPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/video.asf"), "", "");
    player.SetRecord(true, recording.string());
    ASSERT_TRUE(player.Start());
    EXPECT_TRUE(WaitFor([&] { return display.drainer.Sums().size() >= 6 && audioOut.drainer.Sums().size() >= 2; }, 8000));
    const std::string text = player.FrameText();
    EXPECT_TRUE(player.RequestStop(5000));

    const auto sentBytes = Sent("-asf.bin");
    const StreamFrames sent = AsfFramesOf(sentBytes);
    const auto gotVideo = display.drainer.Sums();
    const auto gotAudio = audioOut.drainer.Sums();
    EXPECT_EQ(gotVideo, Head(sent.video, gotVideo.size()));
    EXPECT_EQ(gotAudio, Head(sent.audio, gotAudio.size()));
    EXPECT_EQ(display.config, sent.config);
    EXPECT_FALSE(display.config.empty());
    EXPECT_NE(std::find(sent.texts.begin(), sent.texts.end(), text), sent.texts.end());

    const auto recorded = ReadFile(recording);
    ASSERT_GT(recorded.size(), 30u + 50u);
    ASSERT_LE(recorded.size(), sentBytes.size());
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), sentBytes.begin()));
    EXPECT_TRUE(std::equal(std::begin(kAsfHeaderGuid), std::end(kAsfHeaderGuid), recorded.begin()));

    const auto log = events.Events();
    const auto at = [&](const std::string& e) { return std::find(log.begin(), log.end(), e) - log.begin(); };
    EXPECT_LT(at("display stop"), at("audio stop"));
    EXPECT_LT(at("audio stop"), at("display release"));
    EXPECT_LT(at("display release"), at("audio shutdown"));
}

TEST_F(PlayersAgainstCamsim, MensiloAsfPlayerReadsMotionLevelsAndNeitherRecordsNorPlaysAudio)
{
    StartCamsim({"--audio", "on", "--fps", "30", "--levels", "7,0,200,255"});
    const auto recording = m_dir / "never.asf";
    CPlayer player(kMensiloProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/video.asf"), "", "");
    player.SetRecord(true, recording.string());
    ASSERT_TRUE(player.Start());
    EXPECT_TRUE(WaitFor([&] { return display.drainer.Sums().size() >= 3; }, 8000));
    EXPECT_EQ(player.MotionLevels(), (std::array<std::uint8_t, 4>{7, 0, 200, 255}));
    EXPECT_EQ(player.FrameText(), "");
    EXPECT_TRUE(player.RequestStop(5000));
    EXPECT_FALSE(std::filesystem::exists(recording));
    EXPECT_TRUE(audioOut.drainer.Sums().empty());
}

// The listener's switch drops the stream's audio while off, from the next frame on and
// across connections, and lets it through again when on; video never notices.
TEST_F(PlayersAgainstCamsim, AudioSwitchDropsAudioWhileOffAndLetsItThroughWhenOn)
{
    StartCamsim({"--audio", "on", "--fps", "30", "--size", "160x120"});
    CMJpegPlayer mjpeg(kKavaroProfile, video, audio);
    CPlayer asf(kKavaroProfile, video, audio);
    const std::pair<CStreamPlayerBase*, std::string> runs[] = {{&mjpeg, "img/mjpeg.cgi"}, {&asf, "img/video.asf"}};
    for (const auto& [player, path] : runs) {
        SCOPED_TRACE(path);
        const std::string suffix = path == "img/video.asf" ? "-asf.bin" : "-mjpeg.bin";
        const auto sentAudio = [&] {
            const auto bytes = Sent(suffix);
            return (suffix == "-asf.bin" ? AsfFramesOf(bytes) : MjpgFramesOf(bytes)).audio.size();
        };
        const std::size_t heardBefore = audioOut.drainer.Sums().size();
        const std::size_t seenBefore = display.drainer.Sums().size();
        Attach(*player);
        player->SetStream(cam->Url(path), "", "");
        player->SetAudioEnabled(false);
        ASSERT_TRUE(player->Start());
        // Three audio frames sent and none kept, while pictures keep coming.
        EXPECT_TRUE(WaitFor([&] { return sentAudio() >= 3; }, 10000));
        const std::size_t picturesWhileOff = display.drainer.Sums().size();
        EXPECT_GE(picturesWhileOff, seenBefore + 3);
        EXPECT_EQ(audioOut.drainer.Sums().size(), heardBefore);
        EXPECT_TRUE(audioOut.IsInitialised()) << "the audio worker still runs, only without sound to play";

        player->SetAudioEnabled(true);
        EXPECT_TRUE(WaitFor([&] { return audioOut.drainer.Sums().size() >= heardBefore + 2; }, 10000));
        EXPECT_GT(display.drainer.Sums().size(), picturesWhileOff);
        EXPECT_TRUE(player->RequestStop(5000));
        std::filesystem::remove_all(m_dir / "sent");
        std::filesystem::create_directories(m_dir / "sent");
    }
}

TEST_F(PlayersAgainstCamsim, SlowDisplayNeverSeesMoreThanTenFramesAndTheNewestAreDropped)
{
    StartCamsim({"--size", "160x120", "--fps", "60"});
    CMJpegPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    display.drainer.paused = true;
    player.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
    ASSERT_TRUE(player.Start());
    std::size_t most = 0;
    WaitFor([&] {
        most = std::max(most, video.Count());
        return MjpgFramesOf(Sent("-mjpeg.bin")).video.size() >= 16;
    }, 8000);
    std::vector<std::uint64_t> kept;
    for (int i = 0; i < 10; ++i)
        if (auto record = video.PopFront())
            kept.push_back(Checksum(record->data));
    EXPECT_TRUE(player.RequestStop(5000));
    EXPECT_EQ(most, 10u);
    EXPECT_EQ(kept, Head(MjpgFramesOf(Sent("-mjpeg.bin")).video, 10));
}

TEST_F(PlayersAgainstCamsim, AsfAudioChainNeverHoldsMoreThanThree)
{
    StartCamsim({"--audio", "on", "--audio-bits", "5", "--fps", "30"});
    CPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    audioOut.drainer.paused = true;
    player.SetStream(cam->Url("img/video.asf"), "", "");
    ASSERT_TRUE(player.Start());
    std::size_t most = 0;
    WaitFor([&] {
        most = std::max(most, audio.Count());
        return AsfFramesOf(Sent("-asf.bin")).audio.size() >= 5;
    }, 10000);
    EXPECT_TRUE(player.RequestStop(5000));
    EXPECT_EQ(most, 3u);
    EXPECT_EQ(audioOut.bits, 5);
}

TEST_F(PlayersAgainstCamsim, StoppingWithIdleConsumersTakesTheStopPause)
{
    ModuleTimings().stopSleepMs = 400;
    StartCamsim({"--size", "160x120", "--fps", "30"});
    CMJpegPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return !display.drainer.Sums().empty(); }, 8000));
    const auto start = steady_clock::now();
    EXPECT_TRUE(player.RequestStop(5000));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, 400ms);
    EXPECT_LT(took, 1000ms);
}

TEST_F(PlayersAgainstCamsim, ConsumersThatDoNotEndKeepTheirResources)
{
    StartCamsim({"--audio", "on", "--fps", "30"});
    CPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/video.asf"), "", "");
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return !display.drainer.Sums().empty() && !audioOut.drainer.Sums().empty(); }, 8000));
    display.drainer.stubborn = true;
    audioOut.drainer.stubborn = true;
    EXPECT_TRUE(player.RequestStop(5000));
    const auto log = events.Events();
    EXPECT_EQ(std::count(log.begin(), log.end(), "display release"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "audio shutdown"), 0);
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "display worker did not stop; its decoder is left"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "audio worker did not stop; its device is left open"), lines.end());
    display.drainer.End();
    audioOut.drainer.End();
}

TEST_F(PlayersAgainstCamsim, FrameRateChangeEndsTheMjpgPlayerWith400)
{
    StartCamsim({"--size", "160x120", "--fps", "30"});
    CMJpegPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/mjpeg.cgi?Speed=5"), "", "");
    std::atomic<int> result{0};
    player.SetExitCallback([&](int code) { result = code; });
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return !display.drainer.Sums().empty(); }, 8000));
    player.SetFrameRateChanged();
    EXPECT_TRUE(WaitFor([&] { return player.IsFinished(); }, 3000));
    EXPECT_EQ(result, 400);
    EXPECT_FALSE(player.FrameRateChanged());
    player.SetExitCallback(nullptr);
}

TEST_F(PlayersAgainstCamsim, AsfStopTakesTheStopPauseAndEmptiesBothChains)
{
    ModuleTimings().stopSleepMs = 400;
    StartCamsim({"--audio", "on", "--fps", "30"});
    CPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    display.drainer.paused = true;  // frames wait in both chains when the stop comes
    audioOut.drainer.paused = true;
    player.SetStream(cam->Url("img/video.asf"), "", "");
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return video.Count() >= 2 && audio.Count() >= 1; }, 8000));
    const auto start = steady_clock::now();
    EXPECT_TRUE(player.RequestStop(5000));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, 400ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_EQ(video.Count(), 0u);
    EXPECT_EQ(audio.Count(), 0u);
}

TEST_F(PlayersAgainstCamsim, AsfRecordingKeepsOnlyWholePacketsAndStartsAnewOnEveryConnect)
{
    constexpr std::size_t kPacket = 3200;
    StartCamsim({"--fps", "30", "--asf-packet-size", std::to_string(kPacket)});
    const auto recording = m_dir / "record.asf";
    CPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/video.asf"), "", "");
    player.SetRecord(true, recording.string());

    // First connect: a long run.
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return display.drainer.Sums().size() >= 12; }, 8000));
    EXPECT_TRUE(player.RequestStop(5000));
    ASSERT_GT(ReadFile(recording).size(), 10 * kPacket);

    // Second connect: cut 1000 bytes into a packet.
    std::filesystem::remove_all(m_dir / "sent");
    std::filesystem::create_directories(m_dir / "sent");
    ASSERT_TRUE(cam->SetFault("close_mid&after_bytes=" + std::to_string(10 * kPacket + 3000)));
    EXPECT_EQ(RunToEnd(player), 400);
    const auto sent = Sent("-asf.bin");
    ASSERT_EQ(sent.size(), 10 * kPacket + 3000);
    std::size_t headerSize = 50;  // the header object's own size, then the data object's head
    for (int i = 0; i < 4; ++i)
        headerSize += static_cast<std::size_t>(sent[16 + i]) << (8 * i);
    ASSERT_NE((sent.size() - headerSize) % kPacket, 0u) << "the cut must fall inside a packet";

    const auto recorded = ReadFile(recording);
    EXPECT_EQ(recorded.size(), headerSize + (sent.size() - headerSize) / kPacket * kPacket);
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), sent.begin()));
    // The file holds the second connection alone: one header, at its start.
    const auto second = std::search(recorded.begin() + 1, recorded.end(), std::begin(kAsfHeaderGuid), std::end(kAsfHeaderGuid));
    EXPECT_EQ(second, recorded.end());
}

TEST_F(PlayersAgainstCamsim, OnlyTheMjpgConnectEmptiesTheFrameText)
{
    StartCamsim({"--size", "160x120", "--fps", "30"});
    const std::string refused = "http://127.0.0.1:1/img/";
    {
        CPlayer player(kKavaroProfile, video, audio);
        Attach(player);
        player.SetStream(cam->Url("img/video.asf"), "", "");
        ASSERT_TRUE(player.Start());
        ASSERT_TRUE(WaitFor([&] { return !player.FrameText().empty(); }, 8000));
        EXPECT_TRUE(player.RequestStop(5000));
        const std::string last = player.FrameText();
        player.SetStream(refused + "video.asf", "", "");
        EXPECT_EQ(RunToEnd(player), 200);
        EXPECT_EQ(player.FrameText(), last);  // the ASF player keeps showing the last text
    }
    CMJpegPlayer player(kKavaroProfile, video, audio);
    Attach(player);
    player.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return !player.FrameText().empty(); }, 8000));
    EXPECT_TRUE(player.RequestStop(5000));
    player.SetStream(refused + "mjpeg.cgi", "", "");
    EXPECT_EQ(RunToEnd(player), 200);
    EXPECT_EQ(player.FrameText(), "");
}

// A display that fails to open with the given exception, as a platform failure would.
template <typename Exception>
class FailingDisplay : public RecordingDisplay {
public:
    using RecordingDisplay::RecordingDisplay;
    bool Open(int, int, std::span<const std::uint8_t>) override { throw Exception("failed on purpose"); }
};

template <>
class FailingDisplay<std::bad_alloc> : public RecordingDisplay {
public:
    using RecordingDisplay::RecordingDisplay;
    bool Open(int, int, std::span<const std::uint8_t>) override { throw std::bad_alloc(); }
};

TEST_F(PlayersAgainstCamsim, PlatformFailuresBecomeTheirResultCodes)
{
    StartCamsim({"--size", "160x120", "--fps", "30"});
    FailingDisplay<std::bad_alloc> noMemory(video, events);
    FailingDisplay<CFileException> fileFails(video, events);
    FailingDisplay<CInternetException> netFails(video, events);
    FailingDisplay<std::runtime_error> otherFails(video, events);
    struct Case {
        IDisplayConsumer* display;
        int mjpg;
        int asf;
    };
    const Case cases[] = {{&noMemory, 100, 100}, {&fileFails, 800, 500}, {&netFails, 400, 400}, {&otherFails, 800, 800}};
    for (const Case& c : cases) {
        CMJpegPlayer mjpg(kKavaroProfile, video, audio);
        mjpg.SetDisplayConsumer(c.display);
        mjpg.SetStream(cam->Url("img/mjpeg.cgi"), "", "");
        EXPECT_EQ(RunToEnd(mjpg), c.mjpg);
        CPlayer asf(kKavaroProfile, video, audio);
        asf.SetDisplayConsumer(c.display);
        asf.SetStream(cam->Url("img/video.asf"), "", "");
        EXPECT_EQ(RunToEnd(asf), c.asf);
    }
}

struct FaultCase {
    const char* name;
    bool asf;
    const ModuleProfile* profile;
    const char* fault;   // camsim fault order, or a special case
    int code;
    const char* logged;  // message expected in the log before the URL, or nullptr
};

class PlayerFaults : public PlayersAgainstCamsim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PlayerFaults, EndWithTheirResultCode)
{
    const FaultCase& c = GetParam();
    StartCamsim({"--size", "160x120", "--fps", "30", "--user", "admin:secret"});
    std::string url = cam->Url(c.asf ? "img/video.asf" : "img/mjpeg.cgi");
    std::string password = "secret";
    const std::string fault = c.fault;
    if (fault == "refused") {
        cam->Stop();
    } else if (fault == "not-http") {
        url = "ftp://127.0.0.1/img/mjpeg.cgi";
    } else if (fault == "wrong-password") {
        password = "wrong";
    } else if (fault != "record-fails") {
        ASSERT_TRUE(cam->SetFault(fault));
    }
    std::unique_ptr<CStreamPlayerBase> player;
    if (c.asf)
        player = std::make_unique<CPlayer>(*c.profile, video, audio);
    else
        player = std::make_unique<CMJpegPlayer>(*c.profile, video, audio);
    Attach(*player);
    player->SetStream(url, "admin", password);
    if (fault == "record-fails")
        static_cast<CPlayer&>(*player).SetRecord(true, (m_dir / "no" / "such" / "dir.asf").string());
    const auto start = steady_clock::now();
    EXPECT_EQ(RunToEnd(*player), c.code) << c.name;
    EXPECT_LT(steady_clock::now() - start, 3000ms);
    const auto lines = LogLines();
    if (c.logged) {
        const std::string expected = std::string(c.logged) + url;
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    } else if (c.asf) {
        EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(url); }));
    }
    player.reset();
}

// Test output names a case by its name instead of dumping the bytes of the structure.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const FaultCase kFaults[] = {
    {"MjpgNeverAnswered", false, &kKavaroProfile, "never_answer", 200, nullptr},
    {"AsfNeverAnswered", true, &kKavaroProfile, "never_answer", 200, "Connect error"},
    {"AsfStallBeforeHead", true, &kKavaroProfile, "stall_first", 200, "Connect error"},
    {"MjpgRefused", false, &kKavaroProfile, "refused", 200, nullptr},
    {"AsfNotHttp", true, &kKavaroProfile, "not-http", 200, "Connect error"},
    {"MjpgStallMidStream", false, &kKavaroProfile, "stall_mid&after_bytes=3000", 400, nullptr},
    {"AsfStallMidStream", true, &kKavaroProfile, "stall_mid&after_bytes=5000", 400, "data reading error."},
    {"MensiloAsfStallMidStream", true, &kMensiloProfile, "stall_mid&after_bytes=5000", 400, nullptr},
    {"MjpgClosedMidFrame", false, &kKavaroProfile, "close_mid&after_frames=2", 400, nullptr},
    {"AsfClosedMidFrame", true, &kKavaroProfile, "close_mid&after_frames=2", 400, "data reading error."},
    {"MjpgGarbage", false, &kKavaroProfile, "garbage", 430, nullptr},
    {"AsfGarbage", true, &kKavaroProfile, "garbage", 300, "User name or password error"},
    {"AsfBadStreamNumber", true, &kKavaroProfile, "bad_stream_no", 420, "Bad StreamNo: 3"},
    {"MensiloAsfBadStreamNumber", true, &kMensiloProfile, "bad_stream_no", 420, nullptr},
    {"MjpgBusy", false, &kKavaroProfile, "busy", 310, nullptr},
    {"MensiloMjpgBusyIsNoStream", false, &kMensiloProfile, "busy", 430, nullptr},
    // the message holds a line break, so its second half ends the log line
    {"AsfBusy", true, &kKavaroProfile, "busy", 310, "device is busy. Please try again later."},
    {"MjpgUnauthorized", false, &kKavaroProfile, "unauthorized", 300, nullptr},
    {"MjpgWrongPassword", false, &kKavaroProfile, "wrong-password", 300, nullptr},
    {"AsfWrongPassword", true, &kKavaroProfile, "wrong-password", 300, "User name or password error"},
    {"AsfRecordFileFails", true, &kKavaroProfile, "record-fails", 500, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Camsim, PlayerFaults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace kv::test
