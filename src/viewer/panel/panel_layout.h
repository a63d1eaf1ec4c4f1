// Where the panel puts things: the left column by stream kind, and the bezel, labels,
// speaker, slider and banner around the video from the view size. Pure geometry, so the
// figures can be checked without a window.
#pragma once

#include <QRect>

namespace kv::viewer {

// Where the video is drawn, at the view size.
inline constexpr int kVideoLeft = 225;
inline constexpr int kVideoTop = 35;

// A rectangle from its left, top, right and bottom edges (right and bottom outside it).
inline QRect RectLTRB(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

struct LeftColumnLayout {
    bool showFrameRate = false;  // Motion-JPEG only
    QRect frameRateLabel, frameRateList;
    QRect viewSizeLabel, viewSizeList;
    QRect digitalZoom, capture, control;  // Control and Pan/Tilt share a place
    QRect presetLabel, presetList;
    QRect message;
};
LeftColumnLayout ComputeLeftColumn(bool mpeg);

struct VideoLayout {
    // The black frame around the video, in the order it is painted.
    QRect bezelRight, bezelLeft, bezelTop, bezelBottom;
    QRect timeLabel;
    QRect controlIcon;
    QRect speaker;
    QRect slider;
    QRect banner;
    int bannerImage = 0;  // "IMAGE" resource for the banner's width
};
inline constexpr int kBezelCorner = 17;  // corner ellipse of the top and bottom bars

VideoLayout ComputeVideoLayout(int viewWidth, int viewHeight, bool mpeg);

} // namespace kv::viewer
