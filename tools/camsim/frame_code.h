// The frame code: a frame number drawn into a picture as a row of black and white cells
// along its bottom-left edge, so that a client that only sees pixels (a viewer painting a
// window) can tell which frame it shows. camsim draws it with --frame-code on; the viewer
// benchmark reads it back from what was painted.
//
// Layout: cells of side width / 32 in the bottom band; cell 0 white and cell 1 black mark the
// code, cells 2..21 hold the frame number's low 20 bits (most significant first, white = 1),
// cell 22 makes the count of white cells among 2..22 even. A reader takes a cell only when its
// centre is clearly white or clearly black in all three colours, so the scene's own pixels
// are not read as a code. Cells of 10 pixels or more come through JPEG at quality 75
// unharmed; 160-pixel pictures (5-pixel cells) are not meant.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace camsim {

inline constexpr int kFrameCodeBits = 20;
inline constexpr int kFrameCodeCells = kFrameCodeBits + 3;

// Side of one cell for a picture of this width (0 when the picture is too small).
int FrameCodeCell(int width);

// Draws the code of `frame` into top-down RGB rows of width * 3 bytes.
void DrawFrameCode(std::vector<std::uint8_t>& rgb, int width, int height, std::int64_t frame);

// Red, green and blue (0..255) of a pixel of the top-down picture.
using PixelReader = std::function<std::array<int, 3>(int x, int y)>;

// Reads the code back: the frame number modulo 2^20, or nothing when the picture carries no
// valid code.
std::optional<std::uint32_t> ReadFrameCode(int width, int height, const PixelReader& pixel);

} // namespace camsim
