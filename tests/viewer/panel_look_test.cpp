// The panel as a person sees it: the layout around the video for the documented view
// sizes, the left column per stream kind, the colour schemes (and none), digital zoom by
// click, and the speaker and volume heard through the audio worker.
#include "viewer_test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <cmath>
#include <fstream>

#include "platform/ui/posted_message.h"
#include "stream/result_code.h"
#include "viewer/resources/resources.h"
#include "viewer/panel/viewer_panel.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/picture_ctrl.h"

namespace kvtest {
namespace {

using namespace kv::viewer;

QRect Ltrb(int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); }

class PanelLook : public PanelFixture {
protected:
    // A new view size, as the view-size list gives it, and the layout that follows.
    void SelectViewSize(int index)
    {
        auto* list = qobject_cast<QComboBox*>(C(IDC_COMBO_VIEWSIZE));
        ASSERT_TRUE(list);
        list->setCurrentIndex(index);
        emit list->activated(index);
        Pump(150);  // a few layout ticks
    }
    QColor PixelAt(int x, int y) { return panel->grab().toImage().pixelColor(x, y); }
    CPanelButton* Button(int id) { return qobject_cast<CPanelButton*>(C(id)); }
};

TEST_F(PanelLook, LayoutAroundA640By480View)
{
    StartCamera();
    PlayUntilLaidOut("jpeg", 3);
    const VideoLayout& layout = panel->Layout();
    EXPECT_EQ(layout.bezelTop, Ltrb(220, 15, 870, 35));
    EXPECT_EQ(layout.bezelBottom, Ltrb(220, 505, 870, 520));
    EXPECT_EQ(layout.bezelRight, Ltrb(865, 25, 870, 510));
    EXPECT_EQ(layout.bezelLeft, Ltrb(220, 25, 225, 510));
    EXPECT_EQ(C(IDC_STATIC_TIME)->geometry(), QRect(225, 18, 140, 15));
    EXPECT_EQ(C(IDC_STATIC_CONTROL_ICON)->pos(), QPoint(850, 17));
    EXPECT_EQ(C(IDC_BUTTON_SPEAKER)->pos(), QPoint(220, 525));
    EXPECT_EQ(C(IDC_SLIDER_VOLUME)->geometry(), QRect(270, 523, 83, 28));
    auto* banner = qobject_cast<CPictureCtrl*>(C(IDC_STATIC_BANNER));
    ASSERT_TRUE(banner);
    EXPECT_TRUE(Visible(IDC_STATIC_BANNER));
    EXPECT_EQ(banner->geometry(), QRect(220, 520, 650, 36));
    EXPECT_EQ(banner->PictureNumber(), 301);
    // The bezel is black, the video inside it is the picture.
    EXPECT_EQ(PixelAt(222, 300), QColor(Qt::black));
    EXPECT_EQ(PixelAt(600, 25), QColor(Qt::black));
    EXPECT_NE(PixelAt(400, 300), QColor(Qt::black));
}

TEST_F(PanelLook, LayoutForSmallAndUnknownViews)
{
    StartCamera({"--size", "160x120"});
    PlayUntilLaidOut("jpeg", 3);
    EXPECT_EQ(panel->Layout().bezelTop.right() + 1, 390);
    EXPECT_EQ(C(IDC_STATIC_CONTROL_ICON)->pos(), QPoint(370, 17));
    EXPECT_EQ(C(IDC_STATIC_BANNER)->width(), 170);
    EXPECT_EQ(qobject_cast<CPictureCtrl*>(C(IDC_STATIC_BANNER))->PictureNumber(), 303);

    // A picture no camera sends, shown as it is.
    CurrentFake().SetPictureSize(150, 100);
    SelectViewSize(0);
    EXPECT_EQ(panel->Layout().bezelTop, Ltrb(220, 15, 385, 35));
    EXPECT_EQ(C(IDC_STATIC_CONTROL_ICON)->pos(), QPoint(365, 17));

    // "AUTO" before the size is known: the smallest frame.
    CurrentFake().SetPictureSize(0, 0);
    SelectViewSize(0);
    const VideoLayout& layout = panel->Layout();
    EXPECT_EQ(layout.bezelTop, Ltrb(220, 15, 385, 35));
    EXPECT_EQ(layout.bezelBottom, Ltrb(220, 50, 385, 55));
    EXPECT_EQ(layout.bezelRight, Ltrb(225, 25, 385, 55));
    EXPECT_EQ(layout.bezelLeft, Ltrb(220, 25, 225, 55));
    // And a click there does not divide by zero.
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(225, 35));
    EXPECT_FALSE(panel->Zoomed());

