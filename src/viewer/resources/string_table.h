// The viewer module's string table and the texts its dialog templates carry. Texts are
// looked up by number; the panel and the dialogs load them when the host asks for a
// language from 1 to 3 and keep the template texts otherwise.
#pragma once

#include <span>

namespace kv::viewer {

enum StringId : int {
    IDS_KAVARO_TYPE_NAME = 1,
    IDS_KAVARO_PPG_TYPE_NAME = 2,
    IDS_PPG_CAPTION = 1001,
    IDS_NO_CONTROL_RIGHT = 1003,
    IDS_MAX_USER = 1004,
    IDS_PROTECTED = 1006,
    IDS_CAN_NOT_CONNECT_DOT = 1007,
    IDS_FRAME_RATE = 1008,
    IDS_VIEW_SIZE = 1009,
    IDS_DIGITAL_ZOOM = 1010,
    IDS_CAPTURE = 1011,
    IDS_CONTROL = 1012,
    IDS_PRESET_POSITION = 1013,
    IDS_PAN_TILT_BUTTON = 1014,
    IDS_PAN_TILT_CAPTION = 1015,
    IDS_PASSWORD_CAPTION = 1016,
    IDS_PASSWORD_PROMPT = 1017,
    IDS_USER_NAME = 1018,
    IDS_PASSWORD = 1019,
    IDS_OK = 1020,
    IDS_CANCEL = 1021,
    IDS_SAVE = 1022,
    IDS_CAPTURE_CAPTION = 1023,
    IDS_REALM = 1024,
    IDS_CAN_NOT_CONNECT = 1025,
};

struct StringEntry {
    int id;
    const char* text;
};

// The text of a string id, or nullptr when the table has no such id.
const char* LoadString(int id);
std::span<const StringEntry> StringTable();

// Texts that are not in the table but formatted by the code.
inline constexpr const char kWaitCountdownFormat[] = "Please wait for %d sec";
inline constexpr const char kRemainCountdownFormat[] = "%d";

inline bool LanguageUsesStringTable(int language) { return language >= 1 && language <= 3; }

// The text a control shows for a language: the string table's text for languages 1..3
// (when the id exists), the template's text otherwise.
const char* TextForLanguage(int language, int stringId, const char* templateText);

// Dialog templates: control id, text as the template has it.
struct TemplateText {
    int controlId;
    const char* text;
};

namespace dialog101 {  // capture dialog
inline constexpr int kId = 101;
inline constexpr const char kCaption[] = "Capture";
std::span<const TemplateText> Texts();
} // namespace dialog101

namespace dialog102 {  // viewer panel
inline constexpr int kId = 102;
std::span<const TemplateText> Texts();
// Template items of the frame-rate list (refilled before it is ever shown).
std::span<const char* const> FrameRateItems();
std::span<const char* const> ViewSizeItems();
} // namespace dialog102

namespace dialog103 {  // pan/tilt pad
inline constexpr int kId = 103;
inline constexpr const char kCaption[] = "Pan/Tilt";
std::span<const TemplateText> Texts();
} // namespace dialog103

namespace dialog104 {  // password dialog
inline constexpr int kId = 104;
inline constexpr const char kCaption[] = "Input Internet Password";
std::span<const TemplateText> Texts();
} // namespace dialog104

namespace dialog225 {  // property page
inline constexpr int kId = 225;
std::span<const TemplateText> Texts();
} // namespace dialog225

// The template text of a control of a dialog, nullptr when absent.
const char* TemplateTextOf(std::span<const TemplateText> texts, int controlId);

} // namespace kv::viewer
