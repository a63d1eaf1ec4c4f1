// The frame rates offered for Motion-JPEG, from util.cgi's answer "kind;audio;max-rate"
// and one closing character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::viewer {

// The maximum rate: the answer without its last character, the text after its last ";",
// read as a decimal number (0 when there is none, as for an empty answer).
int MaxFrameRateOf(std::string_view utilAnswer);

// The items of the frame-rate list for a maximum rate: "30 fps" down to "1 fps", every
// rate of the camera's fixed set that is not above the maximum. A maximum outside the set
// gives an empty list.
std::vector<std::string> FrameRateItems(int maxRate);

} // namespace kv::viewer
