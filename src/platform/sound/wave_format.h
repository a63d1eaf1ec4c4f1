// The PCM format the sound layer plays.
#pragma once

#include <cstdint>

namespace kv {

struct WaveFormat {
    int channels = 1;
    int samplesPerSecond = 8000;
    int bitsPerSample = 16;
    int blockAlign = 2;
    int averageBytesPerSecond = 16000;

    // Only 16-bit linear PCM with consistent sizes is playable.
    bool IsPlayable() const noexcept
    {
        return channels >= 1 && channels <= 2 && bitsPerSample == 16 && samplesPerSecond > 0 &&
               samplesPerSecond <= 192000 && blockAlign == channels * 2 &&
               averageBytesPerSecond == samplesPerSecond * blockAlign;
    }
};

// The camera's audio after decoding: 8000 samples/s, 16-bit, mono.
inline constexpr WaveFormat kCameraAudioFormat{};

} // namespace kv
