// How the stream players reach the audio worker.
#pragma once

#include "audio/audio_player.h"
#include "stream/consumers.h"

namespace kv {

class CAudioConsumer final : public IAudioConsumer {
public:
    explicit CAudioConsumer(CAudioPlayer& player) noexcept : m_player(player) {}

    bool StartAudio(int codeBits) override { return m_player.StartAudio(codeBits); }
    // False when audio is not started or the worker is still running.
    bool Start() override { return m_player.IsInitialised() && m_player.Start(); }
    bool RequestStop(int timeoutMs) override { return m_player.RequestStop(timeoutMs); }
    bool IsInitialised() const override { return m_player.IsInitialised(); }
    void Shutdown() override { m_player.Shutdown(); }

private:
    CAudioPlayer& m_player;
};

// The module-wide consumer over AudioPlayer().
IAudioConsumer& AudioConsumer();

} // namespace kv
