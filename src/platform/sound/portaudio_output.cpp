#include "platform/sound/portaudio_output.h"

#include <portaudio.h>

#include <algorithm>
#include <vector>

namespace kv {
namespace {

// The device's parameters for the format, and the rate to open it at; false when the device
// can play the format neither at the format's rate nor (mono only) at its own default rate.
bool ChooseParameters(const WaveFormat& format, PaStreamParameters& parameters, double& rate)
{
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice)
        return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info || info->maxOutputChannels < format.channels)
        return false;
    parameters = PaStreamParameters{};
    parameters.device = device;
    parameters.channelCount = format.channels;
    parameters.sampleFormat = paInt16;
    parameters.suggestedLatency = info->defaultHighOutputLatency;
    rate = format.samplesPerSecond;
    if (Pa_IsFormatSupported(nullptr, &parameters, rate) == paFormatIsSupported)
        return true;
    rate = info->defaultSampleRate;
    return format.channels == 1 && rate > 0 && Pa_IsFormatSupported(nullptr, &parameters, rate) == paFormatIsSupported;
}

class CPortAudioOutput final : public ISoundOutput {
public:
    CPortAudioOutput(const WaveFormat& format, const PaStreamParameters& parameters, double deviceRate)
        : m_channels(format.channels), m_step(format.samplesPerSecond / deviceRate),
          m_resample(deviceRate != format.samplesPerSecond)
    {
        if (Pa_OpenStream(&m_stream, nullptr, &parameters, deviceRate, paFramesPerBufferUnspecified, paNoFlag,
                          &CPortAudioOutput::Callback, this) != paNoError)
            m_stream = nullptr;
    }

    ~CPortAudioOutput() override
    {
        if (m_stream) {
            Stop();
            Pa_CloseStream(m_stream);
        }
    }

    bool IsOpen() const { return m_stream != nullptr; }

    bool Start(PullFunction pull) override
    {
        Stop();
        m_pull = std::move(pull);
        m_phase = 0.0;
        m_previous = m_current = 0;
        m_sourceNext = m_source.size();
        return Pa_StartStream(m_stream) == paNoError;
    }

    void Stop() override
    {
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_StopStream(m_stream);
    }

private:
    static int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self)
    {
        static_cast<CPortAudioOutput*>(self)->Render(static_cast<std::int16_t*>(output), frames);
        return paContinue;
    }

    void Render(std::int16_t* output, unsigned long frames)
    {
        if (!m_resample) {
            m_pull(std::span<std::int16_t>(output, frames * static_cast<unsigned long>(m_channels)));
            return;
        }
        // Mono at the device's rate: linear interpolation between consecutive source samples.
        for (unsigned long i = 0; i < frames; ++i) {
            while (m_phase >= 1.0) {
                m_phase -= 1.0;
                m_previous = m_current;
                m_current = NextSourceSample();
            }
            const double value = m_previous + (m_current - m_previous) * m_phase;
            output[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
            m_phase += m_step;
        }
    }

    std::int16_t NextSourceSample()
    {
        if (m_sourceNext >= m_source.size()) {
            m_source.assign(kSourceBlock, 0);
            m_pull(m_source);
            m_sourceNext = 0;
        }
        return m_source[m_sourceNext++];
    }

    static constexpr std::size_t kSourceBlock = 128;

    PaStream* m_stream = nullptr;
    PullFunction m_pull;
    int m_channels;
    double m_step;
    bool m_resample;
    double m_phase = 0.0;
    std::int16_t m_previous = 0;
    std::int16_t m_current = 0;
    std::vector<std::int16_t> m_source;
    std::size_t m_sourceNext = 0;
};

class CPortAudioBackend final : public ISoundBackend {
public:
    CPortAudioBackend() : m_initialised(Pa_Initialize() == paNoError) {}
    ~CPortAudioBackend() override
    {
        if (m_initialised)
            Pa_Terminate();
    }

    bool IsReady(const WaveFormat& format) const
    {
        PaStreamParameters parameters;
        double rate = 0;
        return m_initialised && ChooseParameters(format, parameters, rate);
    }

    std::unique_ptr<ISoundOutput> CreateOutput(const WaveFormat& format) override
    {
        PaStreamParameters parameters;
        double rate = 0;
        if (!m_initialised || !format.IsPlayable() || !ChooseParameters(format, parameters, rate))
            return nullptr;
        auto output = std::make_unique<CPortAudioOutput>(format, parameters, rate);
        if (!output->IsOpen())
            return nullptr;
        return output;
    }

    const char* Name() const override { return "portaudio"; }

private:
    bool m_initialised;
};

} // namespace

std::unique_ptr<ISoundBackend> CreatePortAudioBackend(const WaveFormat& format)
{
    auto backend = std::make_unique<CPortAudioBackend>();
    if (!backend->IsReady(format))
        return nullptr;
    return backend;
}

} // namespace kv
