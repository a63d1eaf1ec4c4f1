// The viewer's volume slider in sound-buffer units.
#pragma once

namespace kv {

// Slider position p (0 quietest .. 100 loudest) as hundredths of a decibel: p x 50 - 5000,
// kept within the buffer's range.
constexpr long VolumeFromSliderPosition(int position) noexcept
{
    const long value = static_cast<long>(position) * 50 - 5000;
    return value < -10000 ? -10000 : (value > 0 ? 0 : value);
}

} // namespace kv
