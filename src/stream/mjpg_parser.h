// The Motion-JPEG chunk stream parser: cuts the byte stream of "img/mjpeg.cgi" into complete
// JPEG frames and G.726 audio frames.
//
// The stream is a plain sequence of chunks, each a 48-byte header followed by chunkSize
// payload bytes. A JPEG frame may span several video chunks; audio chunks may stand between
// them. The parser is fed blocks of any size (headers and payloads may straddle blocks) and
// keeps all partial state between calls. It owns no thread and no chain: it reports what it
// found through IMjpgParserEvents, and the player applies the keeping rules
// (stream/keeping_rules.h), which also update the current text and write the log lines.
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

inline constexpr std::size_t kMjpgHeaderSize = 48;
// Largest video frame accepted. A picture of the largest size the decoders take is far
// smaller; a bigger frameSize is a broken or hostile header and would only reserve memory.
inline constexpr std::uint32_t kMjpgMaxFrameSize = 16u * 1024 * 1024;

// What the parser hands to the player. Called on the parsing thread, inside Feed(). An exception
// thrown by a handler passes through Feed() and leaves the parser mid-chunk: the connection
// must end there (Reset() before the parser is used again).
class IMjpgParserEvents {
public:
    virtual ~IMjpgParserEvents() = default;
    // First video chunk of the connection: open and start the picture display.
    virtual void OnStartDisplay(std::uint16_t width, std::uint16_t height) = 0;
    // First audio chunk of the connection (only when the profile has audio): set up and start
    // the audio worker with this G.726 code size. Return whether that succeeded; audio frames
    // are reported only after a success. Asked once per connection.
    virtual bool OnStartAudio(std::uint16_t codeSize) = 0;
    // A complete JPEG frame, with the timestamp and text of its first chunk's header.
    virtual void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t timestamp,
                              const std::string& text) = 0;
    // One complete audio chunk payload, with its own header's timestamp and text.
    virtual void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t timestamp,
                              const std::string& text) = 0;
};

class CMjpgParser {
public:
    // Both references must outlive the parser.
    CMjpgParser(const ModuleProfile& profile, IMjpgParserEvents& events);

    // Back to the state of a fresh connection: header state, nothing in progress, display
    // and audio not started, the first-block test armed. Frees any partial frame.
    void Reset();

    // Parses one block. Returns nothing while the stream is sound, or the failure (result code
    // and message) that must end the connection; the player throws it. After a failure every
    // further call returns the same failure until Reset().
    std::optional<CMJpegPlayerException> Feed(std::span<const std::uint8_t> block);

    bool DisplayStarted() const { return m_videoStarted; }
    bool AudioStarted() const { return m_audioStarted; }
    bool AudioAttempted() const { return m_audioAttempted; }
    std::uint16_t AudioCode() const { return m_audioCode; }
    bool FrameInProgress() const { return m_frameInProgress; }

private:
    enum class State { Header, Payload };

    std::optional<CMJpegPlayerException> Fail(int code, const char* message);
    std::optional<CMJpegPlayerException> CheckFirstBlock(std::span<const std::uint8_t> block);
    std::optional<CMJpegPlayerException> HeaderComplete();
    void PayloadComplete();

    const ModuleProfile& m_profile;
    IMjpgParserEvents& m_events;

    State m_state = State::Header;
    bool m_firstBlock = true;
    std::optional<CMJpegPlayerException> m_failure;

    std::array<std::uint8_t, kMjpgHeaderSize> m_header{};
    std::size_t m_headerFill = 0;

    // Current chunk, decoded from m_header.
    std::uint8_t m_chunkType = 0;
    std::uint32_t m_chunkSize = 0;
    std::uint32_t m_chunkFill = 0;
    std::uint32_t m_chunkTimestamp = 0;
    bool m_keepAudio = false;            // this audio chunk's payload is collected
    std::vector<std::uint8_t> m_payload; // audio payload being assembled

    // Video frame in progress; video payloads are copied straight into it.
    bool m_frameInProgress = false;
    std::array<std::uint8_t, kMjpgHeaderSize> m_firstHeader{};
    std::uint32_t m_frameSize = 0;
    std::vector<std::uint8_t> m_frame;

    bool m_videoStarted = false;
    bool m_audioStarted = false;
    bool m_audioAttempted = false;
    std::uint16_t m_audioCode = 0;
};

} // namespace kv
