// The ASF keeping rules through the whole player, on streams written frame by frame and
// served in phases, so the test decides exactly what the player has seen.
#include "player_support.h"

#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/keeping_rules.h"
#include "streamgen.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <condition_variable>

namespace kv::test {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;
using streamgen::Bytes;

// Serves one stream in phases: phase i is sent once the test has allowed it; after the last
// phase the connection stays open and silent until the server stops.
class PhasedStreamServer {
public:
    explicit PhasedStreamServer(std::vector<Bytes> phases) : m_phases(std::move(phases))
    {
        m_server.Get("/img/video.asf", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream", [this](std::size_t, httplib::DataSink& sink) {
                std::unique_lock<std::mutex> guard(m_lock);
                m_changed.wait(guard, [this] { return m_quit || m_sentPhases < m_allowedPhases; });
                if (m_quit)
                    return false;
                const Bytes& phase = m_phases[m_sentPhases++];
                guard.unlock();
                return sink.write(reinterpret_cast<const char*>(phase.data()), phase.size());
            });
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(1ms);
    }
    ~PhasedStreamServer()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_quit = true;
        }
        m_changed.notify_all();
        m_server.stop();
        m_thread.join();
    }
    void AllowNextPhase()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_allowedPhases < m_phases.size())
                ++m_allowedPhases;
        }
        m_changed.notify_all();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/img/video.asf"; }

private:
    std::vector<Bytes> m_phases;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::size_t m_allowedPhases = 0;
    std::size_t m_sentPhases = 0;
    bool m_quit = false;
};

class AsfKeeping : public ::testing::Test {
protected:
    void SetUp() override
    {
        Timings& t = ModuleTimings();
        t.openSettleMs = 10;
        t.connectSettleMs = 5;
        t.stopSleepMs = 20;
        t.consumerStopMs = 200;
        t.readLimitMs = 60000;  // a stop must not wait for the silence limit
    }
    void TearDown() override
    {
        SetAsfVideoKeepFactor(kAsfVideoKeepFactorAtLoad);
        ModuleTimings().ResetToDefaults();
    }

    std::vector<std::uint64_t> PopAll(CFrameChain& chain)
    {
        std::vector<std::uint64_t> sums;
        while (auto record = chain.PopFront())
            sums.push_back(Checksum(record->data));
        return sums;
    }

    static Bytes Frame(std::uint32_t n) { return streamgen::PatternBytes(300 + n, n + 1); }

    CFrameChain video;
    CFrameChain audio;
    EventLog events;
    RecordingDisplay display{video, events};
    RecordingAudio audioOut{audio, events};
};

TEST_F(AsfKeeping, OverflowSkipsVideoUntilAKeyFrameEvenWhenTheChainEmpties)
{
    SetAsfVideoKeepFactor(2);  // more than 4 waiting starts skip mode
    streamgen::AsfHeaderOptions header;
    header.packetSize = 512;
    header.video = streamgen::AsfVideoFormat{160, 120, {0, 0, 1, 0xB0, 1}};
    Bytes phase1 = streamgen::AsfHeader(header);
    streamgen::AsfPacketWriter writer(header.packetSize);
    for (std::uint32_t n = 0; n <= 6; ++n)  // 0..4 kept, 5 overflows, 6 skipped
        writer.AddVideoObject(Frame(n), n, n == 0);
    writer.Flush(phase1);
    Bytes phase2;
    writer.AddVideoObject(Frame(7), 7, false);  // chain empty, still skipping
    writer.AddVideoObject(Frame(8), 8, true);   // the key frame ends skip mode
    writer.AddVideoObject(Frame(9), 9, false);
    writer.Flush(phase2);
    PhasedStreamServer server({phase1, phase2});

    display.drainer.paused = true;
    CPlayer player(kKavaroProfile, video, audio);
    player.SetDisplayConsumer(&display);
    player.SetAudioConsumer(&audioOut);
    player.SetStream(server.Url(), "", "");
    ASSERT_TRUE(player.Start());
    server.AllowNextPhase();
    ASSERT_TRUE(WaitFor([&] { return video.Count() == 5 && player.SkippingVideo(); }, 5000));
    std::this_thread::sleep_for(50ms);  // frame 6 is parsed too
    EXPECT_EQ(PopAll(video), (std::vector<std::uint64_t>{Checksum(Frame(0)), Checksum(Frame(1)), Checksum(Frame(2)),
                                                         Checksum(Frame(3)), Checksum(Frame(4))}));
    server.AllowNextPhase();
    ASSERT_TRUE(WaitFor([&] { return video.Count() == 2; }, 5000));
    EXPECT_FALSE(player.SkippingVideo());
    EXPECT_EQ(PopAll(video), (std::vector<std::uint64_t>{Checksum(Frame(8)), Checksum(Frame(9))}));
    EXPECT_EQ(display.config, (std::vector<std::uint8_t>{0, 0, 1, 0xB0, 1}));

    const auto start = steady_clock::now();
    EXPECT_TRUE(player.RequestStop(5000));  // the player waits for data: the stop wakes it
    EXPECT_LT(steady_clock::now() - start, 1000ms);
}

