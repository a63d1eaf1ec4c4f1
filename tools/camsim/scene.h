// The synthetic scene camsim films: a background that follows the pan/tilt position, shapes
// that move with time, a frame counter and a clock, so every picture differs from the last.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

struct Rect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // right and bottom exclusive, in 640x480 coordinates
};

struct SceneInput {
    double seconds = 0;      // scene time: where the shapes are
    std::int64_t frame = 0;  // frame counter drawn in the picture
    std::string clock;       // clock text drawn in the picture
    int pan = 0;             // camera position: shifts the background
    int tilt = 0;
    int width = 640;
    int height = 480;
    bool frameCode = false;  // draw the frame number's cell code (frame_code.h)
};

// 24-bit RGB rows, top-down, width * 3 bytes each.
std::vector<std::uint8_t> RenderScene(const SceneInput& input);

// Baseline JPEG of an RGB picture (libjpeg). Empty on failure.
std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height, int quality);

// Bounding boxes of the moving shapes at this time, in 640x480 coordinates.
std::vector<Rect> MovingShapes(double seconds);

// Motion level (0..255) of each detection window: how much of it the moving shapes cover.
std::array<std::uint8_t, 4> MotionLevels(double seconds, const std::array<Rect, 4>& windows);

} // namespace camsim
