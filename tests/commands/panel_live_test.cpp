// Capture and the panel's pictures with the real display workers on camsim's live streams:
// the copies the workers make, the dialog's preview, the saved files as another program
// sees them, and a capture that finds no picture.
#include "viewer/viewer_test_support.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include <filesystem>

#include "command_test_support.h"
#include "core/timings.h"
#include "display/display_worker.h"
#include "display/packed_dib.h"
#include "platform/ui/qt_frame_sink.h"
#include "viewer/capture/capture_dlg.h"
#include "viewer/capture/capture_file.h"
#include "viewer/capture/capture_request.h"
#include "viewer/commands/pan_tilt_dlg.h"
#include "viewer/panel/display_worker_view.h"
#include "viewer/panel/viewer_panel.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

constexpr int kNoTick = 3600 * 1000;  // countdown timers that never fire by themselves

// The viewer's workers as the module has them, but of the test's own.
struct LiveWorkers {
    kv::CMJpegPlayer mjpegPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    kv::CPlayer asfPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    kv::CMJpegDisplay mjpegDisplay{kv::kKavaroProfile, kv::VideoChain()};
    kv::CMpeg4Display mpeg4Display{kv::kKavaroProfile, kv::VideoChain()};
    CDisplayWorkerView mjpegView{mjpegDisplay};
    CDisplayWorkerView mpeg4View{mpeg4Display};
    kv::CAudioPlayer audioPlayer;
    kv::CAudioConsumer audioConsumer{audioPlayer};

    PanelWorkers Workers() { return {mjpegPlayer, asfPlayer, mjpegView, mpeg4View, audioPlayer, audioConsumer}; }
};

class LivePanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        ShortenTimings();
        kv::ModuleTimings().controlTickMs = kNoTick;
        // A copy comes with the next drawn picture; under a sanitizer making one of 640 by 480
        // can take longer than the product's 2 s, and the test would meet "no picture" instead.
        kv::ModuleTimings().captureWaitMs = 20000;
        host = std::make_unique<QWidget>();
        host->resize(CViewerPanel::kWidth, CViewerPanel::kHeight);
        host->show();
        workers = std::make_unique<LiveWorkers>();
        panel = std::make_unique<CViewerPanel>(workers->Workers());
    }
    void TearDown() override
    {
        panel.reset();
        workers.reset();
        cam.reset();
        host.reset();
        RestoreTimings();
    }

    // Plays the camera's stream until live pictures are on the panel.
    void Play(std::vector<std::string> flags, const std::string& kind = "jpeg", int color = 1)
    {
        cam = std::make_unique<camsim::CamsimProcess>(std::move(flags));
        panel->Create(host.get());
        const char* path = kind == "mpeg" ? "img/video.asf" : "img/mjpeg.cgi";
        ASSERT_TRUE(panel->SetSource(cam->Url(path), kind, "on", "15", color, 1));
        panel->StartPlay(0, "");
        const int before = panel->FrameSink().PresentedCount();
        ASSERT_TRUE(WaitUntil([&] {
            return Visible(IDC_STATIC_TIME) && panel->FrameSink().PresentedCount() > before + 2;
        }, 15000));
    }

    bool Visible(int id) const
    {
        const QWidget* control = panel->Control(id);
        return control && !control->isHidden();
    }
    void Click(int id) const
    {
        auto* button = qobject_cast<QAbstractButton*>(panel->Control(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }

    // The Capture button, with what the user does in the capture dialog.
    void Capture(std::function<void(CCaptureDlg&)> inDialog)
    {
        OnNextModal([inDialog = std::move(inDialog)](QWidget* w) {
            auto* capture = qobject_cast<CCaptureDlg*>(w);
            ASSERT_NE(capture, nullptr);
            inDialog(*capture);
            if (capture->isVisible())
                capture->CancelButton()->click();
        });
        Click(IDC_BUTTON_CAPTURE);
    }
    // Save in the capture dialog: the user types name with the filter chosen.
    void SaveAs(CCaptureDlg& capture, const QString& name, const char* filter)
    {
        OnNextModal(
            [this, name, filter](QWidget* f) {
                auto* files = qobject_cast<QFileDialog*>(f);
                ASSERT_NE(files, nullptr);
                files->setDirectory(m_dir.path());
                files->selectNameFilter(QString::fromLatin1(filter));
                files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
                QMetaObject::invokeMethod(files, "accept", Qt::DirectConnection);
            },
            &capture);
        capture.SaveButton()->click();
    }
    QString InDir(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
    std::unique_ptr<camsim::CamsimProcess> cam;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<LiveWorkers> workers;
    std::unique_ptr<CViewerPanel> panel;
};

// Not one colour: a picture of the camera's scene, not an empty or blank copy.
bool HasDetail(const QImage& image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

TEST_F(LivePanel, CaptureOf640x480SavedAsJpegWhenNamedWithoutExtension)
{
    Play({"--size", "640x480"});
    const std::string start = panel->CurrentDirectory();
    Capture([&](CCaptureDlg& capture) {
        EXPECT_EQ(capture.Frame()->Preview().size(), QSize(320, 240));
        EXPECT_TRUE(HasDetail(capture.PreviewSource()));
        // As a file dialog may: the process moves to where the user went.
        QDir::setCurrent(m_dir.path());
        SaveAs(capture, QStringLiteral("gate"), kJpgFilter);
    });
    EXPECT_EQ(Identify(InDir("gate.jpg")), "640x480 JPEG");
    EXPECT_EQ(std::filesystem::current_path().string(), start);
}

TEST_F(LivePanel, CaptureOf160x120EnlargesThePreviewByTheBilinearRule)
{
    Play({"--size", "160x120"});
    QImage preview;
    Capture([&](CCaptureDlg& capture) {
        preview = capture.Frame()->Preview();
        SaveAs(capture, QStringLiteral("small.bmp"), kBmpFilter);
    });
    EXPECT_EQ(Identify(InDir("small.bmp")), "160x120 BMP");

    // The preview is the saved full copy enlarged to 320 by 240 by the workers' resize.
    CxImage full;
    ASSERT_TRUE(full.Decode(QFile::encodeName(InDir("small.bmp")).constData(), CXIMAGE_FORMAT_BMP));
    const auto* dib = static_cast<const std::uint8_t*>(full.GetDIB());
    const std::vector<std::uint8_t> enlarged =
        kv::ResizePackedDib24(std::span<const std::uint8_t>(dib, full.TotalSize()), 320, 240);
    ASSERT_FALSE(enlarged.empty());
    ASSERT_EQ(preview.size(), QSize(320, 240));
    const std::size_t stride = kv::RowBytes24(320);
    int differing = 0;
    for (int y = 0; y < 240; ++y) {
        const std::uint8_t* row = enlarged.data() + 40 + static_cast<std::size_t>(239 - y) * stride;
        for (int x = 0; x < 320; ++x)
            if (preview.pixel(x, y) != qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]))
                ++differing;
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(LivePanel, BmpNameWithTheJpgFilterIsWrittenAsJpeg)
{
    Play({"--kind", "mpeg"}, "mpeg");
    const kv::PictureSize picture = workers->mpeg4Display.GetPictureSize();
    Capture([&](CCaptureDlg& capture) {
        EXPECT_TRUE(HasDetail(capture.PreviewSource()));
        SaveAs(capture, QStringLiteral("hall.bmp"), kJpgFilter);
    });
    EXPECT_EQ(Identify(InDir("hall.bmp")),
              std::to_string(picture.width) + "x" + std::to_string(picture.height) + " JPEG");
}

TEST_F(LivePanel, CaptureAfterTheStreamStoppedSaysSoAndOpensNoDialog)
{
    Play({});
    panel->StopPlay();
    kv::ModuleTimings().captureWaitMs = 200;
    QString shown;
    OnNextModal([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            shown = box->text();
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    });
    Click(IDC_BUTTON_CAPTURE);
    EXPECT_EQ(shown.toStdString(), std::string(kNoPictureText));
}

// Pictures with live video: the panel in each state of exclusive control and the capture
// dialog opened from it (the pad's pictures are the pad tests'). With KV_UI_SHOTS_DIR set they are written there:
//   KV_UI_SHOTS_DIR=docs QT_QPA_PLATFORM=offscreen build/tests/commands/test_commands --gtest_filter='LivePanel.Pictures*'
void Save(const QImage& picture, const std::string& name)
{
    EXPECT_TRUE(HasDetail(picture)) << name;
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name), "PNG")) << name;
}

