#include "platform/ui/qt_frame_sink.h"

#include "video/rgb32_rows.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include <array>
#include <atomic>

namespace kv::ui {

namespace {

const QEvent::Type kRepaintEvent = static_cast<QEvent::Type>(QEvent::User + 0x0E01);

QRect ToQRect(FrameRect r) { return QRect(r.x, r.y, r.width, r.height); }

// RGB32 values of the palette; indices the palette does not hold read as black.
std::array<std::uint32_t, 256> PaletteLookup(const DibView& dib, const DibLayout& layout)
{
    std::array<std::uint32_t, 256> lookup;
    lookup.fill(kOpaquePixel);
    const std::uint8_t* entry = dib.header.data() + layout.paletteOffset;
    for (int i = 0; i < layout.paletteEntries; ++i, entry += 4)
        lookup[static_cast<std::size_t>(i)] = kOpaquePixel | (std::uint32_t(entry[2]) << 16) | (std::uint32_t(entry[1]) << 8) | entry[0];
    return lookup;
}

void ConvertRowIndexed(const std::uint8_t* src, std::uint32_t* dst, int width, int bits,
                       const std::array<std::uint32_t, 256>& lookup)
{
    switch (bits) {
    case 8:
        for (int x = 0; x < width; ++x)
            dst[x] = lookup[src[x]];
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            dst[x] = lookup[(x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4)];
        break;
    default:  // 1 bit, the leftmost pixel in the high bit
        for (int x = 0; x < width; ++x)
            dst[x] = lookup[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    }
}

// image itself when it has the size and format and nobody else holds it, else a new image
// (null when it cannot be had).
QImage Reusable(QImage image, int width, int height)
{
    if (image.width() == width && image.height() == height && image.format() == QImage::Format_RGB32 &&
        image.isDetached()) {
        // Nobody else holds it: it is written in place. The window thread let go of it with a
        // releasing decrement after painting from it; the fence orders the writes after.
        std::atomic_thread_fence(std::memory_order_acquire);
        return image;
    }
    return QImage(width, height, QImage::Format_RGB32);
}

} // namespace

bool ConvertDib(const DibView& dib, QImage& target)
{
    const std::optional<DibLayout> layout = DescribeDib(dib);
    if (!layout)
        return false;
    QImage image = Reusable(std::move(target), layout->width, layout->height);
    if (image.isNull())
        return false;

    std::array<std::uint32_t, 256> lookup{};
    if (layout->bits <= 8)
        lookup = PaletteLookup(dib, *layout);
    std::uint8_t* out = image.bits();
    const qsizetype outStride = image.bytesPerLine();
    for (int y = 0; y < layout->height; ++y) {
        const std::size_t srcRow = layout->topDown ? y : layout->height - 1 - y;
        const std::uint8_t* src = dib.pixels.data() + srcRow * layout->stride;
        auto* dst = reinterpret_cast<std::uint32_t*>(out + y * outStride);
        if (layout->bits == 24)
            ExpandBgrRow(src, dst, layout->width);
        else
            ConvertRowIndexed(src, dst, layout->width, layout->bits, lookup);
    }
    target = std::move(image);
    return true;
}

QImage ImageFromDib(const DibView& dib)
{
    QImage image;
    ConvertDib(dib, image);
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

bool CQtFrameSink::Present(const DibView& dib, FrameRect source, FrameRect destination)
{
    if (destination.width <= 0 || destination.height <= 0)
        return false;
    // The one conversion happens here, on the worker's thread and outside the lock, so the
    // window only blits and never holds up a worker.
    QImage image = TakeSpare();
    if (!ConvertDib(dib, image))
        return false;
    return Publish(std::move(image), source, destination);
}

PixelBuffer32 CQtFrameSink::BeginPicture(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxDibSide || height > kMaxDibSide || m_lentOut.exchange(true))
        return {};
    m_lent = Reusable(TakeSpare(), width, height);
    if (m_lent.isNull()) {
        m_lentOut = false;
        return {};
    }
    return {m_lent.bits(), static_cast<std::size_t>(m_lent.bytesPerLine()), width, height};
}

bool CQtFrameSink::EndPicture(bool show, FrameRect source, FrameRect destination)
{
    if (!m_lentOut.load())
        return false;
    QImage image = std::move(m_lent);
    m_lentOut = false;
    if (show && destination.width > 0 && destination.height > 0)
        return Publish(std::move(image), source, destination);
    std::lock_guard lock(m_lock);
    if (m_spare.isNull())
        m_spare = std::move(image);  // kept for the next picture
    return false;
}

QImage CQtFrameSink::TakeSpare()
{
    std::lock_guard lock(m_lock);
    return std::move(m_spare);
}

bool CQtFrameSink::Publish(QImage image, FrameRect source, FrameRect destination)
{
    QRect src = ToQRect(source).intersected(image.rect());
    if (src.isEmpty())
        src = image.rect();
    std::lock_guard lock(m_lock);
    m_spare = std::move(m_image);
    m_image = std::move(image);
    m_source = src;
    m_dirty = m_dirty.united(m_destination).united(ToQRect(destination));
    m_destination = ToQRect(destination);
    if (!m_widget)
        return true;
    ++m_presented;
    // One repaint request at a time: pictures presented before the window gets round to
    // painting only replace the slot's content.
    if (!m_updatePosted.exchange(true))
        QCoreApplication::postEvent(this, new QEvent(kRepaintEvent));
    return true;
}

void CQtFrameSink::Clear()
{
    std::lock_guard lock(m_lock);
    m_dirty = m_dirty.united(m_destination);
    m_image = QImage();
    m_spare = QImage();
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

CQtFrameSink::Frame CQtFrameSink::LastFrame() const
{
    std::lock_guard lock(m_lock);
    return {m_image, m_source, m_destination};
}

bool CQtFrameSink::Paint(QPainter& painter)
{
    return Paint(painter, LastFrame());
}

bool CQtFrameSink::Paint(QPainter& painter, const Frame& frame)
{
    if (frame.image.isNull())
        return false;
    painter.drawImage(frame.destination, frame.image, frame.source);
    ++m_painted;
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

QRect CQtFrameSink::LastSource() const
{
    std::lock_guard lock(m_lock);
    return m_source;
}

QImage CQtFrameSink::LastImage() const
{
    std::lock_guard lock(m_lock);
    return m_image;
}

} // namespace kv::ui
