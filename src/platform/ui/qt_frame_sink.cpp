#include "platform/ui/qt_frame_sink.h"
#include "core/byte_order.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include <cstring>
#include <limits>

namespace kv::ui {

namespace {

const QEvent::Type kRepaintEvent = static_cast<QEvent::Type>(QEvent::User + 0x0E01);

std::int32_t ReadLe32(const std::uint8_t* p) { return static_cast<std::int32_t>(Le32(p)); }

QRect ToQRect(FrameRect r) { return QRect(r.x, r.y, r.width, r.height); }

} // namespace

QImage ImageFromDib24(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 40;
    constexpr std::int64_t kMaxSide = 16384;
    if (!data || size < kHeader)
        return {};
    const std::int32_t headerSize = ReadLe32(data);
    const std::int32_t width = ReadLe32(data + 4);
    const std::int32_t rawHeight = ReadLe32(data + 8);
    const std::uint16_t bits = Le16(data + 14);
    const std::int32_t compression = ReadLe32(data + 16);
    if (headerSize < 40 || static_cast<std::size_t>(headerSize) > size || bits != 24 ||
        compression != 0 || width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<std::int32_t>::min())
        return {};
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -std::int64_t(rawHeight) : rawHeight;
    if (width > kMaxSide || height > kMaxSide)
        return {};
    const std::int64_t stride = (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
    const std::int64_t needed = headerSize + stride * height;
    if (needed > static_cast<std::int64_t>(size))
        return {};

    QImage image(width, static_cast<int>(height), QImage::Format_RGB888);
    if (image.isNull())
        return {};
    const std::uint8_t* pixels = data + headerSize;
    for (int y = 0; y < image.height(); ++y) {
        const std::int64_t srcRow = topDown ? y : (height - 1 - y);
        const std::uint8_t* src = pixels + srcRow * stride;
        std::uint8_t* dst = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x + 0] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x + 0];
        }
    }
    return image;
}

CQtFrameSink::CQtFrameSink(QWidget* widget) : QObject(widget), m_widget(widget)
{
    if (widget) {
        connect(widget, &QObject::destroyed, this, [this] {
            std::lock_guard lock(m_lock);
            m_widget = nullptr;
        }, Qt::DirectConnection);
    }
}

CQtFrameSink::~CQtFrameSink()
{
    std::lock_guard lock(m_lock);
    m_widget = nullptr;
}

bool CQtFrameSink::Present(const std::vector<std::uint8_t>& dib, FrameRect source,
                           FrameRect destination)
{
    // Conversion happens here, on the worker's thread, so painting only blits.
    QImage image = ImageFromDib24(dib.data(), dib.size());
    if (image.isNull() || destination.width <= 0 || destination.height <= 0)
        return false;
    QRect src = ToQRect(source).intersected(image.rect());
    if (src.isEmpty())
        src = image.rect();
    {
        std::lock_guard lock(m_lock);
        m_image = std::move(image);
        m_source = src;
        m_dirty = m_dirty.united(m_destination).united(ToQRect(destination));
        m_destination = ToQRect(destination);
        if (!m_widget)
            return true;
        ++m_presented;
        if (!m_updatePosted.exchange(true))
            QCoreApplication::postEvent(this, new QEvent(kRepaintEvent));
    }
    return true;
}

void CQtFrameSink::Clear()
{
    std::lock_guard lock(m_lock);
    m_dirty = m_dirty.united(m_destination);
    m_image = QImage();
    m_destination = QRect();
    if (m_widget && !m_updatePosted.exchange(true))
        QCoreApplication::postEvent(this, new QEvent(kRepaintEvent));
}

bool CQtFrameSink::event(QEvent* event)
{
    if (event->type() != kRepaintEvent)
        return QObject::event(event);
    m_updatePosted = false;
    QRect dirty;
    QWidget* widget = nullptr;
    {
        std::lock_guard lock(m_lock);
        dirty = m_dirty;
        m_dirty = QRect();
        widget = m_widget;
    }
    if (widget && !dirty.isEmpty())
        widget->update(dirty);
    return true;
}

bool CQtFrameSink::Paint(QPainter& painter)
{
    std::lock_guard lock(m_lock);
    if (m_image.isNull())
        return false;
    painter.drawImage(m_destination, m_image, m_source);
    return true;
}

bool CQtFrameSink::HasFrame() const
{
    std::lock_guard lock(m_lock);
    return !m_image.isNull();
}

QRect CQtFrameSink::LastDestination() const
{
    std::lock_guard lock(m_lock);
    return m_destination;
}

} // namespace kv::ui
