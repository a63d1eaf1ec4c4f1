#include "audio/audio_consumer.h"

namespace kv {

IAudioConsumer& AudioConsumer()
{
    static CAudioConsumer consumer(AudioPlayer());
    return consumer;
}

} // namespace kv
