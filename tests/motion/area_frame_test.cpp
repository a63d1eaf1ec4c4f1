// The area frames under real mouse gestures: placing, moving and resizing against the
// picture area, the cut-away inside, and the rectangles measured for a save.
#include <gtest/gtest.h>

// Mouse events travel through the window system, as a user's would: a press lands on
// whatever is under the pointer, so the frames' cut-away insides are part of the test.
#define QTEST_QPA_MOUSE_HANDLING
#include <QCheckBox>
#include <QTest>

#include "motion/frames/area_frame.h"
#include "motion/protocol/setup_state.h"
#include "motion_test_support.h"

using kv::motion::AreaFrame;
using kv::motion::AreaRect;
using kv::motion::MotionSetupDialog;
using motiontest::TestSetup;

namespace {

class AreaFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setup = motiontest::MakeSetup();
        ASSERT_TRUE(setup->Create(nullptr));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.dialog.get()));
    }

    AreaFrame* Show(int index, int x1, int y1, int x2, int y2)
    {
        setup->ShowFrame(index, 1, x1, y1, x2, y2);
        AreaFrame* frame = setup->Frame(index);
        EXPECT_NE(frame, nullptr);
        return frame;
    }

    // Presses at `from` (frame coordinates), moves in steps by `delta`, releases.
    static void Drag(AreaFrame* frame, QPoint from, QPoint delta)
    {
        QTest::mousePress(frame, Qt::LeftButton, {}, from);
        const QPoint start = frame->mapToParent(from);
        for (int step = 1; step <= 4; ++step) {
            const QPoint at = start + delta * step / 4;
            QTest::mouseMove(frame, frame->mapFromParent(at));
        }
        QTest::mouseRelease(frame, Qt::LeftButton, {}, frame->mapFromParent(start + delta));
    }

    static QPoint Caption(AreaFrame* f) { return {f->width() / 2, AreaFrame::kBorder + 3}; }

    TestSetup setup;
};

} // namespace

TEST_F(AreaFrameTest, NewFramesKeepTheTrackingLimits)
{
    AreaFrame* zero = Show(1, 0, 0, 0, 0);
    EXPECT_EQ(zero->geometry(), QRect(0, 0, 70, 90)) << "all-zero window: top-left corner at the minimum size";
    EXPECT_EQ(setup->MeasureFrame(1), (AreaRect{0, 0, 70, 90}));
    EXPECT_EQ(zero->Caption(), QStringLiteral("Window 1"));

    AreaFrame* huge = Show(2, 10, 20, 2000, 2000);
    EXPECT_EQ(huge->geometry(), QRect(10, 20, 640, 480)) << "placed where asked, at most the picture's size";
    EXPECT_EQ(setup->MeasureFrame(2), (AreaRect{10, 20, 640, 480})) << "measured inside the picture";
    EXPECT_EQ(setup->MeasureFrame(3), std::nullopt) << "a frame never created is not measured";
    EXPECT_EQ(Show(0, 5, 5, 100, 100)->Caption(), QString()) << "the view area has no caption";

    // An existing frame is only shown again, never moved.
    setup->ShowFrame(1, 0, 0, 0, 0, 0);
    EXPECT_FALSE(zero->isVisible());
    setup->ShowFrame(1, 1, 300, 300, 400, 400);
    EXPECT_TRUE(zero->isVisible());
    EXPECT_EQ(zero->geometry(), QRect(0, 0, 70, 90));
}

TEST_F(AreaFrameTest, InsideIsCutAwaySoThePictureShowsThrough)
{
    AreaFrame* f = Show(1, 100, 100, 300, 250);
    const QRegion mask = f->mask();
    const QRect client = f->ClientRect();
    EXPECT_TRUE(mask.contains(Caption(f)));
    EXPECT_TRUE(mask.contains(QPoint(1, 100)));                         // left border
    EXPECT_TRUE(mask.contains(QPoint(f->width() - 2, 100)));            // right strip
    EXPECT_TRUE(mask.contains(QPoint(100, f->height() - 2)));           // bottom strip
    EXPECT_FALSE(mask.contains(client.topLeft()));
    EXPECT_FALSE(mask.contains(QPoint(f->width() - 5, f->height() - 5)));
    EXPECT_FALSE(mask.contains(client.center()));

    // The shape follows a resize.
    Drag(f, QPoint(f->width() - 2, f->height() / 2), QPoint(60, 0));
    EXPECT_EQ(f->width(), 260);
    EXPECT_TRUE(f->mask().contains(QPoint(f->width() - 2, 100)));
    EXPECT_FALSE(f->mask().contains(QPoint(f->width() - 5, 100)));
}

