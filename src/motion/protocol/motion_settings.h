// The camera's motion-detection settings as the setup control keeps them between a read and
// a save. Rectangles are in pixels of the 640 by 480 picture area, origin at its top-left;
// x2 and y2 are the exclusive right and bottom edges.
#pragma once

#include <array>
#include <cstdint>

namespace kv::motion {

inline constexpr int kPictureWidth = 640;
inline constexpr int kPictureHeight = 480;
inline constexpr int kWindowCount = 4;

// The resolution code every save sends; a mode-2 read also takes it whatever the camera says.
inline constexpr std::int32_t kSavedResolution = 3;

// Modes of the setup (the nOcxType of SetSource).
inline constexpr int kModeDetectionWindows = 1;
inline constexpr int kModeViewArea = 2;

struct AreaRect {
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    std::int32_t x2 = 0;
    std::int32_t y2 = 0;

    friend bool operator==(const AreaRect&, const AreaRect&) = default;
};

// One of the four detection windows (protocol numbers 0 to 3).
struct DetectionWindow {
    std::int32_t enabled = 0;      // 0 or 1
    std::int32_t threshold = 0;    // 0..255
    std::int32_t sensitivity = 0;  // 0..10
    std::int32_t level = 0;        // motion level last shown; never sent
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    std::int32_t x2 = 0;
    std::int32_t y2 = 0;
};

// Mode 1: the four detection windows.
struct AreaSettings {
    std::int32_t res = 0;
    std::array<DetectionWindow, kWindowCount> windows{};
};

// Mode 2: the one view area.
struct ViewSettings {
    std::int32_t res = 0;
    std::int32_t enabled = 0;
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    std::int32_t x2 = 0;
    std::int32_t y2 = 0;
};

// The rectangle of a window or view record.
template <typename Record>
AreaRect RectOf(const Record& r)
{
    return {r.x1, r.y1, r.x2, r.y2};
}

template <typename Record>
void SetRect(Record& r, const AreaRect& rect)
{
    r.x1 = rect.x1;
    r.y1 = rect.y1;
    r.x2 = rect.x2;
    r.y2 = rect.y2;
}

} // namespace kv::motion
