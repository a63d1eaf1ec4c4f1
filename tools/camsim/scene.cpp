#include "scene.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "frame_code.h"

namespace camsim {

namespace {

// 5x7 glyphs, one byte per row, bit 4 = leftmost column.
struct Glyph {
    char ch;
    std::array<std::uint8_t, 7> rows;
};

constexpr Glyph kFont[] = {
    {'0', {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}}, {'1', {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e}},
    {'2', {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}}, {'3', {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e}},
    {'4', {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}}, {'5', {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e}},
    {'6', {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}}, {'7', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}}, {'9', {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}}, {':', {0x00, 0x0c, 0x0c, 0x00, 0x0c, 0x0c, 0x00}},
    {'#', {0x0a, 0x0a, 0x1f, 0x0a, 0x1f, 0x0a, 0x0a}}, {'-', {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c}},
};

const Glyph* FindGlyph(char ch)
{
    for (const Glyph& glyph : kFont) {
        if (glyph.ch == ch)
            return &glyph;
    }
    return nullptr;  // drawn as a blank
}

struct Canvas {
    std::vector<std::uint8_t>& rgb;
    int width;
    int height;

    void Fill(int x1, int y1, int x2, int y2, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        x1 = std::clamp(x1, 0, width);
        x2 = std::clamp(x2, 0, width);
        y1 = std::clamp(y1, 0, height);
        y2 = std::clamp(y2, 0, height);
        for (int y = y1; y < y2; ++y) {
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x1) * 3;
            for (int x = x1; x < x2; ++x, p += 3) {
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
        }
    }

    void Disc(int cx, int cy, int radius, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        for (int y = std::max(0, cy - radius); y < std::min(height, cy + radius + 1); ++y) {
            for (int x = std::max(0, cx - radius); x < std::min(width, cx + radius + 1); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) {
                    std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
                    p[0] = r;
                    p[1] = g;
                    p[2] = b;
                }
            }
        }
    }

    // Text in white on a dark box; scale = pixel size of one font dot.
    void Text(int x, int y, const std::string& text, int scale)
    {
        const int advance = 6 * scale;
        Fill(x - scale, y - scale, x + static_cast<int>(text.size()) * advance + scale, y + 8 * scale, 16, 16, 16);
        for (char ch : text) {
            if (const Glyph* glyph = FindGlyph(ch)) {
                for (int row = 0; row < 7; ++row) {
                    for (int col = 0; col < 5; ++col) {
                        if (glyph->rows[static_cast<std::size_t>(row)] & (0x10 >> col))
                            Fill(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, 255, 255, 255);
                    }
                }
            }
            x += advance;
        }
    }
};

// Positions of the shapes over time, in 640x480 coordinates; the same paths feed the
// picture and the motion levels.
struct ShapePlaces {
    int ballX, ballY, ballR;
    int boxX, boxY, boxSize;
    int barX, barW;
};

ShapePlaces PlacesAt(double t)
{
    ShapePlaces p{};
    // A ball bouncing between the walls (triangle waves at two rates).
    auto bounce = [](double value, double span) {
        const double m = std::fmod(value, 2 * span);
        return m < span ? m : 2 * span - m;
    };
    p.ballR = 40;
    p.ballX = 40 + static_cast<int>(bounce(t * 170.0, 560.0));
    p.ballY = 40 + static_cast<int>(bounce(t * 110.0 + 80.0, 400.0));
    p.boxSize = 90;
    p.boxX = 275 + static_cast<int>(200.0 * std::sin(t * 0.9));
    p.boxY = 195 + static_cast<int>(150.0 * std::sin(t * 1.7 + 1.0));
    p.barW = 24;
    p.barX = static_cast<int>(std::fmod(t * 90.0, 640.0 + p.barW)) - p.barW;
    return p;
}

} // namespace

std::vector<Rect> MovingShapes(double seconds)
{
    const ShapePlaces p = PlacesAt(seconds);
    return {
        Rect{p.ballX - p.ballR, p.ballY - p.ballR, p.ballX + p.ballR + 1, p.ballY + p.ballR + 1},
        Rect{p.boxX, p.boxY, p.boxX + p.boxSize, p.boxY + p.boxSize},
        Rect{p.barX, 400, p.barX + p.barW, 470},
    };
}

std::array<std::uint8_t, 4> MotionLevels(double seconds, const std::array<Rect, 4>& windows)
{
    std::array<std::uint8_t, 4> levels{};
    const auto shapes = MovingShapes(seconds);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Rect& w = windows[i];
        const long area = static_cast<long>(std::max(0, w.x2 - w.x1)) * std::max(0, w.y2 - w.y1);
        if (area <= 0)
            continue;
        long covered = 0;
        for (const Rect& s : shapes) {
            const int ix = std::min(w.x2, s.x2) - std::max(w.x1, s.x1);
            const int iy = std::min(w.y2, s.y2) - std::max(w.y1, s.y1);
            if (ix > 0 && iy > 0)
                covered += static_cast<long>(ix) * iy;
        }
        // A shape filling a quarter of the window already counts as full motion.
        levels[i] = static_cast<std::uint8_t>(std::min<long>(255, covered * 4 * 255 / area));
    }
    return levels;
}

std::vector<std::uint8_t> RenderScene(const SceneInput& in)
{
    const int w = std::max(1, in.width);
    const int h = std::max(1, in.height);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    Canvas canvas{rgb, w, h};
    const double scale = w / 640.0;

    // Background: sky above ground with a grid; it moves against pan and tilt.
    for (int y = 0; y < h; ++y) {
        const int wy = static_cast<int>(y / scale) - in.tilt;
        std::uint8_t* p = rgb.data() + static_cast<std::size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x, p += 3) {
            const int wx = static_cast<int>(x / scale) + in.pan;
            const bool grid = ((wx % 80 + 80) % 80) < 2 || ((wy % 80 + 80) % 80) < 2;
            if (wy < 240) {
                p[0] = static_cast<std::uint8_t>(60 + (wy & 0x3f));
                p[1] = static_cast<std::uint8_t>(110 + (wy & 0x3f));
                p[2] = 200;
            } else {
                p[0] = 70;
                p[1] = static_cast<std::uint8_t>(120 + ((wx >> 3) & 0x1f));
                p[2] = 60;
            }
            if (grid) {
                p[0] = static_cast<std::uint8_t>(p[0] / 2);
                p[1] = static_cast<std::uint8_t>(p[1] / 2);
                p[2] = static_cast<std::uint8_t>(p[2] / 2);
            }
        }
    }

    const ShapePlaces s = PlacesAt(in.seconds);
    auto sc = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
    canvas.Fill(sc(s.boxX), sc(s.boxY), sc(s.boxX + s.boxSize), sc(s.boxY + s.boxSize), 40, 60, 220);
    canvas.Disc(sc(s.ballX), sc(s.ballY), std::max(1, sc(s.ballR)), 230, 40, 40);
    canvas.Fill(sc(s.barX), sc(400), sc(s.barX + s.barW), sc(470), 250, 220, 40);

    const int dot = w >= 640 ? 3 : w >= 320 ? 2 : 1;
    char counter[32];
    std::snprintf(counter, sizeof counter, "#%06lld", static_cast<long long>(in.frame % 1000000));
    canvas.Text(2 * dot, 2 * dot, counter, dot);
    canvas.Text(2 * dot, 12 * dot, in.clock, dot);
    if (in.frameCode)
        DrawFrameCode(rgb, w, h, in.frame);
    return rgb;
}

namespace {

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

} // namespace

std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height, int quality)
{
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * height * 3)
        return {};
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(info.next_scanline) * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

} // namespace camsim
