#include "viewer/resources/resources.h"

#include <QFile>
#include <QPixmap>

#include "viewer/resources/string_table.h"

// Resources linked from a static library are registered only when referenced; this does
// it once, before the first lookup. It has to live outside any namespace.
static void EnsureViewerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(kavaro_viewer);
        return true;
    }();
    (void)registered;
}

namespace kv::viewer {

namespace {

QByteArray ReadResource(const QString& path)
{
    EnsureViewerResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

struct HotSpot {
    int id;
    int x;
    int y;
};
constexpr HotSpot kHotSpots[] = {{IDC_HAND, 11, 2}, {IDC_ZOOM, 11, 11}};

} // namespace

QImage LoadBitmapResource(int id)
{
    const QByteArray bytes = ReadResource(QStringLiteral(":/kavaro/bitmap/%1.bmp").arg(id));
    if (bytes.isEmpty())
        return {};
    QImage image;
    image.loadFromData(bytes, "BMP");
    return image;
}

QByteArray LoadImageResource(int id)
{
    return ReadResource(QStringLiteral(":/kavaro/image/%1.jpg").arg(id));
}

std::optional<QCursor> LoadCursorResource(int id)
{
    const QByteArray bytes = ReadResource(QStringLiteral(":/kavaro/cursor/%1.png").arg(id));
    if (bytes.isEmpty())
        return std::nullopt;
    QPixmap pixmap;
    if (!pixmap.loadFromData(bytes, "PNG"))
        return std::nullopt;
    for (const auto& h : kHotSpots)
        if (h.id == id)
            return QCursor(pixmap, h.x, h.y);
    return QCursor(pixmap, 0, 0);
}

bool SetCursorResource(QWidget& widget, int id)
{
    const auto cursor = id == 0 ? std::nullopt : LoadCursorResource(id);
    if (!cursor) {
        widget.unsetCursor();
        return id == 0;
    }
    widget.setCursor(*cursor);
    return true;
}

QString LoadQString(int id)
{
    const char* text = LoadString(id);
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace kv::viewer
