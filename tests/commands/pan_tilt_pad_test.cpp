// The pan/tilt pad: its window, its countdown, and what its buttons send, in which order.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "camsim_process.h"
#include "core/timings.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "ui/ui_test_support.h"
#include "viewer/commands/command_urls.h"
#include "viewer/commands/pad_command_queue.h"
#include "viewer/commands/pan_tilt_dlg.h"
#include "viewer/resources/resources.h"

using namespace kv::viewer;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kPtzf = "http://cam/command/ptzf.cgi";
const std::string kPreset = "http://cam/command/presetposition.cgi";

// Records what the pad sends; optionally slow, to see whether commands overtake each other.
class RecordingSender {
public:
    struct Sent {
        std::string url, user, password;
        Clock::time_point start, end;
    };

    explicit RecordingSender(int delayMs = 0) : m_delayMs(delayMs) {}

    CameraGet Get()
    {
        return [this](std::string& body, const std::string& url, const std::string& user, const std::string& password) {
            const auto start = Clock::now();
            // The first command is the slow one: a second thread would overtake it.
            if (m_delayMs > 0 && m_calls++ == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
            std::lock_guard<std::mutex> guard(m_lock);
            m_sent.push_back({url, user, password, start, Clock::now()});
            body = "OK";
            return true;
        };
    }

    std::vector<Sent> Sent_() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }
    std::vector<std::string> Urls() const
    {
        std::vector<std::string> urls;
        for (const auto& s : Sent_())
            urls.push_back(s.url);
        return urls;
    }

private:
    int m_delayMs;
    std::atomic<int> m_calls{0};
    mutable std::mutex m_lock;
    std::vector<Sent> m_sent;
};

std::unique_ptr<CPanTiltDlg> OpenPad(RecordingSender& sender, int color = 1, int remain = CPanTiltDlg::kNoRemainTime,
                                     int language = 1)
{
    kvtest::App();
    auto pad = std::make_unique<CPanTiltDlg>(kPtzf, kPreset, "admin", "secret", language, color, remain, nullptr,
                                             sender.Get());
    pad->show();
    return pad;
}

void Hover(CPanelButton* button)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(button->rect().center()), QPointF(button->mapToGlobal(button->rect().center())),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &move);
}

void PressAndRelease(CPanTiltDlg& pad, int id)
{
    CPadButton* button = pad.Button(id);
    ASSERT_NE(button, nullptr);
    const QPoint centre = button->rect().center();
    QTest::mousePress(button, Qt::LeftButton, {}, centre);
    QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
}

} // namespace

TEST(PanTiltPad, WindowAndButtonsStandWhereTheTemplatePutsThem)
{
    RecordingSender sender;
    auto pad = OpenPad(sender);
    EXPECT_EQ(pad->windowTitle(), QStringLiteral("Pan/Tilt"));
    EXPECT_FALSE(pad->isModal());
    EXPECT_EQ(pad->size(), kv::ui::DluSize(90, 109));
    const std::pair<int, QPoint> places[] = {
        {223, {6, 6}},  {216, {31, 6}},  {217, {57, 6}},  {222, {6, 31}}, {224, {31, 31}},
        {218, {57, 31}}, {221, {6, 56}}, {220, {31, 56}}, {219, {57, 56}},
    };
    for (const auto& [id, at] : places) {
        CPadButton* button = pad->Button(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->geometry(), kv::ui::DluRect(at.x(), at.y(), 25, 25)) << id;
        EXPECT_EQ(kv::ui::ControlId(button), id);
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_FALSE(button->AutoRepeat());
    }
    EXPECT_EQ(pad->OkButton()->geometry(), kv::ui::DluRect(20, 86, 50, 18));
    EXPECT_TRUE(pad->OkButton()->text().isEmpty());  // the word is in its picture
    EXPECT_EQ(pad->Button(215), nullptr);
}

