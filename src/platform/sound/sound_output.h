// Back ends of the sound layer. An output pulls samples from its owner on a thread of its own,
// at the format's rate: PortAudio's callback, or a software clock for the null back end.
//
// KAVARO_AUDIO chooses the back end when a device opens:
//   unset      the default PortAudio output device
//   null       no sound; samples are consumed at the real rate
//   wav:PATH   like null, and every sample played is written to the WAV file PATH
#pragma once

#include "platform/sound/wave_format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace kv {

class ISoundOutput {
public:
    // Fills the span with the next samples to play (interleaved when there are two channels).
    using PullFunction = std::function<void(std::span<std::int16_t> samples)>;

    virtual ~ISoundOutput() = default;
    // Starts pulling; false when the back end cannot start.
    virtual bool Start(PullFunction pull) = 0;
    // Stops pulling. When it returns, no pull is running and none will start until Start.
    virtual void Stop() = 0;
};

class ISoundBackend {
public:
    virtual ~ISoundBackend() = default;
    // An output stream in this format, or null when the back end cannot make one.
    virtual std::unique_ptr<ISoundOutput> CreateOutput(const WaveFormat& format) = 0;
    virtual const char* Name() const = 0;
};

// The back end that KAVARO_AUDIO selects, ready for the format; null when there is no usable
// device (or the WAV file cannot be created).
std::unique_ptr<ISoundBackend> OpenSoundBackend(const WaveFormat& format);

// The null back end's clock runs this many times faster than real time (tests only; 1 by
// default). Applies to outputs started afterwards.
void SetNullClockScaleForTesting(double scale);

} // namespace kv
