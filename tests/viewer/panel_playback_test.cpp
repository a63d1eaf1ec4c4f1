// Playback against the camera emulator: the kind from util.cgi, the frame-rate address, a
// busy camera, restarts after failures and their waits, StopPlay, the run numbers that keep
// stale results from restarting anything, the record file, and window destruction.
#include "viewer_test_support.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "core/timings.h"
#include "platform/ui/posted_message.h"
#include "platform/ui/qt_frame_sink.h"
#include "stream/result_code.h"
#include "viewer/panel/viewer_panel.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

class PanelPlayback : public PanelFixture {};

TEST_F(PanelPlayback, KindAndAudioComeFromUtilCgi)
{
    StartCamera({"--kind", "mpeg", "--audio", "on"});
    PlayUntilLaidOut("jpeg", 2);
    EXPECT_EQ(panel->FrameType(), "mpeg");
    EXPECT_EQ(panel->Audio(), "on");
    EXPECT_TRUE(workers->asfPlayer.IsStarted());
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());
    EXPECT_EQ(RequestCount("/img/video.asf"), 1);
    EXPECT_TRUE(Visible(IDC_BUTTON_SPEAKER));
    EXPECT_TRUE(Visible(IDC_SLIDER_VOLUME));
    EXPECT_FALSE(Visible(IDC_COMBO_FRAMERATE));
    EXPECT_FALSE(Visible(IDC_STATIC_FRAMERATE));
}

TEST_F(PanelPlayback, AnswerWithoutSeparatorSelectsMotionJpegWithoutAudio)
{
    StartCamera({"--kind", "mpeg", "--audio", "on", "--util-answer", "mpeg"});
    PlayUntilLaidOut("mpeg");
    EXPECT_EQ(panel->FrameType(), "");
    EXPECT_EQ(panel->Audio(), "");
    EXPECT_TRUE(workers->mjpegPlayer.IsStarted());
    EXPECT_FALSE(workers->asfPlayer.IsStarted());
    EXPECT_FALSE(Visible(IDC_BUTTON_SPEAKER));
    EXPECT_FALSE(Visible(IDC_SLIDER_VOLUME));
    EXPECT_TRUE(Visible(IDC_COMBO_FRAMERATE));
    // The frame-rate list holds only the rate in use.
    auto* rates = qobject_cast<QComboBox*>(C(IDC_COMBO_FRAMERATE));
    ASSERT_TRUE(rates);
    ASSERT_EQ(rates->count(), 1);
    EXPECT_EQ(rates->currentText().toStdString(), "15 fps");
}

TEST_F(PanelPlayback, FrameRateBecomesTheStreamQuery)
{
    StartCamera();
    panel->Create(host.get());
    for (const auto& [rate, query] : std::vector<std::pair<std::string, std::string>>{
             {"5", "Speed=5"}, {"Fast", "Speed=Fast"}, {"", "Speed="}}) {
        cam->ClearRequests();
        ASSERT_TRUE(SetSource("jpeg", "on", rate));
        panel->StartPlay(0, "");
        const auto request = cam->WaitForRequest("/img/mjpeg.cgi");
        ASSERT_TRUE(request) << rate;
        EXPECT_EQ(request->query, query) << rate;
        panel->StopPlay();
    }
}

TEST_F(PanelPlayback, TimeLabelShowsTheFrameText)
{
    StartCamera({"--clock-start", "2026/01/01 12:00:00"});
    PlayUntilLaidOut();
    ASSERT_TRUE(WaitUntil([&] { return TextOf(C(IDC_STATIC_TIME)).rfind("2026/01/01 12:00", 0) == 0; }, 4000))
        << TextOf(C(IDC_STATIC_TIME));
}

TEST_F(PanelPlayback, RestartOffersControlAgain)
{
    StartCamera();
    PlayUntilLaidOut();
    // What holding control shows (set by exclusive control) goes with a restart.
    C(IDC_STATIC_CONTROL_ICON)->show();
    C(IDC_BUTTON_PANTILT)->show();
    C(IDC_BUTTON_CONTROL)->hide();
    const int run = panel->CurrentRun();
    workers->mjpegDisplay.Exit(kv::kResultMalformed);
    ASSERT_TRUE(WaitUntil([&] { return panel->CurrentRun() != run && Visible(IDC_BUTTON_CONTROL); }));
    EXPECT_FALSE(Visible(IDC_STATIC_CONTROL_ICON));
    EXPECT_FALSE(Visible(IDC_BUTTON_PANTILT));
    EXPECT_FALSE(panel->ControlHeld());
}

