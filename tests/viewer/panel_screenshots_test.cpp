// Pictures of the panel as a person sees it, in each scheme, for both stream kinds and two
// view sizes, and while it reconnects. With KV_UI_SHOTS_DIR set they are written there:
//   KV_UI_SHOTS_DIR=shots QT_QPA_PLATFORM=offscreen build/tests/viewer/test_viewer --gtest_filter='PanelShots.*'
// Whatever the directory, every text must fit its control.
#include "viewer_test_support.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>

#include "viewer/panel/viewer_panel.h"
#include "viewer/widgets/panel_button.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

void Save(QWidget* widget, const std::string& name)
{
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    EXPECT_TRUE(widget->grab().save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name), "PNG"));
}

void ExpectTextsFit(CViewerPanel& panel)
{
    for (int id : {IDC_STATIC_FRAMERATE, IDC_STATIC_VIEWSIZE, IDC_STATIC_PRESET, IDC_STATIC_TIME}) {
        auto* label = qobject_cast<QLabel*>(panel.Control(id));
        if (!label || label->isHidden())
            continue;
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << id;
    }
    for (int id : {IDC_BUTTON_ZOOM, IDC_BUTTON_CAPTURE, IDC_BUTTON_CONTROL}) {
        auto* button = qobject_cast<CPanelButton*>(panel.Control(id));
        if (!button || button->isHidden())
            continue;
        const QFontMetrics metrics(button->font());
        const int room = button->width() - (button->ImageRect().right() + 1);
        EXPECT_LE(metrics.horizontalAdvance(button->text()), room) << id;
        EXPECT_LE(metrics.height(), button->height()) << id;
    }
}

class PanelShots : public PanelFixture {};

TEST_F(PanelShots, EachSchemeKindAndSize)
{
    for (const char* kind : {"jpeg", "mpeg"}) {
        StartCamera({"--kind", kind, "--audio", "on"});
        panel->Create(host.get());
        for (int scheme : {1, 2, 3}) {
            ASSERT_TRUE(SetSource("jpeg", "on", "15", scheme));
            panel->StartPlay(0, "");
            WaitForLayout();
            for (int view : {1, 2}) {
                auto* list = qobject_cast<QComboBox*>(C(IDC_COMBO_VIEWSIZE));
                list->setCurrentIndex(view);
                emit list->activated(view);
                Pump(150);
                CurrentFake().Present();
                Pump(50);
                ExpectTextsFit(*panel);
                Save(panel.get(), std::string("panel-") + (std::string(kind) == "mpeg" ? "mpeg4" : "mjpeg") +
                                      "-scheme" + std::to_string(scheme) + (view == 1 ? "-640x480" : "-320x240") +
                                      ".png");
            }
            panel->StopPlay();
        }
        // The next kind on a camera and panel of its own.
        panel.reset();
        workers = std::make_unique<TestWorkers>();
        panel = std::make_unique<CViewerPanel>(workers->Workers());
        cam.reset();
    }
}

TEST_F(PanelShots, ReconnectingAndFailed)
{
    StartCamera();
    PlayUntilLaidOut("jpeg", 3);
    CurrentFake().Present();
    Pump(50);
    // The next connections fail before a picture: the panel keeps saying it reconnects.
    workers->mjpegDisplay.presentOnStart = false;
    ASSERT_TRUE(cam->SetFault("close_mid&after_bytes=10&path=/img/&count=1000"));
    ASSERT_TRUE(WaitUntil([&] { return panel->Reconnecting(); }));
    Pump(100);
    const QImage shot = panel->grab().toImage();
    Save(panel.get(), "panel-reconnecting.png");
    // The last picture is greyed, not gone.
    const QColor inside = shot.pixelColor(300, 100);
    EXPECT_NE(inside, QColor(Qt::black));
    EXPECT_NE(inside, QColor(38, 38, 38));

    ASSERT_TRUE(cam->SetFault("busy&path=/img/"));
    ASSERT_TRUE(WaitUntil([&] { return Visible(IDC_STATIC_BIGMESSAGE); }, 10000));
    Pump(50);
    Save(panel.get(), "panel-busy.png");
    EXPECT_FALSE(panel->Reconnecting());
}

} // namespace
} // namespace kvtest
