#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QToolTip>
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

// The repeat ends as soon as the button can no longer be held, even when the release never
// reaches it; the count still ends even.
class AutoRepeatEnds : public ButtonTest {
protected:
    void SetUp() override
    {
        ButtonTest::SetUp();
        button->SetAutoRepeat(true, 50);
        commands = std::make_unique<QSignalSpy>(button, &QAbstractButton::clicked);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 20));
        QElapsedTimer held;
        held.start();
        while (commands->count() < 3 && held.elapsed() < 5000)
            QTest::qWait(5);
    }
    // What was sent from the moment the button could no longer be held.
    void ExpectStoppedAfter(int sentBefore)
    {
        QTest::qWait(300);
        EXPECT_LE(commands->count(), sentBefore + 1);
        EXPECT_EQ(commands->count() % 2, 0);
        EXPECT_FALSE(button->isDown());
        EXPECT_NE(QWidget::mouseGrabber(), button);
    }
    std::unique_ptr<QSignalSpy> commands;
};

TEST_F(AutoRepeatEnds, WhenDisabledWhileHeld)
{
    const int sent = commands->count();
    button->setEnabled(false);
    ExpectStoppedAfter(sent);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(50, 40));
    button->setEnabled(true);
    EXPECT_LE(commands->count(), sent + 1);
}

TEST_F(AutoRepeatEnds, WhenHiddenWhileHeld)
{
    const int sent = commands->count();
    button->hide();
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(50, 40));  // lands on the parent
    ExpectStoppedAfter(sent);
}

TEST_F(AutoRepeatEnds, WhenAnotherWidgetTakesTheMouse)
{
    const int sent = commands->count();
    QWidget other(window.get());
    other.setGeometry(200, 200, 50, 50);
    other.show();
    other.grabMouse();
    ExpectStoppedAfter(sent);
    other.releaseMouse();
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_LE(commands->count(), sent + 1);
}

TEST_F(AutoRepeatEnds, WhenAModalDialogTakesTheRelease)
{
    const int sent = commands->count();
    QWidget modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.resize(100, 100);
    modal.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&modal));
    QTest::mouseRelease(&modal, Qt::LeftButton, {}, QPoint(10, 10));
    ExpectStoppedAfter(sent);
}

TEST_F(ButtonTest, PressedTextMovesOnePixelLikeTheImage)
{
    // Red text beside a blue image on white: the text's pixels are the reddish ones.
    ASSERT_EQ(button->SetBitmaps(Square(Qt::blue), kKey, Square(Qt::blue), kKey), CPanelButton::BTNST_OK);
    button->setText(QStringLiteral("Ab"));
    for (int index : {0, 1, 2, 3})
        button->SetColor(index, index % 2 ? MakeColorRef(255, 0, 0) : MakeColorRef(255, 255, 255), false);
    button->SetDrawBorder(false);
    auto textBox = [&] {
        const QImage shot = button->grab().toImage();
        QRect box;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > c.green() + 60 && c.red() > c.blue() + 60)
                    box |= QRect(x, y, 1, 1);
            }
        return box;
    };
    for (int alignment : {CPanelButton::ST_ALIGN_HORIZ, CPanelButton::ST_ALIGN_VERT, CPanelButton::ST_ALIGN_HORIZ_RIGHT})
    for (int height : {60, 61}) {  // centring rounds: both parities of the room below the image
        SCOPED_TRACE(alignment);
        SCOPED_TRACE(height);
        button->resize(120, height);
        button->SetAlign(alignment);
        button->setDown(false);
        button->ResetHover();
        const QRect resting = textBox();
        ASSERT_FALSE(resting.isEmpty());
        button->setDown(true);
        const QRect pressed = textBox();
        EXPECT_EQ(pressed.topLeft() - resting.topLeft(), QPoint(1, 1));
        EXPECT_EQ(pressed.size(), resting.size());
    }
    button->setDown(false);
}

TEST_F(ButtonTest, LongTooltipsWrapAtTheTipWidth)
{
    QString words;
    for (int i = 0; i < 60; ++i)
        words += QStringLiteral("word%1 ").arg(i);
    words += QString(120, QLatin1Char('x'));  // one word wider than the tip
    button->SetTooltipText(words + QStringLiteral("<b>not bold</b>"));
    QToolTip::showText(button->mapToGlobal(QPoint(5, 5)), button->toolTip(), button);
    QWidget* tip = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible())
            tip = w;
    ASSERT_NE(tip, nullptr);
    EXPECT_LE(tip->width(), CPanelButton::kMaxTipWidth + 2 * 8);  // the tip's own margins
    EXPECT_GT(tip->height(), 4 * QFontMetrics(tip->font()).height());
    auto* label = qobject_cast<QLabel*>(tip);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().contains(QStringLiteral("&lt;b&gt;")) || label->textFormat() == Qt::PlainText);
    QToolTip::hideText();
    button->SetTooltipText(QString());
    EXPECT_TRUE(button->toolTip().isEmpty());
}
