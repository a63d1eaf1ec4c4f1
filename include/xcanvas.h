// A software drawing target for CxImage's Draw, Draw2 and Stretch: a 24-bit DIB surface
// with a clip box, wrapped by the display layer. Header-only so the modules export nothing
// new for it.
#ifndef KV_XCANVAS_H
#define KV_XCANVAS_H

#include "ximage.h"

#include <algorithm>
#include <cstdint>

class CxCanvas {
public:
    CxCanvas(std::int32_t width, std::int32_t height)
    {
        if (width > 0 && height > 0 && m_surface.Create(static_cast<std::uint32_t>(width),
                                                        static_cast<std::uint32_t>(height), 24, 0)) {
            m_width = width;
            m_height = height;
            std::uint8_t* bits = m_surface.RowPointer(0);
            std::fill(bits, bits + static_cast<std::size_t>(m_surface.GetEffWidth()) * m_surface.GetHeight(),
                      std::uint8_t{0});
        }
        m_clip = CxRect{0, 0, m_width, m_height};
    }

    bool IsValid() const { return m_surface.IsValid(); }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    // The surface as a DIB (bottom-up rows), e.g. to hand to a display.
    CxImage& Surface() { return m_surface; }
    const CxImage& Surface() const { return m_surface; }

    // Blue, green, red of the pixel at (x, y), y counted from the top; null outside.
    std::uint8_t* PixelAt(std::int32_t x, std::int32_t y)
    {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return nullptr;
        return m_surface.RowPointer(m_height - 1 - y) + static_cast<std::size_t>(x) * 3;
    }
    const std::uint8_t* PixelAt(std::int32_t x, std::int32_t y) const
    {
        return const_cast<CxCanvas*>(this)->PixelAt(x, y);
    }
    void Fill(std::uint8_t blue, std::uint8_t green, std::uint8_t red)
    {
        for (std::int32_t y = 0; y < m_height; ++y)
            for (std::int32_t x = 0; x < m_width; ++x) {
                std::uint8_t* p = PixelAt(x, y);
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            }
    }

    // The current clip box, always inside the surface.
    CxRect GetClipBox() const { return m_clip; }
    void SetClipBox(const CxRect& rect) { m_clip = Intersect(rect, CxRect{0, 0, m_width, m_height}); }
    void IntersectClip(const CxRect& rect) { m_clip = Intersect(m_clip, rect); }
    void ResetClip() { m_clip = CxRect{0, 0, m_width, m_height}; }

    static CxRect Intersect(const CxRect& a, const CxRect& b)
    {
        CxRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
        if (r.right < r.left)
            r.right = r.left;
        if (r.bottom < r.top)
            r.bottom = r.top;
        return r;
    }
    static bool IsEmpty(const CxRect& r) { return r.right <= r.left || r.bottom <= r.top; }

private:
    CxImage m_surface;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    CxRect m_clip{0, 0, 0, 0};
};

#endif
