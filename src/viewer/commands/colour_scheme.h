// The viewer's three colour schemes: background of dialogs and button faces, and the text
// colour of labels and buttons. Other scheme numbers have no colours at all.
#pragma once

#include "platform/ui/ui_helpers.h"

#include <optional>

namespace kv::viewer {

struct SchemeColours {
    kv::ui::ColorRef background;
    kv::ui::ColorRef text;
};

inline std::optional<SchemeColours> ColoursOfScheme(int scheme)
{
    using kv::ui::MakeColorRef;
    switch (scheme) {
    case 1: return SchemeColours{MakeColorRef(230, 232, 237), MakeColorRef(60, 92, 156)};
    case 2: return SchemeColours{MakeColorRef(75, 110, 182), MakeColorRef(235, 235, 235)};
    case 3: return SchemeColours{MakeColorRef(38, 38, 38), MakeColorRef(235, 235, 235)};
    default: return std::nullopt;
    }
}

} // namespace kv::viewer