TEST(PanTiltPad, SchemeGivesImagesColoursAndCursor)
{
    kvtest::App();
    RecordingSender sender;
    const QColor texts[3] = {QColor(60, 92, 156), QColor(235, 235, 235), QColor(235, 235, 235)};
    const QColor backgrounds[3] = {QColor(230, 232, 237), QColor(75, 110, 182), QColor(38, 38, 38)};
    const QPixmap hand = kv::viewer::LoadCursorResource(IDC_HAND)->pixmap();
    for (int scheme = 1; scheme <= 3; ++scheme) {
        auto pad = OpenPad(sender, scheme);
        EXPECT_EQ(pad->palette().color(QPalette::Window), backgrounds[scheme - 1]);
        std::vector<CPanelButton*> buttons{pad->OkButton()};
        for (int id = 216; id <= 224; ++id)
            buttons.push_back(pad->Button(id));
        for (CPanelButton* b : buttons) {
            EXPECT_TRUE(b->HasHoverImage() && b->HasNormalImage()) << scheme;
            EXPECT_EQ(b->GetColor(CPanelButton::BTNST_COLOR_FG_IN), texts[scheme - 1]);
            EXPECT_EQ(b->GetColor(CPanelButton::BTNST_COLOR_FG_OUT), texts[scheme - 1]);
            EXPECT_FALSE(b->DrawsBorder());
            EXPECT_TRUE(b->IsTransparent());
            EXPECT_EQ(b->cursor().pixmap().toImage(), hand.toImage());
        }
    }
    auto plain = OpenPad(sender, 4);
    EXPECT_FALSE(plain->Button(216)->HasHoverImage());
    EXPECT_FALSE(plain->OkButton()->HasHoverImage());
}

TEST(PanTiltPad, RemainingTimeHidesThePadAfterItRunsOut)
{
    RecordingSender sender;
    auto untimed = OpenPad(sender);
    EXPECT_FALSE(untimed->RemainTimerRunning());

    auto pad = OpenPad(sender, 1, 2);
    EXPECT_TRUE(pad->RemainTimerRunning());
    pad->OnTimer(CPanTiltDlg::TIMER_PT_REMAIN);
    pad->OnTimer(CPanTiltDlg::TIMER_PT_REMAIN);
    EXPECT_EQ(pad->RemainTime(), 0);
    EXPECT_TRUE(pad->isVisible());
    pad->OnTimer(CPanTiltDlg::TIMER_PT_REMAIN);  // the tick after 0
    EXPECT_FALSE(pad->isVisible());
    EXPECT_FALSE(pad->RemainTimerRunning());
}

TEST(PanTiltPad, RemainingTimeRunsOnItsWindowTimer)
{
    RecordingSender sender;
    auto pad = OpenPad(sender, 2, 0);
    // 1000 ms timer: the pad hides on its first tick.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pad->isVisible(); }, 5000));
}

TEST(PanTiltPad, OkOnlyHides)
{
    RecordingSender sender;
    auto pad = OpenPad(sender);
    QTest::mouseClick(pad->OkButton(), Qt::LeftButton);
    EXPECT_FALSE(pad->isVisible());
    EXPECT_EQ(pad->result(), QDialog::Accepted);
    pad->show();  // the same pad again
    PressAndRelease(*pad, IDC_PT_LEFT);
    pad->FlushCommands();
    EXPECT_EQ(sender.Urls().size(), 2u);
}

TEST(PanTiltPad, PressMovesReleaseStopsHomeHasNoStop)
{
    RecordingSender sender;
    auto pad = OpenPad(sender);
    for (int id = 216; id <= 224; ++id) {
        Hover(pad->Button(id));
        ASSERT_TRUE(pad->Button(id)->IsHovered());
        PressAndRelease(*pad, id);
    }
    pad->FlushCommands();
    const std::vector<std::string> expected{
        kPtzf + "?Move=up,10",         kPtzf + "?Move=stop,motor", kPtzf + "?Move=up-right,10",
        kPtzf + "?Move=stop,motor",    kPtzf + "?Move=right,10",   kPtzf + "?Move=stop,motor",
        kPtzf + "?Move=down-right,10", kPtzf + "?Move=stop,motor", kPtzf + "?Move=down,10",
        kPtzf + "?Move=stop,motor",    kPtzf + "?Move=down-left,10", kPtzf + "?Move=stop,motor",
        kPtzf + "?Move=left,10",       kPtzf + "?Move=stop,motor", kPtzf + "?Move=up-left,10",
        kPtzf + "?Move=stop,motor",    kPreset + "?PresetCall=0,10",
    };
    EXPECT_EQ(sender.Urls(), expected);
    for (const auto& sent : sender.Sent_()) {
        EXPECT_EQ(sent.user, "admin");
        EXPECT_EQ(sent.password, "secret");
    }
    // A release that stops the camera also drops the hover mark; home keeps it.
    for (int id = 216; id <= 223; ++id)
        EXPECT_FALSE(pad->Button(id)->IsHovered()) << id;
    EXPECT_TRUE(pad->Button(IDC_PT_HOME)->IsHovered());
}

