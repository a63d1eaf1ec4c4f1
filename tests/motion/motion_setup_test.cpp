// A motion setup end to end against the camera emulator: what the setup sends (checked in
// the emulator's request log), what it shows, and how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include <QCheckBox>
#include <QPointer>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QTest>

#include "motion/frames/area_frame.h"
#include "motion/protocol/setup_state.h"
#include "motion/resources/string_table.h"
#include "motion_test_support.h"
#include "platform/ui/posted_message.h"
#include "platform/ui/qt_frame_sink.h"
#include "ximage.h"

using kv::motion::AreaRect;
using kv::motion::SnapshotPicture;
using kv::motion::MotionSetupDialog;
using kv::motion::StreamKind;
using motiontest::TestSetup;

namespace {

constexpr char kReadArea[] = "COMMAND: MOT_READ_AREA\r\n\r\n";
constexpr char kReadView[] = "COMMAND: MOT_READ_VIEW\r\n\r\n";
constexpr char kRelease[] = "COMMAND: MOT_OCX_FREE\r\n\r\n";

QString Text(int id) { return QString::fromUtf8(kv::motion::LoadString(id)); }

int Count(const std::vector<std::string>& bodies, const std::string& body)
{
    return static_cast<int>(std::count(bodies.begin(), bodies.end(), body));
}

// camsim's stored windows as the area reply gives them, in the order of the save body.
std::string WindowLines(int n, int en, int thd, int sens, int x1, int y1, int x2, int y2)
{
    const std::string a = "AREA" + std::to_string(n);
    return a + "EN: " + std::to_string(en) + "\r\n" + a + "THD: " + std::to_string(thd) + "\r\n" + a +
           "SENS: " + std::to_string(sens) + "\r\n" + a + "X1: " + std::to_string(x1) + "\r\n" + a +
           "Y1: " + std::to_string(y1) + "\r\n" + a + "X2: " + std::to_string(x2) + "\r\n" + a +
           "Y2: " + std::to_string(y2) + "\r\n";
}

class MotionSetupTest : public ::testing::Test {
protected:
    void SetUp() override { motiontest::App(); }
    void TearDown() override
    {
        for (TestSetup& s : setups)
            s.dialog.reset();
        EXPECT_FALSE(kv::motion::SetupActive()) << "every setup of a test has ended";
    }

    void StartCamera(std::vector<std::string> flags = {})
    {
        cam = std::make_unique<camsim::CamsimProcess>(std::move(flags));
        base = cam->BaseUrl();
        base.pop_back();  // no trailing slash
    }

    TestSetup& NewSetup(bool create = true)
    {
        setups.push_back(motiontest::MakeSetup());
        if (create) {
            EXPECT_TRUE(setups.back()->Create(nullptr));
        }
        return setups.back();
    }

    // Everything visible except the frames, by control id.
    static std::vector<int> VisibleIds(const MotionSetupDialog& dialog)
    {
        std::vector<int> ids;
        for (int id = 1; id <= 251; ++id)
            if (motiontest::Visible(dialog, id))
                ids.push_back(id);
        return ids;
    }

    std::vector<std::string> Bodies() const { return motiontest::SettingsBodies(*cam); }

    std::unique_ptr<camsim::CamsimProcess> cam;
    std::string base;
    std::deque<TestSetup> setups;  // a deque: references stay valid as setups are added
};

} // namespace

