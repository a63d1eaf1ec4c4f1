#include "stream/mjpg_parser.h"
#include "core/byte_order.h"

#include "stream/frame_text.h"
#include "stream/result_code.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace kv {
namespace {

constexpr std::size_t kHtmlTestLength = 255;
constexpr std::string_view kBusyTitle = "<HTML><HEAD><TITLE>503 Service Temporarily Overloaded";
constexpr std::string_view kUnauthorizedTitle = "<HTML><HEAD><TITLE>401 Unauthorized";
constexpr const char* kBusyMessage =
    "Unable to connect to Camera - too many users already connected or\ndevice is busy. Please try again later.";

// Header field offsets.
constexpr std::size_t kTagAt = 0;
constexpr std::size_t kFrameSizeAt = 4;
constexpr std::size_t kWidthAt = 8;
constexpr std::size_t kHeightAt = 10;
constexpr std::size_t kFrameOffsetAt = 12;
constexpr std::size_t kChunkSizeAt = 16;
constexpr std::size_t kTimestampAt = 18;
constexpr std::size_t kTypeAt = 22;
constexpr std::size_t kAudioCodeAt = 23;
constexpr std::size_t kVersionAt = 25;
constexpr std::size_t kTextAt = 26;

constexpr std::uint32_t kMjpgInitialReserve = 512u * 1024;

constexpr std::uint8_t kVideoChunk = 1;
constexpr std::uint8_t kAudioChunk = 2;


} // namespace

CMjpgParser::CMjpgParser(const ModuleProfile& profile, IMjpgParserEvents& events)
    : m_profile(profile), m_events(events)
{
}

void CMjpgParser::Reset()
{
    m_state = State::Header;
    m_firstBlock = true;
    m_failure.reset();
    m_headerFill = 0;
    m_chunkType = 0;
    m_chunkSize = 0;
    m_chunkFill = 0;
    m_chunkTimestamp = 0;
    m_keepAudio = false;
    m_payload = {};
    m_frameInProgress = false;
    m_frameSize = 0;
    m_frame = {};
    m_videoStarted = false;
    m_audioStarted = false;
    m_audioAttempted = false;
    m_audioCode = 0;
}

std::optional<CMJpegPlayerException> CMjpgParser::Fail(int code, const char* message)
{
    m_failure.emplace(code, message);
    m_frame = {};
    m_payload = {};
    m_frameInProgress = false;
    return m_failure;
}

std::optional<CMJpegPlayerException> CMjpgParser::CheckFirstBlock(std::span<const std::uint8_t> block)
{
    const std::string_view text(reinterpret_cast<const char*>(block.data()),
                                std::min(block.size(), kHtmlTestLength));
    if (text.find(kBusyTitle) != std::string_view::npos)
        return Fail(kResultCameraBusy, kBusyMessage);
    if (text.find(kUnauthorizedTitle) != std::string_view::npos)
        return Fail(kResultAuthRefused, "User name or password error.");
    return std::nullopt;
}

std::optional<CMJpegPlayerException> CMjpgParser::Feed(std::span<const std::uint8_t> block)
{
    if (m_failure)
        return m_failure;
    if (block.empty())
        return std::nullopt;
    if (m_firstBlock) {
        m_firstBlock = false;
        if (m_profile.htmlTestOnFirstBlock) {
            if (auto failure = CheckFirstBlock(block))
                return failure;
        }
    }

    const std::uint8_t* p = block.data();
    std::size_t left = block.size();
    while (left > 0) {
        if (m_state == State::Header) {
            const std::size_t n = std::min(kMjpgHeaderSize - m_headerFill, left);
            std::memcpy(m_header.data() + m_headerFill, p, n);
            m_headerFill += n;
            p += n;
            left -= n;
            if (m_headerFill < kMjpgHeaderSize)
                break;
            m_headerFill = 0;
            if (auto failure = HeaderComplete())
                return failure;
            continue;
        }

        // Payload state: video bytes go straight into the frame, audio into its own buffer,
        // audio that is not kept is passed over.
        const std::size_t n = std::min<std::size_t>(m_chunkSize - m_chunkFill, left);
        if (m_chunkType == kVideoChunk)
            m_frame.insert(m_frame.end(), p, p + n);
        else if (m_keepAudio)
            m_payload.insert(m_payload.end(), p, p + n);
        m_chunkFill += static_cast<std::uint32_t>(n);
        p += n;
        left -= n;
        if (m_chunkFill == m_chunkSize)
            PayloadComplete();
    }
    return std::nullopt;
}

