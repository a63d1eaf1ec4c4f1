// The panel on real workers against the camera emulator: what it draws is what camsim sent,
// view size, digital zoom and the zoom percent change what is drawn, sound plays, a stalled
// camera restarts playback and says so, StopPlay ends everything in time and a new source
// plays again.
#include "live_panel_support.h"

#include <QElapsedTimer>
#include <QLabel>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>

#include "core/timings.h"
#include "platform/ui/qt_frame_sink.h"
#include "stream/players.h"
#include "viewer/panel/viewer_panel.h"
#include "viewer_test_support.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

// The process's threads except Qt's pooled ones: Qt may start a pool thread for an image
// conversion at any time and keeps it 30 s after its last job, which says nothing of ours.
int ThreadCount()
{
    int count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            count += name.rfind("Thread (pooled", 0) != 0;
        }
        ::closedir(tasks);
    }
    return count;
}

// The panel's video area as painted together with the picture the sink held for that paint.
struct DrawnPicture {
    QImage drawn;
    QImage picture;
    QRect source;
    QRect destination;
};

class LiveView : public LivePanel {
protected:
    // Grabs until no new picture arrived during the grab, so drawn and picture belong together.
    std::optional<DrawnPicture> GrabDrawn(const QRect& area)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const int before = Sink().PresentedCount();
            DrawnPicture shot{{}, Sink().LastImage(), Sink().LastSource(), Sink().LastDestination()};
            shot.drawn = Grab(area);
            if (Sink().PresentedCount() == before && !shot.picture.isNull())
                return shot;
            Pump(5);
        }
        return std::nullopt;
    }

    // The latest picture is one camsim sent, decoded, and the panel shows it unchanged at
    // (225, 35) inside the black bezel.
    void ExpectTheSentPictureDrawn(int width, int height)
    {
        const QRect video(kVideoLeft, kVideoTop, width, height);
        const std::optional<DrawnPicture> shot = GrabDrawn(video);
        ASSERT_TRUE(shot);
        EXPECT_EQ(shot->destination, video);
        EXPECT_EQ(shot->source, QRect(0, 0, width, height));
        EXPECT_EQ(Agreement(shot->drawn, shot->picture), 1.0);
        const std::vector<QImage> sent = SentPictures();
        ASSERT_FALSE(sent.empty());
        EXPECT_TRUE(std::any_of(sent.begin(), sent.end(),
                                [&](const QImage& picture) { return Agreement(picture, shot->picture) == 1.0; }))
            << "the picture drawn is none of the " << sent.size() << " pictures sent";
        const QImage panelShot = Grab();
        EXPECT_EQ(panelShot.pixelColor(kVideoLeft - 3, kVideoTop + height / 2), QColor(Qt::black));
        EXPECT_EQ(panelShot.pixelColor(kVideoLeft + width + 2, kVideoTop + height / 2), QColor(Qt::black));
    }

    void ExpectSoundPlays()
    {
        ASSERT_TRUE(WaitUntil([&] { return workers->audioPlayer.IsInitialised(); }, 8000));
        const std::uint64_t played = workers->audioPlayer.PlayedBytes();
        EXPECT_TRUE(WaitUntil([&] { return workers->audioPlayer.PlayedBytes() > played; }, 8000));
        EXPECT_TRUE(panel->Control(IDC_BUTTON_SPEAKER)->isVisible());
        EXPECT_TRUE(panel->Control(IDC_SLIDER_VOLUME)->isVisible());
    }
};

TEST_F(LiveView, MotionJpegWithSoundShowsThePicturesSent)
{
    StartCamera({"--size", "320x240", "--fps", "15", "--audio", "on"});
    Play("jpeg", 1, 3);
    EXPECT_EQ(panel->FrameType(), "jpeg");  // what util.cgi said
    ExpectTheSentPictureDrawn(320, 240);
    ExpectSoundPlays();
    EXPECT_TRUE(WaitUntil([&] { return TextOf(panel->Control(IDC_STATIC_TIME)).starts_with("2026/01/01"); }, 4000));
}

TEST_F(LiveView, Mpeg4WithSoundShowsThePicturesSentDecoded)
{
    StartCamera({"--kind", "mpeg", "--size", "320x240", "--fps", "15", "--audio", "on"});
    Play("jpeg", 2, 3);
    EXPECT_EQ(panel->FrameType(), "mpeg");
    ExpectTheSentPictureDrawn(320, 240);
    ExpectSoundPlays();
}