TEST_F(PanelPlayback, StartPlayDuringPlaybackDoesNothing)
{
    StartCamera();
    PlayUntilLaidOut();
    const int run = panel->CurrentRun();
    panel->StartPlay(1, "/tmp/ignored.asf");
    EXPECT_EQ(panel->CurrentRun(), run);
    EXPECT_EQ(RequestCount("/img/mjpeg.cgi"), 1);
    EXPECT_EQ(panel->RecordFilename(), "");
}

TEST_F(PanelPlayback, BusyCameraLeavesOnlyTheBigMessage)
{
    StartCamera({"--fault", "busy,path=/img/"});  // the stream only; probes answer
    panel->Create(host.get());
    ASSERT_TRUE(SetSource());
    panel->StartPlay(0, "");
    ASSERT_TRUE(WaitUntil([&] { return Visible(IDC_STATIC_BIGMESSAGE); }));
    EXPECT_EQ(TextOf(C(IDC_STATIC_BIGMESSAGE)), "Can not connect");
    EXPECT_EQ(C(IDC_STATIC_BIGMESSAGE)->geometry(), QRect(0, 0, 870, 600));
    for (int id : {201, 202, 203, 204, 205, 206, 208, 210, 211, 212, 213, 229, 231, 232, 233})
        EXPECT_FALSE(Visible(id)) << id;
    EXPECT_TRUE(panel->BezelCleared());
    EXPECT_FALSE(panel->Reconnecting());
    Pump(200);
    EXPECT_EQ(RequestCount("/img/mjpeg.cgi"), 1);  // no restart

    // The started flag stays until StopPlay.
    EXPECT_TRUE(workers->mjpegPlayer.IsStarted());
    EXPECT_FALSE(SetSource());
    panel->StopPlay();
    cam->ClearFault();
    EXPECT_TRUE(SetSource());
    EXPECT_FALSE(Visible(IDC_STATIC_BIGMESSAGE));
    panel->StartPlay(0, "");
    WaitForLayout();
    EXPECT_FALSE(Visible(IDC_STATIC_BIGMESSAGE));
    EXPECT_FALSE(panel->BezelCleared());
}

TEST_F(PanelPlayback, ClosedStreamRestartsAndSaysSoUntilAPictureArrives)
{
    StartCamera();
    PlayUntilLaidOut();
    const int firstRun = panel->CurrentRun();
    // The running stream and the next three connections die before a picture.
    workers->mjpegDisplay.presentOnStart = false;
    ASSERT_TRUE(cam->SetFault("close_mid&after_bytes=10&path=/img/&count=3"));
    ASSERT_TRUE(WaitUntil([&] { return panel->Reconnecting(); }));
    // Failures in a row wait longer each time.
    ASSERT_TRUE(WaitUntil([&] { return panel->FailedRuns() >= 3; }, 10000));
    EXPECT_TRUE(panel->Reconnecting());
    workers->mjpegDisplay.presentOnStart = true;
    // The fault is used up: pictures come back, and with them the normal view.
    ASSERT_TRUE(WaitUntil([&] { return !panel->Reconnecting(); }, 10000));
    EXPECT_EQ(panel->FailedRuns(), 0);
    EXPECT_GT(panel->CurrentRun(), firstRun);
    EXPECT_GE(RequestCount("/img/mjpeg.cgi"), 4);
    EXPECT_EQ(RequestCount("/util/util.cgi"), RequestCount("/img/mjpeg.cgi"));
}

TEST_F(PanelPlayback, StalledStreamRestarts)
{
    StartCamera();
    PlayUntilLaidOut();
    const int firstRun = panel->CurrentRun();
    ASSERT_TRUE(cam->SetFault("stall_mid&after_bytes=30000&path=/img/&count=1"));
    // The read limit (shortened) ends the stalled run; the panel connects again.
    ASSERT_TRUE(WaitUntil([&] { return RequestCount("/img/mjpeg.cgi") >= 2; }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return panel->CurrentRun() > firstRun && !panel->Reconnecting(); }, 10000));
    EXPECT_TRUE(workers->mjpegPlayer.IsStarted());
}

TEST_F(PanelPlayback, OneRestartPerFailedRun)
{
    StartCamera();
    PlayUntilLaidOut();
    const int run = panel->CurrentRun();
    // Both workers of the run report; only the first report restarts.
    workers->mjpegDisplay.Exit(kv::kResultMalformed);
    workers->mjpegDisplay.Exit(kv::kResultReadFailed);
    ASSERT_TRUE(WaitUntil([&] { return panel->CurrentRun() != run && !panel->Reconnecting(); }));
    Pump(300);
    EXPECT_EQ(RequestCount("/util/util.cgi"), 2);
    EXPECT_EQ(RequestCount("/img/mjpeg.cgi"), 2);
}

