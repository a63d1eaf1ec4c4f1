#include "stream/asf_parser.h"
#include "core/byte_order.h"

#include "stream/frame_text.h"
#include "stream/result_code.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace kv {
namespace {

using Guid = std::array<std::uint8_t, 16>;

// On-disk byte order: the first three groups are little-endian.
constexpr Guid kHeaderObject{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFilePropertiesObject{0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                     0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kStreamPropertiesObject{0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                       0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kVideoMedia{0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                           0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr Guid kAudioMedia{0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                           0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr std::string_view kBusyTitle = "<HTML><HEAD><TITLE>503 Service";
constexpr const char* kBusyMessage =
    "Unable to connect to Camera - too many users already connected or\ndevice is busy. Please try again later.";
constexpr const char* kHeaderReadError = "data reading error.";

// Header object layout.
constexpr std::size_t kObjectHeadSize = 24;           // GUID + 64-bit size
constexpr std::size_t kMinPacketSizeAt = 92;          // File Properties
constexpr std::size_t kStreamTypeAt = 24;             // Stream Properties
constexpr std::size_t kBitmapHeaderAt = 89;           // video: size, width, height
constexpr std::size_t kBitmapHeaderSize = 40;
constexpr std::size_t kVideoConfigAt = kBitmapHeaderAt + kBitmapHeaderSize;  // 129
constexpr std::size_t kWaveFormatAt = 78;             // audio: 18-byte record
constexpr std::size_t kWaveFormatSize = 18;
constexpr std::size_t kBitsPerSampleAt = 92;

// Packet layout.
constexpr std::size_t kPaddingLengthAt = 5;
constexpr std::size_t kPayloadFlagsAt = 13;
constexpr std::size_t kPayloadFixedSize = 7;          // stream, object number, offset, replicated length
constexpr std::uint32_t kInitialReserve = 512u * 1024;
constexpr std::uint8_t kStreamVideo = 0x01;
constexpr std::uint8_t kStreamVideoKey = 0x81;
constexpr std::uint8_t kStreamAudio = 0x02;

bool GuidIs(const std::uint8_t* p, const Guid& guid) { return std::memcmp(p, guid.data(), guid.size()) == 0; }

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

} // namespace

CAsfParser::CAsfParser(const ModuleProfile& profile, IAsfParserEvents& events)
    : m_profile(profile), m_events(events)
{
}

void CAsfParser::Reset()
{
    m_stage = Stage::HeaderPrefix;
    m_failure.reset();
    m_headerObjectsSize = 0;
    m_headerObjectCount = 0;
    m_packetSize = 0;
    m_audioEnabled = false;
    m_video = MediaObject{};
    m_audio = MediaObject{};
}

std::size_t CAsfParser::NextReadSize() const
{
    switch (m_stage) {
    case Stage::HeaderPrefix: return kAsfHeaderPrefixSize;
    case Stage::HeaderObjects: return m_headerObjectsSize;
    case Stage::DataHeader: return kAsfDataObjectHeaderSize;
    case Stage::Packets: return m_packetSize;
    case Stage::Failed: break;
    }
    return 0;
}

std::optional<CPlayerException> CAsfParser::Fail(int code, std::string message)
{
    m_stage = Stage::Failed;
    m_failure.emplace(code, std::move(message));
    m_video = MediaObject{};
    m_audio = MediaObject{};
    return m_failure;
}

std::optional<CPlayerException> CAsfParser::Feed(std::span<const std::uint8_t> bytes)
{
    if (m_failure)
        return m_failure;
    if (bytes.size() != NextReadSize())
        return Fail(kResultReadFailed, m_stage == Stage::Packets ? m_profile.asfPacketReadError : kHeaderReadError);
    switch (m_stage) {
    case Stage::HeaderPrefix:
        return ParsePrefix(bytes);
    case Stage::HeaderObjects:
        return ParseHeaderObjects(bytes);
    case Stage::DataHeader:
        m_stage = Stage::Packets;  // read and ignored
        return std::nullopt;
    case Stage::Packets:
        return ParsePacket(bytes);
    case Stage::Failed:
        break;
    }
    return m_failure;
}

std::optional<CPlayerException> CAsfParser::FeedAvailable(std::span<const std::uint8_t> stream,
                                                          std::size_t& consumed)
{
    consumed = 0;
    while (!m_failure) {
        const std::size_t n = NextReadSize();
        if (n == 0 || stream.size() - consumed < n)
            break;
        if (auto failure = Feed(stream.subspan(consumed, n)))
            return failure;
        consumed += n;
    }
    return m_failure;
}

std::optional<CPlayerException> CAsfParser::ParsePrefix(std::span<const std::uint8_t> bytes)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.find(kBusyTitle) != std::string_view::npos)
        return Fail(kResultCameraBusy, kBusyMessage);
    if (!GuidIs(bytes.data(), kHeaderObject))
        return Fail(kResultAuthRefused, "User name or password error");

    const std::uint64_t objectSize = Le64(bytes.data() + 16);
    // The objects must at least hold one object head, and fit the 1024-byte header buffer.
    if (objectSize < kAsfHeaderPrefixSize + kObjectHeadSize ||
        objectSize - kAsfHeaderPrefixSize > kAsfMaxHeaderObjectsSize)
        return Fail(kResultMalformed,
                    Format("ASF header size error: %llu bytes of header objects, at most %zu are accepted.",
                           static_cast<unsigned long long>(objectSize < kAsfHeaderPrefixSize ? 0 : objectSize - kAsfHeaderPrefixSize),
                           kAsfMaxHeaderObjectsSize));
    m_headerObjectsSize = static_cast<std::size_t>(objectSize - kAsfHeaderPrefixSize);
    m_headerObjectCount = Le32(bytes.data() + 24);
    m_stage = Stage::HeaderObjects;
    return std::nullopt;
}

std::optional<CPlayerException> CAsfParser::ParseHeaderObjects(std::span<const std::uint8_t> bytes)
{
    // Walk and check everything first; start the consumers only for a sound header.
    std::uint32_t packetSize = 0;
    bool haveVideo = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::span<const std::uint8_t> config;
    bool haveAudio = false;
    std::uint16_t bitsPerSample = 0;

    std::size_t pos = 0;
    for (std::uint32_t i = 0; i < m_headerObjectCount; ++i) {
        if (bytes.size() - pos < kObjectHeadSize)
            return Fail(kResultMalformed, Format("ASF header object %u runs past the end of the header.", i + 1));
        const std::uint8_t* object = bytes.data() + pos;
        const std::uint32_t size = static_cast<std::uint32_t>(Le64(object + 16));  // the walk uses the low 32 bits
        if (size < kObjectHeadSize || size > bytes.size() - pos)
            return Fail(kResultMalformed,
                        Format("ASF header object %u has size %u, which does not fit the header.", i + 1, size));

        if (GuidIs(object, kFilePropertiesObject)) {
            if (size < kMinPacketSizeAt + 4)
                return Fail(kResultMalformed, "ASF file properties object too short.");
            packetSize = Le32(object + kMinPacketSizeAt);
        } else if (GuidIs(object, kStreamPropertiesObject)) {
            if (size < kStreamTypeAt + 16)
                return Fail(kResultMalformed, "ASF stream properties object too short.");
            if (GuidIs(object + kStreamTypeAt, kVideoMedia) && !haveVideo) {
                if (size < kVideoConfigAt)
                    return Fail(kResultMalformed, "ASF video stream properties object too short.");
                const std::uint32_t formatSize = Le32(object + kBitmapHeaderAt);
                if (formatSize < kBitmapHeaderSize)
                    return Fail(kResultMalformed, Format("ASF video format size %u is below 40.", formatSize));
                if (formatSize - kBitmapHeaderSize > size - kVideoConfigAt)
                    return Fail(kResultMalformed,
                                Format("ASF video format size %u runs past its stream properties object.", formatSize));
                haveVideo = true;
                width = static_cast<std::int32_t>(Le32(object + kBitmapHeaderAt + 4));
                height = static_cast<std::int32_t>(Le32(object + kBitmapHeaderAt + 8));
                config = bytes.subspan(pos + kVideoConfigAt, formatSize - kBitmapHeaderSize);
            } else if (GuidIs(object + kStreamTypeAt, kAudioMedia) && m_profile.hasAudio && !haveAudio) {
                if (size < kWaveFormatAt + kWaveFormatSize)
                    return Fail(kResultMalformed, "ASF audio stream properties object too short.");
                haveAudio = true;
                bitsPerSample = Le16(object + kBitsPerSampleAt);
            }
        }
        pos += size;
    }

    if (packetSize < kAsfPacketPrefixSize || packetSize > kAsfMaxPacketSize)
        return Fail(kResultMalformed,
                    Format("ASF packet size %u is not accepted (%zu to %zu bytes).", packetSize,
                           kAsfPacketPrefixSize, kAsfMaxPacketSize));
    m_packetSize = packetSize;
    m_stage = Stage::DataHeader;

    if (haveVideo)
        m_events.OnStartVideo(width, height, config);
    m_audioEnabled = haveAudio && m_events.OnStartAudio(bitsPerSample);
    return std::nullopt;
}

std::optional<CPlayerException> CAsfParser::ParsePacket(std::span<const std::uint8_t> packet)
{
    const std::uint8_t* p = packet.data();
    const std::size_t size = packet.size();
    const std::uint16_t paddingLength = Le16(p + kPaddingLengthAt);
    const unsigned payloadCount = p[kPayloadFlagsAt] & 0x3F;
    const auto pastEnd = [&](unsigned index) {
        return Fail(kResultMalformed, Format("ASF payload %u runs past the end of its packet.", index + 1));
    };

    std::size_t pos = kAsfPacketPrefixSize;
    for (unsigned i = 0; i < payloadCount; ++i) {
        if (pos >= size)
            return pastEnd(i);
        const std::uint8_t streamByte = p[pos];
        if (streamByte != kStreamVideo && streamByte != kStreamVideoKey && streamByte != kStreamAudio)
            return Fail(kResultBadStreamNumber, Format("Bad StreamNo: %d", static_cast<int>(streamByte)));
        if (size - pos < kPayloadFixedSize)
            return pastEnd(i);
        const std::uint32_t offset = Le32(p + pos + 2);
        const std::uint8_t replicatedLength = p[pos + 6];
        pos += kPayloadFixedSize;
        if (replicatedLength != 0 && replicatedLength != 8)
            return Fail(kResultMalformed,
                        Format("ASF replicated data length %d is not accepted (0 or 8).", static_cast<int>(replicatedLength)));
        std::uint32_t objectSize = 0;
        std::uint32_t presentationTime = 0;
        if (replicatedLength == 8) {
            if (size - pos < 8)
                return pastEnd(i);
            objectSize = Le32(p + pos);
            presentationTime = Le32(p + pos + 4);
            pos += 8;
        }
        if (size - pos < 2)
            return pastEnd(i);
        const std::uint16_t length = Le16(p + pos);
        pos += 2;
        if (size - pos < length)
            return pastEnd(i);
        const std::uint8_t* data = p + pos;
        pos += length;

        const bool audio = streamByte == kStreamAudio;
        if (audio && (!m_audioEnabled || !m_events.AudioWanted())) {
            m_audio = MediaObject{};
            continue;
        }
        MediaObject& object = audio ? m_audio : m_video;
        if (replicatedLength == 8) {
            if (objectSize > kAsfMaxMediaObjectSize)
                return Fail(kResultMalformed,
                            Format("ASF media object size %u is larger than %u bytes.", objectSize, kAsfMaxMediaObjectSize));
            object.active = true;
            object.totalSize = objectSize;
            object.received = 0;
            object.presentationTime = presentationTime;
            object.buffer = {};
            // A larger announced size is only paid for as its bytes arrive.
            object.buffer.reserve(std::min(objectSize, kInitialReserve));
        } else if (!object.active) {
            continue;  // the start of this object was never seen
        }

        if (static_cast<std::uint64_t>(object.received) + length > object.totalSize)
            return Fail(kResultMalformed, audio ? "nAudioFrameSize > nAudioTotalFrameSize"
                                                : "nVideoFrameSize > nVideoTotalFrameSize");
        if (static_cast<std::uint64_t>(offset) + length > object.totalSize)
            return Fail(kResultMalformed,
                        Format("ASF payload at offset %u with %u bytes lies outside its %s object of %u bytes.",
                               offset, static_cast<unsigned>(length), audio ? "audio" : "video", object.totalSize));
        // Payloads normally arrive in offset order and are appended; anything else is written
        // in place, leaving gaps zero-filled.
        std::vector<std::uint8_t>& buffer = object.buffer;
        if (offset == buffer.size()) {
            buffer.insert(buffer.end(), data, data + length);
        } else {
            if (buffer.size() < static_cast<std::size_t>(offset) + length)
                buffer.resize(static_cast<std::size_t>(offset) + length);
            if (length)
                std::memcpy(buffer.data() + offset, data, length);
        }
        object.received += length;
        if (object.received != object.totalSize)
            continue;

        // Complete. The padding prefix counts only when its bytes lie inside the packet.
        buffer.resize(object.totalSize);
        if (m_profile.asfPaddingMotionLevels) {
            if (paddingLength >= kAsfMotionLevelCount && size - pos >= kAsfMotionLevelCount) {
                std::array<std::uint8_t, kAsfMotionLevelCount> levels{};
                std::memcpy(levels.data(), p + pos, levels.size());
                m_events.OnMotionLevels(levels);
            }
        } else if (paddingLength >= kAsfPaddingPrefixSize && size - pos >= kAsfPaddingPrefixSize) {
            m_events.OnFrameText(FrameTextFrom(p + pos + kAsfMotionLevelCount, kFrameTextSize));
        }
        std::vector<std::uint8_t> done = std::move(buffer);
        const std::uint32_t timestamp = object.presentationTime;
        object = MediaObject{};
        if (audio)
            m_events.OnAudioObject(std::move(done), timestamp);
        else
            m_events.OnVideoObject(std::move(done), timestamp, streamByte == kStreamVideoKey);
    }
    return std::nullopt;
}

} // namespace kv