TEST_F(AsfKeeping, AudioOverflowDropsTheOldestFirst)
{
    streamgen::AsfHeaderOptions header;
    header.packetSize = 1024;
    header.audio = streamgen::AsfAudioFormat{3};
    Bytes stream = streamgen::AsfHeader(header);
    streamgen::AsfPacketWriter writer(header.packetSize);
    for (std::uint32_t n = 0; n < 6; ++n)
        writer.AddAudioObject(streamgen::PatternBytes(240, 100 + n), n);
    writer.Flush(stream);
    writer.AddVideoObject(Frame(1), 99, true);  // marks the end of the audio
    writer.Flush(stream);
    PhasedStreamServer server({stream});

    display.drainer.paused = true;
    audioOut.drainer.paused = true;
    CPlayer player(kKavaroProfile, video, audio);
    player.SetDisplayConsumer(&display);
    player.SetAudioConsumer(&audioOut);
    player.SetStream(server.Url(), "", "");
    ASSERT_TRUE(player.Start());
    server.AllowNextPhase();
    ASSERT_TRUE(WaitFor([&] { return video.Count() == 1; }, 5000));
    EXPECT_EQ(audioOut.bits, 3);
    EXPECT_EQ(PopAll(audio), (std::vector<std::uint64_t>{Checksum(streamgen::PatternBytes(240, 103)),
                                                         Checksum(streamgen::PatternBytes(240, 104)),
                                                         Checksum(streamgen::PatternBytes(240, 105))}));
    EXPECT_TRUE(player.RequestStop(5000));
}

TEST_F(AsfKeeping, AudioThatCannotStartIsNeverKept)
{
    streamgen::AsfHeaderOptions header;
    header.packetSize = 1024;
    header.audio = streamgen::AsfAudioFormat{4};
    Bytes stream = streamgen::AsfHeader(header);
    streamgen::AsfPacketWriter writer(header.packetSize);
    writer.AddAudioObject(streamgen::PatternBytes(240, 5), 0);
    writer.AddVideoObject(Frame(1), 1, true);
    writer.Flush(stream);
    PhasedStreamServer server({stream});

    audioOut.accept = false;
    display.drainer.paused = true;
    CPlayer player(kKavaroProfile, video, audio);
    player.SetDisplayConsumer(&display);
    player.SetAudioConsumer(&audioOut);
    player.SetStream(server.Url(), "", "");
    ASSERT_TRUE(player.Start());
    server.AllowNextPhase();
    ASSERT_TRUE(WaitFor([&] { return video.Count() == 1; }, 5000));
    EXPECT_EQ(audio.Count(), 0u);
    EXPECT_TRUE(player.RequestStop(5000));
    const auto log = events.Events();
    EXPECT_EQ(std::count(log.begin(), log.end(), "audio start"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "audio shutdown"), 0);  // never initialised
}

} // namespace
} // namespace kv::test