TEST(PanTiltPad, StopNeverOvertakesItsMove)
{
    // The move takes long to send; the stop made right after it must still go second, and
    // only once the move has been sent.
    RecordingSender sender(150);
    auto pad = OpenPad(sender);
    PressAndRelease(*pad, IDC_PT_DOWN);
    pad->FlushCommands();
    const auto sent = sender.Sent_();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].url, kPtzf + "?Move=down,10");
    EXPECT_EQ(sent[1].url, kPtzf + "?Move=stop,motor");
    EXPECT_GE(sent[1].start, sent[0].end);
}

TEST(PanTiltPad, HidingOrDestroyingWhileHeldStopsTheCamera)
{
    RecordingSender sender;
    auto pad = OpenPad(sender, 1, 0);
    CPadButton* left = pad->Button(IDC_PT_LEFT);
    QTest::mousePress(left, Qt::LeftButton, {}, left->rect().center());
    pad->OnTimer(CPanTiltDlg::TIMER_PT_REMAIN);  // time is up while the button is held
    EXPECT_FALSE(pad->isVisible());
    pad->FlushCommands();
    EXPECT_EQ(sender.Urls(), (std::vector<std::string>{kPtzf + "?Move=left,10", kPtzf + "?Move=stop,motor"}));

    pad->show();
    QTest::mousePress(left, Qt::LeftButton, {}, left->rect().center());
    pad.reset();  // destroyed (StopPlay) with the button down: the stop still goes out
    EXPECT_EQ(sender.Urls().size(), 4u);
    EXPECT_EQ(sender.Urls().back(), kPtzf + "?Move=stop,motor");
}

TEST(PadCommandQueue, SendsEverythingInOrderBeforeItEnds)
{
    std::vector<std::string> urls;
    {
        CPadCommandQueue queue([&](std::string&, const std::string& url, const std::string&, const std::string&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            urls.push_back(url);
            return false;  // unanswered commands do not stop the queue
        });
        for (int i = 0; i < 20; ++i)
            queue.Enqueue({std::to_string(i), "u", "p"});
    }
    ASSERT_EQ(urls.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(urls[static_cast<std::size_t>(i)], std::to_string(i));
}

// Every pad button against the camera emulator: its log shows the requests in order, with
// the pad's credentials.
TEST(PanTiltPadCamera, EveryButtonAgainstCamsim)
{
    kvtest::App();
    kv::ModuleTimings().getSettleMs = 10;
    camsim::CamsimProcess cam({"--user", "admin:secret:control"});
    {
        CPanTiltDlg pad(cam.Url("command/ptzf.cgi"), cam.Url("command/presetposition.cgi"), "admin", "secret", 1, 3,
                        CPanTiltDlg::kNoRemainTime);
        pad.show();
        for (int id = 216; id <= 224; ++id)
            PressAndRelease(pad, id);
        pad.FlushCommands();
    }
    std::vector<std::string> targets;
    for (const auto& r : cam.Requests()) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.user, "admin");
        EXPECT_EQ(r.password, "secret");
        targets.push_back(r.target);
    }
    const std::vector<std::string> expected{
        "/command/ptzf.cgi?Move=up,10",         "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=up-right,10",   "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=right,10",      "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=down-right,10", "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=down,10",       "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=down-left,10",  "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=left,10",       "/command/ptzf.cgi?Move=stop,motor",
        "/command/ptzf.cgi?Move=up-left,10",    "/command/ptzf.cgi?Move=stop,motor",
        "/command/presetposition.cgi?PresetCall=0,10",
    };
    EXPECT_EQ(targets, expected);
    kv::ModuleTimings().ResetToDefaults();
}

// Pictures of the pad in the three schemes; with KV_UI_SHOTS_DIR set they are written there:
//   KV_UI_SHOTS_DIR=docs QT_QPA_PLATFORM=offscreen build/tests/commands/test_commands --gtest_filter='PanTiltPad.Pictures'
TEST(PanTiltPad, Pictures)
{
    RecordingSender sender;
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (!dir.isEmpty())
        QDir().mkpath(QString::fromLocal8Bit(dir));
    for (int scheme = 1; scheme <= 3; ++scheme) {
        auto pad = OpenPad(sender, scheme);
        const QImage picture = pad->grab().toImage();
        EXPECT_EQ(picture.size(), pad->size());
        // The background is the scheme's; the buttons' pictures cover part of it.
        EXPECT_EQ(QColor(picture.pixel(1, 1)), pad->palette().color(QPalette::Window));
        if (!dir.isEmpty()) {
            EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/pan-tilt-pad-scheme%1.png").arg(scheme)));
        }
    }
}
