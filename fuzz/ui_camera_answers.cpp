// The camera's plain-text answers to the viewer's commands: the Inquiry answer and the
// util.cgi answer the frame-rate list is filled from. Every input goes to both readers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "viewer/commands/frame_rate_answer.h"
#include "viewer/commands/inquiry_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    kv::viewer::ExclusiveControlState state;
    state.m_sExclusiveMode = "untouched";
    const bool parsed = kv::viewer::ParseInquiry(text, state);
    if (!parsed && state.m_sExclusiveMode != "untouched")
        std::abort();
    if (state.m_presetNumbers.size() != state.m_presetDescriptions.size() ||
        state.m_presetNumbers.size() > static_cast<std::size_t>(kv::viewer::kPresetCount))
        std::abort();
    int previous = 0;
    for (const auto& number : state.m_presetNumbers) {
        const int n = number.empty() ? 0 : number[0] - '0';
        if (number.size() != 1 || n <= previous || n > kv::viewer::kPresetCount)
            std::abort();
        previous = n;
    }
    for (const auto& description : state.m_presetDescriptions)
        if (description.size() > size)
            std::abort();
    if (state.m_sExclusiveMode.size() > size && parsed)
        std::abort();

    const int maxRate = kv::viewer::MaxFrameRateOf(text);
    const auto items = kv::viewer::FrameRateItems(maxRate);
    if (items.size() > 12)
        std::abort();
    for (const auto& item : items)
        if (item.size() < 5 || item.substr(item.size() - 4) != " fps")
            std::abort();
    return 0;
}