TEST_F(MotionSetupTest, DetectionWindowsAreReadShownSavedAndReleased)
{
    StartCamera();
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 1));

    ASSERT_EQ(Bodies(), std::vector<std::string>{kReadArea});
    EXPECT_TRUE(motiontest::WaitFor([&] { return s->FrameSink()->HasFrame(); })) << "the live picture arrives";
    EXPECT_EQ(s->FrameSink()->LastDestination(), QRect(0, 0, 640, 480));
    ASSERT_EQ(s.streams->starts.size(), 1u);
    EXPECT_EQ(s.streams->starts[0].kind, StreamKind::MotionJpeg) << "exactly \"jpeg\" selects Motion-JPEG";
    EXPECT_EQ(s.streams->starts[0].zoomPercent, 100);
    EXPECT_EQ(s.streams->mjpegUrl, base + "/img/mjpeg.cgi");
    EXPECT_EQ(s.streams->mpeg4Url, base + "/img/video.asf");
    EXPECT_TRUE(kv::motion::SetupActive());

    // The panel and the frames show camsim's four stored windows.
    for (int n = 1; n <= 4; ++n) {
        const int x1 = ((n - 1) % 2) * 320 + 40;
        const int y1 = ((n - 1) / 2) * 240 + 40;
        ASSERT_NE(s->Frame(n), nullptr);
        EXPECT_EQ(s->Frame(n)->geometry(), QRect(x1, y1, 240, 160));
        EXPECT_TRUE(qobject_cast<QCheckBox*>(s->Control(MotionSetupDialog::CheckBoxId(n)))->isChecked());
        EXPECT_EQ(qobject_cast<QSlider*>(s->Control(MotionSetupDialog::ThresholdSliderId(n)))->value(), 128);
        EXPECT_EQ(qobject_cast<QSlider*>(s->Control(MotionSetupDialog::SensitivitySliderId(n)))->value(), 5);
    }
    EXPECT_EQ(s->Frame(0), nullptr);

    // The user disables window 2, moves the sliders of windows 1 and 2 and saves.
    QTest::mouseClick(s->Control(MotionSetupDialog::CheckBoxId(2)), Qt::LeftButton);
    qobject_cast<QSlider*>(s->Control(MotionSetupDialog::ThresholdSliderId(1)))->setValue(255);
    qobject_cast<QSlider*>(s->Control(MotionSetupDialog::SensitivitySliderId(1)))->setValue(10);
    qobject_cast<QSlider*>(s->Control(MotionSetupDialog::ThresholdSliderId(2)))->setValue(0);
    s->Frame(3)->move(0, 300);
    QTest::mouseClick(s->Control(MotionSetupDialog::IDC_SAVE_AREAS), Qt::LeftButton);

    const std::string expected = std::string("COMMAND: MOT_SAVE_AREA\r\nRES: 3\r\n") +
                                 WindowLines(0, 1, 255, 10, 40, 40, 280, 200) +
                                 WindowLines(1, 0, 128, 5, 360, 40, 600, 200) +  // as last read
                                 WindowLines(2, 1, 128, 5, 0, 300, 240, 460) +
                                 WindowLines(3, 1, 128, 5, 360, 280, 600, 440) + "\r\n";
    ASSERT_EQ(Bodies().size(), 2u);
    EXPECT_EQ(Bodies()[1], expected);
    EXPECT_EQ(s.streams->stops, std::vector<StreamKind>{StreamKind::MotionJpeg}) << "stream stopped for the save";
    EXPECT_EQ(s.streams->starts.size(), 2u) << "and started again after MOT: OK";
    EXPECT_TRUE(kv::motion::SetupActive());
    EXPECT_FALSE(motiontest::Visible(*s, MotionSetupDialog::IDC_MESSAGE));

    // What was saved is what the camera reads back.
    const std::string reread = cam->Post("/ocxparser.cgi", kReadArea).body;
    EXPECT_NE(reread.find("AREA0THD: 255\r\nAREA0SENS: 10\r\n"), std::string::npos) << reread;
    EXPECT_NE(reread.find("AREA1EN: 0\r\n"), std::string::npos);
    EXPECT_NE(reread.find("AREA2X1: 0\r\nAREA2Y1: 300\r\n"), std::string::npos);

    cam->ClearRequests();
    s->StopPlay();
    EXPECT_EQ(Bodies(), std::vector<std::string>{kRelease});
    EXPECT_FALSE(kv::motion::SetupActive());
    EXPECT_FALSE(s->HasWindow());
    EXPECT_EQ(s->Frame(1), nullptr);
    EXPECT_EQ(s.streams->stops.size(), 2u);
}

