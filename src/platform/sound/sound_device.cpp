#include "platform/sound/sound_device.h"

namespace kv {

bool CSoundDevice::Open(IMessageTarget* window, const WaveFormat& format)
{
    Release();
    if (!format.IsPlayable())
        return false;
    m_backend = OpenSoundBackend(format);
    if (!m_backend)
        return false;
    m_window = window;
    m_format = format;
    m_volume = 0;
    m_pan = 0;
    m_frequency = format.samplesPerSecond;
    return true;
}

void CSoundDevice::Release()
{
    m_backend.reset();
    m_window = nullptr;
    m_frequency = 0;
}

const char* CSoundDevice::BackendName() const noexcept
{
    return m_backend ? m_backend->Name() : "";
}

std::unique_ptr<ISoundOutput> CSoundDevice::CreateOutput(const WaveFormat& format)
{
    if (!m_backend)
        return nullptr;
    return m_backend->CreateOutput(format);
}

} // namespace kv
