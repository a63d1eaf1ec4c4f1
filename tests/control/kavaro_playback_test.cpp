// The viewer control against the camera emulator, on the module's own workers: the order of
// use the page relies on, a second control in the same process, and destruction while
// playing.
#include "control_test_support.h"

#include "audio/audio_player.h"
#include "camsim_process.h"
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"
#include "viewer/control/kavaro_ctrl.h"
#include "viewer/control/kavaro_identity.h"
#include "viewer/panel/viewer_panel.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace {

using namespace kv;
using viewer::CKavaroCtrl;

class KavaroPlayback : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::setenv("KAVARO_AUDIO", "null", 1);  // sound plays, into no device
        kvtest::App();
        camera = new camsim::CamsimProcess({"--audio", "on"});
    }
    static void TearDownTestSuite()
    {
        delete camera;
        camera = nullptr;
    }
    void SetUp() override
    {
        kvtest::ShortenTimings();
        camera->ClearRequests();
    }
    void TearDown() override { ModuleTimings().ResetToDefaults(); }

    static std::unique_ptr<CKavaroCtrl> Shown()
    {
        auto control = std::make_unique<CKavaroCtrl>();
        control->resize(control->sizeHint());
        control->show();
        return control;
    }
    static bool SetSource(CKavaroCtrl& control, const char* frameRate = "15")
    {
        return control.SetSource(QString::fromStdString(camera->Url("img/mjpeg.cgi")), QStringLiteral("jpeg"),
                                 QStringLiteral("off"), QString::fromLatin1(frameRate), 1, 1);
    }
    static bool WaitForPictures(CKavaroCtrl& control, int count = 2)
    {
        return QTest::qWaitFor(
            [&] { return control.Statistics().value(QStringLiteral("picturesPresented")).toInt() >= count; }, 10000);
    }
    static QString BigMessage(CKavaroCtrl& control)
    {
        auto* label = qobject_cast<QLabel*>(control.Panel().Control(viewer::IDC_STATIC_BIGMESSAGE));
        return label && label->isVisible() ? label->text() : QString();
    }
    static bool PlayersIdle()
    {
        return ModuleMJpegPlayer().IsFinished() && !ModuleMJpegPlayer().IsStarted() &&
               ModuleAsfPlayer().IsFinished() && !ModuleAsfPlayer().IsStarted();
    }

    static inline camsim::CamsimProcess* camera = nullptr;
};

TEST_F(KavaroPlayback, NothingPlaysOrChangesBeforeASourceWasAccepted)
{
    auto control = Shown();
    const bool soundOn = AudioPlayer().IsSoundOn();
    control->StartPlay(0, QString());
    control->StopPlayAudio();
    control->StopPlay();
    control->TestPlay();
    QTest::qWait(100);
    EXPECT_TRUE(camera->Requests().empty());
    EXPECT_EQ(AudioPlayer().IsSoundOn(), soundOn);
    EXPECT_TRUE(PlayersIdle());
}

TEST_F(KavaroPlayback, PlaysStopsAndTakesASourceAgainOnlyAfterStopPlay)
{
    auto control = Shown();
    ASSERT_TRUE(SetSource(*control));
    control->StopPlayAudio();
    EXPECT_FALSE(AudioPlayer().IsSoundOn());
    control->SetPlayAudio();
    EXPECT_TRUE(AudioPlayer().IsSoundOn());

    QVariant accepted;
    ASSERT_EQ(control->Invoke(viewer::DISPID_StartPlay, {0, QString()}), com::S_OK);
    ASSERT_TRUE(WaitForPictures(*control));
    const auto streams = camera->RequestsTo("/img/mjpeg.cgi");
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams.front().query, "Speed=15");
    control->TestPlay();  // no effect: still playing
    EXPECT_TRUE(ModuleMJpegPlayer().IsStarted());

    // A second source while playing is refused and says so.
    EXPECT_FALSE(SetSource(*control));
    EXPECT_EQ(BigMessage(*control), QStringLiteral("Can not connect"));

    control->StopPlay();
    control->StopPlay();  // the second does nothing more
    EXPECT_TRUE(PlayersIdle());
    ASSERT_EQ(control->Invoke(viewer::DISPID_SetSource,
                              {QString::fromStdString(camera->Url("img/mjpeg.cgi")), QStringLiteral("jpeg"),
                               QStringLiteral("off"), QStringLiteral("15"), 1, 1},
                              &accepted),
              com::S_OK);
    EXPECT_EQ(accepted, QVariant(true));
    control->StopPlay();
}

TEST_F(KavaroPlayback, ASourceGivenBeforeTheWindowStartsPlaybackOnCreation)
{
    CKavaroCtrl control;
    ASSERT_TRUE(SetSource(control));
    QTest::qWait(50);
    EXPECT_TRUE(camera->RequestsTo("/img/mjpeg.cgi").empty());
    control.resize(control.sizeHint());
    control.show();
    EXPECT_TRUE(WaitForPictures(control));
    control.StopPlay();
}

TEST_F(KavaroPlayback, ASecondControlInTheProcessIsRefusedWhileTheFirstPlays)
{
    auto first = Shown();
    auto second = Shown();
    ASSERT_TRUE(SetSource(*first));
    first->StartPlay(0, QString());
    ASSERT_TRUE(WaitForPictures(*first));
    EXPECT_FALSE(SetSource(*second));
    EXPECT_EQ(BigMessage(*second), QStringLiteral("Can not connect"));
    // Releasing the refused control leaves the first one playing.
    second.reset();
    const int before = first->Statistics().value(QStringLiteral("picturesPresented")).toInt();
    EXPECT_TRUE(WaitForPictures(*first, before + 2));
    first->StopPlay();
}

TEST_F(KavaroPlayback, ANewControlClearsTheAudioWorkerOnlyWhenNoControlPlaysThroughIt)
{
    // Left initialised with nothing playing: a new control starts from a clear state.
    ASSERT_TRUE(AudioPlayer().StartAudio(4));
    ASSERT_TRUE(AudioPlayer().IsInitialised());
    { CKavaroCtrl fresh; }
    EXPECT_FALSE(AudioPlayer().IsInitialised());

    // While a control plays sound, another one being made takes nothing away from it.
    auto playing = Shown();
    ASSERT_TRUE(SetSource(*playing));
    playing->StartPlay(0, QString());
    ASSERT_TRUE(QTest::qWaitFor([] { return !AudioPlayer().IsFinished(); }, 10000));
    { CKavaroCtrl another; }
    EXPECT_TRUE(AudioPlayer().IsInitialised());
    const auto played = AudioPlayer().PlayedBytes();
    EXPECT_TRUE(QTest::qWaitFor([&] { return AudioPlayer().PlayedBytes() > played; }, 10000));
    playing->StopPlay();
}

TEST_F(KavaroPlayback, DestroyingThePlayingControlStopsItsWorkersFirst)
{
    auto control = Shown();
    ASSERT_TRUE(SetSource(*control));
    control->StartPlay(0, QString());
    ASSERT_TRUE(WaitForPictures(*control));
    ASSERT_TRUE(ModuleMJpegPlayer().IsStarted());
    control.reset();  // no StopPlay from the host
    EXPECT_TRUE(PlayersIdle());
    EXPECT_TRUE(ModuleMJpegDisplay().IsFinished());
    EXPECT_TRUE(AudioPlayer().IsFinished());

    // The next control of the process can take a source again.
    auto next = Shown();
    EXPECT_TRUE(SetSource(*next));
}

} // namespace
