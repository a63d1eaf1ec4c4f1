// The motion-setup module's string table and the texts of its dialog templates, looked up
// by number.
#pragma once

#include <span>

namespace kv::motion {

enum StringId : int {
    IDS_MENSILO_TYPE_NAME = 1,
    IDS_MENSILO_PPG_TYPE_NAME = 2,
    IDS_PPG_CAPTION = 200,
    IDS_CAN_NOT_CONNECT = 201,
    IDS_DEVICE_BUSY = 203,
    IDS_PROTECTED = 204,
};

struct StringEntry {
    int id;
    const char* text;
};

const char* LoadString(int id);  // nullptr when absent
std::span<const StringEntry> StringTable();

struct TemplateText {
    int controlId;
    const char* text;
};

// Setup dialog (resource 201): window n = 1..4 has its check box, labels and sliders.
namespace dialog201 {
inline constexpr int kId = 201;
std::span<const TemplateText> Texts();
} // namespace dialog201

// Authorization dialog (resource 206).
namespace dialog206 {
inline constexpr int kId = 206;
inline constexpr const char kCaption[] = "Authorization";
inline constexpr const char kPrompt[] = "Please enter the user name and password.";
inline constexpr const char kRealm[] = "Realm:          Orvel Network Camera";
inline constexpr const char kUserName[] = "User Name:";
inline constexpr const char kPassword[] = "Password:";
inline constexpr const char kOk[] = "OK";
inline constexpr const char kCancel[] = "Cancel";
inline constexpr int kUserEditId = 241;
inline constexpr int kPasswordEditId = 242;
} // namespace dialog206

// The area frames (resources 207 and 202 to 205): frame 0 marks the view area and has no
// caption, frames 1 to 4 the detection windows.
namespace frames {
inline constexpr int kResource[5] = {207, 202, 203, 204, 205};
const char* Caption(int index);  // "" for 0 and for an index out of range
} // namespace frames

const char* TemplateTextOf(std::span<const TemplateText> texts, int controlId);

} // namespace kv::motion
