#include "viewer/commands/frame_rate_answer.h"

#include "viewer/commands/answer_text.h"

#include <algorithm>
#include <array>

namespace kv::viewer {

namespace {

constexpr std::array<int, 12> kRates{30, 25, 20, 15, 10, 8, 6, 5, 4, 3, 2, 1};

} // namespace

int MaxFrameRateOf(std::string_view utilAnswer)
{
    if (utilAnswer.empty())
        return 0;
    utilAnswer.remove_suffix(1);
    const std::size_t semicolon = utilAnswer.rfind(';');
    if (semicolon != std::string_view::npos)
        utilAnswer.remove_prefix(semicolon + 1);
    return LeadingDecimal(utilAnswer);
}

std::vector<std::string> FrameRateItems(int maxRate)
{
    std::vector<std::string> items;
    if (std::find(kRates.begin(), kRates.end(), maxRate) == kRates.end())
        return items;
    for (int rate : kRates)
        if (rate <= maxRate)
            items.push_back(std::to_string(rate) + " fps");
    return items;
}

} // namespace kv::viewer
