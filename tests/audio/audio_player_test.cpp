#include "audio/audio_consumer.h"
#include "audio/audio_player.h"
#include "audio/volume.h"
#include "audio_test_util.h"
#include "core/messages.h"
#include "core/timings.h"
#include "platform/sound/sound_output.h"
#include "stream/debug_log.h"
#include "stream/frame_chain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace kv {
namespace {

using namespace std::chrono_literals;
using audiotest::ReadWav;
using audiotest::ScopedEnv;

class RecordingWindow : public IMessageTarget {
public:
    void PostMessage(int message, std::intptr_t, std::intptr_t) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_messages.push_back(message);
    }
    int Count(int message) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return static_cast<int>(std::count(m_messages.begin(), m_messages.end(), message));
    }

private:
    mutable std::mutex m_lock;
    std::vector<int> m_messages;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The camera-like tone file cut into its 1920-byte frames.
std::vector<std::vector<std::uint8_t>> ToneFrames(int bits)
{
    const auto bytes = audiotest::ReadFile(audiotest::G726Data("tone1k_" + std::to_string(bits) + "bit.g726"));
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 0; at + 1920 <= bytes.size(); at += 1920)
        frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 1920));
    return frames;
}

// Amplitude 16384 through the post-filter's gain of about 0.9 at 1 kHz, as RMS.
constexpr double kExpectedToneRms = 16384 * 0.90 / 1.41421356;

class AudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir = std::filesystem::temp_directory_path() / ("kvaudio-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wav = dir / "played.wav";
        env.emplace("KAVARO_AUDIO", "wav:" + wav.string());
        SetNullClockScaleForTesting(8.0);
        SetLogPath((dir / "errlog.txt").string());
        ModuleTimings().ResetToDefaults();
        AudioChain().Clear();
        player.SetWindow(&window);
    }

    void TearDown() override
    {
        player.RequestStop(ModuleTimings().consumerStopMs);
        player.Shutdown();
        AudioChain().Clear();
        SetNullClockScaleForTesting(1.0);
        SetLogPath("");
        env.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void Feed(const std::vector<std::vector<std::uint8_t>>& frames, std::uint32_t firstTimestamp = 1)
    {
        std::uint32_t timestamp = firstTimestamp;
        for (const auto& frame : frames)
            AudioChain().Append(frame, timestamp++);
    }

    // Stops the worker (within the consumer limit) and releases everything, so the WAV file
    // is complete.
    void StopAndShutdown()
    {
        ASSERT_TRUE(player.RequestStop(ModuleTimings().consumerStopMs));
        player.Shutdown();
    }

    int LogLines(const std::string& message) const
    {
        std::ifstream in(dir / "errlog.txt");
        std::string line;
        int count = 0;
        while (std::getline(in, line))
            if (line.size() > message.size() && line.compare(line.size() - message.size() - 1, std::string::npos, " " + message) == 0)
                ++count;
        return count;
    }

    std::filesystem::path dir;
    std::filesystem::path wav;
    std::optional<ScopedEnv> env;
    RecordingWindow window;
    CAudioPlayer player;
};

class AudioPlayerTone : public AudioPlayerTest, public ::testing::WithParamInterface<int> {};

// Camera frames through the chain, the worker and the buffer come out as an unbroken 1 kHz tone
// at the expected level, one frame per half, starting at the first sample played.
TEST_P(AudioPlayerTone, CameraToneComesOutAsToneAtExpectedLevel)
{
    const int bits = GetParam();
    const auto frames = ToneFrames(bits);
    ASSERT_EQ(frames.size(), 5u);
    Feed(frames);

    ASSERT_TRUE(player.StartAudio(bits));
    EXPECT_EQ(window.Count(WM_AUDIO_OPENED), 1);
    const std::size_t half = player.HalfSize();
    ASSERT_EQ(half, 15360u / static_cast<unsigned>(bits) * 2);
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() >= 6 * half; }));
    EXPECT_EQ(AudioChain().Count(), 0u);
    EXPECT_EQ(player.LastTimestamp(), 5u);
    StopAndShutdown();

    const auto samples = ReadWav(wav);
    ASSERT_TRUE(samples);
    const std::size_t halfSamples = half / 2;
    ASSERT_GE(samples->size(), 6 * halfSamples);
    // The first frame starts at the first sample; skip the decoder's adaptation.
    const std::size_t begin = 400, end = 5 * halfSamples - 16;
    const std::int16_t* tone = samples->data() + begin;
    const std::size_t count = end - begin;

    const double frequency = audiotest::ZeroCrossingFrequency(tone, count);
    EXPECT_NEAR(frequency, 1000.0, 2.0);
    const double rms = audiotest::Rms(tone, count);
    EXPECT_NEAR(20 * std::log10(rms / kExpectedToneRms), 0.0, 0.5) << "rms " << rms;
    // Nearly all the power is the 1 kHz tone.
    const double tonePower = 2 * audiotest::Goertzel(tone, count, 1000.0);
    EXPECT_GT(tonePower / (rms * rms), 0.99);
    // No gap between frames: no run of silence inside the tone.
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        run = std::abs(tone[i]) < 200 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LT(longest, 4u);
    // After the last frame, silence.
    for (std::size_t i = 5 * halfSamples; i < 6 * halfSamples; ++i)
        ASSERT_EQ((*samples)[i], 0) << "sample " << i;
    EXPECT_EQ(LogLines("test"), 1);
}

