// Digital zoom by click: the view shows a 2x enlargement of a half-width, half-height part
// of the picture whose origin follows the click.
#pragma once

#include <optional>

namespace kv::viewer {

// A rectangle as left, top, right, bottom.
struct ZoomRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ZoomRect&, const ZoomRect&) = default;
};

struct ZoomClick {
    ZoomRect view;  // the chosen part, in view coordinates
    int sourceX = 0;  // its top-left in picture coordinates
    int sourceY = 0;
    int sourceWidth = 0;  // half the picture
    int sourceHeight = 0;
};

// The zoom a click at panel point (x, y) chooses, with the view drawn at (originX, originY).
// Nothing when the click is outside the view, or while either size is still unknown (a
// 0 by 0 view would otherwise divide by zero).
std::optional<ZoomClick> ComputeZoomClick(int x, int y, int pictureWidth, int pictureHeight, int viewWidth,
                                          int viewHeight, int originX, int originY);

} // namespace kv::viewer
