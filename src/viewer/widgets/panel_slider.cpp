#include "viewer/widgets/panel_slider.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

#include "platform/ui/posted_message.h"
#include "viewer/resources/resources.h"

namespace kv::viewer {

namespace {

// The picture, masked when asked; null (failure) when the picture is null or the point
// for the transparent colour lies outside it.
bool Prepare(const QImage& image, bool transparent, kv::ui::ColorRef colour, int x, int y, QPixmap& out)
{
    out = QPixmap();
    if (image.isNull())
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QPixmap pixmap = QPixmap::fromImage(rgb);
    if (pixmap.isNull())
        return false;
    if (transparent) {
        QRgb key;
        if (colour == kv::ui::kColorFromPoint) {
            if (!rgb.valid(x, y))
                return false;
            key = rgb.pixel(x, y);
        } else {
            key = kv::ui::ToQColor(colour).rgb();
        }
        const QBitmap mask = QBitmap::fromImage(rgb.createMaskFromColor(key, Qt::MaskInColor));
        if (mask.isNull())
            return false;
        pixmap.setMask(mask);
    }
    out = pixmap;
    return true;
}

} // namespace

CPanelSlider::CPanelSlider(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

CPanelSlider::~CPanelSlider() = default;

void CPanelSlider::SetRange(int minimum, int maximum, bool repaint)
{
    m_min = minimum;
    m_max = maximum;
    m_pos = std::clamp(m_pos, std::min(m_min, m_max), std::max(m_min, m_max));
    if (repaint)
        update();
}

void CPanelSlider::SetRangeMin(int minimum, bool repaint) { SetRange(minimum, m_max, repaint); }
void CPanelSlider::SetRangeMax(int maximum, bool repaint) { SetRange(m_min, maximum, repaint); }

void CPanelSlider::SetPos(int position)
{
    m_pos = std::clamp(position, std::min(m_min, m_max), std::max(m_min, m_max));
    update();
}

void CPanelSlider::SetMargin(int left, int top, int right, int bottom)
{
    m_marginLeft = left;
    m_marginTop = top;
    m_marginRight = right;
    m_marginBottom = bottom;
    update();
}

void CPanelSlider::SetVertical(bool vertical)
{
    m_vertical = vertical;
    update();
}

bool CPanelSlider::SetChannelBitmaps(int id, int activeId, bool transparent, kv::ui::ColorRef colour, int x, int y)
{
    if (id == 0)
        return SetChannelImages(QImage(), QImage(), false, 0, 0, 0);
    const QImage channel = LoadBitmapResource(id);
    const QImage active = activeId ? LoadBitmapResource(activeId) : QImage();
    if (channel.isNull() || (activeId && active.isNull())) {
        SetChannelImages(QImage(), QImage(), false, 0, 0, 0);
        return false;
    }
    return SetChannelImages(channel, active, transparent, colour, x, y);
}

bool CPanelSlider::SetThumbBitmaps(int id, int activeId, bool transparent, kv::ui::ColorRef colour, int x, int y)
{
    if (id == 0)
        return SetThumbImages(QImage(), QImage(), false, 0, 0, 0);
    const QImage thumb = LoadBitmapResource(id);
    const QImage active = activeId ? LoadBitmapResource(activeId) : QImage();
    if (thumb.isNull() || (activeId && active.isNull())) {
        SetThumbImages(QImage(), QImage(), false, 0, 0, 0);
        return false;
    }
    return SetThumbImages(thumb, active, transparent, colour, x, y);
}

bool CPanelSlider::SetChannelImages(const QImage& channel, const QImage& active, bool transparent,
                                    kv::ui::ColorRef colour, int x, int y)
{
    m_channel = m_activeChannel = QPixmap();
    if (channel.isNull()) {
        update();
        return true;
    }
    bool ok = Prepare(channel, transparent, colour, x, y, m_channel);
    if (ok && !active.isNull())
        ok = Prepare(active, transparent, colour, x, y, m_activeChannel);
    if (!ok) {
        m_channel = m_activeChannel = QPixmap();
    } else {
        resize(m_channel.size());
    }
    update();
    return ok;
}

bool CPanelSlider::SetThumbImages(const QImage& thumb, const QImage& active, bool transparent,
                                  kv::ui::ColorRef colour, int x, int y)
{
    m_thumb = m_activeThumb = QPixmap();
    if (thumb.isNull()) {
        update();
        return true;
    }
    bool ok = Prepare(thumb, transparent, colour, x, y, m_thumb);
    if (ok && !active.isNull())
        ok = Prepare(active, transparent, colour, x, y, m_activeThumb);
    if (!ok)
        m_thumb = m_activeThumb = QPixmap();
    update();
    return ok;
}

void CPanelSlider::DrawFocusRect(bool draw, bool repaint)
{
    m_drawFocus = draw;
    if (repaint)
        update();
}

bool CPanelSlider::SetSliderCursor(int cursorId)
{
    return SetCursorResource(*this, cursorId);
}

int CPanelSlider::ThumbLength() const
{
    if (m_thumb.isNull())
        return 0;
    return m_vertical ? m_thumb.height() : m_thumb.width();
}

int CPanelSlider::Length() const { return m_vertical ? height() : width(); }

int CPanelSlider::Along(QPointF point) const
{
    return static_cast<int>(std::floor(m_vertical ? point.y() : point.x()));
}

int CPanelSlider::PixelOfValue(int value) const
{
    const int thumb = ThumbLength();
    const int base = MarginStart() + thumb / 2;
    const int span = Length() - MarginStart() - MarginEnd() - thumb;
    if (m_max == m_min || span <= 0)
        return base;
    const double fraction = static_cast<double>(value - m_min) / (m_max - m_min);
    return static_cast<int>(std::trunc(base + fraction * span));
}

int CPanelSlider::ValueOfPixel(int pixel) const
{
    const int thumb = ThumbLength();
    const int span = Length() - MarginStart() - MarginEnd() - thumb;
    if (span <= 0)
        return m_min;
    const double fraction = static_cast<double>(pixel - thumb / 2 - MarginStart()) / span;
    const double value = std::trunc(fraction * (static_cast<double>(m_max) - m_min) + m_min);
    // The thumb may be dragged to the last pixel, which with an odd thumb lies past the
    // maximum's pixel: keep the value inside the range.
    return static_cast<int>(std::clamp(value, static_cast<double>(std::min(m_min, m_max)),
                                       static_cast<double>(std::max(m_min, m_max))));
}

QRect CPanelSlider::ThumbRect() const
{
    if (m_thumb.isNull())
        return {};
    const QPixmap& thumb = (m_dragging && !m_activeThumb.isNull()) ? m_activeThumb : m_thumb;
    const int pixel = PixelOfValue(m_pos);
    if (m_vertical) {
        const int x = m_marginLeft + (width() - m_marginLeft - m_marginRight - thumb.width()) / 2;
        return QRect(x, pixel - thumb.height() / 2, thumb.width(), thumb.height());
    }
    const int y = m_marginTop + (height() - m_marginTop - m_marginBottom - thumb.height()) / 2;
    return QRect(pixel - thumb.width() / 2, y, thumb.width(), thumb.height());
}

void CPanelSlider::paintEvent(QPaintEvent*)
{
    // Qt paints widgets through a back buffer, so the thumb never flickers over the track.
    QPainter p(this);
    if (!m_channel.isNull())
        p.drawPixmap(0, 0, m_channel);
    const QRect thumbRect = ThumbRect();
    if (!m_activeChannel.isNull() && !thumbRect.isEmpty()) {
        const int pixel = PixelOfValue(m_pos);
        const QRect done = m_vertical ? QRect(0, 0, width(), pixel) : QRect(0, 0, pixel, height());
        p.save();
        p.setClipRect(done);
        p.drawPixmap(0, 0, m_activeChannel);
        p.restore();
    }
    if (!thumbRect.isEmpty())
        p.drawPixmap(thumbRect.topLeft(), (m_dragging && !m_activeThumb.isNull()) ? m_activeThumb : m_thumb);
    if (hasFocus() && m_drawFocus) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void CPanelSlider::Notify(int message)
{
    if (QWidget* parent = parentWidget())
        kv::ui::PostMessageTo(parent, message, kv::ui::ControlId(this), m_pos);
}

void CPanelSlider::DragTo(int along)
{
    const int thumb = ThumbLength();
    const int low = MarginStart() + thumb / 2;
    const int high = Length() - thumb / 2 - MarginEnd();
    const int pixel = std::max(low, std::min(high, along - m_grabOffset));
    if (pixel != PixelOfValue(m_pos)) {
        m_pos = ValueOfPixel(pixel);
        update();
        Notify(kv::ui::WM_SLIDER_MOVING);
    }
}

void CPanelSlider::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const int along = Along(event->position());
    const int centre = PixelOfValue(m_pos);
    m_grabOffset = std::abs(along - centre) <= ThumbLength() / 2 ? along - centre : 0;
    update();
    DragTo(along);
    event->accept();
}

void CPanelSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        DragTo(Along(event->position()));
}

void CPanelSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    update();
    Notify(kv::ui::WM_SLIDER_POSITION);
}

void CPanelSlider::keyPressEvent(QKeyEvent* event)
{
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    long long target = m_pos;
    switch (event->key()) {
    case Qt::Key_PageUp: target -= m_page; break;
    case Qt::Key_PageDown: target += m_page; break;
    case Qt::Key_End: target = m_max; break;
    case Qt::Key_Home: target = m_min; break;
    case Qt::Key_Right:
    case Qt::Key_Down: target += 1; break;
    case Qt::Key_Left:
    case Qt::Key_Up: target -= 1; break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    const long long low = std::min(m_min, m_max), high = std::max(m_min, m_max);
    m_pos = static_cast<int>(std::clamp(target, low, high));
    update();
    Notify(kv::ui::WM_SLIDER_POSITION);
    event->accept();
}

void CPanelSlider::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CPanelSlider::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

} // namespace kv::viewer
