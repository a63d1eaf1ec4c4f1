// SetSource against the camera emulator: the accepted source, the failure table, the
// password dialog, the busy case, and a source given before the window exists.
#include "viewer_test_support.h"

#include <QLabel>

#include "net/loopback_server.h"
#include "viewer/panel/viewer_panel.h"

namespace kvtest {
namespace {

using kv::viewer::IDC_STATIC_BIGMESSAGE;

class PanelSource : public PanelFixture {
protected:
    std::string BigMessage() const
    {
        return Visible(IDC_STATIC_BIGMESSAGE) ? TextOf(C(IDC_STATIC_BIGMESSAGE)) : std::string();
    }
};

TEST_F(PanelSource, AcceptedSourceGivesThePlayersTheirAddresses)
{
    StartCamera();
    panel->Create(host.get());
    EXPECT_TRUE(SetSource("jpeg", "on", "15", 2, 1));
    EXPECT_TRUE(panel->SourceOk());
    EXPECT_EQ(BigMessage(), "");
    const std::string base = cam->BaseUrl();
    EXPECT_EQ(panel->PtzfUrl(), base + "command/ptzf.cgi");
    EXPECT_EQ(panel->UtilUrl(), base + "util/util.cgi");
    EXPECT_EQ(workers->mjpegPlayer.Url(), base + "img/mjpeg.cgi");
    EXPECT_EQ(workers->asfPlayer.Url(), base + "img/video.asf");
    EXPECT_EQ(panel->FrameRate(), "15 fps");
    EXPECT_EQ(panel->PanTilt(), "on");

    // One probe, without credentials.
    const auto probes = cam->RequestsTo("/command/ptzf.cgi");
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0].query, "ptauth");
    EXPECT_EQ(probes[0].user, "");
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());  // playback waits for StartPlay
}

TEST_F(PanelSource, UnreachableCameraSaysCanNotConnectAndKeepsPlaybackOff)
{
    panel->Create(host.get());
    // Nothing listens on this port once the server is gone.
    int port = 0;
    {
        kv::test::LoopbackServer server;
        server.Start();
        port = server.Port();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/img/mjpeg.cgi";
    EXPECT_TRUE(panel->SetSource(url, "jpeg", "on", "15", 1, 1));
    EXPECT_FALSE(panel->SourceOk());
    EXPECT_EQ(BigMessage(), "Can not connect.");
    panel->StartPlay(0, "");
    panel->StopPlay();
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());
    EXPECT_FALSE(workers->asfPlayer.IsStarted());
}

TEST_F(PanelSource, EmptyProbeAnswerIsAccepted)
{
    kv::test::LoopbackServer server;
    server.Http().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "text/plain");
    });
    server.Start();
    panel->Create(host.get());
    EXPECT_TRUE(panel->SetSource(server.Url("/img/mjpeg.cgi"), "jpeg", "on", "15", 1, 1));
    EXPECT_TRUE(panel->SourceOk());
    EXPECT_EQ(BigMessage(), "");
}

TEST_F(PanelSource, PasswordDialogOutcomes)
{
    StartCamera({"--user", "admin:secret:control", "--user", "guest:guest"});
    panel->Create(host.get());

    {  // right at once, with control rights: Pan/Tilt stays on
        PasswordAnswers answers({{"admin", "secret"}});
        EXPECT_TRUE(SetSource("jpeg", "on"));
        EXPECT_EQ(answers.Answered(), 1);
        EXPECT_TRUE(panel->SourceOk());
        EXPECT_EQ(panel->User(), "admin");
        EXPECT_EQ(panel->Password(), "secret");
        EXPECT_EQ(panel->PanTilt(), "on");
        EXPECT_EQ(workers->mjpegPlayer.Url(), cam->Url("img/mjpeg.cgi"));
    }
    {  // a user without control rights: Pan/Tilt turns off
        PasswordAnswers answers({{"guest", "guest"}});
        EXPECT_TRUE(SetSource("jpeg", "on"));
        EXPECT_TRUE(panel->SourceOk());
        EXPECT_EQ(panel->PanTilt(), "off");
    }
    {  // two wrong entries, then the right one: accepted
        PasswordAnswers answers({{"admin", "wrong"}, {"nobody", "x"}, {"admin", "secret"}});
        EXPECT_TRUE(SetSource("jpeg", "off"));
        EXPECT_EQ(answers.Answered(), 3);
        EXPECT_TRUE(panel->SourceOk());
        EXPECT_EQ(panel->User(), "admin");
        EXPECT_EQ(panel->PanTilt(), "off");
    }
    {  // cancel
        PasswordAnswers answers({{"", "", true}});
        EXPECT_TRUE(SetSource());
        EXPECT_FALSE(panel->SourceOk());
        EXPECT_EQ(BigMessage(), "Protected object. This object is protected.");
    }
    {  // three failures close the dialog and count as a refusal
        PasswordAnswers answers({{"a", "1"}, {"b", "2"}, {"c", "3"}});
        EXPECT_TRUE(SetSource());
        EXPECT_EQ(answers.Answered(), 3);
        EXPECT_FALSE(panel->SourceOk());
        EXPECT_EQ(BigMessage(), "Protected object. This object is protected.");
    }
    {  // a later success hides the message again
        PasswordAnswers answers({{"admin", "secret"}});
        EXPECT_TRUE(SetSource());
        EXPECT_TRUE(panel->SourceOk());
        EXPECT_EQ(BigMessage(), "");
    }
}

