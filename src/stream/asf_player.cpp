#include "stream/asf_player.h"

#include "core/timings.h"
#include "stream/debug_log.h"
#include "stream/errors.h"
#include "stream/result_code.h"

#include <chrono>
#include <new>
#include <thread>

namespace kv {
namespace {
constexpr const char* kHeaderReadError = "data reading error.";
}

CPlayer::CPlayer(const ModuleProfile& profile, CFrameChain& video, CFrameChain& audio)
    : CStreamPlayerBase(profile, video, audio), m_parser(profile, *this)
{
}

CPlayer::~CPlayer()
{
    StopAndJoin();
    CloseRecordFile();
}

void CPlayer::SetRecord(bool record, std::string fileName)
{
    std::lock_guard<std::mutex> guard(m_recordLock);
    m_record = record;
    m_recordFileName = std::move(fileName);
}

std::array<std::uint8_t, kAsfMotionLevelCount> CPlayer::MotionLevels() const
{
    const std::uint32_t packed = m_motionLevels.load();
    return {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
            static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 24)};
}

void CPlayer::CloseRecordFile()
{
    if (m_recordFile) {
        std::fclose(m_recordFile);
        m_recordFile = nullptr;
    }
}

int CPlayer::Connect()
{
    m_audioChain.Clear();
    m_videoChain.Clear();
    m_parser.Reset();
    m_videoKeeping.Reset();
    m_skipping = false;
    // The frame text stays: a restarting viewer keeps showing the last one until the new
    // stream brings its own.
    if (m_buffer.size() < kAsfMaxPacketSize)
        m_buffer.resize(kAsfMaxPacketSize);
    const Source source = CurrentSource();
    if (!m_connection.Open(source.url, source.user, source.password, kAsfMaxPacketSize))
        return kResultConnectFailed;
    bool record;
    std::string fileName;
    {
        std::lock_guard<std::mutex> guard(m_recordLock);
        record = m_record && m_profile.recording;
        fileName = m_recordFileName;
    }
    if (record) {
        CloseRecordFile();
        m_recordFile = std::fopen(fileName.c_str(), "wb");
        if (!m_recordFile)
            throw CFileException("cannot create the record file " + fileName);
    }
    SettleSleep(ModuleTimings().connectSettleMs.load());
    return 0;
}

std::size_t CPlayer::ReadAndRecord(std::size_t size, ReadMode mode)
{
    if (size == 0 || size > m_buffer.size())
        throw CPlayerException(kResultMalformed, "read size out of range");
    const std::size_t count = m_connection.Read(m_buffer.data(), size, true);
    // A packet read short counts as nothing read, so it is not recorded either: the file
    // holds the header and whole packets only.
    const bool keep = mode == ReadMode::Header ? count > 0 : count == size;
    if (m_recordFile && keep) {
        if (std::fwrite(m_buffer.data(), 1, count, m_recordFile) != count)
            throw CFileException("cannot write the record file");
    }
    return count;
}

int CPlayer::Run()
{
    int result = kResultStopped;
    try {
        if (Connect() != 0)
            throw CPlayerException(kResultConnectFailed, "Connect error");
        // Header: the 30-byte prefix, the header objects, the data object header.
        while (!StopRequested() && !m_parser.InPacketMode()) {
            const std::size_t size = m_parser.NextReadSize();
            const std::size_t count = ReadAndRecord(size, ReadMode::Header);
            if (StopRequested())
                break;
            if (count != size)
                throw CPlayerException(kResultReadFailed, kHeaderReadError);
            if (auto failure = m_parser.Feed(std::span<const std::uint8_t>(m_buffer.data(), count)))
                throw *failure;
        }
        // Then whole packets until the end.
        while (!StopRequested()) {
            const std::size_t size = m_parser.PacketSize();
            const std::size_t count = ReadAndRecord(size, ReadMode::Packet);
            if (StopRequested())
                break;
            if (count != size)
                throw CPlayerException(kResultReadFailed, m_profile.asfPacketReadError);
            if (auto failure = m_parser.Feed(std::span<const std::uint8_t>(m_buffer.data(), count)))
                throw *failure;
        }
    } catch (const CPlayerException& e) {
        result = e.Code();
        if (m_profile.logPlayerExceptions && !StopRequested())
            DebugMessage(e.Message() + RedactUrlCredentials(Url()), 1);
    } catch (const std::bad_alloc&) {
        result = kResultOutOfMemory;
    } catch (const CInternetException&) {
        result = kResultReadFailed;
    } catch (const CFileException&) {
        result = kResultFileError;
    } catch (...) {
        result = kResultOtherFailure;
    }
    Stop();
    // A failure caused by the stop itself (an aborted read) is no failure.
    return StopRequested() ? kResultStopped : result;
}

void CPlayer::Stop()
{
    try {
        m_connection.Abort();
        m_connection.Close();
        CloseRecordFile();
        const Ended ended = StopConsumers();
        std::this_thread::sleep_for(std::chrono::milliseconds(ModuleTimings().stopSleepMs.load()));
        m_audioChain.Clear();
        m_videoChain.Clear();
        if (m_displayOpened) {
            // The decoder belongs to the display worker while it runs: free it only once the
            // worker has ended.
            if (ended.display)
                if (auto* display = DisplayConsumer())
                    display->Release();
            if (!ended.display)
                DebugMessage("display worker did not stop; its decoder is left", 1);
            m_displayOpened = false;
        }
        ShutdownAudio(ended.audio);
        m_audioChain.Clear();
        m_videoChain.Clear();
    } catch (...) {
        // Stop runs on every way out of Run; nothing in it may escape.
    }
}

void CPlayer::OnStartVideo(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> config)
{
    StartDisplay(width, height, config);
}

bool CPlayer::OnStartAudio(std::uint16_t bitsPerSample)
{
    return StartAudio(bitsPerSample);
}

void CPlayer::OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime, bool keyFrame)
{
    m_videoKeeping.Keep(m_videoChain, std::move(data), presentationTime, keyFrame);
    m_skipping = m_videoKeeping.Skipping();
}

void CPlayer::OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime)
{
    if (m_profile.hasAudio)
        KeepAsfAudioFrame(m_audioChain, std::move(data), presentationTime);
}

void CPlayer::OnFrameText(const std::string& text)
{
    m_text.Set(text);
}

void CPlayer::OnMotionLevels(const std::array<std::uint8_t, kAsfMotionLevelCount>& levels)
{
    m_motionLevels = static_cast<std::uint32_t>(levels[0]) | (static_cast<std::uint32_t>(levels[1]) << 8) |
                     (static_cast<std::uint32_t>(levels[2]) << 16) | (static_cast<std::uint32_t>(levels[3]) << 24);
}

} // namespace kv
