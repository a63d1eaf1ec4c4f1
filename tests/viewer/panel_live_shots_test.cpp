// Pictures of the viewer with live video from camsim, as a person sees it: both stream kinds,
// each colour scheme, the 640x480 and 320x240 view sizes, and a restart in progress. With
// KV_UI_SHOTS_DIR set they are written there; the ones under docs/ come from
//   KV_UI_SHOTS_DIR=docs QT_QPA_PLATFORM=offscreen KAVARO_AUDIO=null build/tests/viewer/test_viewer --gtest_filter='LiveShots.*'
// Whatever the directory, each picture must show video inside its bezel.
#include "live_panel_support.h"

#include <QDir>

#include <set>
#include <tuple>

#include "platform/ui/qt_frame_sink.h"
#include "viewer/panel/viewer_panel.h"
#include "viewer_test_support.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

void Save(const QImage& shot, const std::string& name)
{
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name), "PNG")) << name;
}

int DistinctColours(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

class LiveShots : public LivePanel {
protected:
    // Shows the view size and waits until the layout and the pictures follow it.
    void ShowViewSize(int index, int width, int height)
    {
        SelectViewSize(index);
        const QRect video(kVideoLeft, kVideoTop, width, height);
        ASSERT_TRUE(WaitUntil([&] {
            return Sink().LastDestination() == video && panel->Layout().bezelBottom.top() == height + 25;
        }));
        ASSERT_TRUE(WaitForMorePictures(2));
        // The clock shows the camera's time once a second.
        EXPECT_TRUE(WaitUntil([&] { return TextOf(panel->Control(IDC_STATIC_TIME)).starts_with("2026/01/01"); }, 3000));
        Pump(60);
    }
};

TEST_F(LiveShots, EachKindSchemeAndViewSize)
{
    for (const std::string kind : {"mjpeg", "mpeg4"}) {
        StartCamera({"--kind", kind == "mpeg4" ? "mpeg" : "jpeg", "--size", "640x480", "--fps", "15", "--audio", "on"});
        for (int scheme : {1, 2, 3}) {
            SCOPED_TRACE(kind + " scheme " + std::to_string(scheme));
            Play("jpeg", scheme, 2);
            for (const auto& [index, width, height] : {std::tuple{1, 640, 480}, std::tuple{2, 320, 240}}) {
                ShowViewSize(index, width, height);
                const QImage shot = Grab();
                // A picture inside the bezel, not an empty area.
                EXPECT_GT(DistinctColours(shot.copy(kVideoLeft, kVideoTop, width, height)), 50);
                EXPECT_EQ(shot.pixelColor(kVideoLeft - 3, kVideoTop + height / 2), QColor(Qt::black));
                Save(shot, "viewer-" + kind + "-scheme" + std::to_string(scheme) + "-" + std::to_string(width) + "x" +
                               std::to_string(height) + ".png");
            }
            panel->StopPlay();
        }
        cam.reset();
    }
}

TEST_F(LiveShots, Reconnecting)
{
    StartCamera({"--size", "640x480", "--fps", "15", "--audio", "on"});
    Play("jpeg", 1, 3);
    ASSERT_TRUE(cam->SetFault("stall_mid&after_bytes=0&path=/img/"));
    ASSERT_TRUE(WaitUntil([&] { return panel->Reconnecting(); }, 10000));
    Pump(60);
    Save(Grab(), "viewer-reconnecting.png");
}

} // namespace
} // namespace kvtest
