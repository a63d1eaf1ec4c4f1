#include "motion/resources/string_table.h"

#include <array>
#include <iterator>

namespace kv::motion {

namespace {

constexpr std::array kStrings{
    StringEntry{IDS_MENSILO_TYPE_NAME, "Mensilo Control"},
    StringEntry{IDS_MENSILO_PPG_TYPE_NAME, "Mensilo Property Page"},
    StringEntry{IDS_PPG_CAPTION, "General"},
    StringEntry{IDS_CAN_NOT_CONNECT, "Can not connect !"},
    StringEntry{IDS_DEVICE_BUSY, "Device is busy, please try again later."},
    StringEntry{IDS_PROTECTED, "Protected object. This object is protected."},
};

constexpr std::array kDialog201{
    TemplateText{211, "Window 1"}, TemplateText{212, "Window 2"},
    TemplateText{213, "Window 3"}, TemplateText{214, "Window 4"},
    TemplateText{231, "Threshold"}, TemplateText{232, "Threshold"},
    TemplateText{233, "Threshold"}, TemplateText{234, "Threshold"},
    TemplateText{235, "Sensitivity"}, TemplateText{236, "Sensitivity"},
    TemplateText{237, "Sensitivity"}, TemplateText{238, "Sensitivity"},
    TemplateText{215, "Slider1"}, TemplateText{219, "Slider2"},
    TemplateText{216, "Slider3"}, TemplateText{220, "Slider4"},
    TemplateText{217, "Slider5"}, TemplateText{221, "Slider6"},
    TemplateText{218, "Slider7"}, TemplateText{222, "Slider8"},
    TemplateText{223, "Progress2"}, TemplateText{224, "Progress3"},
    TemplateText{225, "Progress4"}, TemplateText{226, "Progress5"},
    TemplateText{240, "OK"}, TemplateText{1, "OK"}, TemplateText{2, "Cancel"},
    TemplateText{251, "Can not connect !"},
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

std::span<const TemplateText> dialog201::Texts() { return kDialog201; }

const char* frames::Caption(int index)
{
    static constexpr const char* kCaptions[] = {"", "Window 1", "Window 2", "Window 3", "Window 4"};
    if (index < 0 || index >= static_cast<int>(std::size(kCaptions)))
        return "";
    return kCaptions[index];
}

const char* TemplateTextOf(std::span<const TemplateText> texts, int controlId)
{
    for (const auto& t : texts)
        if (t.controlId == controlId)
            return t.text;
    return nullptr;
}

} // namespace kv::motion
