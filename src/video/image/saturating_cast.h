// Converting a floating-point value read from a file to an integer field. Files carry any
// value (huge resolutions, negative counts, NaN); a plain cast of an out-of-range value is
// undefined, so values are clamped to the field's range and NaN becomes 0.
#pragma once

#include <cmath>
#include <limits>

namespace kv::image {

template <typename Int>
Int SaturatingCast(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (value >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

} // namespace kv::image
