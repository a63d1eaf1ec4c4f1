#include "stream/mjpeg_player.h"

#include "core/timings.h"
#include "stream/errors.h"
#include "stream/keeping_rules.h"
#include "stream/result_code.h"

#include <chrono>
#include <new>
#include <thread>

namespace kv {

CMJpegPlayer::CMJpegPlayer(const ModuleProfile& profile, CFrameChain& video, CFrameChain& audio)
    : CStreamPlayerBase(profile, video, audio), m_parser(profile, *this)
{
}

CMJpegPlayer::~CMJpegPlayer()
{
    StopAndJoin();
}

int CMJpegPlayer::Connect()
{
    m_parser.Reset();
    m_text.Clear();
    if (m_block.empty())
        m_block.resize(kBlockSize);
    m_audioChain.Clear();
    m_videoChain.Clear();
    const Source source = CurrentSource();
    if (!m_connection.Open(source.url, source.user, source.password, kBlockSize))
        return kResultConnectFailed;
    SettleSleep(ModuleTimings().connectSettleMs.load());
    return 0;
}

int CMJpegPlayer::Run()
{
    int result = kResultStopped;
    try {
        if (Connect() != 0)
            throw CMJpegPlayerException(kResultConnectFailed, "Connect error");
        // The first block is filled (up to 2048 bytes) so that an error page in place of the
        // stream is seen whole; later blocks go to the parser as soon as anything is there.
        bool firstBlock = true;
        while (!StopRequested()) {
            const std::size_t count = m_connection.Read(m_block.data(), kBlockSize, firstBlock);
            if (StopRequested())
                break;
            firstBlock = false;
            if (count == 0)
                throw CMJpegPlayerException(kResultReadFailed, "Data Reading Error");
            if (auto failure = m_parser.Feed(std::span<const std::uint8_t>(m_block.data(), count)))
                throw *failure;
            if (m_frameRateChanged.exchange(false))
                throw CMJpegPlayerException(kResultReadFailed, "Data Reading Error");
        }
    } catch (const CMJpegPlayerException& e) {
        result = e.Code();
    } catch (const std::bad_alloc&) {
        result = kResultOutOfMemory;
    } catch (const CInternetException&) {
        result = kResultReadFailed;
    } catch (...) {
        result = kResultOtherFailure;
    }
    Stop();
    // A failure caused by the stop itself (an aborted read) is no failure.
    return StopRequested() ? kResultStopped : result;
}

void CMJpegPlayer::Stop()
{
    try {
        m_connection.Abort();
        m_connection.Close();
        const Ended ended = StopConsumers();
        std::this_thread::sleep_for(std::chrono::milliseconds(ModuleTimings().stopSleepMs.load()));
        m_audioChain.Clear();
        m_videoChain.Clear();
        ShutdownAudio(ended.audio);
        m_audioChain.Clear();
        m_videoChain.Clear();
        m_parser.Reset();  // frees the payload and frame in progress
        m_displayOpened = false;
    } catch (...) {
        // Stop runs on every way out of Run; nothing in it may escape.
    }
}

void CMJpegPlayer::OnStartDisplay(std::uint16_t width, std::uint16_t height)
{
    StartDisplay(width, height, {});
}

bool CMJpegPlayer::OnStartAudio(std::uint16_t codeSize)
{
    return StartAudio(codeSize);
}

void CMJpegPlayer::OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t timestamp, const std::string& text)
{
    KeepMjpgVideoFrame(m_videoChain, m_text, std::move(frame), timestamp, text);
}

void CMJpegPlayer::OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t timestamp, const std::string& text)
{
    KeepMjpgAudioFrame(m_audioChain, m_text, m_parser.AudioStarted() && AudioEnabled(), std::move(data), timestamp, text);
}

} // namespace kv
