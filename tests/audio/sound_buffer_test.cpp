#include "audio_test_util.h"
#include "platform/sound/null_output.h"
#include "platform/sound/sound_device.h"
#include "platform/sound/stream_buffer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace kv {
namespace {

using namespace std::chrono_literals;
using audiotest::ScopedEnv;

class SoundBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("kvsound-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wav = dir / "out.wav";
        env.emplace("KAVARO_AUDIO", "wav:" + wav.string());
        SetNullClockScaleForTesting(8.0);
    }
    void TearDown() override
    {
        SetNullClockScaleForTesting(1.0);
        env.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    static std::vector<std::uint8_t> Constant(std::size_t bytes, std::int16_t value)
    {
        std::vector<std::uint8_t> block(bytes);
        for (std::size_t i = 0; i + 1 < bytes; i += 2) {
            block[i] = static_cast<std::uint8_t>(value);
            block[i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) >> 8);
        }
        return block;
    }

    // The next notification that is not a time-out, within two seconds.
    static BufferNotification Next(CDSStreamBuffer& buffer)
    {
        for (int i = 0; i < 100; ++i) {
            const BufferNotification n = buffer.WaitForNotification(20ms);
            if (n != BufferNotification::TimedOut)
                return n;
        }
        return BufferNotification::TimedOut;
    }

    std::filesystem::path dir;
    std::filesystem::path wav;
    std::optional<ScopedEnv> env;
};

TEST_F(SoundBufferTest, HalfSizeFollowsTheCodeSize)
{
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(2), 15360u);
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(3), 10240u);
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(4), 7680u);
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(5), 6144u);
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(1), 0u);
    EXPECT_EQ(CDSStreamBuffer::HalfSizeFor(6), 0u);

    CSoundDevice device;
    ASSERT_TRUE(device.Open(nullptr, kCameraAudioFormat));
    EXPECT_EQ(device.Frequency(), 8000);
    CDSStreamBuffer buffer;
    EXPECT_FALSE(buffer.Create(device, kCameraAudioFormat, 6));
    EXPECT_FALSE(buffer.IsCreated());
    ASSERT_TRUE(buffer.Create(device, kCameraAudioFormat, 5));
    EXPECT_EQ(buffer.HalfSize(), 6144u);
}

// Playing raises half 0 at once, half 1 when the position reaches the middle and half 0 again
// at each wrap; what was filled plays in order, and a fill longer than a half is cut.
TEST_F(SoundBufferTest, LoopsTwoHalvesWithNotifications)
{
    CSoundDevice device;
    ASSERT_TRUE(device.Open(nullptr, kCameraAudioFormat));
    CDSStreamBuffer buffer;
    ASSERT_TRUE(buffer.Create(device, kCameraAudioFormat, 5));
    buffer.FillBuffer(0, Constant(6144, 1000));
    buffer.FillBuffer(1, Constant(2 * 6144, 2000));  // only one half is taken
    buffer.FillBuffer(2, Constant(6144, 3000));      // no such half: ignored
    ASSERT_TRUE(buffer.Play(true));

    EXPECT_EQ(Next(buffer), BufferNotification::Half0);
    EXPECT_EQ(Next(buffer), BufferNotification::Half1);
    EXPECT_EQ(Next(buffer), BufferNotification::Half0);
    buffer.Stop();
    EXPECT_EQ(Next(buffer), BufferNotification::Stopped);
    EXPECT_FALSE(buffer.IsPlaying());
    const std::uint64_t played = buffer.PlayedBytes();
    EXPECT_GE(played, 2 * 6144u);
    buffer.Release();
    device.Release();

    const auto samples = audiotest::ReadWav(wav);
    ASSERT_TRUE(samples);
    ASSERT_EQ(samples->size() * 2, played);
    for (std::size_t i = 0; i < samples->size(); ++i) {
        const std::int16_t expected = (i % 6144) < 3072 ? 1000 : 2000;
        ASSERT_EQ((*samples)[i], expected) << "sample " << i;
    }
}

// Without looping, the buffer plays both halves once and raises the stop notification.
TEST_F(SoundBufferTest, PlayOnceStopsAtTheEnd)
{
    CSoundDevice device;
    ASSERT_TRUE(device.Open(nullptr, kCameraAudioFormat));
    CDSStreamBuffer buffer;
    ASSERT_TRUE(buffer.Create(device, kCameraAudioFormat, 5));
    buffer.FillBuffer(0, Constant(6144, 7));
    buffer.FillBuffer(1, Constant(6144, 7));
    ASSERT_TRUE(buffer.Play(false));
    EXPECT_EQ(Next(buffer), BufferNotification::Half0);
    EXPECT_EQ(Next(buffer), BufferNotification::Half1);
    EXPECT_EQ(Next(buffer), BufferNotification::Stopped);
    EXPECT_EQ(buffer.PlayedBytes(), 2 * 6144u);
    EXPECT_FALSE(buffer.IsPlaying());
}

