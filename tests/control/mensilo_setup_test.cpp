// The motion-setup control against the camera emulator: a source given before the window,
// a second control in the same process, StopPlay twice, a source after StopPlay, and a
// control released with its setup still running.
#include "control_test_support.h"

#include "camsim_process.h"
#include "core/module_profile.h"
#include "core/timings.h"
#include "motion/control/mensilo_ctrl.h"
#include "motion/control/mensilo_identity.h"
#include "motion/protocol/setup_state.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <memory>

namespace {

using namespace kv;
using motion::CMensiloCtrl;
using motion::MotionSetupDialog;

class MensiloSetup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        kvtest::App();
        camera = new camsim::CamsimProcess();
    }
    static void TearDownTestSuite()
    {
        delete camera;
        camera = nullptr;
    }
    void SetUp() override
    {
        SetActiveProfileForTesting(kMensiloProfile);
        kvtest::ShortenTimings();
        camera->ClearRequests();
    }
    void TearDown() override
    {
        // The test library holds both controls on one set of module-wide players (each
        // module has its own): what a setup leaves started is not the viewer tests' business.
        ModuleMJpegPlayer().ClearStartedFlag();
        ModuleAsfPlayer().ClearStartedFlag();
        ModuleTimings().ResetToDefaults();
        SetActiveProfileForTesting(kKavaroProfile);
    }

    static std::unique_ptr<CMensiloCtrl> Shown()
    {
        auto control = std::make_unique<CMensiloCtrl>();
        control->resize(control->sizeHint());
        control->show();
        return control;
    }
    static bool SetSource(CMensiloCtrl& control)
    {
        std::string base = camera->BaseUrl();
        base.pop_back();  // the control appends "/ocxparser.cgi" and the like itself
        return control.SetSource(QString::fromStdString(base), QStringLiteral("jpeg"), 1);
    }
    // Commands posted to the settings address, in order ("MOT_READ_AREA", "MOT_OCX_FREE").
    static std::vector<std::string> Commands()
    {
        std::vector<std::string> commands;
        for (const auto& request : camera->RequestsTo("/ocxparser.cgi")) {
            const auto at = request.body.find("MOT_");
            commands.push_back(at == std::string::npos ? request.body
                                                       : request.body.substr(at, request.body.find_first_of("\r\n", at) - at));
        }
        return commands;
    }
    static int Count(const std::string& command)
    {
        int n = 0;
        for (const auto& c : Commands())
            n += c == command;
        return n;
    }
    static bool WaitForSetup() { return QTest::qWaitFor([] { return motion::SetupActive(); }, 10000); }

    static inline camsim::CamsimProcess* camera = nullptr;
};

TEST_F(MensiloSetup, ASourceGivenBeforeTheWindowIsReadWhenTheDialogIsMade)
{
    CMensiloCtrl control;
    EXPECT_TRUE(SetSource(control));
    QTest::qWait(50);
    EXPECT_TRUE(Commands().empty());
    control.resize(control.sizeHint());
    control.show();
    ASSERT_TRUE(WaitForSetup());
    EXPECT_EQ(Count("MOT_READ_AREA"), 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return !camera->RequestsTo("/img/mjpeg.cgi").empty(); }, 10000));
    control.StopPlay();
    EXPECT_FALSE(motion::SetupActive());
}

TEST_F(MensiloSetup, ASecondControlIsRefusedWhileTheFirstRunsASetup)
{
    auto first = Shown();
    ASSERT_TRUE(SetSource(*first));
    ASSERT_TRUE(WaitForSetup());
    auto second = Shown();
    QVariant accepted;
    ASSERT_EQ(second->Invoke(motion::DISPID_SetSource,
                             {QString::fromStdString(camera->BaseUrl()), QStringLiteral("jpeg"), 1}, &accepted),
              com::S_OK);
    EXPECT_EQ(accepted, QVariant(false));
    auto* message = qobject_cast<QLabel*>(second->Dialog().Control(MotionSetupDialog::IDC_MESSAGE));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->text(), QStringLiteral("Can not connect !"));
    EXPECT_FALSE(second->Dialog().Control(MotionSetupDialog::IDC_PICTURE)->isVisible());
    EXPECT_EQ(Count("MOT_READ_AREA"), 1);  // only the first control's

    // Releasing the refused control leaves the first one's setup alone.
    second.reset();
    EXPECT_TRUE(motion::SetupActive());
    EXPECT_EQ(Count("MOT_OCX_FREE"), 0);
    first->StopPlay();
}

TEST_F(MensiloSetup, StopPlayEndsTheSetupOnceAndALaterSourceDoesNothingVisible)
{
    auto control = Shown();
    ASSERT_TRUE(SetSource(*control));
    ASSERT_TRUE(WaitForSetup());
    ASSERT_EQ(control->Invoke(motion::DISPID_StopPlay, {}), com::S_OK);
    EXPECT_FALSE(motion::SetupActive());
    EXPECT_FALSE(control->Dialog().HasWindow());
    EXPECT_EQ(Count("MOT_OCX_FREE"), 1);

    control->StopPlay();  // the second does nothing
    EXPECT_EQ(Count("MOT_OCX_FREE"), 1);

    camera->ClearRequests();
    EXPECT_TRUE(SetSource(*control));
    QTest::qWait(50);
    EXPECT_TRUE(Commands().empty());
    EXPECT_FALSE(control->Dialog().HasWindow());
    EXPECT_FALSE(motion::SetupActive());
}

TEST_F(MensiloSetup, ReleasingTheControlWithoutStopPlayStillEndsItsSetup)
{
    auto control = Shown();
    ASSERT_TRUE(SetSource(*control));
    ASSERT_TRUE(WaitForSetup());
    control.reset();
    EXPECT_FALSE(motion::SetupActive());
    EXPECT_EQ(Count("MOT_OCX_FREE"), 1);

    auto next = Shown();
    EXPECT_TRUE(SetSource(*next));
    EXPECT_TRUE(WaitForSetup());
    next->StopPlay();
}

} // namespace