TEST_F(PanelPlayback, ResultsAfterStopPlayAreIgnored)
{
    StartCamera();
    PlayUntilLaidOut();
    const int run = panel->CurrentRun();
    // A failure reported while StopPlay holds the window thread is handled after it.
    workers->mjpegDisplay.Exit(kv::kResultMalformed);
    panel->StopPlay();
    Pump(300);
    EXPECT_EQ(RequestCount("/util/util.cgi"), 1);
    EXPECT_TRUE(workers->mjpegPlayer.IsFinished());
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());
    EXPECT_FALSE(panel->Reconnecting());

    // So is any later report of that run, or one without a run.
    kv::ui::PostMessageTo(panel.get(), kv::WM_PLAYER_RESULT, kv::kResultReadFailed, run);
    kv::ui::PostMessageTo(panel.get(), kv::WM_PLAYER_RESULT, kv::kResultReadFailed, 0);
    Pump(300);
    EXPECT_EQ(RequestCount("/util/util.cgi"), 1);
    EXPECT_EQ(panel->CurrentRun(), 0);
}

TEST_F(PanelPlayback, StopPlayEndsWithinItsLimitsAndAllowsANewSource)
{
    StartCamera({"--kind", "mpeg", "--audio", "on"});
    PlayUntilLaidOut();
    QElapsedTimer clock;
    clock.start();
    panel->StopPlay();
    // The pause and the player's own stop, far below the player limit of the table.
    EXPECT_LT(clock.elapsed(), kv::ModuleTimings().playerStopMs.load());
    EXPECT_TRUE(workers->asfPlayer.IsFinished());
    EXPECT_FALSE(workers->asfPlayer.IsStarted());
    EXPECT_FALSE(workers->audioPlayer.IsInitialised());
    EXPECT_TRUE(SetSource());
    panel->StartPlay(0, "");
    WaitForLayout();
}

TEST_F(PanelPlayback, RecordFileMustBeARegularFile)
{
    StartCamera({"--kind", "mpeg"});
    const auto dir = std::filesystem::temp_directory_path() / ("kv-panel-rec-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "adir");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    panel->Create(host.get());

    // A pipe would hold the player in its open for good; a directory cannot be written.
    for (const std::string name : {"pipe", "adir"}) {
        ASSERT_TRUE(SetSource());
        panel->StartPlay(1, (dir / name).string());
        WaitForLayout();
        EXPECT_EQ(panel->RecordFilename(), (dir / name).string());  // kept as given
        panel->StopPlay();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "adir"));

    // A regular file receives the stream, header first.
    ASSERT_TRUE(SetSource());
    const auto file = dir / "clip.asf";
    panel->StartPlay(1, file.string());
    WaitForLayout();
    panel->StopPlay();
    std::ifstream in(file, std::ios::binary);
    unsigned char guid[4] = {};
    in.read(reinterpret_cast<char*>(guid), 4);
    EXPECT_EQ(guid[0], 0x30);
    EXPECT_EQ(guid[1], 0x26);
    std::filesystem::remove_all(dir);
}

TEST_F(PanelPlayback, DestroyingTheWindowStopsPlayback)
{
    StartCamera();
    PlayUntilLaidOut();
    ASSERT_TRUE(workers->mjpegPlayer.IsStarted());
    panel->DestroyWindow();
    EXPECT_FALSE(panel->HasWindow());
    EXPECT_TRUE(workers->mjpegPlayer.IsFinished());
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());
    EXPECT_EQ(panel->Control(IDC_STATIC_TIME), nullptr);
    EXPECT_FALSE(workers->mjpegDisplay.HasSink());  // nothing draws into a panel without a window
    // A new window plays again by itself: the source is still set.
    panel->Create(host.get());
    WaitForLayout();
    EXPECT_EQ(RequestCount("/img/mjpeg.cgi"), 2);
}

TEST_F(PanelPlayback, FrameSinkOutlivesThePanelWhileItsDisplayWorkerStillRuns)
{
    StartCamera();
    PlayUntilLaidOut();
    workers->mjpegDisplay.ignoreStop = true;
    QPointer<kv::ui::CQtFrameSink> kept(&panel->FrameSink());
    panel.reset();
    ASSERT_FALSE(kept.isNull());
    // The worker may still hand it a picture, which goes nowhere.
    workers->mjpegDisplay.SetSink(kept.data());
    workers->mjpegDisplay.Present();
    EXPECT_TRUE(kept->HasFrame());
    workers->mjpegDisplay.SetSink(nullptr);

    // With a worker that ends when asked, the sink goes with its panel.
    workers->mjpegDisplay.ignoreStop = false;
    panel = std::make_unique<CViewerPanel>(workers->Workers());
    PlayUntilLaidOut();
    QPointer<kv::ui::CQtFrameSink> gone(&panel->FrameSink());
    panel.reset();
    EXPECT_TRUE(gone.isNull());
}

} // namespace
} // namespace kvtest
