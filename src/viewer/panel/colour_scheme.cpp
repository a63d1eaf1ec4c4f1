#include "viewer/panel/colour_scheme.h"

namespace kv::viewer {

namespace {

using kv::ui::MakeColorRef;

constexpr ColourScheme kSchemes[3] = {
    {MakeColorRef(230, 232, 237), MakeColorRef(60, 92, 156), {503, 502}, {505, 504}, {511, 507}, {508, 509},
     {510, 506}, {534, 532}, {535, 533}, 538, 537, 539},
    {MakeColorRef(75, 110, 182), MakeColorRef(235, 235, 235), {577, 576}, {575, 574}, {541, 540}, {547, 546},
     {561, 560}, {559, 558}, {557, 556}, 573, 564, 565},
    {MakeColorRef(38, 38, 38), MakeColorRef(235, 235, 235), {615, 614}, {613, 612}, {579, 578}, {585, 584},
     {599, 598}, {597, 596}, {595, 594}, 610, 602, 603},
};

} // namespace

const ColourScheme* SchemeFor(int nColor)
{
    if (nColor < 1 || nColor > 3)
        return nullptr;
    return &kSchemes[nColor - 1];
}

} // namespace kv::viewer
