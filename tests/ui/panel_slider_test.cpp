#include <gtest/gtest.h>

#include <QTest>

#include "platform/ui/posted_message.h"
#include "platform/ui/ui_helpers.h"
#include "ui_test_support.h"
#include "viewer/resources/resources.h"
#include "viewer/widgets/panel_slider.h"

using kv::viewer::CPanelSlider;
using kv::ui::WM_SLIDER_MOVING;
using kv::ui::WM_SLIDER_POSITION;

namespace {

QImage Solid(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvtest::App();
        window = std::make_unique<kvtest::RecordingWindow>();
        slider = new CPanelSlider(window.get());
        kv::ui::SetControlId(slider, 231);
    }

    // The panel's volume slider: track 83x28, range 0..100 at 100, margins 2,0,0,0.
    void MakeVolume(int scheme)
    {
        const int track[] = {538, 573, 610};
        const int thumb[] = {537, 564, 602};
        const int active[] = {539, 565, 603};
        ASSERT_TRUE(slider->SetChannelBitmaps(track[scheme - 1], track[scheme - 1], false, kv::ui::kColorFromPoint, 0, 0));
        ASSERT_TRUE(slider->SetThumbBitmaps(thumb[scheme - 1], active[scheme - 1], false, kv::ui::kColorFromPoint, 0, 0));
        slider->SetRange(0, 100);
        slider->SetPos(100);
        slider->SetMargin(2, 0, 0, 0);
        slider->move(270, 100);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void Pump() { QCoreApplication::sendPostedEvents(); }

    std::unique_ptr<kvtest::RecordingWindow> window;
    CPanelSlider* slider = nullptr;
};

} // namespace

TEST_F(SliderTest, FullVolumeSitsAtTheRightEndAndEndStillNotifies)
{
    MakeVolume(1);
    EXPECT_EQ(slider->size(), QSize(83, 28));
    EXPECT_EQ(slider->ThumbRect(), QRect(73, 1, 10, 25));  // right edge = width - right margin
    EXPECT_EQ(slider->ThumbRect().right(), 82);

    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    Pump();
    EXPECT_EQ(slider->GetPos(), 100);
    EXPECT_EQ(slider->ThumbRect().x(), 73);
    ASSERT_EQ(window->posted.size(), 1u);
    EXPECT_EQ(window->posted[0].message, WM_SLIDER_POSITION);
    EXPECT_EQ(window->posted[0].wParam, 231);
    EXPECT_EQ(window->posted[0].lParam, 100);
}

TEST_F(SliderTest, PixelAndValueFormulasAtSeveralRangesAndMargins)
{
    struct Case {
        int width, thumb, left, right, min, max;
        int value, pixel;   // pixel of value
        int probe, valueAt; // value of pixel probe
    };
    const Case cases[] = {
        {83, 10, 2, 0, 0, 100, 0, 7, 7, 0},
        {83, 10, 2, 0, 0, 100, 50, 42, 42, 49},     // 35/71*100 = 49.3
        {83, 10, 2, 0, 0, 100, 100, 78, 78, 100},
        {200, 10, 10, 20, -50, 50, -50, 15, 15, -50},
        {200, 10, 10, 20, -50, 50, 0, 95, 95, 0},
        {200, 10, 10, 20, -50, 50, 50, 175, 60, -21},  // 45/160*100 - 50 = -21.875
        {120, 8, 0, 0, 0, 3, 2, 78, 80, 2},            // 4 + 2/3*112 = 78.67
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.min << ".." << c.max << " v" << c.value);
        ASSERT_TRUE(slider->SetChannelImages(Solid(c.width, 28, Qt::gray), QImage(), false, 0, 0, 0));
        ASSERT_TRUE(slider->SetThumbImages(Solid(c.thumb, 25, Qt::white), QImage(), false, 0, 0, 0));
        slider->SetMargin(c.left, 0, c.right, 0);
        slider->SetRange(c.min, c.max);
        EXPECT_EQ(slider->PixelOfValue(c.value), c.pixel);
        EXPECT_EQ(slider->ValueOfPixel(c.probe), c.valueAt);
    }

    // Vertical: the same along y, with the top and bottom margins.
    slider->SetVertical(true);
    ASSERT_TRUE(slider->SetChannelImages(Solid(20, 120, Qt::gray), QImage(), false, 0, 0, 0));
    ASSERT_TRUE(slider->SetThumbImages(Solid(20, 10, Qt::white), QImage(), false, 0, 0, 0));
    slider->SetMargin(0, 5, 0, 5);
    slider->SetRange(0, 10);
    EXPECT_EQ(slider->PixelOfValue(3), 40);
    EXPECT_EQ(slider->ValueOfPixel(40), 3);
    slider->SetPos(3);
    EXPECT_EQ(slider->ThumbRect(), QRect(0, 35, 20, 10));

    // A range of one value and a track shorter than the thumb never divide by zero.
    slider->SetRange(5, 5);
    EXPECT_EQ(slider->PixelOfValue(5), 10);
    ASSERT_TRUE(slider->SetChannelImages(Solid(20, 6, Qt::gray), QImage(), false, 0, 0, 0));
    EXPECT_EQ(slider->ValueOfPixel(100), 5);
}

TEST_F(SliderTest, PositionIsClampedToTheRange)
{
    slider->SetRange(10, 20);
    slider->SetPos(25);
    EXPECT_EQ(slider->GetPos(), 20);
    slider->SetPos(-3);
    EXPECT_EQ(slider->GetPos(), 10);
    slider->SetPos(15);
    slider->SetRange(0, 12);
    EXPECT_EQ(slider->GetPos(), 12);
}