std::optional<CMJpegPlayerException> CMjpgParser::HeaderComplete()
{
    const std::uint8_t* h = m_header.data();
    const std::uint8_t type = h[kTypeAt];
    if (type != kVideoChunk && type != kAudioChunk)
        return Fail(kResultMalformed, "Header type error.");
    if (std::memcmp(h + kTagAt, "MJPG", 4) != 0)
        return Fail(kResultMalformed, "Header tag error.");
    if (h[kVersionAt] != 1)
        return Fail(kResultMalformed, "Header version error.");

    m_chunkType = type;
    m_chunkSize = Le16(h + kChunkSizeAt);
    m_chunkFill = 0;
    m_chunkTimestamp = Le32(h + kTimestampAt);

    if (type == kVideoChunk) {
        const std::uint32_t frameOffset = Le32(h + kFrameOffsetAt);
        if (!m_frameInProgress) {
            if (frameOffset != 0)
                return Fail(kResultMalformed, "Header frame begin offset location error.");
            const std::uint32_t frameSize = Le32(h + kFrameSizeAt);
            if (frameSize > kMjpgMaxFrameSize)
                return Fail(kResultMalformed, "Header frame size error: frame too large.");
            m_firstHeader = m_header;
            m_frameSize = frameSize;
            m_frame = {};
            // Reserve what a real picture needs at once; a larger announced size is only
            // paid for as its bytes arrive.
            m_frame.reserve(std::min(frameSize, kMjpgInitialReserve));
            m_frameInProgress = true;
        }
        if (m_frame.size() != frameOffset)
            return Fail(kResultMalformed, "Header frame offset location error.");
        if (static_cast<std::uint64_t>(frameOffset) + m_chunkSize > m_frameSize)
            return Fail(kResultMalformed, "Header chunk size error: chunk runs past the end of its frame.");
        if (!m_videoStarted) {
            m_videoStarted = true;
            m_events.OnStartDisplay(Le16(h + kWidthAt), Le16(h + kHeightAt));
        }
    } else {
        m_keepAudio = false;
        if (m_profile.hasAudio) {
            if (!m_audioAttempted) {
                m_audioAttempted = true;
                m_audioCode = Le16(h + kAudioCodeAt);
                m_audioStarted = m_events.OnStartAudio(m_audioCode);
            }
            m_keepAudio = m_audioStarted;
        }
        if (m_keepAudio) {
            m_payload = {};
            m_payload.reserve(m_chunkSize);
        }
    }

    m_state = State::Payload;
    if (m_chunkSize == 0)
        PayloadComplete();
    return std::nullopt;
}

void CMjpgParser::PayloadComplete()
{
    m_state = State::Header;
    if (m_chunkType == kVideoChunk) {
        if (m_frame.size() != m_frameSize)
            return;
        m_frameInProgress = false;
        const std::uint32_t timestamp = Le32(m_firstHeader.data() + kTimestampAt);
        const std::string text = FrameTextFrom(m_firstHeader.data() + kTextAt, kFrameTextSize);
        std::vector<std::uint8_t> frame = std::move(m_frame);
        m_frame = {};
        m_events.OnVideoFrame(std::move(frame), timestamp, text);
    } else if (m_keepAudio) {
        const std::string text = FrameTextFrom(m_header.data() + kTextAt, kFrameTextSize);
        std::vector<std::uint8_t> data = std::move(m_payload);
        m_payload = {};
        m_events.OnAudioFrame(std::move(data), m_chunkTimestamp, text);
    }
}

} // namespace kv
