// The panel's rules that need no window: camera addresses, the util.cgi answer, the zoom
// arithmetic, the restart waits and the record-file check.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "viewer/panel/camera_urls.h"
#include "viewer/panel/digital_zoom.h"
#include "viewer/panel/record_target.h"
#include "viewer/panel/restart_backoff.h"

namespace kv::viewer {
namespace {

TEST(CameraUrls, BaseIsWhatPrecedesTheStreamPathOfTheGivenKind)
{
    const std::string url = "http://cam.example:8080/img/mjpeg.cgi?Speed=5";
    const CameraUrls jpeg = DeriveCameraUrls(url, "jpeg");
    EXPECT_EQ(jpeg.base, "http://cam.example:8080/");
    EXPECT_EQ(jpeg.ptzf, "http://cam.example:8080/command/ptzf.cgi");
    EXPECT_EQ(jpeg.preset, "http://cam.example:8080/command/presetposition.cgi");
    EXPECT_EQ(jpeg.util, "http://cam.example:8080/util/util.cgi");
    EXPECT_EQ(jpeg.mjpeg, "http://cam.example:8080/img/mjpeg.cgi");
    EXPECT_EQ(jpeg.mpeg, "http://cam.example:8080/img/video.asf");
    EXPECT_EQ(jpeg.probe, "http://cam.example:8080/command/ptzf.cgi?ptauth");

    // The same address named as MPEG-4 does not hold "img/video.asf": every URL is relative.
    const CameraUrls mpeg = DeriveCameraUrls(url, "mpeg");
    EXPECT_EQ(mpeg.base, "");
    EXPECT_EQ(mpeg.ptzf, "command/ptzf.cgi");
    EXPECT_EQ(mpeg.mpeg, "img/video.asf");

    EXPECT_EQ(DeriveCameraUrls("http://h/x/img/video.asf", "mpeg").base, "http://h/x/");
    // Only the first occurrence counts.
    EXPECT_EQ(DeriveCameraUrls("http://h/img/mjpeg.cgi/img/mjpeg.cgi", "").base, "http://h/");
}

TEST(CameraUrls, FrameRateBecomesTheSpeedQuery)
{
    EXPECT_EQ(MjpegStreamUrl("http://h/img/mjpeg.cgi", "15 fps"), "http://h/img/mjpeg.cgi?Speed=15");
    EXPECT_EQ(MjpegStreamUrl("http://h/img/mjpeg.cgi", " fps"), "http://h/img/mjpeg.cgi?Speed=");
    EXPECT_EQ(MjpegStreamUrl("http://h/img/mjpeg.cgi", "Fast fps"), "http://h/img/mjpeg.cgi?Speed=Fast");
    EXPECT_EQ(MjpegStreamUrl("http://h/img/mjpeg.cgi", "Fast"), "http://h/img/mjpeg.cgi");
    EXPECT_EQ(MjpegStreamUrl("http://h/img/mjpeg.cgi", "ab"), "http://h/img/mjpeg.cgi?Speed=");
}

TEST(CameraUrls, UtilAnswerFields)
{
    UtilAnswer a = ParseUtilAnswer("mpeg;on;30x");
    EXPECT_EQ(a.frameType, "mpeg");
    EXPECT_EQ(a.audio, "on");
    a = ParseUtilAnswer("mpeg;on");  // no second ';': no audio field
    EXPECT_EQ(a.frameType, "mpeg");
    EXPECT_EQ(a.audio, "");
    a = ParseUtilAnswer("mpeg");
    EXPECT_EQ(a.frameType, "");
    EXPECT_EQ(a.audio, "");
    a = ParseUtilAnswer("");
    EXPECT_EQ(a.frameType, "");
    a = ParseUtilAnswer("jpeg;;30\n");
    EXPECT_EQ(a.frameType, "jpeg");
    EXPECT_EQ(a.audio, "");
}

TEST(DigitalZoom, EnlargedAndReducedViews)
{
    // Picture 320x240 shown at 640x480, click at (545, 275).
    auto zoom = ComputeZoomClick(545, 275, 320, 240, 640, 480, 225, 35);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->view, (ZoomRect{160, 120, 480, 360}));
    EXPECT_EQ(zoom->sourceX, 80);
    EXPECT_EQ(zoom->sourceY, 60);
    EXPECT_EQ(zoom->sourceWidth, 160);
    EXPECT_EQ(zoom->sourceHeight, 120);

