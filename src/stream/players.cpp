#include "stream/players.h"

#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/debug_log.h"
#include "stream/mjpeg_player.h"

#include <chrono>
#include <thread>

namespace kv {

CStreamPlayerBase::CStreamPlayerBase(const ModuleProfile& profile, CFrameChain& video, CFrameChain& audio)
    : m_profile(profile), m_videoChain(video), m_audioChain(audio), m_connection(profile, [this] { return StopRequested(); })
{
}

void CStreamPlayerBase::SetStream(std::string url, std::string user, std::string password)
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    m_source = Source{std::move(url), std::move(user), std::move(password)};
}

void CStreamPlayerBase::SetUrl(std::string url)
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    m_source.url = std::move(url);
}

void CStreamPlayerBase::SetUser(std::string user)
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    m_source.user = std::move(user);
}

void CStreamPlayerBase::SetPassword(std::string password)
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    m_source.password = std::move(password);
}

std::string CStreamPlayerBase::Url() const
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    return m_source.url;
}

CStreamPlayerBase::Source CStreamPlayerBase::CurrentSource() const
{
    std::lock_guard<std::mutex> guard(m_sourceLock);
    return m_source;
}

bool CStreamPlayerBase::StartDisplay(int width, int height, std::span<const std::uint8_t> config)
{
    IDisplayConsumer* display = m_display.load();
    if (!display || !display->Open(width, height, config))
        return false;
    m_displayOpened = true;
    return display->Start();
}

bool CStreamPlayerBase::StartAudio(int codeBits)
{
    IAudioConsumer* audio = m_audio.load();
    if (!m_profile.hasAudio || !audio || !audio->StartAudio(codeBits))
        return false;
    return audio->Start();
}

CStreamPlayerBase::Ended CStreamPlayerBase::StopConsumers()
{
    const int limit = ModuleTimings().consumerStopMs.load();
    Ended ended;
    if (IDisplayConsumer* display = m_display.load())
        ended.display = display->RequestStop(limit);
    if (IAudioConsumer* audio = m_audio.load())
        ended.audio = audio->RequestStop(limit);
    return ended;
}

void CStreamPlayerBase::ShutdownAudio(bool audioEnded)
{
    IAudioConsumer* audio = m_audio.load();
    if (!audio || !audio->IsInitialised())
        return;
    if (audioEnded)
        audio->Shutdown();
    else
        DebugMessage("audio worker did not stop; its device is left open", 1);
}

void CStreamPlayerBase::SettleSleep(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!StopRequested() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 5)));
}

CMJpegPlayer& ModuleMJpegPlayer()
{
    static CMJpegPlayer player(ActiveProfile(), VideoChain(), AudioChain());
    return player;
}

CPlayer& ModuleAsfPlayer()
{
    static CPlayer player(ActiveProfile(), VideoChain(), AudioChain());
    return player;
}

} // namespace kv
