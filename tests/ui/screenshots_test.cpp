// Pictures of the widgets as a person sees them, and the check that every text fits its
// control. With KV_UI_SHOTS_DIR set, the pictures are written there as PNG files:
//   KV_UI_SHOTS_DIR=docs QT_QPA_PLATFORM=offscreen build/tests/ui/test_ui --gtest_filter='Screenshots.*'
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "ui_test_support.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/password_dlg.h"

using kv::ui::MakeColorRef;
using kv::viewer::CPanelButton;
using kv::viewer::CPanelSlider;

namespace {

struct SchemeLook {
    kv::ui::ColorRef background;
    kv::ui::ColorRef text;
};
const SchemeLook kLooks[3] = {
    {MakeColorRef(230, 232, 237), MakeColorRef(60, 92, 156)},
    {MakeColorRef(75, 110, 182), MakeColorRef(235, 235, 235)},
    {MakeColorRef(38, 38, 38), MakeColorRef(235, 235, 235)},
};

struct Pair {
    int hover, normal;
};

void Save(QWidget* widget, const QString& name)
{
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    ASSERT_TRUE(widget->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name, "PNG"));
}

// The text must fit in the button beside its image.
void ExpectTextFits(const CPanelButton* button)
{
    const QFontMetrics metrics(button->font());
    const QRect image = button->ImageRect();
    const int room = button->width() - (image.isEmpty() ? 0 : image.right() + 1);
    EXPECT_LE(metrics.horizontalAdvance(button->text()), room) << button->text().toStdString();
    EXPECT_LE(metrics.height(), button->height());
}

class Strip : public QWidget {
public:
    explicit Strip(int scheme) : m_scheme(scheme)
    {
        setFont(kv::ui::DialogFont());
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, kv::ui::ToQColor(kLooks[scheme - 1].background));
        setPalette(pal);
    }

    CPanelButton* Button(const QString& text, Pair ids, QRect where)
    {
        auto* b = new CPanelButton(this);
        b->setText(text);
        b->setGeometry(where);
        const SchemeLook& look = kLooks[m_scheme - 1];
        EXPECT_EQ(b->SetBitmaps(ids.hover, kv::viewer::kArtworkTransparentColour, ids.normal,
                                kv::viewer::kArtworkTransparentColour), 0);
        b->SetColor(CPanelButton::BTNST_COLOR_FG_IN, look.text);
        b->SetColor(CPanelButton::BTNST_COLOR_FG_OUT, look.text);
        b->SetDrawBorder(false);
        b->SetBtnCursor(kv::viewer::IDC_HAND);
        b->SetTransparent(true);
        return b;
    }

private:
    int m_scheme;
};

} // namespace

