#include "platform/ui/qt_frame_sink.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kv::ui {

namespace {

const QEvent::Type kRepaintEvent = static_cast<QEvent::Type>(QEvent::User + 0x0E01);

QRect ToQRect(FrameRect r) { return QRect(r.x, r.y, r.width, r.height); }

constexpr std::uint32_t kOpaque = 0xFF000000u;

// RGB32 values of the palette; indices the palette does not hold read as black.
std::array<std::uint32_t, 256> PaletteLookup(const DibView& dib, const DibLayout& layout)
{
    std::array<std::uint32_t, 256> lookup;
    lookup.fill(kOpaque);
    const std::uint8_t* entry = dib.header.data() + layout.paletteOffset;
    for (int i = 0; i < layout.paletteEntries; ++i, entry += 4)
        lookup[static_cast<std::size_t>(i)] = kOpaque | (std::uint32_t(entry[2]) << 16) | (std::uint32_t(entry[1]) << 8) | entry[0];
    return lookup;
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per byte shuffle. Each step loads 16 bytes for the 12 it converts, so it stops
// while at least two more pixels follow; the rest goes the portable way.
__attribute__((target("ssse3"))) int ConvertRow24Ssse3(const std::uint8_t* src, std::uint32_t* dst, int width)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int x = 0;
    for (; x + 6 <= width; x += 4, src += 12) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(_mm_shuffle_epi8(bgr, order), opaque));
    }
    return x;
}

const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

void ConvertRow24(const std::uint8_t* src, std::uint32_t* dst, int width)
{
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kHasSsse3) {
        x = ConvertRow24Ssse3(src, dst, width);
        src += static_cast<std::size_t>(x) * 3;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels from three 32-bit words: a byte at a time, this loop was the costliest
        // step of showing a picture after decoding it.
        for (; x + 4 <= width; x += 4, src += 12) {
            std::uint32_t a;
            std::uint32_t b;
            std::uint32_t c;
            std::memcpy(&a, src, 4);      // b0 g0 r0 b1
            std::memcpy(&b, src + 4, 4);  // g1 r1 b2 g2
            std::memcpy(&c, src + 8, 4);  // r2 b3 g3 r3
            dst[x] = kOpaque | (a & 0xFFFFFFu);
            dst[x + 1] = kOpaque | (a >> 24) | ((b & 0xFFFFu) << 8);
            dst[x + 2] = kOpaque | (b >> 16) | ((c & 0xFFu) << 16);
            dst[x + 3] = kOpaque | (c >> 8);
        }
    }
    for (; x < width; ++x, src += 3)
        dst[x] = kOpaque | (std::uint32_t(src[2]) << 16) | (std::uint32_t(src[1]) << 8) | src[0];
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

} // namespace

bool ConvertDib(const DibView& dib, QImage& target)
{
    const std::optional<DibLayout> layout = DescribeDib(dib);
    if (!layout)
        return false;
    QImage image;
    if (target.width() == layout->width && target.height() == layout->height &&
        target.format() == QImage::Format_RGB32 && target.isDetached()) {
        // Nobody else holds it: convert in place. The window thread let go of it with a
        // releasing decrement after painting from it; the fence orders these writes after.
        std::atomic_thread_fence(std::memory_order_acquire);
        image = std::move(target);
    } else
        image = QImage(layout->width, layout->height, QImage::Format_RGB32);
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
            ConvertRow24(src, dst, layout->width);
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
    QImage image;
    {
        std::lock_guard lock(m_lock);
        image = std::move(m_spare);
    }
    if (!ConvertDib(dib, image))
        return false;
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
