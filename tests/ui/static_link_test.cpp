#include <gtest/gtest.h>

#include <QTest>

#include "platform/ui/ui_helpers.h"
#include "ui_test_support.h"
#include "viewer/widgets/picture_ctrl.h"
#include "viewer/widgets/static_link.h"

using kv::viewer::CPictureCtrl;
using kv::viewer::CStaticLink;

namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvtest::App();
        kv::ui::SetBeepForTesting([this] { ++beeps; });
        kv::ui::SetShellOpenForTesting([this](const QString& link) {
            opened << link;
            return link.startsWith(QLatin1String("http://"));
        });
        window = std::make_unique<kvtest::RecordingWindow>();
        window->resize(900, 600);
    }
    void TearDown() override
    {
        kv::ui::SetBeepForTesting({});
        kv::ui::SetShellOpenForTesting({});
        CPictureCtrl::SetDefaultPictureNumber(0);
    }
    void Show()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    int beeps = 0;
    QStringList opened;
    std::unique_ptr<kvtest::RecordingWindow> window;
};

} // namespace

TEST_F(LinkTest, OpenedLinkTurnsFromBlueToPurple)
{
    auto* link = new CStaticLink(window.get(), QStringLiteral("http://127.0.0.1/manual"));
    link->setText(QStringLiteral("Manual"));
    link->setGeometry(10, 10, 100, 20);
    Show();
    EXPECT_EQ(link->TextColour(), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(opened, QStringList{QStringLiteral("http://127.0.0.1/manual")});
    EXPECT_TRUE(link->IsVisited());
    EXPECT_EQ(link->TextColour(), QColor(128, 0, 128));
    EXPECT_EQ(beeps, 0);
}

TEST_F(LinkTest, UnopenableLinkFallsBackThenBeepsOnceAndBreaks)
{
    auto* link = new CStaticLink(window.get(), QStringLiteral("nowhere"));
    link->setText(QStringLiteral("http://127.0.0.1/from-text"));
    link->setGeometry(10, 10, 100, 20);
    Show();
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
    // The link failed, the window text worked.
    EXPECT_EQ(opened, (QStringList{QStringLiteral("nowhere"), QStringLiteral("http://127.0.0.1/from-text")}));
    EXPECT_TRUE(link->IsVisited());

    auto* broken = new CStaticLink(window.get());
    broken->setText(QStringLiteral("plain words"));
    kv::ui::SetControlId(broken, 4321);
    broken->setGeometry(10, 40, 100, 20);
    broken->show();
    opened.clear();
    QTest::mouseClick(broken, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(broken->IsBroken());
    EXPECT_FALSE(broken->font().underline());
    QTest::mouseClick(broken, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(beeps, 1);  // silent from now on
    EXPECT_EQ(opened.size(), 1);  // only the window text was tried, once
}

TEST_F(LinkTest, BannerClicksReachThePanelAtThePanelsPoint)
{
    CPictureCtrl::SetDefaultPictureNumber(302);
    auto* banner = new CPictureCtrl(window.get());
    kv::ui::SetControlId(banner, 232);
    banner->SetLink(QString());
    banner->setGeometry(220, 520, 650, 36);
    banner->OnTakenOver();
    EXPECT_EQ(banner->PictureNumber(), 302);
    Show();

    QTest::mouseClick(banner, Qt::LeftButton, {}, QPoint(300, 35));
    QCoreApplication::sendPostedEvents();
    QTest::mouseClick(banner, Qt::LeftButton, {}, QPoint(10, 5));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(beeps, 1);  // the empty link beeps on the first click only
    EXPECT_TRUE(banner->IsBroken());
    ASSERT_EQ(window->pressesAt.size(), 2u);
    EXPECT_EQ(window->pressesAt[0], QPoint(520, 555));
    EXPECT_EQ(window->pressesAt[1], QPoint(230, 525));
}

TEST_F(LinkTest, PictureControlLoadsBannersAndPaintsThemStretched)
{
    auto* picture = new CPictureCtrl(window.get());
    kv::ui::SetControlId(picture, 301);
    picture->setGeometry(0, 0, 650, 36);
    picture->OnTakenOver();  // default number is not 302: the control id
    EXPECT_EQ(picture->PictureNumber(), 301);
    EXPECT_EQ(picture->NaturalSize(), QSize(650, 36));

    EXPECT_TRUE(picture->LoadPicture(303));
    EXPECT_EQ(picture->NaturalSize(), QSize(170, 36));
    picture->OnTakenOver();  // has a picture: nothing changes
    EXPECT_EQ(picture->PictureNumber(), 303);

    Show();
    picture->resize(340, 72);
    const QImage shot = picture->grab().toImage();
    const QImage natural = picture->Picture();
    // Stretched two by two: the picture's pixel (0, 0) covers (0..1, 0..1).
    EXPECT_LT(std::abs(shot.pixelColor(170, 70).red() - natural.pixelColor(85, 35).red()), 40);
    EXPECT_FALSE(picture->LoadPicture(399));
    EXPECT_FALSE(picture->HasPicture());

    auto* created = new CPictureCtrl(window.get(), true);
    kv::ui::SetControlId(created, 302);
    created->OnCreated();
    EXPECT_EQ(created->NaturalSize(), QSize(330, 36));
    auto* manual = new CPictureCtrl(window.get(), false);
    kv::ui::SetControlId(manual, 302);
    manual->OnCreated();
    manual->OnTakenOver();
    EXPECT_FALSE(manual->HasPicture());
}
