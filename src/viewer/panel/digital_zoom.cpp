#include "viewer/panel/digital_zoom.h"

namespace kv::viewer {

namespace {

struct Span {
    int low;
    int high;
};

// One axis: a half-length window around the click, pushed inside the view at either end.
Span ZoomSpan(int click, int origin, int viewLength)
{
    const int quarter = viewLength / 4;
    const int half = viewLength / 2;
    if (click - quarter - origin < 0)
        return {0, half};
    if (click + quarter - origin > viewLength)
        return {half, viewLength};
    const int low = click - quarter - origin;
    return {low, low + half};
}

// Where a view coordinate falls in the picture. An enlarged view divides by the enlargement
// in floating point; otherwise the integer reduction factor multiplies.
int SourceOf(int viewCoordinate, int pictureLength, int viewLength, bool enlarged)
{
    if (enlarged)
        return static_cast<int>(viewCoordinate / (static_cast<double>(viewLength) / pictureLength));
    return (pictureLength / viewLength) * viewCoordinate;
}

} // namespace

std::optional<ZoomClick> ComputeZoomClick(int x, int y, int pictureWidth, int pictureHeight, int viewWidth,
                                          int viewHeight, int originX, int originY)
{
    if (pictureWidth <= 0 || pictureHeight <= 0 || viewWidth <= 0 || viewHeight <= 0)
        return std::nullopt;
    if (x < originX || x > originX + viewWidth || y < originY || y > originY + viewHeight)
        return std::nullopt;
    const Span across = ZoomSpan(x, originX, viewWidth);
    const Span down = ZoomSpan(y, originY, viewHeight);
    ZoomClick zoom;
    zoom.view = {across.low, down.low, across.high, down.high};
    // The rule follows the widths alone, for both axes.
    const bool enlarged = pictureWidth < viewWidth;
    zoom.sourceX = SourceOf(across.low, pictureWidth, viewWidth, enlarged);
    zoom.sourceY = SourceOf(down.low, pictureHeight, viewHeight, enlarged);
    zoom.sourceWidth = pictureWidth / 2;
    zoom.sourceHeight = pictureHeight / 2;
    return zoom;
}

} // namespace kv::viewer
