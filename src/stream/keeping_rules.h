// What the players do with each completed frame: keep it in its chain or drop it.
//
// The chains never block a player; when a consumer falls behind, surplus frames are dropped
// here instead. Each operation takes the frame by value and either moves it into the chain
// or frees it, and returns whether it was kept.
//
// The Motion-JPEG rules also do the bookkeeping that belongs to a kept frame, in this order:
// the frame's text becomes the player's current text, the "motion-jpeg Add Video Frame" /
// "motion-jpeg Add audio Frame" line goes to the log (through DebugMessage, so only in a
// module that keeps a log), and the frame is appended. A dropped frame changes neither the
// text nor the log. The ASF rules only keep or drop: the ASF text comes from the padding
// prefix, which the player takes whether or not the frame is kept.
#pragma once

#include "stream/frame_chain.h"
#include "stream/frame_text.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

inline constexpr std::size_t kMjpgVideoChainLimit = 10;  // kept while fewer are waiting
inline constexpr std::size_t kMjpgAudioChainLimit = 5;
inline constexpr std::size_t kAsfAudioChainLimit = 2;    // more than this: drop the oldest
inline constexpr int kAsfVideoKeepFactorAtLoad = 18;

// Motion-JPEG video: appended when the chain holds fewer than 10 frames.
bool KeepMjpgVideoFrame(CFrameChain& chain, CurrentFrameText& currentText,
                        std::vector<std::uint8_t>&& frame, std::uint32_t timestamp,
                        const std::string& text);

// Motion-JPEG audio: appended when audio started and the chain holds fewer than 5 frames.
bool KeepMjpgAudioFrame(CFrameChain& chain, CurrentFrameText& currentText, bool audioStarted,
                        std::vector<std::uint8_t>&& data, std::uint32_t timestamp,
                        const std::string& text);

// The module-wide N of the ASF video rule: 18 at load; the MPEG-4 display worker sets 36 or
// 12 once it knows the picture width. Read and written from different threads.
int AsfVideoKeepFactor();
void SetAsfVideoKeepFactor(int n);

// ASF video. More than 2N frames waiting: the frame is dropped and skip mode begins. In skip
// mode every frame is dropped until a key frame arrives while at most 2N are waiting; that
// one is appended and skip mode ends, however far the chain emptied meanwhile. One object
// per player; Reset() on every connect.
class CAsfVideoKeeping {
public:
    bool Keep(CFrameChain& chain, std::vector<std::uint8_t>&& frame, std::uint32_t timestamp,
              bool keyFrame);
    bool Skipping() const { return m_skipping; }
    void Reset() { m_skipping = false; }

private:
    bool m_skipping = false;
};

// ASF audio: with more than 2 frames waiting the oldest is dropped; if still more than 2 are
// waiting the new frame is dropped instead. The chain never holds more than 3.
bool KeepAsfAudioFrame(CFrameChain& chain, std::vector<std::uint8_t>&& data, std::uint32_t timestamp);

} // namespace kv