TEST(Screenshots, PanelButtonsAndSliderInEveryScheme)
{
    kvtest::App();
    using namespace kv::viewer;
    const Pair zoom[3] = {{503, 502}, {577, 576}, {615, 614}};
    const Pair zoomArmed[3] = {{505, 504}, {575, 574}, {613, 612}};
    const Pair capture[3] = {{511, 507}, {541, 540}, {579, 578}};
    const Pair control[3] = {{508, 509}, {547, 546}, {585, 584}};
    const Pair panTilt[3] = {{510, 506}, {561, 560}, {599, 598}};
    const Pair speakerOn[3] = {{534, 532}, {559, 558}, {597, 596}};
    const Pair speakerOff[3] = {{535, 533}, {557, 556}, {595, 594}};
    const int track[3] = {538, 573, 610};
    const Pair thumb[3] = {{537, 539}, {564, 565}, {602, 603}};
    const Pair pad[3][10] = {
        {{523, 521}, {526, 527}, {529, 525}, {528, 524}, {522, 520}, {518, 514}, {519, 515}, {516, 517}, {513, 512}, {531, 530}},
        {{555, 554}, {569, 568}, {566, 567}, {571, 570}, {563, 562}, {553, 552}, {549, 548}, {551, 550}, {543, 542}, {545, 544}},
        {{593, 592}, {607, 606}, {605, 604}, {608, 609}, {601, 600}, {591, 590}, {587, 586}, {589, 588}, {581, 580}, {583, 582}},
    };

    for (int scheme = 1; scheme <= 3; ++scheme) {
        SCOPED_TRACE(scheme);
        const int s = scheme - 1;
        Strip strip(scheme);
        strip.resize(640, 190);
        std::vector<CPanelButton*> column;
        const QString labels[] = {LoadQString(IDS_DIGITAL_ZOOM), LoadQString(IDS_DIGITAL_ZOOM), LoadQString(IDS_CAPTURE),
                                  LoadQString(IDS_CONTROL), LoadQString(IDS_PAN_TILT_BUTTON)};
        const Pair* pairs[] = {zoom, zoomArmed, capture, control, panTilt};
        for (int i = 0; i < 5; ++i)
            column.push_back(strip.Button(labels[i], pairs[i][s], QRect(8 + i * 125, 8, 120, 33)));
        // Second row: the same buttons as they look under the pointer (hover image alone).
        for (int i = 0; i < 5; ++i)
            column.push_back(strip.Button(labels[i], {pairs[i][s].hover, 0}, QRect(8 + i * 125, 48, 120, 33)));
        strip.Button(QString(), speakerOn[s], QRect(8, 95, 38, 26));
        strip.Button(QString(), speakerOff[s], QRect(50, 95, 38, 26));
        auto* slider = new CPanelSlider(&strip);
        slider->move(100, 94);
        EXPECT_TRUE(slider->SetChannelBitmaps(track[s], track[s], false, kv::ui::kColorFromPoint, 0, 0));
        EXPECT_TRUE(slider->SetThumbBitmaps(thumb[s].hover, thumb[s].normal, false, kv::ui::kColorFromPoint, 0, 0));
        slider->SetRange(0, 100);
        slider->SetMargin(2, 0, 0, 0);
        slider->SetPos(100);
        auto* half = new CPanelSlider(&strip);
        half->move(190, 94);
        half->SetChannelBitmaps(track[s], track[s], false, kv::ui::kColorFromPoint, 0, 0);
        half->SetThumbBitmaps(thumb[s].hover, thumb[s].normal, false, kv::ui::kColorFromPoint, 0, 0);
        half->SetMargin(2, 0, 0, 0);
        half->SetPos(40);
        EXPECT_EQ(slider->size(), QSize(83, 28));
        // The pad: eight arrows, home and OK (the OK picture carries its word).
        for (int i = 0; i < 10; ++i) {
            const QRect where = i < 9 ? QRect(8 + i * 40, 140, 38, 41) : QRect(370, 146, 75, 29);
            strip.Button(QString(), pad[s][i], where);
        }
        strip.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
        for (auto* b : strip.findChildren<CPanelButton*>())
            b->ResetHover();  // wherever the pointer was left, show the resting state
        for (auto* b : column)
            ExpectTextFits(b);
        Save(&strip, QStringLiteral("panel-widgets-scheme%1.png").arg(scheme));
    }
}

TEST(Screenshots, PasswordDialogTextsFit)
{
    kvtest::App();
    for (int language : {1, 0}) {
        kv::viewer::CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/command/ptzf.cgi?ptauth"), language);
        dlg.UserEdit()->setText(QStringLiteral("operator"));
        dlg.PasswordEdit()->setText(QStringLiteral("secret"));
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        for (int id : {226, 230, 227, 228}) {
            const QLabel* label = dlg.Label(id);
            const QFontMetrics metrics(label->font());
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
            EXPECT_LE(metrics.ascent() + metrics.descent(), label->height()) << id;  // 8 units: 13 pixels
        }
        for (const QPushButton* button : {dlg.OkButton(), dlg.CancelButton()})
            EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8, button->width());
        Save(&dlg, QStringLiteral("password-dialog-language%1.png").arg(language));
    }
}
