#include "viewer/commands/inquiry_parser.h"

#include "viewer/commands/answer_text.h"

namespace kv::viewer {

namespace {

// The value of the line that rest starts with: from two past the first colon up to the
// first CR, or to the end of the text when no CR follows. A colon at the very end of its
// line (or past the CR) gives an empty value. rest then loses everything through the CR and
// the character after it.
std::string TakeValue(std::string_view& rest)
{
    const std::size_t colon = rest.find(':');
    const std::size_t cr = rest.find('\r');
    const std::size_t end = cr == std::string_view::npos ? rest.size() : cr;
    const std::size_t start = colon == std::string_view::npos ? end : colon + 2;
    std::string value;
    if (start < end)
        value.assign(rest.substr(start, end - start));
    if (cr == std::string_view::npos || cr + 2 >= rest.size())
        rest = {};
    else
        rest.remove_prefix(cr + 2);
    return value;
}

int TakeNumber(std::string_view& rest, std::string_view key)
{
    if (!Contains(rest, key))
        return 0;
    return LeadingDecimal(TakeValue(rest));
}

} // namespace

bool ParseInquiry(std::string_view body, ExclusiveControlState& state)
{
    std::string_view rest = body;
    if (!Contains(rest, kExclusiveModeKey))
        return false;
    state.m_sExclusiveMode = TakeValue(rest);
    state.m_nRemainTime = TakeNumber(rest, kRemainTimeKey);
    state.m_nWaitingTime = TakeNumber(rest, kWaitingTimeKey);
    for (int n = 1; n <= kPresetCount; ++n) {
        const std::string number = std::to_string(n);
        const std::string key = std::string(kPresetDescriptionKey) + number + ":";
        if (!Contains(rest, key))
            continue;
        state.m_presetDescriptions.push_back(TakeValue(rest));
        state.m_presetNumbers.push_back(number);
    }
    return true;
}

} // namespace kv::viewer
