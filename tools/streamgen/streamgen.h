// Writers for the two camera stream containers: the MJPG chunk stream and the fixed-layout
// ASF stream. Used by tests, fuzz seeds, benchmarks and the camera emulator to produce
// byte-exact streams (and, through the raw builders, deliberately broken ones).
//
// All multi-byte integers are written little-endian.
//
// MJPG in short:
//   auto chunks = kv::streamgen::MjpgVideoChunks(jpeg, 640, 480, ts, "text", 1400);
//   for (auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
//   auto audio = kv::streamgen::MjpgAudioChunk(g726, 4, ts, "text");
//
// ASF in short:
//   kv::streamgen::AsfHeaderOptions h;  h.packetSize = 1024;  h.video = {320, 240, vol};
//   h.audio = kv::streamgen::AsfAudioFormat{4};
//   std::vector<uint8_t> out = kv::streamgen::AsfHeader(h);   // 30 + objects + 50 bytes
//   kv::streamgen::AsfPacketWriter w(h.packetSize);
//   w.AddVideoObject(frame, ts, /*keyFrame=*/true, {{1,2,3,4}, "text"});
//   w.AddAudioObject(g726, ts);
//   w.Flush(out);                                            // whole packets appended
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv::streamgen {

using Bytes = std::vector<std::uint8_t>;

// Little-endian append helpers (also handy for tests that build odd records by hand).
void PutU8(Bytes& out, std::uint8_t v);
void PutU16(Bytes& out, std::uint16_t v);
void PutU32(Bytes& out, std::uint32_t v);
void PutU64(Bytes& out, std::uint64_t v);
void PutBytes(Bytes& out, std::span<const std::uint8_t> bytes);
// Overwrite at a position (the vector must already hold pos + width bytes).
void PokeU16(Bytes& out, std::size_t pos, std::uint16_t v);
void PokeU32(Bytes& out, std::size_t pos, std::uint32_t v);

// A pseudo-random but reproducible payload of the given size (xorshift from seed).
Bytes PatternBytes(std::size_t size, std::uint32_t seed);

// ---------------------------------------------------------------------------------------
// MJPG chunk stream
// ---------------------------------------------------------------------------------------

inline constexpr std::size_t kMjpgHeaderSize = 48;

// Every field of one 48-byte chunk header. Defaults make a valid video header.
struct MjpgHeaderFields {
    std::array<char, 4> tag{'M', 'J', 'P', 'G'};
    std::uint32_t frameSize = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t frameOffset = 0;
    std::uint16_t chunkSize = 0;
    std::uint32_t timestamp = 0;
    std::uint8_t type = 1;        // 1 video, 2 audio
    std::uint16_t audioCode = 0;  // G.726 code size in audio chunks
    std::uint8_t version = 1;
    std::string text;             // at most 20 bytes are written, NUL-padded
};

// The 48 header bytes exactly as they travel.
std::array<std::uint8_t, kMjpgHeaderSize> MjpgHeader(const MjpgHeaderFields& fields);

// One chunk: the header followed by payload (fields.chunkSize is used as given, so a test can
// make it disagree with payload.size()).
Bytes MjpgChunk(const MjpgHeaderFields& fields, std::span<const std::uint8_t> payload);

// The chunks of one video frame, each a header plus at most maxChunkPayload bytes (capped at
// 65535). A zero-length frame gives one chunk with no payload. Returned separately so
// callers can put audio chunks between them.
std::vector<Bytes> MjpgVideoChunks(std::span<const std::uint8_t> jpeg, std::uint16_t width,
                                   std::uint16_t height, std::uint32_t timestamp,
                                   std::string_view text, std::size_t maxChunkPayload);

// One audio chunk (at most 65535 bytes of G.726 data).
Bytes MjpgAudioChunk(std::span<const std::uint8_t> g726, std::uint16_t audioCode,
                     std::uint32_t timestamp, std::string_view text);

// A small but real baseline JPEG (8x8 grey) for streams that must decode.
const Bytes& TinyJpeg();

// ---------------------------------------------------------------------------------------
// ASF stream
// ---------------------------------------------------------------------------------------

using Guid = std::array<std::uint8_t, 16>;  // as stored in the file

// Object GUIDs in their on-disk byte order.
extern const Guid kAsfHeaderObject;
extern const Guid kAsfFilePropertiesObject;
extern const Guid kAsfStreamPropertiesObject;
extern const Guid kAsfDataObject;
extern const Guid kAsfVideoMedia;
extern const Guid kAsfAudioMedia;
extern const Guid kAsfNoErrorCorrection;

inline constexpr std::size_t kAsfHeaderPrefixSize = 30;
inline constexpr std::size_t kAsfDataHeaderSize = 50;
inline constexpr std::size_t kAsfPacketPrefixSize = 14;
inline constexpr std::size_t kAsfPaddingPrefixSize = 24;

struct AsfVideoFormat {
    std::uint32_t width = 320;
    std::uint32_t height = 240;
    Bytes config;                 // decoder configuration bytes after the 40-byte header
};

struct AsfAudioFormat {
    std::uint16_t bitsPerSample = 4;  // the G.726 code size
};

struct AsfHeaderOptions {
    std::uint32_t packetSize = 1024;
    std::optional<AsfVideoFormat> video = AsfVideoFormat{};
    std::optional<AsfAudioFormat> audio;
    // Raw objects inserted before the stream properties (each must be a whole object, e.g.
    // from AsfObject); they exercise the skipping of unknown objects.
    std::vector<Bytes> extraObjects;
};

// A whole object: GUID, 64-bit size (24 + body), body.
Bytes AsfObject(const Guid& guid, std::span<const std::uint8_t> body);
// The 30-byte Header Object prefix with the given object size and object count.
Bytes AsfHeaderPrefix(std::uint64_t objectSize, std::uint32_t objectCount);
// The objects themselves.
Bytes AsfFilePropertiesObject(std::uint32_t packetSize);                  // 104 bytes
Bytes AsfVideoStreamObject(const AsfVideoFormat& format);                 // 129 + config bytes
Bytes AsfAudioStreamObject(const AsfAudioFormat& format);                 // 96 bytes
Bytes AsfDataObjectHeader(std::uint64_t packetCount);                     // 50 bytes

// Header prefix + File Properties + extra objects + video/audio Stream Properties + the
// 50-byte Data Object header: everything before the first packet.
Bytes AsfHeader(const AsfHeaderOptions& options);
// Only the part read after the prefix (prefix.objectSize - 30 bytes), for tests.
Bytes AsfHeaderObjects(const AsfHeaderOptions& options);

// One payload exactly as written by hand. The length field defaults to data.size().
struct AsfRawPayload {
    std::uint8_t streamByte = 0x01;       // 0x01 video, 0x81 video key frame, 0x02 audio
    std::uint8_t objectNumber = 0;
    std::uint32_t offset = 0;
    std::uint8_t replicatedLength = 8;    // 8: object size and presentation time follow
    std::uint32_t objectSize = 0;
    std::uint32_t presentationTime = 0;
    std::optional<std::uint16_t> lengthField{};
    Bytes data{};
};

// A packet built by hand: prefix, payloads, then `tail` (e.g. a padding prefix), then zeros
// up to packetSize. paddingLength defaults to the unused room; payloadCount to the number of
// payloads. The result may be longer than packetSize if the content does not fit.
struct AsfRawPacket {
    std::optional<std::uint16_t> paddingLength;
    std::optional<std::uint8_t> payloadCount;
    std::vector<AsfRawPayload> payloads;
    Bytes tail;
};
Bytes AsfPacket(std::size_t packetSize, const AsfRawPacket& packet);

// The 24 bytes the camera leaves in the padding after a completing payload.
struct AsfPaddingPrefix {
    std::array<std::uint8_t, 4> levels{};
    std::string text;  // at most 20 bytes, NUL-padded
};
Bytes AsfPaddingPrefixBytes(const AsfPaddingPrefix& prefix);

// Cuts media objects into payloads and packets of a fixed size.
//
// Objects are queued per stream and written in queue order within each stream; when both
// streams have data waiting, payloads alternate between them, so a long video object is
// split across packets with audio payloads in between. Each packet is padded to the packet
// size (padding length = unused room).
//
// With writePaddingPrefix, a packet is closed right after each payload that completes an
// object carrying a prefix, and the 24 prefix bytes start its padding; such a payload is cut
// short when needed so that the prefix still fits.
class AsfPacketWriter {
public:
    explicit AsfPacketWriter(std::uint32_t packetSize, bool writePaddingPrefix = false);

    void AddVideoObject(std::span<const std::uint8_t> data, std::uint32_t presentationTime,
                        bool keyFrame, std::optional<AsfPaddingPrefix> prefix = std::nullopt);
    void AddAudioObject(std::span<const std::uint8_t> data, std::uint32_t presentationTime,
                        std::optional<AsfPaddingPrefix> prefix = std::nullopt);

    // Writes every queued object as whole packets appended to out; returns the packet count.
    std::size_t Flush(Bytes& out);

    std::uint32_t PacketSize() const { return m_packetSize; }

private:
    struct Pending {
        Bytes data;
        std::size_t written = 0;
        std::uint32_t presentationTime = 0;
        std::uint8_t streamByte = 0x01;
        std::uint8_t objectNumber = 0;
        std::optional<AsfPaddingPrefix> prefix;
    };

    std::uint32_t m_packetSize;
    bool m_writePrefix;
    std::uint8_t m_videoNumber = 0;
    std::uint8_t m_audioNumber = 0;
    std::deque<Pending> m_video;
    std::deque<Pending> m_audio;
};

} // namespace kv::streamgen
