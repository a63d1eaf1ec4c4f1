// The live picture of mode 1 as the setup sees it: the module's two stream players with
// their display workers. The setup only hands over addresses, starts a player, asks it to
// stop, reads whether it has finished and reads the motion levels; everything else runs on
// the players' and workers' own threads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kv::motion {

enum class StreamKind { MotionJpeg, Mpeg4 };

// Exactly "jpeg" selects Motion-JPEG; any other frame type MPEG-4.
inline StreamKind StreamKindForFrameType(const std::string& frameType)
{
    return frameType == "jpeg" ? StreamKind::MotionJpeg : StreamKind::Mpeg4;
}

class IMotionStreams {
public:
    virtual ~IMotionStreams() = default;

    // Addresses and credentials for both players; used from their next start.
    virtual void SetSource(const std::string& mjpegUrl, const std::string& mpeg4Url, const std::string& user,
                           const std::string& password) = 0;
    // True while the player's worker thread is not running.
    virtual bool IsFinished(StreamKind kind) const = 0;
    // Points the player's display worker at the setup's window with this zoom percent, routes
    // the exit codes of player and display worker to the window, and starts the player.
    virtual void Start(StreamKind kind, int zoomPercent) = 0;
    // Asks the player to stop and waits at most timeoutMs; true when it has finished.
    virtual bool RequestStop(StreamKind kind, int timeoutMs) = 0;
    // The camera's latest motion levels of windows 1 to 4; nothing for a stream kind that
    // carries none (Motion-JPEG).
    virtual std::optional<std::array<std::uint8_t, 4>> MotionLevels(StreamKind kind) const = 0;
};

} // namespace kv::motion