TEST_F(MotionSetupTest, ResolutionOneDrawsAtFourHundredPercentAndSavesThree)
{
    StartCamera({"--size", "160x120"});
    ASSERT_TRUE(cam->Control("area_res=1"));
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "mpeg", 1));
    ASSERT_EQ(s.streams->starts.size(), 1u);
    EXPECT_EQ(s.streams->starts[0].kind, StreamKind::Mpeg4);
    EXPECT_EQ(s.streams->starts[0].zoomPercent, 400);
    EXPECT_EQ(s->Setup().CurrentRes(), 1);
    EXPECT_TRUE(motiontest::WaitFor([&] { return s->FrameSink()->HasFrame(); })) << "MPEG-4 pictures arrive";
    EXPECT_EQ(s->FrameSink()->LastDestination(), QRect(0, 0, 640, 480)) << "160 by 120 drawn at 400 %";

    s->SaveAreas();
    ASSERT_EQ(Bodies().size(), 2u);
    EXPECT_EQ(Bodies()[1].rfind("COMMAND: MOT_SAVE_AREA\r\nRES: 3\r\n", 0), 0u);
    EXPECT_EQ(s->Setup().Area().res, 3);
    ASSERT_EQ(s.streams->starts.size(), 2u);
    EXPECT_EQ(s.streams->starts[1].zoomPercent, 400) << "the scale comes from the last read";

    ASSERT_TRUE(cam->Control("area_res=2"));
    TestSetup& other = NewSetup(false);
    s->StopPlay();
    ASSERT_TRUE(other->SetSource(base, "Jpeg", 1));
    ASSERT_TRUE(other->Create(nullptr));
    ASSERT_EQ(other.streams->starts.size(), 1u);
    EXPECT_EQ(other.streams->starts[0].zoomPercent, 200);
    EXPECT_EQ(other.streams->starts[0].kind, StreamKind::Mpeg4) << "\"Jpeg\" is not \"jpeg\"";
    EXPECT_TRUE(motiontest::WaitFor([&] { return other->FrameSink()->HasFrame(); }));
    EXPECT_EQ(other->FrameSink()->LastDestination(), QRect(0, 0, 320, 240));
    other->StopPlay();
}

TEST_F(MotionSetupTest, MpegLevelsFollowTheCameraAndJpegBarsStayPut)
{
    StartCamera({"--size", "320x240", "--levels", "10,50,99,150"});
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "mpeg", 1));
    auto bar = [&](int n) { return qobject_cast<QProgressBar*>(s->Control(MotionSetupDialog::LevelBarId(n))); };
    EXPECT_TRUE(motiontest::WaitFor([&] { return bar(1)->value() == 10; }, 15000)) << "the level timer reads them";
    EXPECT_EQ(bar(2)->value(), 50);
    EXPECT_EQ(bar(3)->value(), 99);
    EXPECT_EQ(bar(4)->value(), 99) << "150 shows a full bar";
    EXPECT_EQ(bar(4)->maximum(), 99);
    EXPECT_EQ(s->Setup().Area().windows[3].level, 150);
    s->StopPlay();

    TestSetup& jpeg = NewSetup();
    ASSERT_TRUE(jpeg->SetSource(base, "jpeg", 1));
    jpeg->Setup().UpdateLevels();  // a tick of the level timer
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(qobject_cast<QProgressBar*>(jpeg->Control(MotionSetupDialog::LevelBarId(n)))->value(), 0);
    jpeg->StopPlay();
}

TEST_F(MotionSetupTest, LevelsFollowTheWindowsStoredInTheCamera)
{
    StartCamera({"--size", "320x240"});
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "mpeg", 1));
    auto levels = [&] {
        int sum = 0;
        for (int n = 1; n <= 4; ++n)
            sum += qobject_cast<QProgressBar*>(s->Control(MotionSetupDialog::LevelBarId(n)))->value();
        return sum;
    };
    EXPECT_TRUE(motiontest::WaitFor([&] { return levels() > 0; }, 15000)) << "the scene moves through the windows";
    for (int n = 1; n <= 4; ++n)
        QTest::mouseClick(s->Control(MotionSetupDialog::CheckBoxId(n)), Qt::LeftButton);
    s->SaveAreas();
    EXPECT_NE(Bodies().back().find("AREA3EN: 0\r\n"), std::string::npos);
    EXPECT_TRUE(motiontest::WaitFor([&] { return levels() == 0; }, 15000)) << "no window, no motion";
    s->StopPlay();
}

