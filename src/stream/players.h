// What the two stream players share: the camera source, the consumers they start and stop,
// the current frame text and the live connection. The players themselves are CMJpegPlayer
// (stream/mjpeg_player.h) and CPlayer (stream/asf_player.h).
//
// Each module has one of each (ModuleMJpegPlayer, ModuleAsfPlayer) working on the
// module-wide frame chains; tests build their own with either profile and their own chains.
#pragma once

#include "core/module_profile.h"
#include "stream/consumers.h"
#include "stream/frame_chain.h"
#include "stream/frame_text.h"
#include "stream/stream_opener.h"
#include "stream/worker_thread.h"

#include <atomic>
#include <mutex>
#include <span>
#include <string>

namespace kv {

class CMJpegPlayer;
class CPlayer;

class CStreamPlayerBase : public CWorkerThread {
public:
    // Safe at any time, also while the player runs; a running connection keeps what it
    // started with, the next connect uses the new values.
    void SetStream(std::string url, std::string user, std::string password);
    void SetUrl(std::string url);
    void SetUser(std::string user);
    void SetPassword(std::string password);
    std::string Url() const;

    // The consumers the player opens, starts and stops. Not owned; they must outlive the
    // player's runs. Set them while the player is not running.
    void SetDisplayConsumer(IDisplayConsumer* display) { m_display = display; }
    void SetAudioConsumer(IAudioConsumer* audio) { m_audio = audio; }

    // The text of the last frame handed over (ASF: of the last padding prefix).
    std::string FrameText() const { return m_text.Get(); }

    // The control clears this when playback is stopped for good.
    void ClearStartedFlag() { m_started = false; }

    // The listener's audio switch (the viewer's speaker button), safe from any thread and kept
    // across connections: while off, audio the stream carries is dropped as it arrives, so
    // the audio worker runs dry instead of decoding sound nobody hears.
    void SetAudioEnabled(bool enabled) { m_audioEnabled = enabled; }
    bool AudioEnabled() const { return m_audioEnabled.load(); }

    const ModuleProfile& Profile() const { return m_profile; }
    CFrameChain& Video() { return m_videoChain; }
    CFrameChain& Audio() { return m_audioChain; }

protected:
    CStreamPlayerBase(const ModuleProfile& profile, CFrameChain& video, CFrameChain& audio);

    struct Source {
        std::string url;
        std::string user;
        std::string password;
    };
    Source CurrentSource() const;
    IDisplayConsumer* DisplayConsumer() const { return m_display.load(); }
    IAudioConsumer* AudioConsumer() const { return m_audio.load(); }

    // Opens the picture display; true when it opened and was started.
    bool StartDisplay(int width, int height, std::span<const std::uint8_t> config);
    // Sets up audio for this code size and starts the audio worker; false when the module has
    // no audio, no audio consumer is set or the set-up fails.
    bool StartAudio(int codeBits);

    struct Ended {
        bool display = true;
        bool audio = true;
    };
    // RequestStop with the consumer limit on the display worker, then on the audio worker.
    Ended StopConsumers();
    // Shuts audio down when it is initialised, but only once its worker has ended.
    void ShutdownAudio(bool audioEnded);
    // Sleeps in short steps while no stop is requested.
    void SettleSleep(int ms);

    const ModuleProfile& m_profile;
    CFrameChain& m_videoChain;
    CFrameChain& m_audioChain;
    CStreamConnection m_connection;
    CurrentFrameText m_text;
    bool m_displayOpened = false;  // the player's thread only

private:
    mutable std::mutex m_sourceLock;
    Source m_source;
    std::atomic<IDisplayConsumer*> m_display{nullptr};
    std::atomic<IAudioConsumer*> m_audio{nullptr};
    std::atomic<bool> m_audioEnabled{true};
};

// The module-wide players, on the module-wide chains and the module's own profile.
CMJpegPlayer& ModuleMJpegPlayer();
CPlayer& ModuleAsfPlayer();

} // namespace kv