// The gain is 10^(v/2000): -602 halves the amplitude, -10000 is silence.
TEST_F(SoundBufferTest, VolumeIsAppliedAsGain)
{
    CSoundDevice device;
    ASSERT_TRUE(device.Open(nullptr, kCameraAudioFormat));
    CDSStreamBuffer buffer;
    ASSERT_TRUE(buffer.Create(device, kCameraAudioFormat, 5));
    EXPECT_FALSE(buffer.SetVolume(100));
    EXPECT_FALSE(buffer.SetVolume(-10001));
    ASSERT_TRUE(buffer.SetVolume(-602));
    EXPECT_EQ(buffer.Volume(), -602);
    buffer.FillBuffer(0, Constant(6144, 20000));
    buffer.FillBuffer(1, Constant(6144, -20000));
    ASSERT_TRUE(buffer.Play(false));
    while (Next(buffer) != BufferNotification::Stopped) {
    }
    buffer.Release();

    const auto samples = audiotest::ReadWav(wav);
    ASSERT_TRUE(samples);
    ASSERT_GE(samples->size(), 6144u);
    EXPECT_NEAR((*samples)[0], 10000, 15);
    EXPECT_NEAR((*samples)[3072], -10000, 15);
}

TEST_F(SoundBufferTest, BackendSelection)
{
    CSoundDevice device;
    {
        ScopedEnv null("KAVARO_AUDIO", "null");
        ASSERT_TRUE(device.Open(nullptr, kCameraAudioFormat));
        EXPECT_STREQ(device.BackendName(), "null");
    }
    for (const char* refused : {"wav:", "bogus", "NULL"}) {
        ScopedEnv value("KAVARO_AUDIO", refused);
        EXPECT_FALSE(device.Open(nullptr, kCameraAudioFormat)) << refused;
        EXPECT_FALSE(device.IsOpen());
    }
    WaveFormat eightBit = kCameraAudioFormat;
    eightBit.bitsPerSample = 8;
    EXPECT_FALSE(device.Open(nullptr, eightBit));
}

// The default device through PortAudio. The test points ALSA's default device at its null
// plugin (through a private home folder), so the PortAudio stream really runs where ALSA is
// installed, without a sound card; without ALSA the open fails cleanly and the test is skipped.
TEST_F(SoundBufferTest, PortAudioPlaysOnTheDefaultDevice)
{
    std::ofstream(dir / ".asoundrc") << "pcm.!default {\n  type null\n}\n";
    ScopedEnv home("HOME", dir.string());
    ScopedEnv portaudio("KAVARO_AUDIO", "portaudio");
    CSoundDevice device;
    if (!device.Open(nullptr, kCameraAudioFormat)) {
        EXPECT_FALSE(device.IsOpen());
        GTEST_SKIP() << "no usable PortAudio output device here; the open failed cleanly";
    }
    EXPECT_STREQ(device.BackendName(), "portaudio");
    CDSStreamBuffer buffer;
    ASSERT_TRUE(buffer.Create(device, kCameraAudioFormat, 5));
    ASSERT_TRUE(buffer.Play(true));
    EXPECT_EQ(buffer.WaitForNotification(1s), BufferNotification::Half0);
    EXPECT_EQ(buffer.WaitForNotification(3s), BufferNotification::Half1);  // the device pulls
    buffer.Stop();
    EXPECT_GE(buffer.PlayedBytes(), 6144u);
}

TEST(WavWriter, HeaderDescribesTheDataAtAnyMoment)
{
    const auto path = std::filesystem::temp_directory_path() / ("kvwav-" + std::to_string(::getpid()) + ".wav");
    {
        auto writer = CWavWriter::Create(path.string(), kCameraAudioFormat);
        ASSERT_TRUE(writer);
        const std::int16_t first[3] = {1, -2, 32767};
        writer->Write(first);
        writer->Flush();
        const auto midway = audiotest::ReadWav(path);
        ASSERT_TRUE(midway);
        EXPECT_EQ(*midway, (std::vector<std::int16_t>{1, -2, 32767}));
        const std::int16_t second[1] = {-32768};
        writer->Write(second);
    }
    const auto samples = audiotest::ReadWav(path);
    ASSERT_TRUE(samples);
    EXPECT_EQ(*samples, (std::vector<std::int16_t>{1, -2, 32767, -32768}));
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 8u);
    std::filesystem::remove(path);
    EXPECT_FALSE(CWavWriter::Create("/nonexistent-dir/x.wav", kCameraAudioFormat));
}

} // namespace
} // namespace kv
