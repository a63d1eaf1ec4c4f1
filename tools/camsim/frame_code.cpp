#include "frame_code.h"

#include <algorithm>

namespace camsim {

namespace {

// Cell i's centre, where the reader looks (away from the edges JPEG blurs).
struct CellCentre {
    int x;
    int y;
};

CellCentre CentreOf(int cell, int side, int height)
{
    return {cell * side + side / 2, height - side + side / 2};
}

// Cell values in order: marker white, marker black, the bits, the parity.
std::vector<bool> CellsOf(std::uint32_t value)
{
    std::vector<bool> cells{true, false};
    int ones = 0;
    for (int bit = kFrameCodeBits - 1; bit >= 0; --bit) {
        const bool set = (value >> bit) & 1u;
        ones += set;
        cells.push_back(set);
    }
    cells.push_back(ones % 2 == 1);
    return cells;
}

} // namespace

int FrameCodeCell(int width)
{
    const int side = width / 32;
    return side >= 2 ? side : 0;
}

void DrawFrameCode(std::vector<std::uint8_t>& rgb, int width, int height, std::int64_t frame)
{
    const int side = FrameCodeCell(width);
    if (side == 0 || height < side || rgb.size() < static_cast<std::size_t>(width) * height * 3)
        return;
    const std::vector<bool> cells = CellsOf(static_cast<std::uint32_t>(frame) & ((1u << kFrameCodeBits) - 1));
    for (int cell = 0; cell < kFrameCodeCells; ++cell) {
        const std::uint8_t level = cells[static_cast<std::size_t>(cell)] ? 255 : 0;
        for (int y = height - side; y < height; ++y) {
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + cell * side) * 3;
            for (int x = 0; x < side * 3; ++x)
                p[x] = level;
        }
    }
}

std::optional<std::uint32_t> ReadFrameCode(int width, int height, const PixelReader& pixel)
{
    const int side = FrameCodeCell(width);
    if (side == 0 || height < side)
        return std::nullopt;
    constexpr int kWhite = 200;
    constexpr int kBlack = 55;
    std::vector<bool> cells;
    for (int cell = 0; cell < kFrameCodeCells; ++cell) {
        const CellCentre at = CentreOf(cell, side, height);
        const std::array<int, 3> rgb = pixel(at.x, at.y);
        const auto [low, high] = std::minmax({rgb[0], rgb[1], rgb[2]});
        if (low >= kWhite)
            cells.push_back(true);
        else if (high <= kBlack)
            cells.push_back(false);
        else
            return std::nullopt;  // neither: not a code cell
    }
    if (!cells[0] || cells[1])
        return std::nullopt;
    std::uint32_t value = 0;
    int ones = 0;
    for (int bit = 0; bit < kFrameCodeBits; ++bit) {
        const bool set = cells[static_cast<std::size_t>(2 + bit)];
        value = (value << 1) | (set ? 1u : 0u);
        ones += set;
    }
    if ((ones % 2 == 1) != cells[kFrameCodeCells - 1])
        return std::nullopt;
    return value;
}

} // namespace camsim
