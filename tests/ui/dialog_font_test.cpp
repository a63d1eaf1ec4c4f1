// The controls' own font keeps the dialog units whatever fonts the machine has.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>

#include <cmath>

#include "platform/ui/dialog_units.h"
#include "ui_test_support.h"

namespace {

using kv::ui::AverageLetterWidth;

void ExpectDialogMetrics(const QFont& font)
{
    EXPECT_LE(std::lround(AverageLetterWidth(font)), kv::ui::kDialogBaseUnitX) << font.toString().toStdString();
    EXPECT_GE(std::lround(AverageLetterWidth(font)), kv::ui::kDialogBaseUnitX - 1) << font.toString().toStdString();
    EXPECT_LE(QFontMetrics(font).height(), kv::ui::kDialogBaseUnitY) << font.toString().toStdString();
}

} // namespace

TEST(DialogFont, KeepsTheDialogUnitsWithTheFaceTheBootstrapInstalls)
{
    kvtest::App();
    const QFont font = kv::ui::DialogFont();
    ExpectDialogMetrics(font);
    EXPECT_EQ(font.pixelSize(), kv::ui::DialogFont().pixelSize());  // chosen once
    if (QFileInfo::exists(QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"))) {
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
        EXPECT_EQ(font.pixelSize(), 11);  // the face fits at the templates' own size
    }
}

TEST(DialogFont, AWiderFaceIsMadeSmallerUntilItFits)
{
    kvtest::App();
    // Whatever sans the desktop has stands in when the face file is missing.
    QFont desktop;
    desktop.setStyleHint(QFont::SansSerif);
    desktop.setFamily(QStringLiteral("DejaVu Sans"));
    desktop.setPixelSize(11);
    const QFont fitted = kv::ui::FitToDialogUnits(desktop);
    ExpectDialogMetrics(fitted);
    EXPECT_LE(fitted.pixelSize(), 11);
    EXPECT_EQ(kv::ui::FitToDialogUnits(kv::ui::DialogFont()).pixelSize(), kv::ui::DialogFont().pixelSize());
}

TEST(DialogFont, BoldMessagesUseTheSameFace)
{
    kvtest::App();
    const QFont dialog = kv::ui::DialogFont();
    const QFont big = kv::ui::BoldDialogFont(28);
    EXPECT_TRUE(big.bold());
    EXPECT_EQ(QFontInfo(big).family(), QFontInfo(dialog).family());
    EXPECT_EQ(big.pixelSize(), dialog.pixelSize() == 11 ? 28 : (28 * dialog.pixelSize() + 5) / 11);
    EXPECT_GE(kv::ui::BoldDialogFont(0).pixelSize(), 1);
}
