// The viewer's audio worker: takes packed G.726 frames from the audio chain, decodes them and
// keeps a looping two-half sound buffer fed, one frame (or one half of silence) per half played.
#pragma once

#include "audio/g726_decoder.h"
#include "platform/sound/sound_device.h"
#include "platform/sound/stream_buffer.h"
#include "stream/worker_thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kv {

class IMessageTarget;

class CAudioPlayer : public CWorkerThread {
public:
    CAudioPlayer() = default;
    ~CAudioPlayer() override;

    // The control's window: receives WM_AUDIO_OPENED. May be null (nothing is posted).
    void SetWindow(IMessageTarget* window);

    // Opens device, buffer and decoder for a G.726 code size (2..5) and posts WM_AUDIO_OPENED.
    // False, with nothing left open, for another code size, when there is no usable device or
    // when the buffer cannot be made. Throws std::bad_alloc when memory runs out.
    bool StartAudio(int codeSize);

    int Run() override;

    // Releases buffer, decoder and device. Asks the worker to stop; if it is still running, the
    // release happens when it ends, never under it.
    void Shutdown();

    // Decoded audio (true, the initial state) or silence of the same length in its place.
    void SetSoundOn(bool on) noexcept { m_soundOn = on; }
    bool IsSoundOn() const noexcept { return m_soundOn; }

    // Buffer volume in hundredths of a decibel (0 full, -10000 quietest); false when audio is
    // not started or the value is out of range. Safe against a concurrent Shutdown.
    bool SetVolume(long value);

    bool IsInitialised() const;
    int CodeSize() const;
    std::size_t HalfSize() const;  // bytes per half of the current buffer; 0 when not started
    std::uint32_t LastTimestamp() const noexcept { return m_lastTimestamp; }
    // Bytes the device has played from the current buffer.
    std::uint64_t PlayedBytes() const;

private:
    // Everything opened by one StartAudio; shared so the worker and the volume setter keep it
    // alive while they use it, whatever Shutdown does meanwhile.
    struct Session {
        CSoundDevice device;
        CDSStreamBuffer buffer;
        g726::StatePtr decoder;
        int codeSize = 0;
        ~Session();
    };

    std::shared_ptr<Session> CurrentSession() const;
    int Play(Session& session);
    // The next half-sized block: a decoded frame (or zeros when sound is off), or silence
    // when the chain is empty.
    void NextBlock(Session& session);

    mutable std::mutex m_lock;  // guards m_session
    std::shared_ptr<Session> m_session;
    std::atomic<IMessageTarget*> m_window{nullptr};
    std::atomic<bool> m_soundOn{true};
    std::atomic<std::uint32_t> m_lastTimestamp{0};

    // Worker-only scratch space, kept between frames.
    std::vector<std::int16_t> m_samples;
    std::vector<std::uint8_t> m_block;
};

// The module-wide audio worker.
CAudioPlayer& AudioPlayer();

} // namespace kv
