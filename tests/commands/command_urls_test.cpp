// What the viewer sends: command URLs byte for byte, and the area-zoom offsets.
#include <gtest/gtest.h>

#include "viewer/commands/area_zoom.h"
#include "viewer/commands/command_urls.h"

using namespace kv::viewer;

namespace {
const std::string kPtzf = "http://cam/command/ptzf.cgi";
const std::string kPreset = "http://cam/command/presetposition.cgi";
} // namespace

TEST(CommandUrls, PadButtonsPressAndRelease)
{
    const std::pair<int, const char*> expected[] = {
        {216, "up"}, {217, "up-right"}, {218, "right"}, {219, "down-right"},
        {220, "down"}, {221, "down-left"}, {222, "left"}, {223, "up-left"},
    };
    for (const auto& [id, direction] : expected) {
        EXPECT_EQ(PadPressUrl(id, kPtzf, kPreset), kPtzf + "?Move=" + direction + ",10");
        EXPECT_EQ(PadReleaseUrl(id, kPtzf), kPtzf + "?Move=stop,motor");
    }
    EXPECT_EQ(PadPressUrl(224, kPtzf, kPreset), kPreset + "?PresetCall=0,10");
    EXPECT_EQ(PadReleaseUrl(224, kPtzf), std::nullopt);
    EXPECT_EQ(PadPressUrl(215, kPtzf, kPreset), std::nullopt);
    EXPECT_EQ(PadPressUrl(1, kPtzf, kPreset), std::nullopt);
}

TEST(CommandUrls, PresetsZoomAndInquiry)
{
    EXPECT_EQ(AreaZoomUrl(kPtzf, -80, 140), kPtzf + "?AreaZoom=-80,140,0,0");
    EXPECT_EQ(InquiryUrl(kPtzf), kPtzf + "?Inquiry");
    EXPECT_EQ(InquiryUrl(""), "?Inquiry");  // an empty base stays relative

    // Presets 2 and 5 described: the second item calls preset 5; no selection sends nothing.
    const std::vector<std::string> numbers{"2", "5"};
    EXPECT_EQ(PresetSelectionUrl(kPreset, numbers, 1), kPreset + "?PresetCall=5,10");
    EXPECT_EQ(PresetSelectionUrl(kPreset, numbers, -1), std::nullopt);
    EXPECT_EQ(PresetSelectionUrl(kPreset, numbers, 2), std::nullopt);
    EXPECT_EQ(PresetSelectionUrl(kPreset, {}, 0), std::nullopt);
}

TEST(CommandUrls, LongAddressesAreComposedWhole)
{
    const std::string base = "http://cam/" + std::string(5000, 'p') + "/command/ptzf.cgi";
    EXPECT_EQ(MoveUrl(base, "left"), base + "?Move=left,10");
    EXPECT_EQ(PresetCallUrl(base, std::string(300, '9')), base + "?PresetCall=" + std::string(300, '9') + ",10");
}

namespace {

std::optional<AreaZoomOffset> Zoom(int x, int y, int vw, int vh, int pw, int ph, bool zoomed = false, int sx = 0,
                                   int sy = 0)
{
    return ComputeAreaZoom({x, y, vw, vh, pw, ph, zoomed, sx, sy});
}

void ExpectOffset(const std::optional<AreaZoomOffset>& got, int dx, int dy)
{
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->dx, dx);
    EXPECT_EQ(got->dy, dy);
}

} // namespace

TEST(AreaZoom, ClickOffsetsInPicturePixels)
{
    ExpectOffset(Zoom(625, 135, 640, 480, 640, 480), 80, 140);
    ExpectOffset(Zoom(625, 135, 640, 480, 320, 240), 40, 70);
    ExpectOffset(Zoom(545, 275, 640, 480, 640, 480), 0, 0);     // the centre
    ExpectOffset(Zoom(225, 35, 640, 480, 640, 480), -320, 240);  // top-left corner
    ExpectOffset(Zoom(865, 515, 640, 480, 640, 480), 320, -240); // bottom-right corner
    // Picture twice the view: view pixels count double.
    ExpectOffset(Zoom(385 + 1, 155 + 1, 320, 240, 640, 480), 2, -2);
    // Half-pixel offsets are truncated toward zero on both sides of the centre.
    ExpectOffset(Zoom(545 + 3, 275 + 3, 640, 480, 320, 240), 1, -1);
    ExpectOffset(Zoom(545 - 3, 275 - 3, 640, 480, 320, 240), -1, 1);
    ExpectOffset(Zoom(545 + 1, 275 - 1, 640, 480, 320, 240), 0, 0);
}

TEST(AreaZoom, VerticalScaleIsASingleFloat)
{
    // 480 / 360 as a float is a little above 4/3, so 240 view pixels are just under 180
    // picture pixels: 179. A double scale would give 180.
    ExpectOffset(Zoom(545, 35, 640, 480, 640, 360), 0, 179);
    ExpectOffset(Zoom(545, 515, 640, 480, 640, 360), 0, -179);
}

TEST(AreaZoom, DigitalZoomHalvesAndFollowsTheZoomedRegion)
{
    // Region centred in the picture (origin at a quarter): only the halving.
    ExpectOffset(Zoom(625, 135, 640, 480, 320, 240, true, 80, 60), 20, 35);
    // Region at the top-left corner: the view's centre shows picture point (80, 60), which
    // is 80 left of and 60 above the picture's centre.
    ExpectOffset(Zoom(545, 275, 640, 480, 320, 240, true, 0, 0), -80, 60);
    // Region at the bottom-right: a click at the view's top-left corner is the region's
    // origin (160, 120), the picture's centre.
    ExpectOffset(Zoom(225, 35, 640, 480, 320, 240, true, 160, 120), 0, 0);
}

TEST(AreaZoom, ClicksOutsideTheViewOrWithoutPictureSizeSendNothing)
{
    EXPECT_FALSE(Zoom(224, 100, 640, 480, 640, 480));
    EXPECT_FALSE(Zoom(866, 100, 640, 480, 640, 480));
    EXPECT_FALSE(Zoom(300, 34, 640, 480, 640, 480));
    EXPECT_FALSE(Zoom(300, 516, 640, 480, 640, 480));
    EXPECT_TRUE(Zoom(865, 515, 640, 480, 640, 480));  // the edges belong to the view
    EXPECT_FALSE(Zoom(225, 35, 0, 0, 640, 480));
    EXPECT_FALSE(Zoom(300, 100, 640, 480, 0, 0));
}
