// The camera's command requests, composed from the panel's URLs. Every command is one GET;
// the texts after the URL are the camera's own syntax and must stay byte for byte.
// Composition uses growable strings: a long camera address never overruns anything.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv::viewer {

// Control ids of the pan/tilt pad's buttons.
enum PadButtonId : int {
    IDC_PT_UP = 216,
    IDC_PT_UP_RIGHT = 217,
    IDC_PT_RIGHT = 218,
    IDC_PT_DOWN_RIGHT = 219,
    IDC_PT_DOWN = 220,
    IDC_PT_DOWN_LEFT = 221,
    IDC_PT_LEFT = 222,
    IDC_PT_UP_LEFT = 223,
    IDC_PT_HOME = 224,
};

inline constexpr bool IsPadButton(int id) { return id >= IDC_PT_UP && id <= IDC_PT_HOME; }

// "up", "up-right", ... for the eight direction buttons; empty for anything else.
std::string_view MoveDirectionOf(int padButtonId);

std::string MoveUrl(std::string_view ptzfUrl, std::string_view direction);  // "%s?Move=<dir>,10"
std::string StopUrl(std::string_view ptzfUrl);                              // "%s?Move=stop,motor"
std::string HomeUrl(std::string_view presetUrl);                            // "%s?PresetCall=0,10"
std::string PresetCallUrl(std::string_view presetUrl, std::string_view number);  // "%s?PresetCall=%s,10"
std::string AreaZoomUrl(std::string_view ptzfUrl, int dx, int dy);          // "%s?AreaZoom=%d,%d,0,0"
std::string InquiryUrl(std::string_view ptzfUrl);                           // "%s?Inquiry"

// What pressing a pad button sends: a move for the eight directions (on the ptzf URL),
// the home preset for 224 (on the preset URL); nothing for other ids.
std::optional<std::string> PadPressUrl(int padButtonId, std::string_view ptzfUrl, std::string_view presetUrl);
// What releasing it sends: the stop for the eight directions; nothing for home or others.
std::optional<std::string> PadReleaseUrl(int padButtonId, std::string_view ptzfUrl);

// The preset call for the preset list's selected index; nothing when no item is selected
// (index -1) or the index has no number.
std::optional<std::string> PresetSelectionUrl(std::string_view presetUrl, std::span<const std::string> presetNumbers,
                                              int selectedIndex);

} // namespace kv::viewer