    SelectViewSize(2);  // 320x240: the middle banner
    EXPECT_EQ(panel->Layout().bezelTop.right() + 1, 550);
    EXPECT_EQ(C(IDC_STATIC_BANNER)->width(), 330);
}

TEST_F(PanelLook, LeftColumnForMpeg4InScheme2)
{
    StartCamera({"--kind", "mpeg"});
    PlayUntilLaidOut("mpeg", 2);
    EXPECT_FALSE(Visible(IDC_STATIC_FRAMERATE));
    EXPECT_FALSE(Visible(IDC_COMBO_FRAMERATE));
    EXPECT_EQ(C(IDC_STATIC_VIEWSIZE)->geometry(), QRect(15, 15, 120, 15));
    EXPECT_EQ(C(IDC_COMBO_VIEWSIZE)->geometry(), QRect(15, 33, 120, 20));
    EXPECT_EQ(C(IDC_BUTTON_ZOOM)->geometry(), QRect(15, 68, 120, 33));
    EXPECT_EQ(C(IDC_BUTTON_CAPTURE)->geometry(), QRect(15, 121, 120, 33));
    EXPECT_EQ(C(IDC_BUTTON_CONTROL)->geometry(), QRect(15, 174, 120, 33));
    EXPECT_EQ(C(IDC_BUTTON_PANTILT)->geometry(), QRect(15, 174, 120, 33));
    EXPECT_EQ(C(IDC_STATIC_PRESET)->geometry(), QRect(15, 222, 120, 15));
    EXPECT_EQ(C(IDC_COMBO_PRESET)->geometry(), QRect(15, 240, 120, 20));
    EXPECT_EQ(C(IDC_STATIC_MESSAGE)->geometry(), QRect(15, 276, 120, 36));
    EXPECT_EQ(C(IDC_STATIC_TIME)->height(), 12);
    EXPECT_FALSE(Visible(IDC_STATIC_BANNER));  // scheme 3 only
    // Pan/Tilt "on": Control is offered, nothing that holding control shows.
    EXPECT_TRUE(Visible(IDC_BUTTON_CONTROL));
    for (int id : {IDC_BUTTON_PANTILT, IDC_STATIC_PRESET, IDC_COMBO_PRESET, IDC_STATIC_CONTROL_ICON})
        EXPECT_FALSE(Visible(id)) << id;
    EXPECT_FALSE(panel->ControlHeld());
}

TEST_F(PanelLook, LeftColumnForMotionJpeg)
{
    StartCamera();
    panel->Create(host.get());
    ASSERT_TRUE(SetSource("jpeg", "off"));
    panel->StartPlay(0, "");
    WaitForLayout();
    EXPECT_EQ(C(IDC_STATIC_FRAMERATE)->geometry(), QRect(15, 15, 120, 15));
    EXPECT_EQ(C(IDC_COMBO_FRAMERATE)->geometry(), QRect(15, 33, 120, 20));
    EXPECT_EQ(C(IDC_STATIC_VIEWSIZE)->geometry(), QRect(15, 68, 120, 15));
    EXPECT_EQ(C(IDC_BUTTON_ZOOM)->geometry(), QRect(15, 121, 120, 33));
    EXPECT_EQ(C(IDC_STATIC_MESSAGE)->geometry(), QRect(15, 329, 120, 36));
    // Pan/Tilt "off": none of the camera-control items.
    for (int id : {IDC_BUTTON_CONTROL, IDC_BUTTON_PANTILT, IDC_STATIC_PRESET, IDC_COMBO_PRESET, IDC_STATIC_MESSAGE})
        EXPECT_FALSE(Visible(id)) << id;
    EXPECT_TRUE(Visible(IDC_BUTTON_ZOOM));
    EXPECT_TRUE(Visible(IDC_BUTTON_CAPTURE));
    EXPECT_EQ(TextOf(C(IDC_BUTTON_ZOOM)), " Digital zoom");
    EXPECT_EQ(TextOf(C(IDC_STATIC_FRAMERATE)), "Frame rate");
}