TEST_F(MotionSetupTest, OtherModesRunAsDetectionWindows)
{
    StartCamera();
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 3));
    EXPECT_EQ(Bodies(), std::vector<std::string>{kReadArea});
    ASSERT_EQ(s.streams->starts.size(), 1u);
    EXPECT_TRUE(motiontest::Visible(*s, MotionSetupDialog::IDC_SAVE_AREAS));
    s->StopPlay();
    EXPECT_EQ(s.streams->stops, std::vector<StreamKind>{StreamKind::MotionJpeg}) << "the stream it started is stopped";
    EXPECT_EQ(Count(Bodies(), kRelease), 1);
}

TEST_F(MotionSetupTest, AuthorizationIsAskedAtMostThreeTimes)
{
    StartCamera({"--user", "admin:secret"});
    {
        motiontest::Authorizer answers(motiontest::Logins{{"admin", "x"}, {"admin", "y"}, {"bob", "z"}});
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1)) << "failures show in the dialog, the call still succeeds";
        EXPECT_EQ(answers.Shown(), 3);
        EXPECT_EQ(motiontest::MessageText(*s), Text(204));
        EXPECT_EQ(VisibleIds(*s), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
        const auto log = cam->RequestsTo("/ocxparser.cgi");
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(log[3].user, "bob");
        EXPECT_EQ(log[3].password, "z");
        EXPECT_EQ(s->Setup().User(), "bob") << "typed credentials are kept even when refused";
        EXPECT_FALSE(kv::motion::SetupActive());
        EXPECT_TRUE(s.streams->starts.empty());
    }
    cam->ClearRequests();
    {
        motiontest::Authorizer answers(motiontest::Logins{});  // cancel at once
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        EXPECT_EQ(answers.Shown(), 1);
        EXPECT_EQ(motiontest::MessageText(*s), Text(204));
        EXPECT_EQ(Bodies().size(), 1u);
    }
    cam->ClearRequests();
    {
        motiontest::Authorizer answers(motiontest::Logins{{"admin", "wrong"}, {"admin", "secret"}});
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        EXPECT_EQ(answers.Shown(), 2);
        EXPECT_FALSE(motiontest::Visible(*s, MotionSetupDialog::IDC_MESSAGE));
        EXPECT_EQ(s.streams->user, "admin") << "the players get the credentials that worked";
        EXPECT_EQ(s.streams->password, "secret");
        s->StopPlay();
        const auto log = cam->RequestsTo("/ocxparser.cgi");
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(log[3].body, kRelease);
        EXPECT_EQ(log[3].user, "admin");
        EXPECT_EQ(log[3].password, "secret");
    }
    for (TestSetup& s : setups)
        s->StopPlay();
}

TEST_F(MotionSetupTest, UnauthorizedComesBeforeForbidden)
{
    StartCamera({"--user", "admin:secret"});
    ASSERT_TRUE(cam->SetFault("unauthorized_forbidden&path=/ocxparser.cgi&count=1"));
    {
        motiontest::Authorizer answers(motiontest::Logins{{"admin", "secret"}});
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        EXPECT_EQ(answers.Shown(), 1) << "a reply with both pages asks for a login first";
        EXPECT_TRUE(kv::motion::SetupActive()) << "the reply after the login decides";
        s->StopPlay();
    }
    // Both pages, a login, and then the camera refuses: the refusal of the last reply counts.
    ASSERT_TRUE(cam->SetFault("unauthorized_forbidden&path=/ocxparser.cgi&count=1"));
    {
        motiontest::Authorizer answers(motiontest::Logins{{"admin", "secret"}},
                                       [&](int) { cam->SetFault("forbidden&path=/ocxparser.cgi&count=1"); });
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        EXPECT_EQ(answers.Shown(), 1);
        EXPECT_EQ(motiontest::MessageText(*s), Text(203));
        EXPECT_FALSE(kv::motion::SetupActive());
    }
}

TEST_F(MotionSetupTest, ReleaseIsRepeatedExactlyOnce)
{
    StartCamera();
    for (int refusals : {1, 5}) {
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        cam->ClearRequests();
        ASSERT_TRUE(cam->SetFault("mot_error&path=/ocxparser.cgi&count=" + std::to_string(refusals)));
        s->StopPlay();
        EXPECT_EQ(Bodies(), (std::vector<std::string>{kRelease, kRelease})) << refusals << " refusals";
        cam->ClearFault();
    }
}

