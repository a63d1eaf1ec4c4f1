#include "viewer/commands/area_zoom.h"

#include <cmath>

namespace kv::viewer {

namespace {

int Truncate(double value)
{
    // Held within int so a nonsensical size cannot make the conversion undefined.
    const double t = std::trunc(value);
    if (!(t > -2147483648.0))
        return -2147483647 - 1;
    if (!(t < 2147483647.0))
        return 2147483647;
    return static_cast<int>(t);
}

} // namespace

std::optional<AreaZoomOffset> ComputeAreaZoom(const AreaZoomInput& in)
{
    const int vw = in.viewWidth;
    const int vh = in.viewHeight;
    if (in.x < kVideoLeft || in.x > kVideoLeft + vw || in.y < kVideoTop || in.y > kVideoTop + vh)
        return std::nullopt;
    if (vw <= 0 || vh <= 0 || in.pictureWidth <= 0 || in.pictureHeight <= 0)
        return std::nullopt;

    const double scaleX = static_cast<double>(vw) / in.pictureWidth;
    const float scaleY = static_cast<float>(static_cast<double>(vh) / in.pictureHeight);
    const int cx = vw / 2 + kVideoLeft;
    const int cy = vh / 2 + kVideoTop;
    const double offsetX = (in.x - cx) / scaleX;
    const double offsetY = (in.y - cy) / static_cast<double>(scaleY);

    AreaZoomOffset out;
    if (in.zoomed) {
        out.dx = Truncate(offsetX * 0.5) + (in.zoomSourceX - in.pictureWidth / 4);
        out.dy = Truncate(-(offsetY * 0.5)) - (in.zoomSourceY - in.pictureHeight / 4);
    } else {
        out.dx = Truncate(offsetX);
        out.dy = Truncate(-offsetY);
    }
    return out;
}

} // namespace kv::viewer