TEST_F(LiveView, ViewSizeAndDigitalZoomOnAnEnlargedView)
{
    StartCamera({"--size", "320x240", "--fps", "15"});
    Play();
    SelectViewSize(1);  // 640x480
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastDestination() == QRect(225, 35, 640, 480); }));
    ASSERT_TRUE(WaitUntil([&] { return panel->Layout().bezelTop.right() + 1 == 870; }));

    // Motion-JPEG is always drawn at 100 percent.
    panel->SetZoomPercent(200);
    ASSERT_TRUE(WaitForMorePictures());
    EXPECT_EQ(Sink().LastDestination(), QRect(225, 35, 640, 480));
    panel->SetZoomPercent(100);

    // Armed, a click beside the view changes nothing.
    ClickZoomButton();
    ClickPanel(150, 200);
    EXPECT_TRUE(panel->ZoomMode());
    EXPECT_FALSE(panel->Zoomed());
    ASSERT_TRUE(WaitForMorePictures());
    EXPECT_EQ(Sink().LastSource(), QRect(0, 0, 320, 240));

    // Picture 320x240 seen at 640x480, click at (545, 275): a quarter of the picture fills the view.
    ClickPanel(545, 275);
    EXPECT_TRUE(panel->Zoomed());
    EXPECT_EQ(panel->ZoomRectangle(), (ZoomRect{160, 120, 480, 360}));
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastSource() == QRect(80, 60, 160, 120); }));
    const std::optional<DrawnPicture> shot = GrabDrawn(QRect(225, 35, 640, 480));
    ASSERT_TRUE(shot);
    const QImage expected = shot->picture.copy(80, 60, 160, 120).scaled(640, 480);
    EXPECT_GT(Agreement(shot->drawn, expected, 8), 0.95);

    // The button again: the whole picture.
    ClickZoomButton();
    EXPECT_FALSE(panel->ZoomMode());
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastSource() == QRect(0, 0, 320, 240); }));
}

TEST_F(LiveView, DigitalZoomOnAReducedViewAndAtItsRightEdge)
{
    StartCamera({"--size", "640x480", "--fps", "15"});
    Play();
    SelectViewSize(2);  // 320x240
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastDestination() == QRect(225, 35, 320, 240); }));

    // Picture 640x480 seen at 320x240, click at (385, 155): the picture's middle at full size.
    ClickZoomButton();
    ClickPanel(385, 155);
    EXPECT_EQ(panel->ZoomRectangle(), (ZoomRect{80, 60, 240, 180}));
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastSource() == QRect(160, 120, 320, 240); }));
    const std::optional<DrawnPicture> shot = GrabDrawn(QRect(225, 35, 320, 240));
    ASSERT_TRUE(shot);
    EXPECT_EQ(Agreement(shot->drawn, shot->picture.copy(160, 120, 320, 240)), 1.0);

    // At the view's right edge the region is the right half.
    ClickZoomButton();
    ClickZoomButton();
    ClickPanel(225 + 320, 35);
    const ZoomRect rect = panel->ZoomRectangle();
    EXPECT_EQ(rect.left, 160);
    EXPECT_EQ(rect.right, 320);
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastSource() == QRect(320, 0, 320, 240); }));
}

TEST_F(LiveView, ZoomPercentScalesMpeg4PicturesFromTheirCorner)
{
    StartCamera({"--kind", "mpeg", "--size", "640x480", "--fps", "15"});
    Play("mpeg");
    ASSERT_TRUE(WaitUntil([&] { return panel->Layout().bezelTop.right() + 1 == 870; }));
    const VideoLayout bezel = panel->Layout();

    // Twice as large from (225, 35), over the bezel; the bezel itself stays where it was.
    panel->SetZoomPercent(200);
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastDestination() == QRect(225, 35, 1280, 960); }));
    const QRect visible(225, 35, CViewerPanel::kWidth - 225, CViewerPanel::kHeight - 35);
    std::optional<DrawnPicture> shot = GrabDrawn(visible);
    ASSERT_TRUE(shot);
    EXPECT_GT(Agreement(shot->drawn, shot->picture.scaled(1280, 960).copy(0, 0, visible.width(), visible.height()), 8),
              0.95);
    EXPECT_EQ(panel->Layout().bezelBottom, bezel.bezelBottom);

    // Half as large: the rest of the view shows the panel again, not an old picture.
    panel->SetZoomPercent(50);
    ASSERT_TRUE(WaitUntil([&] { return Sink().LastDestination() == QRect(225, 35, 320, 240); }));
    shot = GrabDrawn(QRect(225, 35, 320, 240));
    ASSERT_TRUE(shot);
    EXPECT_GT(Agreement(shot->drawn, shot->picture.scaled(320, 240), 8), 0.95);
    Pump(50);
    EXPECT_EQ(Grab().pixelColor(700, 400), QColor(230, 232, 237));
    EXPECT_EQ(panel->Layout().bezelRight, bezel.bezelRight);
}