TEST_F(MotionSetupTest, ViewAreaShowsASnapshotAndSavesRoundedRectangles)
{
    StartCamera({"--size", "320x240"});
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 2));

    const auto log = cam->Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/ocxparser.cgi");
    EXPECT_EQ(log[0].body, kReadView);
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].path, "/snap.jpg");
    EXPECT_EQ(log[1].body, kReadView);
    EXPECT_TRUE(s.streams->starts.empty()) << "no live stream in mode 2";
    EXPECT_EQ(s->Setup().CurrentRes(), 3);
    ASSERT_TRUE(SnapshotPicture().IsValid());
    EXPECT_EQ(SnapshotPicture().GetWidth(), 320u);

    const std::vector<int> visible = VisibleIds(*s);
    EXPECT_EQ(visible, (std::vector<int>{MotionSetupDialog::IDC_OK, MotionSetupDialog::IDC_CANCEL,
                                         MotionSetupDialog::IDC_PICTURE}))
        << "only the picture, OK and Cancel (and the view frame)";
    ASSERT_NE(s->Frame(0), nullptr);
    EXPECT_TRUE(s->Frame(0)->isVisible());
    EXPECT_EQ(s->Frame(0)->geometry(), QRect(0, 0, 640, 480));
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(s->Frame(n), nullptr);

    // Rounded to 16 across and 8 down, half going up; the frame itself stays put.
    s->Frame(0)->setGeometry(23, 100, 200, 375);
    QTest::mouseClick(s->Control(MotionSetupDialog::IDC_OK), Qt::LeftButton);
    s->Frame(0)->setGeometry(24, 96, 200, 380);
    QTest::keyClick(s.dialog.get(), Qt::Key_Return);
    const auto bodies = Bodies();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[1], "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 16\r\nVIEWAREAY1: 104\r\n"
                         "VIEWAREAX2: 224\r\nVIEWAREAY2: 472\r\n\r\n");
    EXPECT_EQ(bodies[2], "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 32\r\nVIEWAREAY1: 96\r\n"
                         "VIEWAREAX2: 224\r\nVIEWAREAY2: 480\r\n\r\n");
    EXPECT_EQ(s->Frame(0)->geometry(), QRect(24, 96, 200, 380));
    EXPECT_EQ(cam->Post("/ocxparser.cgi", kReadView).body,
              "RES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 32\r\nVIEWAREAY1: 96\r\nVIEWAREAX2: 224\r\nVIEWAREAY2: 480\r\n");

    // Cancel reloads: a new read and a new snapshot; the frame keeps its place.
    cam->ClearRequests();
    QTest::mouseClick(s->Control(MotionSetupDialog::IDC_CANCEL), Qt::LeftButton);
    ASSERT_EQ(cam->Requests().size(), 2u);
    EXPECT_EQ(cam->Requests()[1].path, "/snap.jpg");
    EXPECT_EQ(s->Frame(0)->geometry(), QRect(24, 96, 200, 380));
    EXPECT_TRUE(SnapshotPicture().IsValid());

    cam->ClearRequests();
    s->StopPlay();
    EXPECT_TRUE(cam->Requests().empty()) << "the end of a view setup sends nothing";
    EXPECT_FALSE(SnapshotPicture().IsValid());
}

TEST_F(MotionSetupTest, SnapshotFillsThePictureWhateverItsSize)
{
    StartCamera({"--size", "320x240"});
    ASSERT_TRUE(cam->Post("/ocxparser.cgi", "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 0\r\n\r\n").status == 200);
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 2));
    EXPECT_EQ(s->Frame(0), nullptr) << "a disabled view area has no frame";
    s.dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.dialog.get()));
    const QImage shot = motiontest::Grab(*s.dialog);
    CxImage& picture = SnapshotPicture();
    ASSERT_EQ(picture.GetWidth(), 320u);
    // Picture pixel (x, y) shows snapshot pixel (x * 319 / 640, y * 239 / 480), give or take
    // a neighbour at the edges of shapes.
    auto near = [&](int x, int y) {
        const QColor seen = shot.pixelColor(x, y);
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int sx = std::clamp(x * 319 / 640 + dx, 0, 319);
                const int sy = std::clamp(y * 239 / 480 + dy, 0, 239);
                const std::uint8_t* p = picture.RowPointer(239 - sy) + 3 * sx;
                if (std::abs(seen.red() - p[2]) < 40 && std::abs(seen.green() - p[1]) < 40 &&
                    std::abs(seen.blue() - p[0]) < 40)
                    return true;
            }
        }
        return false;
    };
    int compared = 0;
    for (int y = 10; y < 480; y += 37) {
        for (int x = 10; x < 640; x += 41) {
            EXPECT_TRUE(near(x, y)) << x << "," << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, 150);
    // The corners of the picture area belong to the snapshot too, not to the dialog.
    const QColor corner = shot.pixelColor(638, 478);
    const std::uint8_t* last = picture.RowPointer(0) + 3 * 318;
    EXPECT_NEAR(corner.green(), last[1], 60);
    s->StopPlay();
}

