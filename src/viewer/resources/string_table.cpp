#include "viewer/resources/string_table.h"

#include <array>

namespace kv::viewer {

namespace {

constexpr std::array kStrings{
    StringEntry{IDS_KAVARO_TYPE_NAME, "Kavaro Control"},
    StringEntry{IDS_KAVARO_PPG_TYPE_NAME, "Kavaro Property Page"},
    StringEntry{IDS_PPG_CAPTION, "General"},
    StringEntry{IDS_NO_CONTROL_RIGHT, "This user doesn't have control right."},
    StringEntry{IDS_MAX_USER, "After a while,\nplease access again."},
    StringEntry{IDS_PROTECTED, "Protected object. This object is protected."},
    StringEntry{IDS_CAN_NOT_CONNECT_DOT, "Can not connect."},
    StringEntry{IDS_FRAME_RATE, "Frame rate"},
    StringEntry{IDS_VIEW_SIZE, "View size"},
    StringEntry{IDS_DIGITAL_ZOOM, " Digital zoom"},
    StringEntry{IDS_CAPTURE, " Capture"},
    StringEntry{IDS_CONTROL, " Control"},
    StringEntry{IDS_PRESET_POSITION, "Preset position"},
    StringEntry{IDS_PAN_TILT_BUTTON, " Pan/Tilt"},
    StringEntry{IDS_PAN_TILT_CAPTION, "Pan/Tilt"},
    StringEntry{IDS_PASSWORD_CAPTION, "Enter Network Password"},
    StringEntry{IDS_PASSWORD_PROMPT, "Please type your user name and password."},
    StringEntry{IDS_USER_NAME, "User name:"},
    StringEntry{IDS_PASSWORD, "Password:"},
    StringEntry{IDS_OK, "OK"},
    StringEntry{IDS_CANCEL, "Cancel"},
    StringEntry{IDS_SAVE, "Save"},
    StringEntry{IDS_CAPTURE_CAPTION, "Capture"},
    StringEntry{IDS_REALM, "Realm:          Orvel Network Camera"},
    StringEntry{IDS_CAN_NOT_CONNECT, "Can not connect"},
};

constexpr std::array kDialog101{
    TemplateText{215, ""},
    TemplateText{1, "Save"},
    TemplateText{2, "Cancel"},
};

constexpr std::array kDialog102{
    TemplateText{207, "Message"},
    TemplateText{206, "Frame rate"},
    TemplateText{201, ""},
    TemplateText{214, "View size"},
    TemplateText{210, ""},
    TemplateText{211, " Digital zoom"},
    TemplateText{212, " Capture"},
    TemplateText{203, " Control"},
    TemplateText{204, " Pan/Tilt"},
    TemplateText{208, "Preset position"},
    TemplateText{202, ""},
    TemplateText{205, "Message"},
    TemplateText{213, "Time"},
    TemplateText{229, ""},
    TemplateText{231, ""},
    TemplateText{233, ""},
    TemplateText{232, ""},
};

constexpr std::array<const char*, 13> kFrameRateItems{
    "Fast", "1", "2", "3", "4", "5", "6", "8", "10", "15", "20", "25", "30"};
constexpr std::array<const char*, 4> kViewSizeItems{"AUTO", "640x480", "320x240", "160x120"};

constexpr std::array kDialog103{
    TemplateText{216, ""}, TemplateText{217, ""}, TemplateText{218, ""}, TemplateText{219, ""},
    TemplateText{220, ""}, TemplateText{221, ""}, TemplateText{222, ""}, TemplateText{223, ""},
    TemplateText{224, ""}, TemplateText{1, "OK"},
};

constexpr std::array kDialog104{
    TemplateText{226, "Please input user name and password:"},
    TemplateText{230, "Mode"},
    TemplateText{227, "User name:"},
    TemplateText{207, ""},
    TemplateText{228, "Password:"},
    TemplateText{209, ""},
    TemplateText{1, "OK"},
    TemplateText{2, "Cancel"},
};

constexpr std::array kDialog225{
    TemplateText{-1, "TODO: Place controls to manipulate properties of Kavaro Control on this dialog."},
};

} // namespace

const char* LoadString(int id)
{
    for (const auto& entry : kStrings)
        if (entry.id == id)
            return entry.text;
    return nullptr;
}

std::span<const StringEntry> StringTable() { return kStrings; }

const char* TextForLanguage(int language, int stringId, const char* templateText)
{
    if (LanguageUsesStringTable(language))
        if (const char* text = LoadString(stringId))
            return text;
    return templateText;
}

const char* TemplateTextOf(std::span<const TemplateText> texts, int controlId)
{
    for (const auto& t : texts)
        if (t.controlId == controlId)
            return t.text;
    return nullptr;
}

std::span<const TemplateText> dialog101::Texts() { return kDialog101; }
std::span<const TemplateText> dialog102::Texts() { return kDialog102; }
std::span<const char* const> dialog102::FrameRateItems() { return kFrameRateItems; }
std::span<const char* const> dialog102::ViewSizeItems() { return kViewSizeItems; }
std::span<const TemplateText> dialog103::Texts() { return kDialog103; }
std::span<const TemplateText> dialog104::Texts() { return kDialog104; }
std::span<const TemplateText> dialog225::Texts() { return kDialog225; }

} // namespace kv::viewer
