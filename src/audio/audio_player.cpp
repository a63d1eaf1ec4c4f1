#include "audio/audio_player.h"

#include "core/messages.h"
#include "stream/debug_log.h"
#include "stream/errors.h"
#include "stream/frame_chain.h"
#include "stream/result_code.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

namespace kv {
namespace {

using namespace std::chrono_literals;

// The worker waits for the buffer in slices this long, rechecking the stop request between
// them, so a device that stops notifying can never hold it.
constexpr auto kNotificationSlice = 20ms;

} // namespace

CAudioPlayer::Session::~Session()
{
    buffer.Stop();
    buffer.Release();
    decoder.reset();
    device.Release();
}

CAudioPlayer::~CAudioPlayer()
{
    StopAndJoin();
}

void CAudioPlayer::SetWindow(IMessageTarget* window)
{
    m_window = window;
}

bool CAudioPlayer::StartAudio(int codeSize)
{
    if (!g726::IsValidCodeBits(codeSize))
        return false;
    auto session = std::make_shared<Session>();
    if (!session->device.Open(m_window.load(), kCameraAudioFormat))
        return false;
    if (!session->buffer.Create(session->device, kCameraAudioFormat, codeSize))
        return false;
    session->decoder = g726::CreateState();
    session->codeSize = codeSize;

    std::shared_ptr<Session> previous;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        previous = std::exchange(m_session, std::move(session));
    }
    previous.reset();  // a start without shutdown in between replaces the old session
    if (IMessageTarget* window = m_window.load())
        window->PostMessage(WM_AUDIO_OPENED, 0, 0);
    return true;
}

std::shared_ptr<CAudioPlayer::Session> CAudioPlayer::CurrentSession() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_session;
}

int CAudioPlayer::Run()
{
    const std::shared_ptr<Session> session = CurrentSession();
    if (!session)
        return kResultStopped;  // shut down before the worker began: nothing to play
    try {
        return Play(*session);
    } catch (const std::bad_alloc&) {
        session->buffer.Stop();
        return kResultOutOfMemory;
    } catch (const CFileException&) {
        session->buffer.Stop();
        return kResultReadFailed;
    } catch (...) {
        session->buffer.Stop();
        return kResultOtherFailure;
    }
}

int CAudioPlayer::Play(Session& session)
{
    CDSStreamBuffer& buffer = session.buffer;
    bool first = true;
    while (!StopRequested()) {
        NextBlock(session);
        if (first) {
            first = false;
            DebugMessage("test", 1);
            buffer.FillBuffer(0, m_block);
            buffer.Play(true);
        } else {
            BufferNotification notification = BufferNotification::TimedOut;
            while (!StopRequested()) {
                notification = buffer.WaitForNotification(kNotificationSlice);
                if (notification != BufferNotification::TimedOut)
                    break;
            }
            // The half the play position has just left is the one refilled.
            if (notification == BufferNotification::Half0)
                buffer.FillBuffer(1, m_block);
            else if (notification == BufferNotification::Half1)
                buffer.FillBuffer(0, m_block);
        }
        std::this_thread::sleep_for(1ms);
    }
    buffer.Stop();
    return kResultStopped;
}

void CAudioPlayer::NextBlock(Session& session)
{
    const std::size_t half = session.buffer.HalfSize();
    // Always exactly one half: a short frame is completed with silence rather than leaving
    // stale sound from an earlier pass in the rest of the half.
    m_block.assign(half, 0);

    // Sound on or off as it is when the frame leaves the chain: a frame taken while muted is
    // silent whatever happens during its decoding.
    const bool soundOn = m_soundOn;
    std::optional<FrameRecord> frame = AudioChain().PopFront();
    if (!frame) {
        std::this_thread::sleep_for(2ms);
        return;
    }
    m_lastTimestamp = frame->timestamp;
    // The whole frame is decoded even when only part of it fits, so the decoder's state
    // follows the stream.
    m_samples.resize(g726::MaxSamples(*session.decoder, session.codeSize, frame->data.size()) + 1);
    const std::size_t count = g726::Decode(*session.decoder, session.codeSize, frame->data, m_samples);
    if (!soundOn)
        return;
    const std::size_t bytes = std::min(count * sizeof(std::int16_t), half);
    std::memcpy(m_block.data(), m_samples.data(), bytes);
}

void CAudioPlayer::Shutdown()
{
    std::shared_ptr<Session> session;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        session = std::move(m_session);
    }
    if (!session)
        return;
    // Normally the worker has already ended. If it has not, it holds its own reference and
    // the session is freed when it returns.
    if (!IsFinished())
        RequestStop(0);
    session.reset();
}

bool CAudioPlayer::SetVolume(long value)
{
    const std::shared_ptr<Session> session = CurrentSession();
    return session && session->buffer.SetVolume(value);
}

bool CAudioPlayer::IsInitialised() const
{
    return CurrentSession() != nullptr;
}

int CAudioPlayer::CodeSize() const
{
    const std::shared_ptr<Session> session = CurrentSession();
    return session ? session->codeSize : 0;
}

std::size_t CAudioPlayer::HalfSize() const
{
    const std::shared_ptr<Session> session = CurrentSession();
    return session ? session->buffer.HalfSize() : 0;
}

std::uint64_t CAudioPlayer::PlayedBytes() const
{
    const std::shared_ptr<Session> session = CurrentSession();
    return session ? session->buffer.PlayedBytes() : 0;
}

CAudioPlayer& AudioPlayer()
{
    static CAudioPlayer player;
    return player;
}

} // namespace kv
