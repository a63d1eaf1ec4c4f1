// The setup dialog as laid out and painted: every control at its place with its id, ranges,
// colours, the message font, both modes with frames over a picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "motion/dialog/authorization_dialog.h"
#include "motion/frames/area_frame.h"
#include "motion/protocol/setup_state.h"
#include "motion_test_support.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/ui_helpers.h"

using kv::motion::AreaFrame;
using kv::motion::MotionSetupDialog;
using motiontest::TestSetup;

namespace {

// With KV_SCREENSHOT_DIR set, the pictures are kept there for a look.
void KeepScreenshot(const QImage& shot, const char* name)
{
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    EXPECT_TRUE(shot.save(dir + "/" + name));
}

class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setup = motiontest::MakeSetup();
        host = std::make_unique<QWidget>();
        host->resize(900, 600);
        ASSERT_TRUE(setup->Create(host.get()));
    }
    void TearDown() override
    {
        setup.dialog.reset();
        host.reset();
    }

    template <typename W>
    W* Get(int id) const
    {
        auto* w = qobject_cast<W*>(setup->Control(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }

    std::unique_ptr<QWidget> host;  // the control's window
    TestSetup setup;
};

} // namespace

TEST_F(SetupDialogTest, ControlsSitAtTheirPixelPlaces)
{
    EXPECT_EQ(setup->geometry(), QRect(0, 0, 810, 530));
    EXPECT_EQ(setup->Control(MotionSetupDialog::IDC_PICTURE)->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(Get<QPushButton>(240)->geometry(), QRect(690, 500, 75, 20));
    EXPECT_EQ(Get<QPushButton>(1)->geometry(), QRect(245, 500, 75, 20));
    EXPECT_EQ(Get<QPushButton>(2)->geometry(), QRect(345, 500, 75, 20));
    EXPECT_EQ(Get<QPushButton>(240)->text(), QStringLiteral("OK"));
    EXPECT_EQ(Get<QPushButton>(1)->text(), QStringLiteral("OK"));
    EXPECT_EQ(Get<QPushButton>(2)->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(Get<QLabel>(251)->geometry(), QRect(15, 15, 320, 40));
    EXPECT_EQ(Get<QLabel>(251)->text(), QStringLiteral("Can not connect !"));

    for (int n = 1; n <= 4; ++n) {
        const int d = 120 * (n - 1);
        SCOPED_TRACE(n);
        EXPECT_EQ(setup->Control(226 + n)->geometry(), n < 4 ? QRect(650, -5 + d, 150, 120) : QRect(650, 355, 150, 125));
        EXPECT_EQ(setup->Control(242 + n)->geometry(), n < 4 ? QRect(650, 1 + d, 148, 112) : QRect(650, 361, 148, 117));
        EXPECT_EQ(Get<QCheckBox>(210 + n)->geometry(), QRect(665, 10 + d, 120, 15));
        EXPECT_EQ(Get<QCheckBox>(210 + n)->text(), QStringLiteral("Window %1").arg(n));
        EXPECT_EQ(Get<QLabel>(230 + n)->geometry(), QRect(665, 30 + d, 120, 15));
        EXPECT_EQ(Get<QLabel>(230 + n)->text(), QStringLiteral("Threshold"));
        EXPECT_EQ(Get<QLabel>(234 + n)->geometry(), QRect(665, 80 + d, 120, 15));
        EXPECT_EQ(Get<QLabel>(234 + n)->text(), QStringLiteral("Sensitivity"));

        QSlider* threshold = Get<QSlider>(214 + n);
        QSlider* sensitivity = Get<QSlider>(218 + n);
        QProgressBar* level = Get<QProgressBar>(222 + n);
        EXPECT_EQ(threshold->geometry(), QRect(661, 45 + d, 130, 15));
        EXPECT_EQ(sensitivity->geometry(), QRect(661, 95 + d, 130, 15));
        EXPECT_EQ(level->geometry(), QRect(665, 62 + d, 120, 15));
        EXPECT_EQ(threshold->minimum(), 0);
        EXPECT_EQ(threshold->maximum(), 255);
        EXPECT_EQ(sensitivity->minimum(), 0);
        EXPECT_EQ(sensitivity->maximum(), 10);
        EXPECT_EQ(level->minimum(), 0);
        EXPECT_EQ(level->maximum(), 99);
        EXPECT_EQ(threshold->tickPosition(), QSlider::NoTicks);
        // The template's window texts: thresholds and sensitivities alternate.
        EXPECT_EQ(threshold->windowTitle(), QStringLiteral("Slider%1").arg(2 * n - 1));
        EXPECT_EQ(sensitivity->windowTitle(), QStringLiteral("Slider%1").arg(2 * n));
        EXPECT_EQ(level->windowTitle(), QStringLiteral("Progress%1").arg(n + 1));
    }
}

TEST_F(SetupDialogTest, ColoursAndTheMessageFont)
{
    const QColor dialogColour(230, 232, 237);
    EXPECT_EQ(setup->palette().color(QPalette::Window), dialogColour);
    EXPECT_TRUE(setup->autoFillBackground());
    for (int id = 211; id <= 238; ++id) {
        QWidget* w = setup->Control(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->palette().color(QPalette::Window), QColor(Qt::white)) << id;
        EXPECT_EQ(w->palette().color(QPalette::WindowText), QColor(Qt::black)) << id;
        EXPECT_TRUE(w->autoFillBackground()) << id;
    }
    for (int id : {1, 2, 240, 251}) {
        EXPECT_EQ(setup->Control(id)->palette().color(QPalette::Window), dialogColour) << id;
        EXPECT_EQ(setup->Control(id)->palette().color(QPalette::WindowText), QColor(Qt::black)) << id;
    }
    const QFont font = setup->Control(251)->font();
    EXPECT_EQ(font, kv::ui::BoldDialogFont(28));
    EXPECT_TRUE(font.bold());
}

TEST_F(SetupDialogTest, AnEmptyDialogShowsNothingUntilAPictureStarts)
{
    for (int id = 1; id <= 251; ++id)
        EXPECT_FALSE(motiontest::Visible(*setup, id)) << id;
    setup->ApplySettings();
    EXPECT_TRUE(motiontest::Visible(*setup, MotionSetupDialog::IDC_PICTURE));
    for (int id = 211; id <= 246; ++id)
        EXPECT_TRUE(motiontest::Visible(*setup, id) || id == 239 || id == 241 || id == 242) << id;
    EXPECT_TRUE(motiontest::Visible(*setup, 240));
    EXPECT_FALSE(motiontest::Visible(*setup, 1));
    EXPECT_FALSE(motiontest::Visible(*setup, 2));
    EXPECT_FALSE(motiontest::Visible(*setup, 251));
}

TEST(SetupDialogLook, BothModesOverAPicture)
{
    camsim::CamsimProcess cam({"--levels", "20,75,5,150"});
    std::string base = cam.BaseUrl();
    base.pop_back();
    {
        TestSetup setup = motiontest::MakeSetup();
        ASSERT_TRUE(setup->Create(nullptr));
        ASSERT_TRUE(setup->SetSource(base, "mpeg", 1));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.dialog.get()));
        auto* level = qobject_cast<QProgressBar*>(setup->Control(MotionSetupDialog::LevelBarId(2)));
        ASSERT_TRUE(motiontest::WaitFor([&] { return setup->FrameSink()->PaintedCount() > 0 && level->value() == 75; },
                                        15000))
            << "the live picture and the levels arrive";
        const QImage shot = motiontest::Grab(*setup);
        KeepScreenshot(shot, "motion-mode1.png");
        // The live picture shows inside the frames' cut-away, the frames' captions over it.
        AreaFrame* frame = setup->Frame(1);
        ASSERT_NE(frame, nullptr);
        const QPoint inside = frame->geometry().center();
        EXPECT_NE(shot.pixelColor(inside), QColor(230, 232, 237)) << "picture, not dialog background";
        EXPECT_EQ(shot.pixelColor(frame->x() + 1, frame->y() + frame->height() / 2), QColor(255, 255, 255))
            << "the frame's lit left edge";
        EXPECT_EQ(shot.pixelColor(700, 20), QColor(255, 255, 255)) << "a white window panel";
        EXPECT_EQ(shot.pixelColor(805, 490), QColor(230, 232, 237)) << "the blue-grey dialog";
        setup->StopPlay();
    }
    {
        TestSetup setup = motiontest::MakeSetup();
        ASSERT_TRUE(setup->Create(nullptr));
        ASSERT_TRUE(cam.Post("/ocxparser.cgi", "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 96\r\n"
                                                "VIEWAREAY1: 64\r\nVIEWAREAX2: 544\r\nVIEWAREAY2: 416\r\n\r\n")
                        .status == 200);
        ASSERT_TRUE(setup->SetSource(base, "jpeg", 2));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.dialog.get()));
        const QImage shot = motiontest::Grab(*setup);
        KeepScreenshot(shot, "motion-mode2.png");
        EXPECT_EQ(setup->Frame(0)->geometry(), QRect(96, 64, 448, 352));
        EXPECT_EQ(shot.pixelColor(700, 20), QColor(230, 232, 237)) << "no panels in mode 2";
        setup->StopPlay();
    }
    {
        TestSetup setup = motiontest::MakeSetup();
        ASSERT_TRUE(setup->Create(nullptr));
        ASSERT_TRUE(cam.SetFault("forbidden&path=/ocxparser.cgi&count=1"));
        ASSERT_TRUE(setup->SetSource(base, "jpeg", 1));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.dialog.get()));
        KeepScreenshot(motiontest::Grab(*setup), "motion-message.png");
    }
}

TEST(AuthorizationDialogLook, TextsIdsAndAHiddenPassword)
{
    motiontest::App();
    kv::motion::AuthorizationDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Authorization"));
    EXPECT_EQ(dialog.size(), QSize(315, 195)) << "210 by 120 dialog units";
    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Please enter the user name and password.")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Realm:          Orvel Network Camera")));
    EXPECT_TRUE(texts.contains(QStringLiteral("User Name:")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Password:")));
    EXPECT_EQ(kv::ui::ControlId(dialog.UserEdit()), 241);
    EXPECT_EQ(kv::ui::ControlId(dialog.PasswordEdit()), 242);
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.OkButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.CancelButton()->text(), QStringLiteral("Cancel"));

    dialog.show();
    dialog.UserEdit()->setText(QStringLiteral("admin"));
    dialog.PasswordEdit()->setText(QStringLiteral("p w"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.User(), QStringLiteral("admin"));
    EXPECT_EQ(dialog.Password(), QStringLiteral("p w"));
}
