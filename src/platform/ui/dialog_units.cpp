#include "platform/ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QStringList>

#include <algorithm>
#include <mutex>
#include <optional>

namespace kv::ui {

namespace {

// 8 points at 96 dpi: the size the templates were laid out with.
constexpr int kTemplatePixelSize = 11;
constexpr int kSmallestPixelSize = 6;

// The controls' own face, as scripts/bootstrap installs it (fonts-liberation2), then the
// older package's files: regular and bold. A face of our own keeps the dialogs the same
// whatever fonts the desktop has.
struct FaceFiles {
    const char* regular;
    const char* bold;
};
constexpr FaceFiles kFaceFiles[] = {
    {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
     "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"},
    {"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
     "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"},
};

// Loads the first face file that is there; its family name, or empty when none loads.
QString LoadOwnFace()
{
    for (const FaceFiles& files : kFaceFiles) {
        const int regular = QFontDatabase::addApplicationFont(QString::fromLatin1(files.regular));
        if (regular < 0)
            continue;
        // Without its bold file the face is made bold by the font engine.
        QFontDatabase::addApplicationFont(QString::fromLatin1(files.bold));
        const QStringList families = QFontDatabase::applicationFontFamilies(regular);
        if (!families.isEmpty())
            return families.front();
    }
    return {};
}

QFont UnfittedFace(const QString& ownFamily)
{
    QFont font;
    QStringList families;
    if (!ownFamily.isEmpty())
        families << ownFamily;
    // Without the face file: faces of the same widths if the desktop has one, else its sans.
    families << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo") << QStringLiteral("Arial")
             << QStringLiteral("Nimbus Sans");
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kTemplatePixelSize);
    return font;
}

std::mutex g_fontLock;
std::optional<QFont> g_dialogFont;

} // namespace

double AverageLetterWidth(const QFont& font)
{
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
}

QFont FitToDialogUnits(QFont face)
{
    for (int size = kTemplatePixelSize; size >= kSmallestPixelSize; --size) {
        face.setPixelSize(size);
        // Base units as the window system takes them from a dialog font: the 52 letters'
        // average advance, rounded, and the line height.
        if (AverageLetterWidth(face) < kDialogBaseUnitX + 0.5 && QFontMetrics(face).height() <= kDialogBaseUnitY)
            return face;
    }
    return face;
}

QFont DialogFont()
{
    if (!QGuiApplication::instance())
        return UnfittedFace({});  // no font database yet; nothing to measure with
    std::lock_guard lock(g_fontLock);
    if (!g_dialogFont)
        g_dialogFont = FitToDialogUnits(UnfittedFace(LoadOwnFace()));
    return *g_dialogFont;
}

QFont BoldDialogFont(int pixelSize)
{
    QFont font = DialogFont();
    // Scaled as the dialog face itself had to be, so a wide fallback face keeps the layout.
    const int scaled = (std::max(pixelSize, 1) * font.pixelSize() + kTemplatePixelSize / 2) / kTemplatePixelSize;
    font.setPixelSize(std::max(scaled, 1));
    font.setBold(true);
    return font;
}

} // namespace kv::ui
