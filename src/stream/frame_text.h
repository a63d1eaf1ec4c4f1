// The short text the camera attaches to frames (at most 20 bytes, NUL-padded), and the
// player's "current text" that the window's timer shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace kv {

inline constexpr std::size_t kFrameTextSize = 20;

// At most 20 bytes of raw text, ending at the first NUL.
std::string FrameTextFrom(const std::uint8_t* bytes, std::size_t available);

// Written by the player thread, read by the window thread: every access copies under a lock.
class CurrentFrameText {
public:
    void Set(std::string text);
    std::string Get() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::string m_text;
};

} // namespace kv