    // Picture 640x480 shown at 320x240, click at (385, 155).
    zoom = ComputeZoomClick(385, 155, 640, 480, 320, 240, 225, 35);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->view, (ZoomRect{80, 60, 240, 180}));
    EXPECT_EQ(zoom->sourceX, 160);
    EXPECT_EQ(zoom->sourceY, 120);
    EXPECT_EQ(zoom->sourceWidth, 320);
    EXPECT_EQ(zoom->sourceHeight, 240);
}

TEST(DigitalZoom, EdgesAndOutside)
{
    // Right and bottom edges of the view are inside; the window is pushed back in.
    auto zoom = ComputeZoomClick(225 + 640, 35 + 480, 640, 480, 640, 480, 225, 35);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->view, (ZoomRect{320, 240, 640, 480}));
    EXPECT_EQ(zoom->sourceX, 320);
    // Top-left corner.
    zoom = ComputeZoomClick(225, 35, 640, 480, 640, 480, 225, 35);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->view, (ZoomRect{0, 0, 320, 240}));

    EXPECT_FALSE(ComputeZoomClick(224, 100, 640, 480, 640, 480, 225, 35));
    EXPECT_FALSE(ComputeZoomClick(866, 100, 640, 480, 640, 480, 225, 35));
    EXPECT_FALSE(ComputeZoomClick(300, 34, 640, 480, 640, 480, 225, 35));
    EXPECT_FALSE(ComputeZoomClick(300, 516, 640, 480, 640, 480, 225, 35));
}

TEST(DigitalZoom, UnknownSizesAreIgnoredInsteadOfDividingByZero)
{
    // "AUTO" before a picture: a 0 by 0 view, and the click exactly on its origin.
    EXPECT_FALSE(ComputeZoomClick(225, 35, 0, 0, 0, 0, 225, 35));
    EXPECT_FALSE(ComputeZoomClick(225, 35, 640, 480, 0, 0, 225, 35));
    EXPECT_FALSE(ComputeZoomClick(300, 100, 0, 0, 640, 480, 225, 35));
}

TEST(RestartBackoff, GrowsFromImmediateToTheCap)
{
    EXPECT_EQ(RestartDelayMs(1, 4000), 0);  // the first failure after pictures restarts at once
    EXPECT_EQ(RestartDelayMs(2, 4000), 250);
    EXPECT_EQ(RestartDelayMs(3, 4000), 500);
    EXPECT_EQ(RestartDelayMs(4, 4000), 1000);
    EXPECT_EQ(RestartDelayMs(6, 4000), 4000);
    EXPECT_EQ(RestartDelayMs(1000, 4000), 4000);
    EXPECT_EQ(RestartDelayMs(5, 160), 80);
    EXPECT_EQ(RestartDelayMs(9, 160), 160);
    EXPECT_EQ(RestartDelayMs(3, 0), 0);
}

class RecordTarget : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("kv-record-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(RecordTarget, RegularFilesAndNewNamesOnly)
{
    EXPECT_TRUE(IsAcceptableRecordTarget((dir / "new.asf").string()));
    std::ofstream(dir / "old.asf") << "x";
    EXPECT_TRUE(IsAcceptableRecordTarget((dir / "old.asf").string()));
    // A name with shell syntax is just a name.
    EXPECT_TRUE(IsAcceptableRecordTarget((dir / "a; rm -rf x $(id).asf").string()));

    EXPECT_FALSE(IsAcceptableRecordTarget(""));
    EXPECT_FALSE(IsAcceptableRecordTarget(dir.string()));
    EXPECT_FALSE(IsAcceptableRecordTarget("/dev/null"));
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(IsAcceptableRecordTarget(fifo.string()));
    // A link is judged by what it points at.
    std::filesystem::create_symlink("/dev/null", dir / "devlink");
    EXPECT_FALSE(IsAcceptableRecordTarget((dir / "devlink").string()));
    std::filesystem::create_symlink(dir / "old.asf", dir / "filelink");
    EXPECT_TRUE(IsAcceptableRecordTarget((dir / "filelink").string()));
}

} // namespace
} // namespace kv::viewer
