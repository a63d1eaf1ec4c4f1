#include "platform/sound/stream_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kv {

std::size_t CDSStreamBuffer::HalfSizeFor(int codeSize) noexcept
{
    switch (codeSize) {
    case 2: return 15360;
    case 3: return 10240;
    case 4: return 7680;
    case 5: return 6144;
    default: return 0;
    }
}

bool CDSStreamBuffer::Create(CSoundDevice& device, const WaveFormat& format, int codeSize)
{
    Release();
    const std::size_t half = HalfSizeFor(codeSize);
    if (half == 0 || format.blockAlign != 2)
        return false;
    m_output = device.CreateOutput(format);
    if (!m_output)
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_halfSize = half;
    m_codeSize = codeSize;
    m_bytes.assign(2 * half, 0);
    m_position = 0;
    m_playing = false;
    m_looping = false;
    m_volume = 0;
    m_gain = 1.0f;
    m_played = 0;
    return true;
}

void CDSStreamBuffer::Release()
{
    if (m_output) {
        m_output->Stop();
        m_output.reset();
    }
    m_outputRunning = false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_playing = false;
    m_bytes.clear();
    m_position = 0;
    m_halfSize = 0;
    m_codeSize = 0;
}

void CDSStreamBuffer::FillBuffer(int halfIndex, std::span<const std::uint8_t> data)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if ((halfIndex != 0 && halfIndex != 1) || m_bytes.empty())
        return;
    const std::size_t count = std::min(data.size(), m_halfSize);
    std::memcpy(m_bytes.data() + static_cast<std::size_t>(halfIndex) * m_halfSize, data.data(), count);
}

bool CDSStreamBuffer::Play(bool loop)
{
    if (!m_output)
        return false;
    BufferNotification entered = BufferNotification::TimedOut;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_looping = loop;
        if (!m_playing)
            entered = m_position < m_halfSize ? BufferNotification::Half0 : BufferNotification::Half1;
        m_playing = true;
    }
    if (!m_outputRunning) {
        m_outputRunning = m_output->Start([this](std::span<std::int16_t> samples) { Pull(samples); });
        if (!m_outputRunning) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_playing = false;
            return false;
        }
    }
    // Starting to play enters a half just as reaching it does: the other half can be filled.
    if (entered != BufferNotification::TimedOut)
        Notify(entered);
    return true;
}

void CDSStreamBuffer::Stop()
{
    // The output is stopped outside m_lock: its pull takes that lock.
    if (m_output && m_outputRunning)
        m_output->Stop();
    m_outputRunning = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_playing = false;
        m_position = 0;
    }
    Notify(BufferNotification::Stopped);
}

bool CDSStreamBuffer::SetVolume(long value)
{
    if (value < kMinVolume || value > kMaxVolume)
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bytes.empty())
        return false;  // not created
    m_volume = value;
    m_gain = static_cast<float>(std::pow(10.0, static_cast<double>(value) / 2000.0));
    return true;
}

long CDSStreamBuffer::Volume() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_volume;
}

bool CDSStreamBuffer::IsPlaying() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_playing;
}

std::uint64_t CDSStreamBuffer::PlayedBytes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_played;
}

void CDSStreamBuffer::Pull(std::span<std::int16_t> samples)
{
    bool reachedHalf = false;
    bool reachedStart = false;
    bool stopped = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const std::size_t total = m_bytes.size();
        for (std::int16_t& out : samples) {
            if (!m_playing || total == 0) {
                out = 0;
                continue;
            }
            std::int16_t sample;
            std::memcpy(&sample, m_bytes.data() + m_position, sizeof sample);
            out = m_gain == 1.0f ? sample
                                 : static_cast<std::int16_t>(std::clamp(std::lround(sample * m_gain), -32768L, 32767L));
            m_position += sizeof sample;
            m_played += sizeof sample;
            if (m_position == m_halfSize) {
                reachedHalf = true;
            } else if (m_position == total) {
                m_position = 0;
                if (m_looping) {
                    reachedStart = true;
                } else {
                    m_playing = false;
                    stopped = true;
                }
            }
        }
    }
    if (reachedStart)
        Notify(BufferNotification::Half0);
    if (reachedHalf)
        Notify(BufferNotification::Half1);
    if (stopped)
        Notify(BufferNotification::Stopped);
}

void CDSStreamBuffer::Notify(BufferNotification which)
{
    {
        std::lock_guard<std::mutex> guard(m_notifyLock);
        m_pending[static_cast<int>(which)] = true;
    }
    m_notified.notify_all();
}

BufferNotification CDSStreamBuffer::WaitForNotification(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_notifyLock);
    const auto any = [this] { return m_pending[0] || m_pending[1] || m_pending[2]; };
    if (!m_notified.wait_for(lock, timeout, any))
        return BufferNotification::TimedOut;
    for (int i = 0; i < 3; ++i) {
        if (m_pending[i]) {
            m_pending[i] = false;
            return static_cast<BufferNotification>(i);
        }
    }
    return BufferNotification::TimedOut;
}

} // namespace kv