TEST_F(PanelLook, ColourSchemes)
{
    struct Look {
        int scheme;
        QColor background;
        QColor text;
        int zoomNormal;
    };
    const Look looks[] = {{1, QColor(230, 232, 237), QColor(60, 92, 156), 502},
                          {2, QColor(75, 110, 182), QColor(235, 235, 235), 576},
                          {3, QColor(38, 38, 38), QColor(235, 235, 235), 614}};
    StartCamera();
    panel->Create(host.get());
    for (const Look& look : looks) {
        ASSERT_TRUE(SetSource("jpeg", "on", "15", look.scheme));
        panel->StartPlay(0, "");
        WaitForLayout();
        Pump(50);
        EXPECT_EQ(PixelAt(600, 630), look.background) << look.scheme;
        EXPECT_EQ(PixelAt(140, 640), look.background) << look.scheme;
        for (int id : {IDC_STATIC_VIEWSIZE, IDC_STATIC_FRAMERATE, IDC_STATIC_MESSAGE, IDC_STATIC_BIGMESSAGE}) {
            EXPECT_EQ(C(id)->palette().color(QPalette::WindowText), look.text) << look.scheme << " " << id;
            EXPECT_EQ(C(id)->palette().color(QPalette::Window), look.background) << look.scheme << " " << id;
        }
        for (int id : {IDC_BUTTON_ZOOM, IDC_BUTTON_CAPTURE, IDC_BUTTON_CONTROL, IDC_BUTTON_PANTILT, IDC_BUTTON_SPEAKER}) {
            CPanelButton* button = Button(id);
            EXPECT_EQ(button->GetColor(CPanelButton::BTNST_COLOR_FG_IN), look.text) << id;
            EXPECT_EQ(button->GetColor(CPanelButton::BTNST_COLOR_FG_OUT), look.text) << id;
            EXPECT_TRUE(button->HasNormalImage()) << id;
            EXPECT_FALSE(button->DrawsBorder()) << id;
            EXPECT_TRUE(button->IsTransparent()) << id;
        }
        // The button shows its scheme's normal picture.
        const QImage expected = LoadBitmapResource(look.zoomNormal);
        const QImage shown = Button(IDC_BUTTON_ZOOM)->grab().toImage();
        const QRect image = Button(IDC_BUTTON_ZOOM)->ImageRect();
        EXPECT_EQ(shown.pixelColor(image.center()), expected.pixelColor(image.center() - image.topLeft()))
            << look.scheme;
        // Lists are black on white and the time is white on black in every scheme.
        EXPECT_EQ(C(IDC_COMBO_VIEWSIZE)->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(C(IDC_COMBO_VIEWSIZE)->palette().color(QPalette::Text), QColor(Qt::black));
        EXPECT_EQ(C(IDC_STATIC_TIME)->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(C(IDC_STATIC_TIME)->palette().color(QPalette::WindowText), QColor(Qt::white));
        panel->StopPlay();
    }
}

TEST_F(PanelLook, ControlIconShowsTheBackgroundThroughItsKeyColour)
{
    StartCamera();
    PlayUntilLaidOut("jpeg", 2);
    const QImage art = LoadBitmapResource(IDB_CONTROL_ICON).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(art.isNull());
    QWidget* icon = C(IDC_STATIC_CONTROL_ICON);
    EXPECT_EQ(icon->size(), QSize(15, 15));
    icon->show();
    const QImage shot = panel->grab().toImage();
    int keyed = 0;
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x) {
            const QColor shown = shot.pixelColor(icon->pos() + QPoint(x, y));
            if (art.pixelColor(x, y) == QColor(255, 0, 255)) {
                ++keyed;
                EXPECT_NE(shown, QColor(255, 0, 255)) << x << "," << y;
            } else {
                EXPECT_EQ(shown, art.pixelColor(x, y)) << x << "," << y;
            }
        }
    EXPECT_GT(keyed, 0);
}

TEST_F(PanelLook, SchemeOutsideTheThreeSetsNothingButTheBezelIsDrawn)
{
    StartCamera();
    PlayUntilLaidOut("jpeg", 4);
    for (int id : {IDC_BUTTON_ZOOM, IDC_BUTTON_CAPTURE, IDC_BUTTON_CONTROL, IDC_BUTTON_SPEAKER}) {
        EXPECT_FALSE(Button(id)->HasHoverImage()) << id;
        EXPECT_FALSE(Button(id)->HasNormalImage()) << id;
    }
    EXPECT_EQ(PixelAt(600, 630), panel->palette().color(QPalette::Window));
    EXPECT_EQ(PixelAt(222, 300), QColor(Qt::black));
    EXPECT_FALSE(Visible(IDC_STATIC_BANNER));
}

TEST_F(PanelLook, DigitalZoomOnAnEnlargedView)
{
    StartCamera({"--size", "320x240"});
    PlayUntilLaidOut();
    SelectViewSize(1);  // 640x480
    FakeDisplay& display = CurrentFake();
    ASSERT_EQ(display.GetViewSize().width, 640);

    // Unarmed, a click is no zoom.
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(545, 275));
    EXPECT_FALSE(display.ZoomActive());

    const QImage unarmed = Button(IDC_BUTTON_ZOOM)->grab().toImage();
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    EXPECT_TRUE(panel->ZoomMode());
    EXPECT_TRUE(panel->HasZoomCursor());
    EXPECT_EQ(panel->cursor().shape(), Qt::BitmapCursor);  // the zoom cursor over the panel
    EXPECT_NE(Button(IDC_BUTTON_ZOOM)->grab().toImage(), unarmed);  // the armed picture

    // Outside the view: still armed, nothing chosen.
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(100, 300));
    EXPECT_TRUE(panel->ZoomMode());
    EXPECT_FALSE(panel->Zoomed());
    EXPECT_FALSE(display.ZoomActive());

    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(545, 275));
    EXPECT_TRUE(panel->Zoomed());
    EXPECT_EQ(panel->ZoomRectangle(), (ZoomRect{160, 120, 480, 360}));
    EXPECT_EQ(display.ZoomSource(), (std::array<int, 4>{80, 60, 160, 120}));
    EXPECT_TRUE(display.ZoomActive());
    EXPECT_FALSE(panel->HasZoomCursor());  // gone once used
    EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor);

    // The zoom survives a restart: the new display gets the same region.
    const int run = panel->CurrentRun();
    display.Exit(kv::kResultReadFailed);
    ASSERT_TRUE(WaitUntil([&] { return panel->CurrentRun() != run && display.IsOpen() && display.ZoomActive(); }));
    EXPECT_EQ(display.ZoomSource(), (std::array<int, 4>{80, 60, 160, 120}));

    // Pressed again: back to the whole picture.
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    EXPECT_FALSE(panel->ZoomMode());
    EXPECT_FALSE(panel->Zoomed());
    EXPECT_FALSE(display.ZoomActive());
    EXPECT_EQ(panel->ZoomRectangle().left, -1);
    EXPECT_EQ(panel->ZoomRectangle().top, -1);
    EXPECT_FALSE(panel->HasZoomCursor());
}

