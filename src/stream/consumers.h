// What a player starts and stops: the picture display worker and the audio worker. The
// players reach them only through these interfaces, so the stream client does not depend
// on the window system or the sound device, and tests can put recording consumers here.
#pragma once

#include <cstdint>
#include <span>

namespace kv {

class IDisplayConsumer {
public:
    virtual ~IDisplayConsumer() = default;
    // Prepares for pictures of this size. For MPEG-4, config holds the decoder configuration
    // bytes from the stream header (and Open creates the decoder); empty for Motion-JPEG.
    virtual bool Open(int width, int height, std::span<const std::uint8_t> config) = 0;
    virtual bool Start() = 0;
    virtual bool RequestStop(int timeoutMs) = 0;  // true when it has ended
    // Frees the decoder and colour tables; only called once the worker has ended.
    virtual void Release() = 0;
};

class IAudioConsumer {
public:
    virtual ~IAudioConsumer() = default;
    // Opens device, buffer and decoder for this G.726 code size; false when that fails.
    virtual bool StartAudio(int codeBits) = 0;
    virtual bool Start() = 0;
    virtual bool RequestStop(int timeoutMs) = 0;  // true when it has ended
    virtual bool IsInitialised() const = 0;
    // Frees device, buffer and decoder; only called once the worker has ended.
    virtual void Shutdown() = 0;
};

} // namespace kv