TEST_F(MotionSetupTest, FailuresShowTheirMessages)
{
    StartCamera();
    {
        // A refused snapshot is not a picture; its page still says why.
        ASSERT_TRUE(cam->SetFault("forbidden&path=/snap.jpg&count=1"));
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 2));
        EXPECT_EQ(motiontest::MessageText(*s), Text(203));
        EXPECT_FALSE(kv::motion::SetupActive());
        EXPECT_EQ(VisibleIds(*s), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
        // Too long for one line of the big font: the line grows downwards instead of
        // cutting the message off.
        const QRect line = s->Control(MotionSetupDialog::IDC_MESSAGE)->geometry();
        EXPECT_EQ(line.topLeft(), QPoint(15, 15));
        EXPECT_EQ(line.width(), 320);
        EXPECT_GT(line.height(), 40);
    }
    for (const char* fault : {"garbage&path=/snap.jpg&count=1&bytes=3000", "garbage&path=/snap.jpg&count=1&bytes=0"}) {
        ASSERT_TRUE(cam->SetFault(fault));
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 2));
        EXPECT_EQ(motiontest::MessageText(*s), Text(201)) << "a snapshot that does not decode: " << fault;
        EXPECT_FALSE(kv::motion::SetupActive());
    }
    {
        ASSERT_TRUE(cam->SetFault("forbidden&path=/ocxparser.cgi&count=1"));
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        EXPECT_EQ(motiontest::MessageText(*s), Text(203));
    }
    {
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource("http://127.0.0.1:1", "jpeg", 1));
        EXPECT_EQ(motiontest::MessageText(*s), Text(201)) << "nobody answers";
        EXPECT_EQ(VisibleIds(*s), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
    }
    {
        // A save the camera does not accept: said so, and the picture comes back.
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
        ASSERT_TRUE(cam->SetFault("mot_error&path=/ocxparser.cgi&count=1"));
        s->SaveAreas();
        EXPECT_EQ(motiontest::MessageText(*s), Text(201));
        EXPECT_TRUE(motiontest::Visible(*s, MotionSetupDialog::IDC_MESSAGE));
        EXPECT_EQ(s.streams->starts.size(), 2u);
        EXPECT_TRUE(kv::motion::SetupActive());
        s->StopPlay();
    }
    {
        TestSetup& s = NewSetup();
        ASSERT_TRUE(s->SetSource(base, "jpeg", 2));
        ASSERT_TRUE(cam->SetFault("mot_error&path=/ocxparser.cgi&count=1"));
        s->SaveView();
        EXPECT_TRUE(motiontest::Visible(*s, MotionSetupDialog::IDC_MESSAGE));
        EXPECT_EQ(motiontest::MessageText(*s), Text(201));
        EXPECT_TRUE(motiontest::Visible(*s, MotionSetupDialog::IDC_OK)) << "the rest stays as it was";
        s->StopPlay();
    }
}

