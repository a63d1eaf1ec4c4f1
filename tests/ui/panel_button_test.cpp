#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "platform/ui/ui_helpers.h"
#include "ui_test_support.h"
#include "viewer/resources/resources.h"
#include "viewer/widgets/panel_button.h"

using kv::ui::MakeColorRef;
using kv::viewer::CPanelButton;

namespace {

const kv::ui::ColorRef kKey = MakeColorRef(255, 0, 255);

// A square of one colour with a key-coloured corner, so the mask has something to do.
QImage Square(QColor c)
{
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(c);
    img.setPixelColor(0, 0, QColor(255, 0, 255));
    return img;
}

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvtest::App();
        window = std::make_unique<kvtest::RecordingWindow>();
        button = new CPanelButton(window.get());
        button->setGeometry(20, 20, 60, 40);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override { kv::ui::SetShellOpenForTesting({}); }

    QColor ImagePixel()
    {
        const QRect r = button->ImageRect();
        return button->grab().toImage().pixelColor(r.center());
    }

    std::unique_ptr<kvtest::RecordingWindow> window;
    CPanelButton* button = nullptr;
};

} // namespace

TEST_F(ButtonTest, WithoutANormalImageTheHoverImageAlwaysShows)
{
    ASSERT_EQ(button->SetBitmaps(Square(Qt::red), kKey, QImage(), 0), CPanelButton::BTNST_OK);
    EXPECT_FALSE(button->IsHovered());
    EXPECT_TRUE(button->ShowsHoverImage());
    EXPECT_EQ(ImagePixel(), QColor(Qt::red));

    // With a normal image, that one shows until the pointer comes over the button.
    ASSERT_EQ(button->SetBitmaps(Square(Qt::red), kKey, Square(Qt::blue), kKey), CPanelButton::BTNST_OK);
    EXPECT_EQ(ImagePixel(), QColor(Qt::blue));
    QTest::mouseMove(button, QPoint(30, 20));
    EXPECT_TRUE(button->IsHovered());
    EXPECT_EQ(ImagePixel(), QColor(Qt::red));
    // The key colour is masked out: the background (colour 0 while hovered) shows.
    button->SetColor(CPanelButton::BTNST_COLOR_BK_IN, MakeColorRef(1, 2, 3));
    const QRect r = button->ImageRect();
    EXPECT_EQ(button->grab().toImage().pixelColor(r.topLeft()), QColor(1, 2, 3));
}

TEST_F(ButtonTest, ResourceBitmapsLoadAndUnknownIdsFail)
{
    EXPECT_EQ(button->SetBitmaps(503, kv::viewer::kArtworkTransparentColour, 502, kv::viewer::kArtworkTransparentColour),
              CPanelButton::BTNST_OK);
    EXPECT_TRUE(button->HasHoverImage());
    EXPECT_TRUE(button->HasNormalImage());
    EXPECT_EQ(button->ImageRect().size(), QSize(38, 31));
    EXPECT_EQ(button->SetBitmaps(503, kKey, 9999, kKey), CPanelButton::BTNST_INVALIDRESOURCE);
    EXPECT_FALSE(button->HasHoverImage());
    EXPECT_FALSE(button->HasNormalImage());
    EXPECT_TRUE(button->ImageRect().isEmpty());
    EXPECT_EQ(button->SetBitmaps(9998, kKey), CPanelButton::BTNST_INVALIDRESOURCE);
}

TEST_F(ButtonTest, ColourIndexAboveThreeIsRefusedAndChangesNothing)
{
    ASSERT_EQ(button->SetColor(2, MakeColorRef(10, 200, 30)), CPanelButton::BTNST_OK);
    QColor before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = button->GetColor(i);
    EXPECT_EQ(button->SetColor(4, MakeColorRef(1, 1, 1)), CPanelButton::BTNST_INVALIDINDEX);
    EXPECT_EQ(button->SetColor(-1, MakeColorRef(1, 1, 1)), CPanelButton::BTNST_INVALIDINDEX);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(button->GetColor(i), before[i]) << i;
    // Colour 2 is the background when neither hovered nor pressed.
    button->ResetHover();
    EXPECT_EQ(button->grab().toImage().pixelColor(2, 2), QColor(10, 200, 30));
    button->SetDefaultColors();
    EXPECT_EQ(button->GetColor(0), QApplication::palette(button).color(QPalette::Button));
    EXPECT_EQ(button->GetColor(3), QApplication::palette(button).color(QPalette::ButtonText));
}

