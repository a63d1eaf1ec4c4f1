// The default sound card through PortAudio.
#pragma once

#include "platform/sound/sound_output.h"

namespace kv {

// Null when PortAudio cannot start or has no default output device that plays the format
// (at its own rate or, for mono, at the device's default rate through a resampler).
std::unique_ptr<ISoundBackend> CreatePortAudioBackend(const WaveFormat& format);

} // namespace kv