TEST_F(PanelSource, BusyWhileEitherPlayerIsStartedAndAcceptedAfterStopPlay)
{
    StartCamera({"--kind", "mpeg"});
    panel->Create(host.get());
    ASSERT_TRUE(SetSource("jpeg"));
    panel->StartPlay(0, "");
    // util.cgi chose MPEG-4 although the page named Motion-JPEG.
    ASSERT_TRUE(workers->asfPlayer.IsStarted());
    EXPECT_FALSE(workers->mjpegPlayer.IsStarted());

    const std::string ptzf = panel->PtzfUrl();
    EXPECT_FALSE(panel->SetSource("http://elsewhere.invalid/img/mjpeg.cgi", "jpeg", "off", "5", 2, 1));
    EXPECT_EQ(BigMessage(), "Can not connect");
    // Nothing was taken over from the refused call.
    EXPECT_TRUE(panel->SourceOk());
    EXPECT_EQ(panel->PtzfUrl(), ptzf);
    EXPECT_EQ(panel->FrameRate(), "15 fps");
    EXPECT_EQ(panel->FrameType(), "mpeg");

    panel->StopPlay();
    EXPECT_TRUE(workers->asfPlayer.IsFinished());
    EXPECT_FALSE(workers->asfPlayer.IsStarted());
    EXPECT_TRUE(SetSource("jpeg"));
    EXPECT_EQ(BigMessage(), "");
}

TEST_F(PanelSource, SoundSwitchNeedsAnAcceptedSourceAndSourceEndsZoom)
{
    StartCamera();
    panel->Create(host.get());
    panel->SetSoundOn(false);
    EXPECT_TRUE(workers->audioPlayer.IsSoundOn());  // no source yet: ignored

    workers->mjpegDisplay.SetZoomActive(true);
    workers->mpeg4Display.SetZoomActive(true);
    workers->audioPlayer.SetSoundOn(false);
    ASSERT_TRUE(SetSource());
    EXPECT_TRUE(workers->audioPlayer.IsSoundOn());  // a new source plays sound
    EXPECT_FALSE(workers->mjpegDisplay.ZoomActive());
    EXPECT_FALSE(workers->mpeg4Display.ZoomActive());
    panel->SetSoundOn(false);
    EXPECT_FALSE(workers->audioPlayer.IsSoundOn());
    panel->SetSoundOn(true);
    EXPECT_TRUE(workers->audioPlayer.IsSoundOn());
}

TEST_F(PanelSource, SourceGivenBeforeTheWindowStartsPlaybackAtCreation)
{
    StartCamera();
    ASSERT_TRUE(SetSource("jpeg", "on", "5"));
    EXPECT_TRUE(panel->SourceOk());
    EXPECT_EQ(RequestCount("/util/util.cgi"), 0);  // no window: no playback yet

    panel->Create(host.get());
    EXPECT_EQ(RequestCount("/util/util.cgi"), 1);
    EXPECT_TRUE(workers->mjpegPlayer.IsStarted());
    ASSERT_TRUE(cam->WaitForRequest("/img/mjpeg.cgi", "Speed=5"));
    WaitForLayout();
}

TEST_F(PanelSource, FailureBeforeTheWindowIsShownOnceTheWindowExists)
{
    int port = 0;
    {
        kv::test::LoopbackServer server;
        server.Start();
        port = server.Port();
    }
    EXPECT_TRUE(panel->SetSource("http://127.0.0.1:" + std::to_string(port) + "/img/mjpeg.cgi", "jpeg", "on", "15", 1, 1));
    EXPECT_FALSE(panel->SourceOk());
    panel->Create(host.get());
    EXPECT_EQ(BigMessage(), "Can not connect.");
}

} // namespace
} // namespace kvtest