INSTANTIATE_TEST_SUITE_P(AllRates, AudioPlayerTone, ::testing::Values(2, 3, 4, 5),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

// Without frames the buffer loops silence, the worker keeps running, and it stops well inside
// the consumer limit when asked.
TEST_F(AudioPlayerTest, NoFramesMeansSilenceAndTheWorkerKeepsRunning)
{
    ASSERT_TRUE(player.StartAudio(4));
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() >= 5 * player.HalfSize(); }));
    EXPECT_FALSE(player.IsFinished());

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(player.RequestStop(ModuleTimings().consumerStopMs));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    player.Shutdown();

    const auto samples = ReadWav(wav);
    ASSERT_TRUE(samples);
    EXPECT_GE(samples->size(), 5 * 3840u);
    EXPECT_TRUE(std::all_of(samples->begin(), samples->end(), [](std::int16_t s) { return s == 0; }));
}

// Muted, frames still leave the chain one per half played (so unmuting plays current audio,
// not a backlog), and nothing is heard until sound is on again.
TEST_F(AudioPlayerTest, MuteKeepsDrainingAtThePlaybackRate)
{
    const auto tone = ToneFrames(4);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < 12; ++i)
        frames.push_back(tone[static_cast<std::size_t>(i) % tone.size()]);
    Feed(frames);
    player.SetSoundOn(false);
    ASSERT_TRUE(player.StartAudio(4));
    const std::size_t half = player.HalfSize();
    ASSERT_TRUE(player.Start());

    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() >= 4 * half; }));
    const std::size_t taken = 12 - AudioChain().Count();
    const std::uint64_t halvesEntered = player.PlayedBytes() / half + 1;
    EXPECT_LE(taken, halvesEntered + 2) << "frames left faster than they play";
    EXPECT_GE(taken + 1, halvesEntered) << "frames left slower than they play";

    ASSERT_TRUE(WaitFor([&] { return AudioChain().Count() == 0; }));
    EXPECT_EQ(player.LastTimestamp(), 12u);
    const std::uint64_t mutedBytes = player.PlayedBytes();

    player.SetSoundOn(true);
    Feed({tone[0], tone[1]}, 100);
    ASSERT_TRUE(WaitFor([&] { return AudioChain().Count() == 0 && player.PlayedBytes() >= mutedBytes + 4 * half; }));
    StopAndShutdown();

    const auto samples = ReadWav(wav);
    ASSERT_TRUE(samples);
    // Everything played while muted (12 frames, one half each, plus the first half) is silent.
    const std::size_t silentSamples = 12 * half / 2;
    ASSERT_GT(samples->size(), silentSamples);
    EXPECT_TRUE(std::all_of(samples->begin(), samples->begin() + static_cast<std::ptrdiff_t>(silentSamples),
                            [](std::int16_t s) { return s == 0; }));
    EXPECT_GT(audiotest::Rms(samples->data() + silentSamples, samples->size() - silentSamples), 1000.0);
    EXPECT_EQ(player.LastTimestamp(), 101u);
}