TEST_F(ButtonTest, AutoRepeatHeldForThreeIntervalsSendsFourCommands)
{
    button->SetAutoRepeat(true, 200);
    QSignalSpy commands(button, &QAbstractButton::clicked);
    QElapsedTimer held;
    held.start();
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
    while (commands.count() < 3 && held.elapsed() < 5000)  // commands at 0, 200 and 400 ms
        QTest::qWait(5);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_GE(held.elapsed(), 360);  // window timers may fire up to 5% early
    EXPECT_EQ(commands.count(), 4);  // three, and one more to make the count even
    EXPECT_FALSE(button->isDown());
    EXPECT_TRUE(button->IsHovered());  // released over the button

    // A short click: one command and its partner.
    commands.clear();
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(commands.count(), 2);

    // Without auto-repeat a click is one command, sent on release.
    button->SetAutoRepeat(false);
    commands.clear();
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::qWait(250);
    EXPECT_EQ(commands.count(), 0);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(commands.count(), 1);
}

TEST_F(ButtonTest, CheckBoxTogglesAndShowsTheHoverImageWhileChecked)
{
    QStringList opened;
    kv::ui::SetShellOpenForTesting([&](const QString& link) { opened << link; return true; });
    button->SetLink(QStringLiteral("http://127.0.0.1/never"));
    button->SetCheckBox(true);
    ASSERT_EQ(button->SetBitmaps(Square(Qt::red), kKey, Square(Qt::blue), kKey), CPanelButton::BTNST_OK);
    EXPECT_FALSE(button->GetCheck());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(button->GetCheck());
    EXPECT_TRUE(button->ShowsHoverImage());
    EXPECT_EQ(ImagePixel(), QColor(Qt::red));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_FALSE(button->GetCheck());
    // Hovering alone does not switch a check box's image.
    QTest::mouseMove(button, QPoint(31, 21));
    EXPECT_FALSE(button->ShowsHoverImage());
    EXPECT_EQ(ImagePixel(), QColor(Qt::blue));
    EXPECT_TRUE(opened.isEmpty());  // check boxes never open their link
}

TEST_F(ButtonTest, ClickOpensTheLink)
{
    QStringList opened;
    kv::ui::SetShellOpenForTesting([&](const QString& link) { opened << link; return true; });
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(opened.isEmpty());  // no link set
    button->SetLink(QString(300, QLatin1Char('a')));
    EXPECT_EQ(button->Link().size(), CPanelButton::kMaxLinkLength);
    button->SetLink(QStringLiteral("http://127.0.0.1/help.html"));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QStringLiteral("http://127.0.0.1/help.html"));
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ButtonTest, HoverStaysWhileTheLeftButtonHoldsAndEndsOutside)
{
    QTest::mouseMove(button, QPoint(30, 20));
    ASSERT_TRUE(button->IsHovered());
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
    QTest::mouseMove(button, QPoint(200, 200));  // dragged off while held
    EXPECT_TRUE(button->IsHovered());
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_FALSE(button->IsHovered());
    QCoreApplication::processEvents();  // the window system's leave, after the release

    QTest::mouseMove(button, QPoint(35, 22));
    EXPECT_TRUE(button->IsHovered());
    QTest::mouseMove(window.get(), QPoint(300, 250));  // over the parent now
    EXPECT_FALSE(button->IsHovered());

    // Non-flat buttons have no hover state.
    button->SetFlat(false);
    QTest::mouseMove(button, QPoint(30, 20));
    EXPECT_FALSE(button->IsHovered());
}

TEST_F(ButtonTest, ImagePlacementFollowsAlignmentTextAndPress)
{
    ASSERT_EQ(button->SetBitmaps(Square(Qt::red), kKey, Square(Qt::blue), kKey), CPanelButton::BTNST_OK);
    button->setText(QString());
    EXPECT_EQ(button->ImageRect(), QRect(20, 10, 20, 20));  // centred
    button->setText(QStringLiteral(" Capture"));
    EXPECT_EQ(button->ImageRect(), QRect(3, 10, 20, 20));   // 3 from the left
    button->SetAlign(CPanelButton::ST_ALIGN_HORIZ_RIGHT);
    EXPECT_EQ(button->ImageRect(), QRect(37, 10, 20, 20));
    button->SetAlign(CPanelButton::ST_ALIGN_VERT);
    EXPECT_EQ(button->ImageRect(), QRect(20, 3, 20, 20));
    button->SetAlign(CPanelButton::ST_ALIGN_HORIZ);
    button->setDown(true);
    EXPECT_EQ(button->ImageRect(), QRect(4, 11, 20, 20));  // pressed: one pixel right and down
    button->setDown(false);
}

TEST_F(ButtonTest, CursorResourcesApply)
{
    EXPECT_TRUE(button->SetBtnCursor(kv::viewer::IDC_HAND));
    EXPECT_EQ(button->cursor().shape(), Qt::BitmapCursor);
    EXPECT_FALSE(button->SetBtnCursor(4711));
    EXPECT_TRUE(button->SetBtnCursor(0));
    EXPECT_EQ(button->cursor().shape(), Qt::ArrowCursor);
}
