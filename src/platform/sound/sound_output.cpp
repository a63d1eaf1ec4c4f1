#include "platform/sound/sound_output.h"

#include "platform/sound/null_output.h"
#include "platform/sound/portaudio_output.h"

#include <cstdlib>
#include <string_view>

namespace kv {

std::unique_ptr<ISoundBackend> OpenSoundBackend(const WaveFormat& format)
{
    if (!format.IsPlayable())
        return nullptr;
    const char* choice = std::getenv("KAVARO_AUDIO");
    const std::string_view value = choice ? choice : "";
    if (value.empty() || value == "portaudio")
        return CreatePortAudioBackend(format);
    if (value == "null")
        return CreateNullBackend({});
    constexpr std::string_view kWavPrefix = "wav:";
    if (value.starts_with(kWavPrefix) && value.size() > kWavPrefix.size())
        return CreateNullBackend(std::string(value.substr(kWavPrefix.size())));
    return nullptr;  // an unknown back end plays nothing rather than guessing
}

} // namespace kv
