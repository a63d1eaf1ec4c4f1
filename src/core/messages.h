// Private messages that workers post to the control's window, and the target they post to.
// Workers never touch widgets: they post, and the window thread acts.
#pragma once

#include <cstdint>

namespace kv {

inline constexpr int WM_PLAYER_RESULT = 0x1B00;   // wParam: the worker's non-zero ResultCode
inline constexpr int WM_DISPLAY_OPENED = 0x1B01;  // a display worker opened (picture size known)
inline constexpr int WM_AUDIO_OPENED = 0x1B02;    // the audio worker opened its device

// Something that accepts posted messages from any thread (the Qt window implements it;
// tests record).
class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    virtual void PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam) = 0;
};

} // namespace kv
