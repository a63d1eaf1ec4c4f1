// The ASF stream parser of "img/video.asf": MPEG-4 video and G.726 audio in a small, fixed
// subset of ASF.
//
// The parser is driven by the reads the player makes, one Feed() per read:
//   1. the 30-byte Header Object prefix,
//   2. the rest of the header (object size - 30 bytes, at most 1024),
//   3. the 50-byte Data Object header,
//   4. then whole data packets of PacketSize() bytes, one per Feed(), until the end.
// NextReadSize() tells how many bytes the next Feed() must carry; InPacketMode() turns true
// once the reader should switch to packets.
//
// The header is checked completely before anything is started: OnStartVideo / OnStartAudio
// are called at the end of step 2 only when the whole header is sound. Completed media
// objects leave through OnVideoObject / OnAudioObject; the player applies the keeping rules
// (stream/keeping_rules.h). The padding prefix that follows a completing payload is reported
// before that object: its text (viewer) or its four motion levels (motion setup).
//
// Every length read from the stream is checked against the buffer it indexes; anything the
// fixed layout does not provide for ends the connection with 430 and a message saying what
// was wrong.
#pragma once

#include "core/module_profile.h"
#include "stream/errors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv {

inline constexpr std::size_t kAsfHeaderPrefixSize = 30;
inline constexpr std::size_t kAsfMaxHeaderObjectsSize = 1024;  // bytes after the prefix
inline constexpr std::size_t kAsfDataObjectHeaderSize = 50;
inline constexpr std::size_t kAsfPacketPrefixSize = 14;        // up to the first payload
inline constexpr std::size_t kAsfMaxPacketSize = 4100;         // the reader's staging buffer
inline constexpr std::size_t kAsfPaddingPrefixSize = 24;       // 4 motion levels + FrameText
inline constexpr std::size_t kAsfMotionLevelCount = 4;
// Largest media object accepted; a bigger announced size would only reserve memory.
inline constexpr std::uint32_t kAsfMaxMediaObjectSize = 16u * 1024 * 1024;

// What the parser hands to the player. Called on the parsing thread, inside Feed(). An exception
// thrown by a handler passes through Feed() and leaves the parser mid-chunk: the connection
// must end there (Reset() before the parser is used again).
class IAsfParserEvents {
public:
    virtual ~IAsfParserEvents() = default;
    // The video stream's picture size and decoder configuration bytes (at most once).
    virtual void OnStartVideo(std::int32_t width, std::int32_t height,
                              std::span<const std::uint8_t> config) = 0;
    // The audio stream's code size (at most once, viewer only). Return whether audio could be
    // started; audio payloads are skipped unless it was.
    virtual bool OnStartAudio(std::uint16_t bitsPerSample) = 0;
    // A complete video object; keyFrame is the key-frame bit of its completing payload.
    virtual void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime,
                               bool keyFrame) = 0;
    // A complete audio object (viewer only, audio enabled).
    virtual void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime) = 0;
    // Asked for every audio payload of a started audio stream: false skips it like the
    // payloads of a stream without audio (a listener switched the sound off).
    virtual bool AudioWanted() const { return true; }
    // Padding prefix of a completing payload: the viewer's text...
    virtual void OnFrameText(const std::string& /*text*/) {}
    // ...or the motion setup's four window levels.
    virtual void OnMotionLevels(const std::array<std::uint8_t, kAsfMotionLevelCount>& /*levels*/) {}
};

class CAsfParser {
public:
    enum class Stage { HeaderPrefix, HeaderObjects, DataHeader, Packets, Failed };

    // Both references must outlive the parser.
    CAsfParser(const ModuleProfile& profile, IAsfParserEvents& events);

    // Back to the start of a connection: expects the 30-byte prefix again, audio disabled,
    // nothing in progress.
    void Reset();

    // Feeds one read of exactly NextReadSize() bytes. Returns nothing while the stream is
    // sound, or the failure (result code and message) that ends the connection; the player
    // throws it. A read of the wrong length is reported as the read failure (400). After a
    // failure every call returns the same failure until Reset().
    std::optional<CPlayerException> Feed(std::span<const std::uint8_t> bytes);

    // Push-style convenience over Feed(): feeds every whole read that `stream` holds, from its
    // start, and sets `consumed` to the bytes used (the rest is an incomplete read).
    std::optional<CPlayerException> FeedAvailable(std::span<const std::uint8_t> stream,
                                                  std::size_t& consumed);

    std::size_t NextReadSize() const;
    Stage CurrentStage() const { return m_stage; }
    bool InPacketMode() const { return m_stage == Stage::Packets; }
    std::uint32_t PacketSize() const { return m_packetSize; }
    bool AudioEnabled() const { return m_audioEnabled; }

private:
    struct MediaObject {
        bool active = false;
        std::uint32_t totalSize = 0;
        std::uint32_t received = 0;
        std::uint32_t presentationTime = 0;
        std::vector<std::uint8_t> buffer;
    };

    std::optional<CPlayerException> Fail(int code, std::string message);
    std::optional<CPlayerException> ParsePrefix(std::span<const std::uint8_t> bytes);
    std::optional<CPlayerException> ParseHeaderObjects(std::span<const std::uint8_t> bytes);
    std::optional<CPlayerException> ParsePacket(std::span<const std::uint8_t> packet);

    const ModuleProfile& m_profile;
    IAsfParserEvents& m_events;

    Stage m_stage = Stage::HeaderPrefix;
    std::optional<CPlayerException> m_failure;
    std::size_t m_headerObjectsSize = 0;
    std::uint32_t m_headerObjectCount = 0;
    std::uint32_t m_packetSize = 0;
    bool m_audioEnabled = false;
    MediaObject m_video;
    MediaObject m_audio;
};

} // namespace kv