TEST_F(AreaFrameTest, DraggingPastLeftAndBottomStopsFlushWithTheEdges)
{
    AreaFrame* f = Show(1, 100, 300, 300, 400);
    Drag(f, Caption(f), QPoint(-500, 500));
    EXPECT_EQ(f->geometry(), QRect(0, 380, 200, 100)) << "flush left and bottom, size unchanged";
    EXPECT_EQ(setup->MeasureFrame(1), (AreaRect{0, 380, 200, 480}));

    Drag(f, Caption(f), QPoint(1000, -1000));
    EXPECT_EQ(f->geometry(), QRect(440, 0, 200, 100)) << "flush right and top";
    EXPECT_EQ(setup->MeasureFrame(1), (AreaRect{440, 0, 640, 100}));

    // A press in the cut-away inside grabs nothing.
    Drag(f, f->ClientRect().center(), QPoint(-50, 50));
    EXPECT_EQ(f->geometry(), QRect(440, 0, 200, 100));
}

TEST_F(AreaFrameTest, ResizingStopsAtThePictureAndAtTheTrackingLimits)
{
    AreaFrame* f = Show(1, 500, 100, 600, 250);
    Drag(f, QPoint(f->width() - 2, f->height() / 2), QPoint(300, 0));
    EXPECT_EQ(f->geometry(), QRect(500, 100, 140, 150)) << "right border stops at the picture's right edge";
    EXPECT_EQ(setup->MeasureFrame(1), (AreaRect{500, 100, 640, 250}));

    // Bottom-right corner towards the top-left: no smaller than 70 by 90, top-left stays.
    Drag(f, QPoint(f->width() - 2, f->height() - 2), QPoint(-500, -500));
    EXPECT_EQ(f->geometry(), QRect(500, 100, 70, 90));

    // Left edge far out: the left border stops at the picture's left edge.
    Drag(f, QPoint(1, f->height() / 2), QPoint(-900, 0));
    EXPECT_EQ(f->geometry(), QRect(0, 100, 570, 90));

    // Top-left corner up and in: the top stops at the picture's top.
    Drag(f, QPoint(1, 1), QPoint(100, -300));
    EXPECT_EQ(f->geometry(), QRect(100, 0, 470, 190));
}

TEST_F(AreaFrameTest, FramesTouchingTheRightAndBottomMeasureToTheFullPicture)
{
    AreaFrame* f = Show(4, 400, 300, 520, 420);
    Drag(f, Caption(f), QPoint(800, 800));
    EXPECT_EQ(f->geometry(), QRect(520, 360, 120, 120));
    EXPECT_EQ(setup->MeasureFrame(4), (AreaRect{520, 360, 640, 480}));
}

TEST_F(AreaFrameTest, UncheckingAndRecheckingKeepsWhereTheUserLeftTheFrame)
{
    setup->ApplySettings();  // shows the panels of mode 1 with empty records
    auto* check = qobject_cast<QCheckBox*>(setup->Control(MotionSetupDialog::CheckBoxId(2)));
    ASSERT_NE(check, nullptr);
    ASSERT_TRUE(check->isVisible());
    QTest::mouseClick(check, Qt::LeftButton);
    AreaFrame* f = setup->Frame(2);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->geometry(), QRect(0, 0, 70, 90));
    EXPECT_EQ(setup->Setup().Area().windows[1].enabled, 1);

    Drag(f, Caption(f), QPoint(200, 150));
    EXPECT_EQ(f->geometry(), QRect(200, 150, 70, 90));
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(setup->Setup().Area().windows[1].enabled, 0);
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->geometry(), QRect(200, 150, 70, 90)) << "not back at the rectangle last read";
}

TEST(AreaFrameConstraints, MoveKeepsTheSizeAndResizeClips)
{
    const QRect picture(0, 0, 640, 480);
    EXPECT_EQ(AreaFrame::ConstrainMove(QRect(10, 10, 100, 100), picture), QRect(10, 10, 100, 100));
    EXPECT_EQ(AreaFrame::ConstrainMove(QRect(-5, 470, 100, 100), picture), QRect(0, 380, 100, 100));
    EXPECT_EQ(AreaFrame::ConstrainMove(QRect(600, -9, 100, 100), picture), QRect(540, 0, 100, 100));
    EXPECT_EQ(AreaFrame::ConstrainResize(QRect(-5, -5, 700, 700), picture), picture);
    EXPECT_EQ(AreaFrame::ConstrainResize(QRect(700, 10, 50, 50), picture).width(), 0) << "never negative";
}