TEST_F(MotionSetupTest, OnlyOneSetupRunsInTheModule)
{
    StartCamera();
    TestSetup& first = NewSetup();
    ASSERT_TRUE(first->SetSource(base, "jpeg", 1));
    cam->ClearRequests();

    // Before its window exists a second control is refused without a trace.
    TestSetup& second = NewSetup(false);
    EXPECT_FALSE(second->SetSource(base, "jpeg", 2));
    EXPECT_FALSE(second->HasWindow());
    EXPECT_FALSE(second->Setup().SourceGiven());
    // Its window stays empty; a SetSource then says why.
    ASSERT_TRUE(second->Create(nullptr));
    EXPECT_TRUE(VisibleIds(*second).empty());
    EXPECT_FALSE(second->SetSource(base, "jpeg", 2));
    EXPECT_EQ(VisibleIds(*second), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
    EXPECT_EQ(motiontest::MessageText(*second), QStringLiteral("Can not connect !"));
    // Ending it leaves the first setup alone.
    second->StopPlay();
    EXPECT_TRUE(Bodies().empty()) << "no read, and no release of the first setup's camera";
    EXPECT_TRUE(kv::motion::SetupActive());
    EXPECT_TRUE(first.streams->stops.empty());

    first->StopPlay();
    EXPECT_EQ(Bodies(), std::vector<std::string>{kRelease});
}

TEST_F(MotionSetupTest, StopPlayEndsOnceAndLaterSourcesDoNothing)
{
    StartCamera();
    TestSetup& s = NewSetup(false);
    ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
    EXPECT_TRUE(cam->Requests().empty()) << "before the window exists nothing is read";
    ASSERT_TRUE(s->Create(nullptr));
    EXPECT_EQ(Bodies(), std::vector<std::string>{kReadArea}) << "the window's initialisation reads";
    EXPECT_TRUE(kv::motion::SetupActive());

    s->StopPlay();
    s->StopPlay();
    EXPECT_EQ(Count(Bodies(), kRelease), 1);
    cam->ClearRequests();
    EXPECT_TRUE(s->SetSource(base, "jpeg", 1));
    EXPECT_FALSE(s->HasWindow());
    EXPECT_TRUE(cam->Requests().empty());
}

TEST_F(MotionSetupTest, ReleasingTheControlWithoutStopPlayEndsTheSetup)
{
    StartCamera();
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
    QPointer<QWidget> frame = s->Frame(1);
    ASSERT_TRUE(frame);
    auto streams = s.streams;
    s.dialog.reset();
    EXPECT_FALSE(frame) << "frames go with the dialog";
    EXPECT_EQ(Count(Bodies(), kRelease), 1);
    EXPECT_EQ(streams->stops, std::vector<StreamKind>{StreamKind::MotionJpeg});
    EXPECT_FALSE(kv::motion::SetupActive());
}

TEST_F(MotionSetupTest, CameraBusyLeavesOnlyTheMessage)
{
    StartCamera();
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "jpeg", 1));
    const std::vector<int> before = VisibleIds(*s);
    ASSERT_FALSE(before.empty());
    kv::ui::PostMessageTo(s.dialog.get(), kv::WM_PLAYER_RESULT, 430, 0);
    kv::ui::PostMessageTo(s.dialog.get(), kv::WM_PLAYER_RESULT, 200, 0);
    QTest::qWait(20);
    EXPECT_EQ(VisibleIds(*s), before) << "codes other than 310 change nothing";
    EXPECT_TRUE(Bodies().size() == 1);

    kv::ui::PostMessageTo(s.dialog.get(), kv::WM_PLAYER_RESULT, 310, 0);
    ASSERT_TRUE(motiontest::WaitFor([&] { return !kv::motion::SetupActive(); }));
    EXPECT_EQ(VisibleIds(*s), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
    EXPECT_EQ(motiontest::MessageText(*s), Text(201));
    EXPECT_EQ(s->Frame(1), nullptr);
    EXPECT_EQ(Count(Bodies(), kRelease), 1);
}

TEST_F(MotionSetupTest, BusyStreamFromTheCameraEndsTheSetup)
{
    StartCamera({"--size", "320x240"});
    ASSERT_TRUE(cam->SetFault("busy&path=/img/video.asf"));
    TestSetup& s = NewSetup();
    ASSERT_TRUE(s->SetSource(base, "mpeg", 1));
    EXPECT_TRUE(motiontest::WaitFor([&] { return motiontest::Visible(*s, MotionSetupDialog::IDC_MESSAGE); }))
        << "the player's 310 reaches the dialog";
    EXPECT_EQ(VisibleIds(*s), std::vector<int>{MotionSetupDialog::IDC_MESSAGE});
    EXPECT_EQ(Count(Bodies(), kRelease), 1);
    EXPECT_FALSE(kv::motion::SetupActive());
}
