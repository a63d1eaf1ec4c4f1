// The sound device: the output back end opened for one format.
#pragma once

#include "platform/sound/sound_output.h"
#include "platform/sound/wave_format.h"

#include <memory>

namespace kv {

class IMessageTarget;

class CSoundDevice {
public:
    CSoundDevice() = default;
    ~CSoundDevice() { Release(); }
    CSoundDevice(const CSoundDevice&) = delete;
    CSoundDevice& operator=(const CSoundDevice&) = delete;

    // Opens the back end chosen by KAVARO_AUDIO for this format. The window owns the device
    // (it is where sound-related messages go). False when there is no usable device or the
    // format cannot be played; the device is then not open.
    bool Open(IMessageTarget* window, const WaveFormat& format);
    void Release();

    bool IsOpen() const noexcept { return m_backend != nullptr; }
    const WaveFormat& Format() const noexcept { return m_format; }
    // The output's settings as read after opening: full volume, centred, the format's rate.
    long Volume() const noexcept { return m_volume; }
    long Pan() const noexcept { return m_pan; }
    int Frequency() const noexcept { return m_frequency; }
    const char* BackendName() const noexcept;

    // A new output stream on this device; null when the device is not open or refuses.
    std::unique_ptr<ISoundOutput> CreateOutput(const WaveFormat& format);

private:
    std::unique_ptr<ISoundBackend> m_backend;
    IMessageTarget* m_window = nullptr;
    WaveFormat m_format;
    long m_volume = 0;
    long m_pan = 0;
    int m_frequency = 0;
};

} // namespace kv
