// Frame-difference motion measure over a 16x16-pixel cell grid.
#include "motion_detect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

extern "C" KV_MOTION_API void MotionDetect(const unsigned char* first, const unsigned char* second,
                                           unsigned char* output, int32_t width, int32_t height, int32_t threshold)
{
    if (!first || !second || !output || width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    const std::size_t columns = w / 16 + 1;
    const std::size_t rows = h / 16 + 1;
    std::unique_ptr<std::uint32_t[]> counters(new (std::nothrow) std::uint32_t[columns * rows]());
    if (!counters)
        return; // nothing written
    for (std::size_t y = 0; y < h; ++y) {
        const unsigned char* a = first + y * w;
        const unsigned char* b = second + y * w;
        std::uint32_t* cellRow = counters.get() + (y / 16) * columns;
        for (std::size_t x = 0; x < w; ++x) {
            const int d = a[x] > b[x] ? a[x] - b[x] : b[x] - a[x];
            if (d > threshold)
                ++cellRow[x / 16];
        }
    }
    for (std::size_t i = 0; i < columns * rows; ++i)
        output[i] = static_cast<unsigned char>(counters[i] > 255 ? 255 : counters[i]);
}
