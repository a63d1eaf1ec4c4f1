#include "viewer/panel/panel_layout.h"

namespace kv::viewer {

namespace {

constexpr int kColumnX = 15;
constexpr int kColumnWidth = 120;

QRect ColumnRect(int y, int height) { return QRect(kColumnX, y, kColumnWidth, height); }

} // namespace

LeftColumnLayout ComputeLeftColumn(bool mpeg)
{
    LeftColumnLayout column;
    column.showFrameRate = !mpeg;
    column.frameRateLabel = ColumnRect(15, 15);
    column.frameRateList = ColumnRect(33, 20);
    const int b = mpeg ? 15 : 68;
    column.viewSizeLabel = ColumnRect(b, 15);
    column.viewSizeList = ColumnRect(b + 18, 20);
    column.digitalZoom = ColumnRect(b + 53, 33);
    column.capture = ColumnRect(b + 106, 33);
    column.control = ColumnRect(b + 159, 33);
    column.presetLabel = ColumnRect(b + 207, 15);
    column.presetList = ColumnRect(b + 225, 20);
    column.message = ColumnRect(mpeg ? 276 : 329, 36);
    return column;
}

VideoLayout ComputeVideoLayout(int w, int h, bool mpeg)
{
    // A very small view keeps a minimum frame, so the time label and icon still fit.
    const bool narrow = w <= 155;
    const bool low = h <= 15;
    const int right = narrow ? 385 : w + 230;
    const int sideBottom = low ? 55 : h + 30;

    VideoLayout layout;
    layout.bezelTop = RectLTRB(220, 15, right, 35);
    layout.bezelBottom = low ? RectLTRB(220, 50, right, 55) : RectLTRB(220, h + 25, right, h + 40);
    layout.bezelRight = RectLTRB(w + 225, 25, right, sideBottom);
    layout.bezelLeft = RectLTRB(220, 25, 225, sideBottom);
    layout.timeLabel = QRect(225, 18, 140, mpeg ? 12 : 15);
    layout.controlIcon = QRect(narrow ? 365 : w + 210, 17, 15, 15);
    layout.speaker = QRect(220, h + 45, 38, 26);
    layout.slider = QRect(270, h + 43, 83, 28);
    const int bannerWidth = w < 320 ? 170 : (w < 640 ? 330 : 650);
    layout.banner = QRect(220, h + 40, bannerWidth, 36);
    layout.bannerImage = w < 320 ? 303 : (w < 640 ? 302 : 301);
    return layout;
}

} // namespace kv::viewer