// A new connection with another code size gets a buffer of the new half size: one 5-bit frame
// fills exactly 3072 samples.
TEST_F(AudioPlayerTest, RestartWithAnotherCodeSizeUsesTheNewHalfSize)
{
    ASSERT_TRUE(player.StartAudio(2));
    EXPECT_EQ(player.HalfSize(), 15360u);
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() > 0; }));
    StopAndShutdown();
    EXPECT_FALSE(player.IsInitialised());

    Feed({ToneFrames(5)[0]});
    ASSERT_TRUE(player.StartAudio(5));
    EXPECT_EQ(player.CodeSize(), 5);
    EXPECT_EQ(player.HalfSize(), 6144u);
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() >= 3 * 6144u; }));
    StopAndShutdown();

    const auto samples = ReadWav(wav);  // the new device writes a new file
    ASSERT_TRUE(samples);
    ASSERT_GE(samples->size(), 3 * 3072u);
    EXPECT_GT(audiotest::Rms(samples->data() + 2900, 150), 1000.0);
    EXPECT_TRUE(std::all_of(samples->begin() + 3072, samples->end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_EQ(window.Count(WM_AUDIO_OPENED), 2);
    EXPECT_EQ(LogLines("test"), 2);
}

// Code sizes come from the network: anything but 2..5 is refused before any device is opened.
// No usable device, or a buffer that cannot be made, fails the start too, leaving nothing open.
TEST_F(AudioPlayerTest, StartRefusesBadCodeSizesAndMissingDevices)
{
    for (int bits : {-1, 0, 1, 6, 8, 255})
        EXPECT_FALSE(player.StartAudio(bits)) << bits;
    {
        ScopedEnv none("KAVARO_AUDIO", "no-such-backend");
        EXPECT_FALSE(player.StartAudio(4));
    }
    {
        ScopedEnv unwritable("KAVARO_AUDIO", "wav:" + (dir / "missing" / "dir" / "x.wav").string());
        EXPECT_FALSE(player.StartAudio(4));
    }
    EXPECT_FALSE(player.IsInitialised());
    EXPECT_EQ(window.Count(WM_AUDIO_OPENED), 0);
    EXPECT_FALSE(player.SetVolume(0));
    EXPECT_TRUE(player.Start());  // a worker without audio ends at once, cleanly
    EXPECT_TRUE(player.RequestStop(1000));
}

// Volume in hundredths of a decibel scales what is played by 10^(v/2000); the slider maps
// positions 0..100 to -5000..0.
TEST_F(AudioPlayerTest, VolumeScalesThePlayedLevel)
{
    EXPECT_EQ(VolumeFromSliderPosition(0), -5000);
    EXPECT_EQ(VolumeFromSliderPosition(50), -2500);
    EXPECT_EQ(VolumeFromSliderPosition(100), 0);
    EXPECT_EQ(VolumeFromSliderPosition(120), 0);
    EXPECT_EQ(VolumeFromSliderPosition(-200), -10000);

    Feed(ToneFrames(4));
    ASSERT_TRUE(player.StartAudio(4));
    EXPECT_FALSE(player.SetVolume(1));
    EXPECT_FALSE(player.SetVolume(-10001));
    ASSERT_TRUE(player.SetVolume(VolumeFromSliderPosition(88)));  // -600: half amplitude
    ASSERT_TRUE(player.Start());
    ASSERT_TRUE(WaitFor([&] { return player.PlayedBytes() >= 5 * 7680u; }));
    StopAndShutdown();

    const auto samples = ReadWav(wav);
    ASSERT_TRUE(samples);
    const double rms = audiotest::Rms(samples->data() + 400, 4 * 3840 - 400);
    EXPECT_NEAR(rms / (kExpectedToneRms * std::pow(10.0, -600 / 2000.0)), 1.0, 0.19);
}

// Shutdown while the worker still runs (it was never asked to stop) frees nothing under it; the
// window thread's volume and sound-on calls race the shutdown safely.
TEST_F(AudioPlayerTest, ShutdownAndVolumeCallsRaceSafely)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(player.StartAudio(5));
        ASSERT_TRUE(player.Start());
        std::atomic<bool> done{false};
        std::thread windowThread([&] {
            long value = 0;
            while (!done) {
                player.SetVolume(value);
                player.SetSoundOn(value % 2 == 0);
                value = value <= -10000 ? 0 : value - 100;
                (void)player.IsInitialised();
                std::this_thread::yield();
            }
        });
        std::this_thread::sleep_for(30ms);
        player.Shutdown();
        EXPECT_FALSE(player.IsInitialised());
        EXPECT_TRUE(WaitFor([&] { return player.IsFinished(); }, 5s));
        done = true;
        windowThread.join();
    }
    player.SetSoundOn(true);
}

// The players reach the worker only through the consumer interface.
TEST_F(AudioPlayerTest, ConsumerAdapterDrivesTheModuleWorker)
{
    IAudioConsumer& consumer = AudioConsumer();
    EXPECT_FALSE(consumer.IsInitialised());
    EXPECT_FALSE(consumer.Start());
    EXPECT_FALSE(consumer.StartAudio(7));
    ASSERT_TRUE(consumer.StartAudio(3));
    EXPECT_TRUE(consumer.IsInitialised());
    EXPECT_EQ(AudioPlayer().HalfSize(), 10240u);
    ASSERT_TRUE(consumer.Start());
    EXPECT_FALSE(consumer.Start());  // already running
    EXPECT_TRUE(consumer.RequestStop(ModuleTimings().consumerStopMs));
    consumer.Shutdown();
    EXPECT_FALSE(consumer.IsInitialised());
}

} // namespace
} // namespace kv
