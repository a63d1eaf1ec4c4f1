// A looping sound buffer of two halves. The device plays it round and round; each time the
// play position enters one half (starting to play included), the half-0 or half-1
// notification is raised so the owner can refill the other half, the one just played. A stop notification is raised when playing stops.
#pragma once

#include "platform/sound/sound_device.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace kv {

enum class BufferNotification { Half0, Half1, Stopped, TimedOut };

class CDSStreamBuffer {
public:
    // Quietest and loudest volume, in hundredths of a decibel.
    static constexpr long kMinVolume = -10000;
    static constexpr long kMaxVolume = 0;

    CDSStreamBuffer() = default;
    ~CDSStreamBuffer() { Release(); }
    CDSStreamBuffer(const CDSStreamBuffer&) = delete;
    CDSStreamBuffer& operator=(const CDSStreamBuffer&) = delete;

    // Bytes in one half for a G.726 code size: one 1920-byte frame's PCM; 0 for other sizes.
    static std::size_t HalfSizeFor(int codeSize) noexcept;

    // Makes a silent buffer of two halves on the device. False when the code size is unknown
    // or the device cannot give an output stream.
    bool Create(CSoundDevice& device, const WaveFormat& format, int codeSize);
    void Release();

    // Copies at most one half (and at most size bytes) of 16-bit PCM into half 0 or 1.
    void FillBuffer(int halfIndex, std::span<const std::uint8_t> data);
    // Plays from the current position; with loop, round and round until Stop.
    bool Play(bool loop);
    // Stops playing, rewinds to the start and raises the stop notification.
    void Stop();
    // value in hundredths of a decibel, kMinVolume..kMaxVolume; false (and no change) outside.
    bool SetVolume(long value);
    long Volume() const;

    // Waits at most timeout for a notification and consumes it (the earliest kind first).
    BufferNotification WaitForNotification(std::chrono::milliseconds timeout);

    bool IsCreated() const noexcept { return m_output != nullptr; }
    bool IsPlaying() const;
    std::size_t HalfSize() const noexcept { return m_halfSize; }
    int CodeSize() const noexcept { return m_codeSize; }
    // Bytes the device has taken from the buffer since Create (silence while stopped excluded).
    std::uint64_t PlayedBytes() const;

private:
    void Pull(std::span<std::int16_t> samples);
    void Notify(BufferNotification which);

    std::unique_ptr<ISoundOutput> m_output;
    std::size_t m_halfSize = 0;
    int m_codeSize = 0;
    bool m_outputRunning = false;  // touched only by the owner's thread (Play, Stop, Release)

    mutable std::mutex m_lock;  // the bytes, the position, the play state and the gain
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
    bool m_playing = false;
    bool m_looping = false;
    long m_volume = 0;
    float m_gain = 1.0f;
    std::uint64_t m_played = 0;

    std::mutex m_notifyLock;
    std::condition_variable m_notified;
    bool m_pending[3] = {false, false, false};  // auto-reset: half 0, half 1, stop
};

} // namespace kv