TEST_F(PanelLook, DigitalZoomOnAReducedViewAndItsRightEdge)
{
    StartCamera();
    PlayUntilLaidOut();
    SelectViewSize(2);  // 320x240
    FakeDisplay& display = CurrentFake();
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(385, 155));
    EXPECT_EQ(panel->ZoomRectangle(), (ZoomRect{80, 60, 240, 180}));
    EXPECT_EQ(display.ZoomSource(), (std::array<int, 4>{160, 120, 320, 240}));

    // Disarm, arm, and click on the right edge of the view.
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    QTest::mouseClick(Button(IDC_BUTTON_ZOOM), Qt::LeftButton);
    EXPECT_TRUE(panel->HasZoomCursor());
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(225 + 320, 100));
    EXPECT_EQ(panel->ZoomRectangle().left, 160);
    EXPECT_EQ(panel->ZoomRectangle().right, 320);
    // A later click changes nothing until the zoom is pressed again.
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(300, 100));
    EXPECT_EQ(panel->ZoomRectangle().left, 160);
}

TEST_F(PanelLook, ZoomPercentGoesToTheMpeg4Display)
{
    StartCamera({"--kind", "mpeg"});
    PlayUntilLaidOut("mpeg");
    panel->SetZoomPercent(50);
    EXPECT_EQ(workers->mpeg4Display.ZoomPercent(), 50);
    EXPECT_EQ(workers->mjpegDisplay.ZoomPercent(), 100);
    Pump(120);
    // The bezel still surrounds the view size.
    EXPECT_EQ(panel->Layout().bezelTop.right() + 1, 870);
}