TEST_F(LivePanel, PicturesOfEachExclusiveControlState)
{
    Play({"--clock-start", "2026/01/01 12:00:00", "--inquiry", "max_user", "--preset", "1:Gate", "--preset", "3:Hall"},
         "jpeg", 2);
    const auto shot = [&](const std::string& state) {
        Pump(300);  // a few more pictures and the clock
        Save(panel->grab().toImage(), "panel-control-" + state + ".png");
    };
    shot("idle");

    Click(IDC_BUTTON_CONTROL);
    ASSERT_FALSE(panel->ControlHeld());
    shot("refused");

    ASSERT_TRUE(cam->Control("inquiry=normal&exclusive=on&waiting=5&remain=20"));
    Click(IDC_BUTTON_CONTROL);
    panel->OnTimer(TIMER_WAIT);
    panel->OnTimer(TIMER_WAIT);
    shot("waiting");
    while (!panel->ControlHeld())
        panel->OnTimer(TIMER_WAIT);
    panel->OnTimer(TIMER_REMAIN);
    shot("timed");

    while (panel->ControlHeld())
        panel->OnTimer(TIMER_REMAIN);
    ASSERT_TRUE(cam->Control("exclusive=off"));
    Click(IDC_BUTTON_CONTROL);
    ASSERT_TRUE(panel->ControlHeld());
    shot("open-ended");

}

TEST_F(LivePanel, PictureOfTheCaptureDialog)
{
    Play({"--clock-start", "2026/01/01 12:00:00"}, "jpeg", 1);
    Capture([&](CCaptureDlg& capture) {
        Pump(50);
        Save(capture.grab().toImage(), "capture-dialog-live.png");
    });
}

} // namespace
} // namespace kvtest