TEST_F(SliderTest, DraggingPastEitherEndClampsThumbAndPosition)
{
    MakeVolume(1);
    slider->SetPos(50);
    const int centre = slider->ThumbRect().center().x() + 1;  // 42: within the thumb
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(centre, 14));
    EXPECT_TRUE(slider->IsDragging());
    EXPECT_EQ(slider->GrabOffset(), 0);
    QTest::mouseMove(slider, QPoint(-40, 14));
    EXPECT_EQ(slider->GetPos(), 0);
    EXPECT_EQ(slider->ThumbRect().x(), 2);  // left margin
    QTest::mouseMove(slider, QPoint(400, 14));
    EXPECT_EQ(slider->GetPos(), 100);
    EXPECT_EQ(slider->ThumbRect().right(), 82);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(400, 14));
    Pump();
    EXPECT_FALSE(slider->IsDragging());
    ASSERT_GE(window->posted.size(), 3u);
    EXPECT_EQ(window->Count(WM_SLIDER_MOVING), static_cast<int>(window->posted.size()) - 1);
    EXPECT_EQ(window->posted.back().message, WM_SLIDER_POSITION);
    EXPECT_EQ(window->posted.back().lParam, 100);
    for (const auto& r : window->posted) {
        EXPECT_GE(r.lParam, 0);
        EXPECT_LE(r.lParam, 100);
    }
}

TEST_F(SliderTest, OddThumbAtTheLastPixelGivesTheMaximumNotMore)
{
    MakeVolume(3);  // the 9-pixel thumb
    slider->SetPos(0);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(6, 14));
    QTest::mouseMove(slider, QPoint(82, 14));  // clamped to width - 4 = 79, which computes 101
    EXPECT_EQ(slider->GetPos(), 100);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(82, 14));
    Pump();
    EXPECT_EQ(window->posted.back().lParam, 100);
}

TEST_F(SliderTest, GrabOffsetKeepsTheThumbUnderThePointer)
{
    MakeVolume(1);
    slider->SetPos(50);  // centre pixel 42
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(45, 14));
    EXPECT_EQ(slider->GrabOffset(), 3);
    Pump();
    EXPECT_TRUE(window->posted.empty());  // the thumb did not move
    QTest::mouseMove(slider, QPoint(60, 14));  // thumb centre 57
    EXPECT_EQ(slider->GetPos(), 70);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(60, 14));

    // A press away from the thumb makes its centre jump to the pointer.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(20, 14));
    EXPECT_EQ(slider->GrabOffset(), 0);
    EXPECT_EQ(slider->GetPos(), 18);  // (20-5-2)/71*100 = 18.3
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(20, 14));
}

TEST_F(SliderTest, KeysMoveByOneOrAPageAndClamp)
{
    MakeVolume(2);
    slider->setFocus();
    struct Step {
        Qt::Key key;
        int expected;
    };
    const Step steps[] = {{Qt::Key_PageUp, 80}, {Qt::Key_Left, 79}, {Qt::Key_Up, 78}, {Qt::Key_Right, 79},
                          {Qt::Key_Down, 80}, {Qt::Key_PageDown, 100}, {Qt::Key_PageDown, 100},
                          {Qt::Key_Home, 0}, {Qt::Key_Left, 0}, {Qt::Key_PageUp, 0}};
    for (const auto& s : steps)
        QTest::keyClick(slider, s.key);
    Pump();
    ASSERT_EQ(window->posted.size(), std::size(steps));
    for (size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(window->posted[i].message, WM_SLIDER_POSITION) << i;
        EXPECT_EQ(window->posted[i].lParam, steps[i].expected) << i;
    }
}

TEST_F(SliderTest, DisabledSliderIgnoresMouseAndKeys)
{
    MakeVolume(1);
    slider->Enable(false);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(10, 14));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(10, 14));
    QTest::keyClick(slider, Qt::Key_Home);
    Pump();
    EXPECT_EQ(slider->GetPos(), 100);
    EXPECT_TRUE(window->posted.empty());
}

TEST_F(SliderTest, BitmapsFailCleanlyAndDrawTheActiveThumbWhileDragging)
{
    EXPECT_FALSE(slider->SetChannelBitmaps(4242, 0));
    EXPECT_FALSE(slider->SetThumbBitmaps(537, 4243));
    EXPECT_EQ(slider->ThumbLength(), 0);
    EXPECT_TRUE(slider->SetThumbBitmaps(0, 0));

    // Transparent colour taken from a point: the key pixels show the parent through.
    QImage thumb = Solid(10, 25, QColor(255, 0, 255));
    thumb.setPixelColor(5, 12, Qt::red);
    ASSERT_TRUE(slider->SetChannelImages(Solid(83, 28, Qt::blue), QImage(), false, 0, 0, 0));
    QImage active = Solid(10, 25, Qt::green);
    active.setPixelColor(0, 0, QColor(255, 0, 255));
    ASSERT_TRUE(slider->SetThumbImages(thumb, active, true, kv::ui::kColorFromPoint, 0, 0));
    EXPECT_FALSE(slider->SetThumbImages(thumb, QImage(), true, kv::ui::kColorFromPoint, 40, 40));  // point outside
    ASSERT_TRUE(slider->SetThumbImages(thumb, active, true, kv::ui::kColorFromPoint, 0, 0));
    slider->SetPos(0);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QImage shot = slider->grab().toImage();
    const QRect t = slider->ThumbRect();
    EXPECT_EQ(shot.pixelColor(t.x() + 5, t.y() + 12), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(t.x() + 1, t.y() + 1), QColor(Qt::blue));  // masked: track shows
    QTest::mousePress(slider, Qt::LeftButton, {}, t.center());
    shot = slider->grab().toImage();
    EXPECT_EQ(shot.pixelColor(slider->ThumbRect().center()), QColor(Qt::green));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, t.center());
}