// Reads the 16-bit samples of a WAV file written by the null sound device.
std::vector<std::int16_t> WavSamples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples;
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
        samples.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                                    (static_cast<std::uint8_t>(bytes[at + 1]) << 8)));
    return samples;
}

double LoudnessOfLast(const std::vector<std::int16_t>& samples, std::size_t count)
{
    if (samples.size() < count)
        return -1;
    double sum = 0;
    for (std::size_t i = samples.size() - count; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / count);
}

TEST_F(PanelLook, SpeakerAndVolumeAreHeard)
{
    const std::string wav = (std::filesystem::temp_directory_path() /
                             ("kv-panel-" + std::to_string(::getpid()) + ".wav")).string();
    ::setenv("KAVARO_AUDIO", ("wav:" + wav).c_str(), 1);
    StartCamera({"--audio", "on", "--audio-bits", "5"});
    PlayUntilLaidOut("jpeg", 1);
    ASSERT_TRUE(WaitUntil([&] { return workers->audioPlayer.IsInitialised(); }));
    constexpr std::size_t kTail = 2000;  // a quarter second
    ASSERT_TRUE(WaitUntil([&] { return LoudnessOfLast(WavSamples(wav), kTail) > 1000; }, 8000));
    const double full = LoudnessOfLast(WavSamples(wav), kTail);

    // Volume 0 is 50 dB down: the tone falls to a few hundredths.
    auto* slider = qobject_cast<CPanelSlider*>(C(IDC_SLIDER_VOLUME));
    ASSERT_TRUE(slider);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(slider->GetPos(), 0);
    EXPECT_TRUE(WaitUntil([&] { return LoudnessOfLast(WavSamples(wav), kTail) < full / 100; }, 8000));
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_TRUE(WaitUntil([&] { return LoudnessOfLast(WavSamples(wav), kTail) > full / 2; }, 8000));

    // The speaker button mutes and unmutes.
    QTest::mouseClick(Button(IDC_BUTTON_SPEAKER), Qt::LeftButton);
    EXPECT_FALSE(panel->SpeakerOn());
    EXPECT_FALSE(workers->audioPlayer.IsSoundOn());
    EXPECT_FALSE(workers->mjpegPlayer.AudioEnabled());  // the stream's sound is no longer kept
    EXPECT_TRUE(WaitUntil([&] { return LoudnessOfLast(WavSamples(wav), kTail) == 0; }, 8000));
    // A restart keeps the speaker's choice.
    workers->mjpegDisplay.Exit(kv::kResultMalformed);
    ASSERT_TRUE(WaitUntil([&] { return workers->mjpegDisplay.Starts() >= 2; }));
    EXPECT_FALSE(workers->mjpegPlayer.AudioEnabled());
    ASSERT_TRUE(WaitUntil([&] { return workers->audioPlayer.IsInitialised(); }));
    QTest::mouseClick(Button(IDC_BUTTON_SPEAKER), Qt::LeftButton);
    EXPECT_TRUE(panel->SpeakerOn());
    EXPECT_TRUE(workers->mjpegPlayer.AudioEnabled());
    EXPECT_TRUE(WaitUntil([&] { return LoudnessOfLast(WavSamples(wav), kTail) > full / 2; }, 8000));

    panel->StopPlay();
    ::setenv("KAVARO_AUDIO", "null", 1);
    if (!HasFailure())
        std::filesystem::remove(wav);
}

TEST_F(PanelLook, SpeakerAndVolumeWithoutAudioDoNothing)
{
    StartCamera();
    PlayUntilLaidOut();
    ASSERT_FALSE(workers->audioPlayer.IsInitialised());
    auto* slider = qobject_cast<CPanelSlider*>(C(IDC_SLIDER_VOLUME));
    slider->SetPos(30);
    kv::ui::PostMessageTo(panel.get(), kv::ui::WM_SLIDER_POSITION, IDC_SLIDER_VOLUME, 30);
    Pump(50);
    EXPECT_EQ(slider->GetPos(), 100);  // put back: there is nothing to make quieter
    Button(IDC_BUTTON_SPEAKER)->click();
    EXPECT_TRUE(panel->SpeakerOn());
}

} // namespace
} // namespace kvtest
