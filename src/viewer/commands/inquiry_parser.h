// The camera's answer to "?Inquiry": whether control is timed, how long it lasts, how long
// to wait for it, and the preset descriptions. Lines "Key: value" end in CR LF and come in
// a fixed order; values are read by position (at the first colon of what is left), so a
// camera that reorders its lines gets its values read into the wrong fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::viewer {

// The panel's exclusive-control members that the answer fills.
struct ExclusiveControlState {
    std::string m_sExclusiveMode;                  // "On": control is handed out for a limited time
    int m_nRemainTime = 0;                         // seconds of control left
    int m_nWaitingTime = 0;                        // seconds until control
    std::vector<std::string> m_presetDescriptions; // in number order
    std::vector<std::string> m_presetNumbers;      // "1" .. "8", matching the descriptions

    void Reset()
    {
        m_nRemainTime = m_nWaitingTime = 0;
        m_presetDescriptions.clear();
        m_presetNumbers.clear();
    }
};

inline constexpr std::string_view kExclusiveModeKey = "Exclusive Mode:";
inline constexpr std::string_view kRemainTimeKey = "Remain Time:";
inline constexpr std::string_view kWaitingTimeKey = "Waiting Time:";
inline constexpr std::string_view kPresetDescriptionKey = "Preset Description";  // + n + ":"
inline constexpr int kPresetCount = 8;

// Reads the answer into state: the mode and both times are set, the presets found are
// appended. False (and state untouched) when the answer has no "Exclusive Mode:".
bool ParseInquiry(std::string_view body, ExclusiveControlState& state);

} // namespace kv::viewer
