#include "streamgen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>

namespace kv::streamgen {

void PutU8(Bytes& out, std::uint8_t v) { out.push_back(v); }

void PutU16(Bytes& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutU64(Bytes& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutBytes(Bytes& out, std::span<const std::uint8_t> bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void PokeU16(Bytes& out, std::size_t pos, std::uint16_t v)
{
    out.at(pos) = static_cast<std::uint8_t>(v);
    out.at(pos + 1) = static_cast<std::uint8_t>(v >> 8);
}

void PokeU32(Bytes& out, std::size_t pos, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        out.at(pos + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes PatternBytes(std::size_t size, std::uint32_t seed)
{
    Bytes out(size);
    std::uint32_t x = seed ? seed : 0x9E3779B9u;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 11);
    }
    return out;
}

namespace {

void PutText(Bytes& out, std::string_view text, std::size_t width)
{
    const std::size_t n = std::min(text.size(), width);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), width - n, 0);
}

} // namespace

// ---------------------------------------------------------------------------------------
// MJPG
// ---------------------------------------------------------------------------------------

std::array<std::uint8_t, kMjpgHeaderSize> MjpgHeader(const MjpgHeaderFields& f)
{
    Bytes b;
    b.reserve(kMjpgHeaderSize);
    for (char c : f.tag)
        b.push_back(static_cast<std::uint8_t>(c));
    PutU32(b, f.frameSize);
    PutU16(b, f.width);
    PutU16(b, f.height);
    PutU32(b, f.frameOffset);
    PutU16(b, f.chunkSize);
    PutU32(b, f.timestamp);
    PutU8(b, f.type);
    PutU16(b, f.audioCode);  // offsets 23-24, unaligned
    PutU8(b, f.version);     // offset 25
    PutText(b, f.text, 20);  // offsets 26-45
    PutU16(b, 0);            // reserved
    std::array<std::uint8_t, kMjpgHeaderSize> header{};
    std::copy(b.begin(), b.end(), header.begin());
    return header;
}

Bytes MjpgChunk(const MjpgHeaderFields& fields, std::span<const std::uint8_t> payload)
{
    const auto header = MjpgHeader(fields);
    Bytes out(header.size() + payload.size());
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(payload.begin(), payload.end(), out.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return out;
}

std::vector<Bytes> MjpgVideoChunks(std::span<const std::uint8_t> jpeg, std::uint16_t width,
                                   std::uint16_t height, std::uint32_t timestamp,
                                   std::string_view text, std::size_t maxChunkPayload)
{
    const std::size_t step = std::clamp<std::size_t>(maxChunkPayload, 1, 65535);
    std::vector<Bytes> chunks;
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min(step, jpeg.size() - offset);
        MjpgHeaderFields f;
        f.frameSize = static_cast<std::uint32_t>(jpeg.size());
        f.width = width;
        f.height = height;
        f.frameOffset = static_cast<std::uint32_t>(offset);
        f.chunkSize = static_cast<std::uint16_t>(n);
        f.timestamp = timestamp;
        f.type = 1;
        f.text = std::string(text);
        chunks.push_back(MjpgChunk(f, jpeg.subspan(offset, n)));
        offset += n;
    } while (offset < jpeg.size());
    return chunks;
}

Bytes MjpgAudioChunk(std::span<const std::uint8_t> g726, std::uint16_t audioCode,
                     std::uint32_t timestamp, std::string_view text)
{
    if (g726.size() > 65535)
        throw std::invalid_argument("audio chunk larger than 65535 bytes");
    MjpgHeaderFields f;
    f.chunkSize = static_cast<std::uint16_t>(g726.size());
    f.timestamp = timestamp;
    f.type = 2;
    f.audioCode = audioCode;
    f.text = std::string(text);
    return MjpgChunk(f, g726);
}

const Bytes& TinyJpeg()
{
    static const Bytes jpeg = [] {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr jerr{};
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_compress(&cinfo);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = 8;
        cinfo.image_height = 8;
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        unsigned char row[8];
        for (int y = 0; y < 8; ++y) {
            std::memset(row, 0x40 + 8 * y, sizeof row);
            JSAMPROW rows[1] = {row};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        Bytes out(buffer, buffer + size);
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return out;
    }();
    return jpeg;
}

// ---------------------------------------------------------------------------------------
// ASF
// ---------------------------------------------------------------------------------------

namespace {

// GUID text form -> on-disk bytes (first three groups little-endian).
constexpr Guid MakeGuid(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                        std::uint64_t e)
{
    Guid g{};
    for (int i = 0; i < 4; ++i)
        g[i] = static_cast<std::uint8_t>(a >> (8 * i));
    g[4] = static_cast<std::uint8_t>(b);
    g[5] = static_cast<std::uint8_t>(b >> 8);
    g[6] = static_cast<std::uint8_t>(c);
    g[7] = static_cast<std::uint8_t>(c >> 8);
    g[8] = static_cast<std::uint8_t>(d >> 8);
    g[9] = static_cast<std::uint8_t>(d);
    for (int i = 0; i < 6; ++i)
        g[10 + i] = static_cast<std::uint8_t>(e >> (8 * (5 - i)));
    return g;
}

} // namespace

const Guid kAsfHeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Guid kAsfFilePropertiesObject = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
const Guid kAsfStreamPropertiesObject = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
const Guid kAsfDataObject = MakeGuid(0x75B22636, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Guid kAsfVideoMedia = MakeGuid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD, 0x00805F5C442B);
const Guid kAsfAudioMedia = MakeGuid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD, 0x00805F5C442B);
const Guid kAsfNoErrorCorrection = MakeGuid(0x20FB5700, 0x5B55, 0x11CF, 0xA8FD, 0x00805F5C442B);

Bytes AsfObject(const Guid& guid, std::span<const std::uint8_t> body)
{
    Bytes out(guid.begin(), guid.end());
    PutU64(out, 24 + body.size());
    PutBytes(out, body);
    return out;
}

Bytes AsfHeaderPrefix(std::uint64_t objectSize, std::uint32_t objectCount)
{
    Bytes out(kAsfHeaderObject.begin(), kAsfHeaderObject.end());
    PutU64(out, objectSize);
    PutU32(out, objectCount);
    PutU8(out, 0x01);
    PutU8(out, 0x02);
    return out;
}

Bytes AsfFilePropertiesObject(std::uint32_t packetSize)
{
    Bytes body;
    PutBytes(body, PatternBytes(16, 7));  // file ID            @24
    PutU64(body, 0);                      // file size          @40
    PutU64(body, 0);                      // creation date      @48
    PutU64(body, 0xFFFFFFFFu);            // data packets count @56
    PutU64(body, 0);                      // play duration      @64
    PutU64(body, 0);                      // send duration      @72
    PutU64(body, 3000);                   // preroll            @80
    PutU32(body, 0x01);                   // flags: broadcast   @88
    PutU32(body, packetSize);             // minimum packet     @92
    PutU32(body, packetSize);             // maximum packet     @96
    PutU32(body, 1000000);                // maximum bitrate    @100
    return AsfObject(kAsfFilePropertiesObject, body);
}

namespace {

// Stream Properties Object body up to and including the type-specific data.
Bytes StreamPropertiesBody(const Guid& type, std::uint16_t streamNumber, const Bytes& typeSpecific)
{
    Bytes body(type.begin(), type.end());                                        // @24
    body.insert(body.end(), kAsfNoErrorCorrection.begin(), kAsfNoErrorCorrection.end()); // @40
    PutU64(body, 0);                                                             // time offset @56
    PutU32(body, static_cast<std::uint32_t>(typeSpecific.size()));               // @64
    PutU32(body, 0);                                                             // @68
    PutU16(body, streamNumber);                                                  // flags @72
    PutU32(body, 0);                                                             // reserved @74
    PutBytes(body, typeSpecific);                                                // @78
    return body;
}

} // namespace

Bytes AsfVideoStreamObject(const AsfVideoFormat& format)
{
    const std::uint32_t formatSize = 40 + static_cast<std::uint32_t>(format.config.size());
    Bytes ts;
    PutU32(ts, format.width);                               // encoded width   @78
    PutU32(ts, format.height);                              // encoded height  @82
    PutU8(ts, 2);                                           // reserved        @86
    PutU16(ts, static_cast<std::uint16_t>(formatSize));     // format size     @87
    PutU32(ts, formatSize);                                 // header size     @89
    PutU32(ts, format.width);                               //                 @93
    PutU32(ts, format.height);                              //                 @97
    PutU16(ts, 1);                                          // planes          @101
    PutU16(ts, 12);                                         // bit count       @103
    PutBytes(ts, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("MP4S"), 4)); // @105
    PutU32(ts, format.width * format.height * 3 / 2);       // image size      @109
    PutU32(ts, 0);
    PutU32(ts, 0);
    PutU32(ts, 0);
    PutU32(ts, 0);                                          //                 @125
    PutBytes(ts, format.config);                            // configuration   @129
    return AsfObject(kAsfStreamPropertiesObject, StreamPropertiesBody(kAsfVideoMedia, 1, ts));
}

Bytes AsfAudioStreamObject(const AsfAudioFormat& format)
{
    Bytes ts;
    PutU16(ts, 0x0045);                 // format tag (G.726)  @78
    PutU16(ts, 1);                      // channels            @80
    PutU32(ts, 8000);                   // samples per second  @82
    PutU32(ts, 1000u * format.bitsPerSample); // bytes/second  @86
    PutU16(ts, 1);                      // block align         @90
    PutU16(ts, format.bitsPerSample);   // bits per sample     @92
    PutU16(ts, 0);                      // extra size          @94
    return AsfObject(kAsfStreamPropertiesObject, StreamPropertiesBody(kAsfAudioMedia, 2, ts));
}

Bytes AsfDataObjectHeader(std::uint64_t packetCount)
{
    Bytes out(kAsfDataObject.begin(), kAsfDataObject.end());
    PutU64(out, 0);  // unknown size for a live stream
    PutBytes(out, PatternBytes(16, 7));
    PutU64(out, packetCount);
    PutU8(out, 0x01);
    PutU8(out, 0x01);
    return out;
}

Bytes AsfHeaderObjects(const AsfHeaderOptions& options)
{
    Bytes out = AsfFilePropertiesObject(options.packetSize);
    for (const Bytes& extra : options.extraObjects)
        PutBytes(out, extra);
    if (options.video)
        PutBytes(out, AsfVideoStreamObject(*options.video));
    if (options.audio)
        PutBytes(out, AsfAudioStreamObject(*options.audio));
    return out;
}

Bytes AsfHeader(const AsfHeaderOptions& options)
{
    const Bytes objects = AsfHeaderObjects(options);
    const std::uint32_t count = 1 + static_cast<std::uint32_t>(options.extraObjects.size()) +
                                (options.video ? 1 : 0) + (options.audio ? 1 : 0);
    Bytes out = AsfHeaderPrefix(kAsfHeaderPrefixSize + objects.size(), count);
    PutBytes(out, objects);
    PutBytes(out, AsfDataObjectHeader(0));
    return out;
}

namespace {

void PutPacketPrefix(Bytes& out, std::uint16_t paddingLength, std::uint8_t payloadCount,
                     std::uint32_t sendTime)
{
    PutU8(out, 0x82);  // error correction flags: 2 bytes of data follow
    PutU8(out, 0);
    PutU8(out, 0);
    PutU8(out, 0x10);  // length type flags
    PutU8(out, 0x5D);  // property flags
    PutU16(out, paddingLength);
    PutU32(out, sendTime);
    PutU16(out, 0);    // duration
    PutU8(out, static_cast<std::uint8_t>(0x80 | (payloadCount & 0x3F)));
}

void PutPayload(Bytes& out, const AsfRawPayload& p)
{
    PutU8(out, p.streamByte);
    PutU8(out, p.objectNumber);
    PutU32(out, p.offset);
    PutU8(out, p.replicatedLength);
    if (p.replicatedLength == 8) {
        PutU32(out, p.objectSize);
        PutU32(out, p.presentationTime);
    }
    PutU16(out, p.lengthField ? *p.lengthField : static_cast<std::uint16_t>(p.data.size()));
    PutBytes(out, p.data);
}

} // namespace

Bytes AsfPacket(std::size_t packetSize, const AsfRawPacket& packet)
{
    Bytes body;
    for (const AsfRawPayload& p : packet.payloads)
        PutPayload(body, p);
    const std::size_t used = kAsfPacketPrefixSize + body.size();
    const std::uint16_t padding = packet.paddingLength
        ? *packet.paddingLength
        : static_cast<std::uint16_t>(packetSize > used ? packetSize - used : 0);
    const std::uint8_t count = packet.payloadCount ? *packet.payloadCount
                                                   : static_cast<std::uint8_t>(packet.payloads.size());
    Bytes out;
    out.reserve(std::max(packetSize, used + packet.tail.size()));
    PutPacketPrefix(out, padding, count, 0);
    PutBytes(out, body);
    PutBytes(out, packet.tail);
    if (out.size() < packetSize)
        out.resize(packetSize, 0);
    return out;
}

Bytes AsfPaddingPrefixBytes(const AsfPaddingPrefix& prefix)
{
    Bytes out(prefix.levels.begin(), prefix.levels.end());
    PutText(out, prefix.text, 20);
    return out;
}

AsfPacketWriter::AsfPacketWriter(std::uint32_t packetSize, bool writePaddingPrefix)
    : m_packetSize(packetSize), m_writePrefix(writePaddingPrefix)
{
    if (packetSize < kAsfPacketPrefixSize + 17 + 1)
        throw std::invalid_argument("ASF packet size too small for one payload");
}

void AsfPacketWriter::AddVideoObject(std::span<const std::uint8_t> data, std::uint32_t presentationTime,
                                     bool keyFrame, std::optional<AsfPaddingPrefix> prefix)
{
    Pending p;
    p.data.assign(data.begin(), data.end());
    p.presentationTime = presentationTime;
    p.streamByte = keyFrame ? 0x81 : 0x01;
    p.objectNumber = m_videoNumber++;
    p.prefix = std::move(prefix);
    m_video.push_back(std::move(p));
}

void AsfPacketWriter::AddAudioObject(std::span<const std::uint8_t> data, std::uint32_t presentationTime,
                                     std::optional<AsfPaddingPrefix> prefix)
{
    Pending p;
    p.data.assign(data.begin(), data.end());
    p.presentationTime = presentationTime;
    p.streamByte = 0x02;
    p.objectNumber = m_audioNumber++;
    p.prefix = std::move(prefix);
    m_audio.push_back(std::move(p));
}

std::size_t AsfPacketWriter::Flush(Bytes& out)
{
    std::size_t packets = 0;
    bool preferAudio = false;
    while (!m_video.empty() || !m_audio.empty()) {
        const std::size_t start = out.size();
        out.resize(start + kAsfPacketPrefixSize);  // filled in below
        std::size_t used = kAsfPacketPrefixSize;
        std::uint8_t count = 0;
        std::uint32_t sendTime = 0;
        Bytes prefixBytes;

        while (count < 63) {
            std::deque<Pending>* queue = nullptr;
            if (!m_video.empty() && !m_audio.empty())
                queue = preferAudio ? &m_audio : &m_video;
            else if (!m_video.empty())
                queue = &m_video;
            else if (!m_audio.empty())
                queue = &m_audio;
            else
                break;
            Pending& obj = queue->front();
            const std::size_t headerSize = obj.written == 0 ? 17 : 9;
            const std::size_t room = m_packetSize - used;
            const std::size_t remaining = obj.data.size() - obj.written;
            if (room < headerSize + (remaining ? 1 : 0))
                break;
            std::size_t take = std::min({remaining, room - headerSize, std::size_t{65535}});
            bool completes = take == remaining;
            const bool wantPrefix = m_writePrefix && obj.prefix.has_value();
            if (completes && wantPrefix && room - headerSize - take < kAsfPaddingPrefixSize) {
                // Leave the last bytes for the next packet, where the prefix will fit.
                const std::size_t shorter = std::min(room - headerSize, remaining ? remaining - 1 : 0);
                if (shorter > 0 || count > 0) {
                    if (shorter == 0)
                        break;
                    take = shorter;
                    completes = false;
                }
                // else: an empty packet cannot hold both; write the object without its prefix
            }

            AsfRawPayload p;
            p.streamByte = obj.streamByte;
            p.objectNumber = obj.objectNumber;
            p.offset = static_cast<std::uint32_t>(obj.written);
            p.replicatedLength = obj.written == 0 ? 8 : 0;
            p.objectSize = static_cast<std::uint32_t>(obj.data.size());
            p.presentationTime = obj.presentationTime;
            p.data.assign(obj.data.begin() + static_cast<std::ptrdiff_t>(obj.written),
                          obj.data.begin() + static_cast<std::ptrdiff_t>(obj.written + take));
            if (count == 0)
                sendTime = obj.presentationTime;
            PutPayload(out, p);
            used += headerSize + take;
            obj.written += take;
            ++count;
            if (!m_video.empty() && !m_audio.empty())
                preferAudio = queue == &m_video;

            if (completes) {
                const bool prefixFits = wantPrefix && m_packetSize - used >= kAsfPaddingPrefixSize;
                if (prefixFits)
                    prefixBytes = AsfPaddingPrefixBytes(*obj.prefix);
                queue->pop_front();
                if (prefixFits)
                    break;
            }
        }

        const std::uint16_t padding = static_cast<std::uint16_t>(m_packetSize - used);
        Bytes prefix;
        PutPacketPrefix(prefix, padding, count, sendTime);
        std::copy(prefix.begin(), prefix.end(), out.begin() + static_cast<std::ptrdiff_t>(start));
        PutBytes(out, prefixBytes);
        out.resize(start + m_packetSize, 0);
        ++packets;
    }
    return packets;
}

} // namespace kv::streamgen
