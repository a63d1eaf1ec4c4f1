// The commands through the real panel against the camera emulator: its request log shows
// what the viewer sent, in order. Exclusive control in every state (the countdowns second by
// second), the pad opened from the panel, presets, area zoom, the frame-rate list and a
// frame-rate change. Capture is in the live tests, with real pictures.
#include "viewer/viewer_test_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QPointer>
#include <QTest>

#include "core/timings.h"
#include "viewer/commands/command_urls.h"
#include "viewer/commands/exclusive_control.h"
#include "viewer/commands/pan_tilt_dlg.h"
#include "viewer/panel/viewer_panel.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

constexpr int kNoTick = 3600 * 1000;  // countdown timers that never fire by themselves

class PanelCommands : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        // The countdowns are driven tick by tick unless a test wants the real timers.
        kv::ModuleTimings().controlTickMs = kNoTick;
    }

    QComboBox* List(int id) const { return qobject_cast<QComboBox*>(C(id)); }
    std::string Message() const { return TextOf(C(IDC_STATIC_MESSAGE)); }
    QRect MessagePlace() const { return C(IDC_STATIC_MESSAGE)->geometry(); }

    void Click(int id) const
    {
        auto* button = qobject_cast<QAbstractButton*>(C(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    void ClickVideo(int x, int y) const { QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(x, y)); }
    void Tick(int id) const { panel->OnTimer(id); }

    // The user picks an item of a list.
    void Choose(int id, int index) const
    {
        QComboBox* list = List(id);
        ASSERT_NE(list, nullptr);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    std::vector<std::string> Items(int id) const
    {
        std::vector<std::string> items;
        if (QComboBox* list = List(id))
            for (int i = 0; i < list->count(); ++i)
                items.push_back(list->itemText(i).toStdString());
        return items;
    }

    std::vector<std::string> Queries(const std::string& path) const
    {
        std::vector<std::string> queries;
        for (const camsim::RequestRecord& r : cam->RequestsTo(path))
            queries.push_back(r.query);
        return queries;
    }
    std::vector<std::string> AreaZooms() const
    {
        std::vector<std::string> zooms;
        for (const std::string& q : Queries("/command/ptzf.cgi"))
            if (q.rfind("AreaZoom=", 0) == 0)
                zooms.push_back(q);
        return zooms;
    }

    // What each state of exclusive control shows.
    void ExpectIdle() const
    {
        EXPECT_FALSE(panel->ControlHeld());
        EXPECT_TRUE(Visible(IDC_BUTTON_CONTROL));
        for (int id : {IDC_BUTTON_PANTILT, IDC_COMBO_PRESET, IDC_STATIC_PRESET, IDC_STATIC_CONTROL_ICON})
            EXPECT_FALSE(Visible(id)) << id;
    }
    void ExpectHeld(bool presets) const
    {
        EXPECT_TRUE(panel->ControlHeld());
        EXPECT_TRUE(Visible(IDC_BUTTON_PANTILT));
        EXPECT_TRUE(Visible(IDC_STATIC_CONTROL_ICON));
        EXPECT_FALSE(Visible(IDC_BUTTON_CONTROL));
        EXPECT_EQ(Visible(IDC_COMBO_PRESET), presets);
        EXPECT_EQ(Visible(IDC_STATIC_PRESET), presets);
    }
};

TEST_F(PanelCommands, ModeOffGivesOpenEndedControl)
{
    StartCamera();
    PlayUntilLaidOut();
    ExpectIdle();
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(Queries("/command/ptzf.cgi").back(), "Inquiry");
    ExpectHeld(false);
    EXPECT_FALSE(panel->TimerRunning(TIMER_WAIT));
    EXPECT_FALSE(panel->TimerRunning(TIMER_REMAIN));
    EXPECT_EQ(panel->ExclusiveControl().m_sExclusiveMode, "Off");
    EXPECT_EQ(Message(), "");
}

TEST_F(PanelCommands, TimedControlWithPresetsCountsDownAndEnds)
{
    StartCamera({"--exclusive", "on", "--remain", "30", "--waiting", "0", "--preset", "1:Gate", "--preset", "3:Hall"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    ExpectHeld(true);
    EXPECT_EQ(Items(IDC_COMBO_PRESET), (std::vector<std::string>{"Gate", "Hall"}));
    EXPECT_EQ(panel->ExclusiveControl().m_presetNumbers, (std::vector<std::string>{"1", "3"}));
    EXPECT_TRUE(panel->TimerRunning(TIMER_REMAIN));

    // Choosing a preset calls it by its number.
    Choose(IDC_COMBO_PRESET, 1);
    EXPECT_EQ(Queries("/command/presetposition.cgi"), (std::vector<std::string>{"PresetCall=3,10"}));

    // Over the video the control cursor shows while control is held.
    QTest::mouseMove(panel.get(), QPoint(400, 200));
    EXPECT_EQ(panel->cursor().shape(), Qt::BitmapCursor);
    QTest::mouseMove(panel.get(), QPoint(100, 600));
    EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(panel.get(), QPoint(400, 200));

    for (int shown = 30; shown >= 0; --shown) {
        Tick(TIMER_REMAIN);
        if (shown > 0) {
            EXPECT_EQ(Message(), std::to_string(shown));
            EXPECT_EQ(MessagePlace(), QRect(140, 237, 75, 33));
            EXPECT_TRUE(panel->ControlHeld());
        }
    }
    // The tick that showed 0 also ended control.
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(MessagePlace(), QRect(15, 329, 120, 36));
    ExpectIdle();
    EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(panel->TimerRunning(TIMER_REMAIN));
}

TEST_F(PanelCommands, WaitThenTimedControlTickByTick)
{
    StartCamera({"--exclusive", "on", "--remain", "20", "--waiting", "5"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    // Waiting: no control, no icon, no Control button.
    EXPECT_FALSE(panel->ControlHeld());
    EXPECT_FALSE(Visible(IDC_STATIC_CONTROL_ICON));
    EXPECT_FALSE(Visible(IDC_BUTTON_CONTROL));
    EXPECT_FALSE(Visible(IDC_BUTTON_PANTILT));
    EXPECT_TRUE(panel->TimerRunning(TIMER_WAIT));

    for (int shown = 5; shown >= 1; --shown) {
        Tick(TIMER_WAIT);
        EXPECT_EQ(Message(), "Please wait for " + std::to_string(shown) + " sec");
        EXPECT_EQ(MessagePlace(), QRect(15, 237, 120, 36));
        EXPECT_FALSE(panel->ControlHeld()) << shown;
    }
    // The sixth tick sets "0", clears it and grants control; the end of a wait shows the
    // preset list whether or not the camera described any preset.
    Tick(TIMER_WAIT);
    EXPECT_EQ(Message(), "");
    ExpectHeld(true);
    EXPECT_FALSE(panel->TimerRunning(TIMER_WAIT));
    EXPECT_TRUE(panel->TimerRunning(TIMER_REMAIN));

    int ticks = 0;
    while (panel->ControlHeld() && ticks < 30) {
        Tick(TIMER_REMAIN);
        ++ticks;
        if (panel->ControlHeld()) {
            EXPECT_EQ(Message(), std::to_string(21 - ticks));
        }
    }
    EXPECT_EQ(ticks, 21);  // 20 ... 0, and control ends on the tick that shows 0
    ExpectIdle();
}

TEST_F(PanelCommands, CountdownsStandHigherForMpeg4)
{
    StartCamera({"--kind", "mpeg", "--exclusive", "on", "--remain", "1", "--waiting", "1"});
    PlayUntilLaidOut("mpeg");
    Click(IDC_BUTTON_CONTROL);
    Tick(TIMER_WAIT);
    EXPECT_EQ(MessagePlace(), QRect(15, 184, 120, 36));
    Tick(TIMER_WAIT);
    Tick(TIMER_REMAIN);
    EXPECT_EQ(MessagePlace(), QRect(140, 184, 75, 33));
    Tick(TIMER_REMAIN);
    EXPECT_EQ(MessagePlace(), QRect(15, 276, 120, 36));
    ExpectIdle();
}

TEST_F(PanelCommands, CountdownsRunOnThePanelsTimers)
{
    kv::ModuleTimings().controlTickMs = 10;
    StartCamera({"--exclusive", "on", "--remain", "2", "--waiting", "2"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    ASSERT_TRUE(WaitUntil([&] { return panel->ControlHeld(); }));
    ASSERT_TRUE(WaitUntil([&] { return !panel->ControlHeld() && Visible(IDC_BUTTON_CONTROL); }));
    EXPECT_FALSE(panel->TimerRunning(TIMER_WAIT));
    EXPECT_FALSE(panel->TimerRunning(TIMER_REMAIN));
}

TEST_F(PanelCommands, AnswersOutOfTheUsualShape)
{
    StartCamera();
    PlayUntilLaidOut();

    // An empty description ("Preset Description2:" and the line end) still takes a place.
    ASSERT_TRUE(cam->Control("inquiry_answer=Exclusive%20Mode:%20Off%0D%0APreset%20Description1:%20Gate%0D%0A"
                             "Preset%20Description2:%0D%0APreset%20Description3:%20Hall%0D%0A"));
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(Items(IDC_COMBO_PRESET), (std::vector<std::string>{"Gate", "", "Hall"}));
    Choose(IDC_COMBO_PRESET, 1);
    EXPECT_EQ(Queries("/command/presetposition.cgi").back(), "PresetCall=2,10");

    // Lines out of order: the value after the mode is read as the remaining time.
    ASSERT_TRUE(cam->Control("inquiry_answer=Exclusive%20Mode:%20On%0D%0AWaiting%20Time:%207%0D%0A"
                             "Remain%20Time:%2030%0D%0A"));
    C(IDC_BUTTON_CONTROL)->show();  // a new Control click is possible only while it shows
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(panel->ExclusiveControl().m_nRemainTime, 7);
    EXPECT_EQ(panel->ExclusiveControl().m_nWaitingTime, 0);
    EXPECT_TRUE(panel->TimerRunning(TIMER_REMAIN));
    Tick(TIMER_REMAIN);
    EXPECT_EQ(Message(), "7");
}

TEST_F(PanelCommands, RefusalsShowWhyAndKeepTheControlButton)
{
    StartCamera({"--inquiry", "max_user"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(Message(), "After a while,\nplease access again.");
    ExpectIdle();

    ASSERT_TRUE(cam->Control("inquiry=access_deny"));
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(Message(), "This user doesn't have control right.");
    ExpectIdle();
}

TEST_F(PanelCommands, PasswordAskedAgainWhenTheInquiryIsRefused)
{
    StartCamera({"--user", "admin:secret:control"});
    PasswordAnswers answers({{"admin", "secret"}, {"admin", "secret"}});
    PlayUntilLaidOut();
    ASSERT_EQ(answers.Answered(), 1);
    cam->ClearRequests();
    ASSERT_TRUE(cam->SetFault("unauthorized&path=/command/ptzf.cgi&count=1"));
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(answers.Answered(), 2);
    EXPECT_EQ(Queries("/command/ptzf.cgi"), (std::vector<std::string>{"Inquiry", "ptauth", "Inquiry"}));
    ExpectHeld(false);
}

TEST_F(PanelCommands, ThirdWrongPasswordShowsProtectedAndKeepsTheAcceptedCredentials)
{
    StartCamera({"--user", "admin:secret:control"});
    PasswordAnswers answers({{"admin", "secret"}, {"eve", "x"}, {"eve", "y"}, {"eve", "z"}});
    PlayUntilLaidOut();
    cam->ClearRequests();
    ASSERT_TRUE(cam->SetFault("unauthorized&path=/command/ptzf.cgi&count=1"));
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(answers.Answered(), 4);
    EXPECT_EQ(Message(), "Protected object. This object is protected.");
    ExpectIdle();
    // The refused entry is not adopted: later commands and logins still work.
    EXPECT_EQ(panel->User(), "admin");
    EXPECT_EQ(panel->Password(), "secret");
    const auto log = cam->RequestsTo("/command/ptzf.cgi");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log.back().query, "Inquiry");
    EXPECT_EQ(log.back().user, "eve");
}

TEST_F(PanelCommands, PadFromThePanelSendsEveryButtonInOrder)
{
    StartCamera();
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    Click(IDC_BUTTON_PANTILT);
    QPointer<CPanTiltDlg> pad = panel->PanTiltDlg();
    ASSERT_TRUE(pad);
    EXPECT_TRUE(pad->isVisible());
    EXPECT_EQ(pad->RemainTime(), CPanTiltDlg::kNoRemainTime);
    EXPECT_FALSE(pad->RemainTimerRunning());

    cam->ClearRequests();
    std::vector<std::string> expected;
    const std::pair<int, const char*> directions[] = {
        {IDC_PT_UP, "up"},     {IDC_PT_UP_RIGHT, "up-right"},   {IDC_PT_RIGHT, "right"}, {IDC_PT_DOWN_RIGHT, "down-right"},
        {IDC_PT_DOWN, "down"}, {IDC_PT_DOWN_LEFT, "down-left"}, {IDC_PT_LEFT, "left"},   {IDC_PT_UP_LEFT, "up-left"}};
    for (const auto& [id, name] : directions) {
        QTest::mousePress(pad->Button(id), Qt::LeftButton);
        QTest::mouseRelease(pad->Button(id), Qt::LeftButton);
        expected.push_back(std::string("Move=") + name + ",10");
        expected.push_back("Move=stop,motor");
    }
    QTest::mousePress(pad->Button(IDC_PT_HOME), Qt::LeftButton);
    QTest::mouseRelease(pad->Button(IDC_PT_HOME), Qt::LeftButton);
    pad->FlushCommands();
    EXPECT_EQ(Queries("/command/ptzf.cgi"), expected);
    EXPECT_EQ(Queries("/command/presetposition.cgi"), (std::vector<std::string>{"PresetCall=0,10"}));

    // A second Pan/Tilt click replaces the pad; StopPlay takes the new one away.
    Click(IDC_BUTTON_PANTILT);
    EXPECT_FALSE(pad);
    QPointer<CPanTiltDlg> second = panel->PanTiltDlg();
    ASSERT_TRUE(second);
    panel->StopPlay();
    EXPECT_FALSE(second);
    EXPECT_EQ(panel->PanTiltDlg(), nullptr);
}

TEST_F(PanelCommands, PadCountsDownTheTimedControlLeft)
{
    StartCamera({"--exclusive", "on", "--remain", "30"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    Tick(TIMER_REMAIN);
    Tick(TIMER_REMAIN);
    Click(IDC_BUTTON_PANTILT);
    CPanTiltDlg* pad = panel->PanTiltDlg();
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(pad->RemainTime(), 28);
    EXPECT_TRUE(pad->RemainTimerRunning());
    EXPECT_EQ(pad->Color(), 1);
}

TEST_F(PanelCommands, PresetListWithGapsAndWithoutChoice)
{
    StartCamera({"--preset", "2:Door", "--preset", "5:Yard"});
    PlayUntilLaidOut();
    Click(IDC_BUTTON_CONTROL);
    EXPECT_EQ(Items(IDC_COMBO_PRESET), (std::vector<std::string>{"Door", "Yard"}));
    EXPECT_EQ(List(IDC_COMBO_PRESET)->currentIndex(), -1);  // filling chooses nothing
    EXPECT_TRUE(Queries("/command/presetposition.cgi").empty());
    Choose(IDC_COMBO_PRESET, -1);  // no item: nothing is sent
    EXPECT_TRUE(Queries("/command/presetposition.cgi").empty());
    Choose(IDC_COMBO_PRESET, 1);
    EXPECT_EQ(Queries("/command/presetposition.cgi"), (std::vector<std::string>{"PresetCall=5,10"}));
}

TEST_F(PanelCommands, AreaZoomByClickNeedsControl)
{
    StartCamera();
    PlayUntilLaidOut();
    FakeDisplay& display = CurrentFake();
    display.SetPictureSize(640, 480);
    display.SetViewSize(640, 480);

    ClickVideo(625, 135);
    EXPECT_TRUE(AreaZooms().empty());  // no control yet

    Click(IDC_BUTTON_CONTROL);
    ASSERT_TRUE(panel->ControlHeld());
    ClickVideo(625, 135);
    display.SetPictureSize(320, 240);
    ClickVideo(625, 135);
    // Digital zoom on the centred half (its own click sends nothing), then a click into it.
    Click(IDC_BUTTON_ZOOM);
    ClickVideo(545, 275);
    ASSERT_TRUE(panel->Zoomed());
    ClickVideo(625, 135);
    Click(IDC_BUTTON_ZOOM);
    ClickVideo(545, 275);      // the view's centre
    ClickVideo(100, 100);      // beside the view: nothing
    display.SetPictureSize(640, 360);
    ClickVideo(545, 35);       // the vertical scale is a float: 179, not 180
    EXPECT_EQ(AreaZooms(), (std::vector<std::string>{"AreaZoom=80,140,0,0", "AreaZoom=40,70,0,0", "AreaZoom=20,35,0,0",
                                                     "AreaZoom=0,0,0,0", "AreaZoom=0,179,0,0"}));
}

TEST_F(PanelCommands, FrameRateListFollowsTheCamerasMaximum)
{
    StartCamera();
    PlayUntilLaidOut();
    auto* rates = List(IDC_COMBO_FRAMERATE);
    ASSERT_NE(rates, nullptr);
    ASSERT_TRUE(Visible(IDC_COMBO_FRAMERATE));
    const struct {
        const char* answer;  // URL-encoded
        std::vector<std::string> items;
    } cases[] = {
        {"jpeg%3Boff%3B15%0A", {"15 fps", "10 fps", "8 fps", "6 fps", "5 fps", "4 fps", "3 fps", "2 fps", "1 fps"}},
        {"jpeg%3Boff%3B12%0A", {}},
        {"jpeg%3Boff%3B30", {"3 fps", "2 fps", "1 fps"}},  // no closing character: a digit goes
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(cam->Control(std::string("util_answer=") + c.answer));
        const std::size_t queries = Queries("/util/util.cgi").size();
        rates->showPopup();
        rates->hidePopup();
        EXPECT_EQ(Queries("/util/util.cgi").size(), queries + 1) << c.answer;
        EXPECT_EQ(Items(IDC_COMBO_FRAMERATE), c.items) << c.answer;
    }
    // The rate in use stays marked when the camera still offers it.
    ASSERT_TRUE(cam->Control("util_answer=jpeg%3Boff%3B15%0A"));
    rates->showPopup();
    rates->hidePopup();
    EXPECT_EQ(rates->currentText().toStdString(), "15 fps");
}

TEST_F(PanelCommands, FrameRateChangeReconnectsWithTheNewSpeed)
{
    StartCamera();
    PlayUntilLaidOut();
    ASSERT_TRUE(cam->WaitForRequest("/img/mjpeg.cgi", "Speed=15"));
    auto* rates = List(IDC_COMBO_FRAMERATE);
    rates->showPopup();
    rates->hidePopup();
    const int five = rates->findText(QStringLiteral("5 fps"));
    ASSERT_GE(five, 0);
    const int run = panel->CurrentRun();
    Choose(IDC_COMBO_FRAMERATE, five);
    EXPECT_EQ(panel->FrameRate(), "5 fps");
    ASSERT_TRUE(WaitUntil([&] { return panel->CurrentRun() != run; }, 10000));
    EXPECT_TRUE(cam->WaitForRequest("/img/mjpeg.cgi", "Speed=5"));
    WaitForLayout();
    ASSERT_TRUE(WaitUntil([&] { return rates->count() == 1 && rates->currentText() == QStringLiteral("5 fps"); }));
}

} // namespace
} // namespace kvtest