TEST_F(LiveView, StalledCameraRestartsAndSaysSoOverTheLastPicture)
{
    StartCamera({"--size", "320x240", "--fps", "15"});
    Play();
    // Every connection stalls from now on; the read limit ends each one.
    ASSERT_TRUE(cam->SetFault("stall_mid&after_bytes=0&path=/img/"));
    ASSERT_TRUE(WaitUntil([&] { return panel->Reconnecting(); }, 10000));
    Pump(50);
    const QImage last = Sink().LastImage();
    const QImage shot = Grab(QRect(225, 35, 320, 240));
    // Greyed: the picture shows through a grey veil...
    const QColor under = last.pixelColor(4, 4);
    const QColor seen = shot.pixelColor(4, 4);
    const auto veiled = [](int c) { return (c * 85 + 128 * 170) / 255; };
    EXPECT_NEAR(seen.red(), veiled(under.red()), 3);
    EXPECT_NEAR(seen.green(), veiled(under.green()), 3);
    EXPECT_NEAR(seen.blue(), veiled(under.blue()), 3);
    // ...with the word in white across its middle.
    int white = 0;
    for (int x = 0; x < shot.width(); ++x)
        white += shot.pixelColor(x, 120).lightness() > 240;
    EXPECT_GT(white, 10);

    // Connections keep being tried, each a little later, and playback comes back.
    ASSERT_TRUE(WaitUntil([&] { return cam->RequestsTo("/img/mjpeg.cgi").size() >= 3; }, 15000));
    EXPECT_TRUE(panel->Reconnecting());
    ASSERT_TRUE(cam->ClearFault());
    ASSERT_TRUE(WaitUntil([&] { return !panel->Reconnecting(); }, 15000));
    ASSERT_TRUE(WaitForMorePictures());
    const std::optional<DrawnPicture> again = GrabDrawn(QRect(225, 35, 320, 240));
    ASSERT_TRUE(again);
    EXPECT_EQ(Agreement(again->drawn, again->picture), 1.0);
}

TEST_F(LiveView, SecondSourceRefusedWhilePlayingAndAcceptedAfterStopPlay)
{
    StartCamera({"--kind", "mpeg", "--size", "320x240", "--audio", "on"});
    Play("mpeg");
    EXPECT_FALSE(SetSource("mpeg"));
    EXPECT_FALSE(SetSource("jpeg"));
    EXPECT_EQ(TextOf(panel->Control(IDC_STATIC_BIGMESSAGE)), "Can not connect");

    QElapsedTimer clock;
    clock.start();
    panel->StopPlay();
    const kv::Timings& t = kv::ModuleTimings();
    EXPECT_LT(clock.elapsed(), t.panelStopSleepMs.load() + t.playerStopMs.load());
    EXPECT_TRUE(workers->asfPlayer.IsFinished());
    EXPECT_TRUE(workers->mpeg4Display.IsFinished());
    EXPECT_FALSE(workers->mpeg4Display.IsOpen());
    EXPECT_TRUE(workers->audioPlayer.IsFinished());
    EXPECT_FALSE(workers->audioPlayer.IsInitialised());

    EXPECT_TRUE(SetSource("mpeg"));
    EXPECT_FALSE(panel->Control(IDC_STATIC_BIGMESSAGE)->isVisible());
    panel->StartPlay(0, "");
    EXPECT_TRUE(WaitForMorePictures(3));
}

TEST_F(LiveView, DefaultPanelPlaysOnTheModuleWorkers)
{
    StartCamera({"--size", "160x120"});
    panel = std::make_unique<CViewerPanel>();
    Play();
    EXPECT_TRUE(kv::ModuleMJpegPlayer().IsStarted());
    EXPECT_TRUE(kv::ModuleMJpegDisplay().IsOpen());
    panel->StopPlay();
    EXPECT_TRUE(kv::ModuleMJpegPlayer().IsFinished());
    EXPECT_TRUE(kv::ModuleMJpegDisplay().IsFinished());
    EXPECT_FALSE(kv::ModuleMJpegPlayer().IsStarted());
    panel.reset();
}

TEST_F(LiveView, TenStartStopCyclesLeaveNothingRunning)
{
    StartCamera({"--size", "160x120", "--fps", "30", "--audio", "on"});
    panel->Create(host.get());
    int threadsAfterFirst = 0;
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(cam->Control(cycle % 2 ? "kind=mpeg" : "kind=jpeg"));
        ASSERT_TRUE(SetSource());
        panel->StartPlay(0, "");
        ASSERT_TRUE(WaitForMorePictures(2));
        panel->StopPlay();
        for (const kv::CWorkerThread* worker :
             std::initializer_list<const kv::CWorkerThread*>{&workers->mjpegPlayer, &workers->asfPlayer,
                                                             &workers->mjpegDisplay, &workers->mpeg4Display,
                                                             &workers->audioPlayer})
            EXPECT_TRUE(worker->IsFinished());
        if (cycle == 0)
            threadsAfterFirst = ThreadCount();
    }
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsAfterFirst; }, 3000))
        << ThreadCount() << " threads, " << threadsAfterFirst << " after the first cycle";
}

} // namespace
} // namespace kvtest
