// Area zoom: a click into the video asks the camera to turn so that the clicked point
// comes to the centre. The camera wants the click's offset from the view's centre in
// picture pixels, x to the right and y upward.
#pragma once

#include <optional>

#include "viewer/panel/panel_layout.h"  // where the video is drawn

namespace kv::viewer {

struct AreaZoomInput {
    int x = 0, y = 0;                      // the click, panel client pixels
    int viewWidth = 0, viewHeight = 0;     // the display worker's view size
    int pictureWidth = 0, pictureHeight = 0;
    bool zoomed = false;                   // a digital zoom is active
    int zoomSourceX = 0, zoomSourceY = 0;  // its region's top-left, picture pixels
};

struct AreaZoomOffset {
    int dx = 0;
    int dy = 0;
};

// The offset to send, or nothing when the click is outside the view (or no picture size
// is known yet). The horizontal scale is a double and the vertical one a 32-bit float, as
// the camera's other clients compute them; quotients are truncated toward zero.
//
// While a digital zoom is active the view shows a half-size region enlarged twice, so the
// offset is halved; and because that region need not be centred, the region's own offset
// from the picture's centre is added (across, and with the sign turned, down), so the
// camera turns to the point that was clicked rather than to where it would be unzoomed.
std::optional<AreaZoomOffset> ComputeAreaZoom(const AreaZoomInput& in);

} // namespace kv::viewer
