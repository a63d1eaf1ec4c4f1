// Small readers for the camera's plain-text answers.
#pragma once

#include <string_view>

namespace kv::viewer {

// The decimal number at the start of text, read as the C library reads one: leading
// blanks, an optional sign, then digits. 0 when there are no digits; values beyond the
// range of int are held at its ends.
int LeadingDecimal(std::string_view text);

inline bool Contains(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

} // namespace kv::viewer
