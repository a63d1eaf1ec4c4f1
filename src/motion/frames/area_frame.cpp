#include "motion/frames/area_frame.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>

#include "platform/ui/dialog_units.h"

namespace kv::motion {

namespace {

// Colours of a tool window's frame: the face of its borders, their lit and shaded edges, and
// the caption's gradient.
const QColor kFace(212, 208, 200);
const QColor kLight(255, 255, 255);
const QColor kShadow(128, 128, 128);
const QColor kDarkShadow(64, 64, 64);
const QColor kCaptionStart(10, 36, 106);
const QColor kCaptionEnd(166, 202, 240);

bool TakesLeft(AreaFrame::Part p)
{
    return p == AreaFrame::Part::Left || p == AreaFrame::Part::TopLeft || p == AreaFrame::Part::BottomLeft;
}
bool TakesRight(AreaFrame::Part p)
{
    return p == AreaFrame::Part::Right || p == AreaFrame::Part::TopRight || p == AreaFrame::Part::BottomRight;
}
bool TakesTop(AreaFrame::Part p)
{
    return p == AreaFrame::Part::Top || p == AreaFrame::Part::TopLeft || p == AreaFrame::Part::TopRight;
}
bool TakesBottom(AreaFrame::Part p)
{
    return p == AreaFrame::Part::Bottom || p == AreaFrame::Part::BottomLeft || p == AreaFrame::Part::BottomRight;
}

// Brings the dragged edge back so the extent lies within [low, high]; the other edge stays.
void LimitExtent(int& first, int& last, bool firstMoves, int low, int high)
{
    const int extent = std::clamp(last - first, low, high);
    if (firstMoves)
        first = last - extent;
    else
        last = first + extent;
}

} // namespace

AreaFrame::AreaFrame(int index, const QString& caption, QWidget* pictureArea, QWidget* parent)
    : QWidget(parent), m_index(index), m_caption(caption), m_pictureArea(pictureArea)
{
    setMouseTracking(true);
    QFont font = kv::ui::DialogFont();
    font.setBold(true);
    setFont(font);
    resize(kMinimumWidth, kMinimumHeight);
    ApplyShape();
}

AreaFrame::~AreaFrame() = default;

QSize AreaFrame::BoundedSize(QSize size)
{
    return QSize(std::clamp(size.width(), kMinimumWidth, kMaximumWidth),
                 std::clamp(size.height(), kMinimumHeight, kMaximumHeight));
}

void AreaFrame::Place(const QRect& rect)
{
    setGeometry(QRect(rect.topLeft(), BoundedSize(rect.size())));
}

QRect AreaFrame::ClientRect() const
{
    const int top = kBorder + kCaptionHeight;
    return QRect(kBorder, top, std::max(0, width() - 2 * kBorder), std::max(0, height() - top - kBorder));
}

QRect AreaFrame::PictureRect() const
{
    if (m_pictureArea)
        return m_pictureArea->geometry();
    return QRect(0, 0, kMaximumWidth, kMaximumHeight);
}

AreaFrame::Part AreaFrame::HitTest(QPoint p) const
{
    const int w = width();
    const int h = height();
    if (!rect().contains(p))
        return Part::None;
    const bool nearLeft = p.x() < kCornerReach;
    const bool nearRight = p.x() >= w - kCornerReach;
    const bool nearTop = p.y() < kCornerReach;
    const bool nearBottom = p.y() >= h - kCornerReach;
    if (p.y() < kBorder)
        return nearLeft ? Part::TopLeft : nearRight ? Part::TopRight : Part::Top;
    if (p.y() >= h - kBorder)
        return nearLeft ? Part::BottomLeft : nearRight ? Part::BottomRight : Part::Bottom;
    if (p.x() < kBorder)
        return nearTop ? Part::TopLeft : nearBottom ? Part::BottomLeft : Part::Left;
    if (p.x() >= w - kBorder)
        return nearTop ? Part::TopRight : nearBottom ? Part::BottomRight : Part::Right;
    if (p.y() < kBorder + kCaptionHeight)
        return Part::Caption;
    return Part::None;
}

QRect AreaFrame::ConstrainMove(QRect r, const QRect& picture)
{
    if (picture.contains(r))
        return r;
    // Applied in this order, so a frame larger than the picture ends flush with its
    // right and bottom edges. The size never changes.
    if (r.left() < picture.left())
        r.moveLeft(picture.left());
    if (r.top() < picture.top())
        r.moveTop(picture.top());
    if (r.x() + r.width() > picture.x() + picture.width())
        r.moveLeft(picture.x() + picture.width() - r.width());
    if (r.y() + r.height() > picture.y() + picture.height())
        r.moveTop(picture.y() + picture.height() - r.height());
    return r;
}

QRect AreaFrame::ConstrainResize(QRect r, const QRect& picture)
{
    const int left = std::max(r.x(), picture.x());
    const int top = std::max(r.y(), picture.y());
    const int right = std::max(left, std::min(r.x() + r.width(), picture.x() + picture.width()));
    const int bottom = std::max(top, std::min(r.y() + r.height(), picture.y() + picture.height()));
    return QRect(left, top, right - left, bottom - top);
}

QRect AreaFrame::ResizedGeometry(QPoint delta) const
{
    const QRect& g = m_dragGeometry;
    int left = g.x();
    int top = g.y();
    int right = g.x() + g.width();
    int bottom = g.y() + g.height();
    if (TakesLeft(m_dragPart))
        left += delta.x();
    if (TakesRight(m_dragPart))
        right += delta.x();
    if (TakesTop(m_dragPart))
        top += delta.y();
    if (TakesBottom(m_dragPart))
        bottom += delta.y();
    // The tracking limits first, as the window manager applies them, then the picture.
    if (TakesLeft(m_dragPart) || TakesRight(m_dragPart))
        LimitExtent(left, right, TakesLeft(m_dragPart), kMinimumWidth, kMaximumWidth);
    if (TakesTop(m_dragPart) || TakesBottom(m_dragPart))
        LimitExtent(top, bottom, TakesTop(m_dragPart), kMinimumHeight, kMaximumHeight);
    return ConstrainResize(QRect(left, top, right - left, bottom - top), PictureRect());
}

void AreaFrame::ApplyShape()
{
    // Everything from the client's corner to 4 pixels short of the right and bottom edges
    // is cut away: what stays is the caption, the left border and thin strips along the
    // right and bottom.
    const QRect client = ClientRect();
    const QRect inner(client.topLeft(), QPoint(width() - 4 - 1, height() - 4 - 1));
    QRegion shape(rect());
    if (inner.isValid())
        shape = shape.subtracted(QRegion(inner));
    setMask(shape);
    update();
}

void AreaFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ApplyShape();
}

void AreaFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), kFace);
    // Raised outer edge, sunken inner edge around the client area.
    painter.setPen(kLight);
    painter.drawLine(1, 1, w - 2, 1);
    painter.drawLine(1, 1, 1, h - 2);
    painter.setPen(kDarkShadow);
    painter.drawLine(0, h - 1, w - 1, h - 1);
    painter.drawLine(w - 1, 0, w - 1, h - 1);
    painter.setPen(kShadow);
    painter.drawLine(1, h - 2, w - 2, h - 2);
    painter.drawLine(w - 2, 1, w - 2, h - 2);
    const QRect client = ClientRect();
    painter.setPen(Qt::black);
    painter.drawRect(client.adjusted(-1, -1, 0, 0));

    const QRect caption(kBorder, kBorder, std::max(0, w - 2 * kBorder), kCaptionHeight);
    QLinearGradient gradient(caption.topLeft(), caption.topRight());
    gradient.setColorAt(0, kCaptionStart);
    gradient.setColorAt(1, kCaptionEnd);
    painter.fillRect(caption, gradient);
    if (!m_caption.isEmpty()) {
        painter.setPen(Qt::white);
        const QRect textRect = caption.adjusted(3, 0, -2, 0);
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(font()).elidedText(m_caption, Qt::ElideRight, textRect.width()));
    }
}

void AreaFrame::UpdateCursor(Part part)
{
    switch (part) {
    case Part::Left:
    case Part::Right: setCursor(Qt::SizeHorCursor); break;
    case Part::Top:
    case Part::Bottom: setCursor(Qt::SizeVerCursor); break;
    case Part::TopLeft:
    case Part::BottomRight: setCursor(Qt::SizeFDiagCursor); break;
    case Part::TopRight:
    case Part::BottomLeft: setCursor(Qt::SizeBDiagCursor); break;
    default: unsetCursor(); break;
    }
}

void AreaFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragPart = HitTest(event->position().toPoint());
    if (m_dragPart == Part::None) {
        event->ignore();
        return;
    }
    raise();
    m_dragStart = mapToParent(event->position().toPoint());
    m_dragGeometry = geometry();
    event->accept();
}

void AreaFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragPart == Part::None) {
        UpdateCursor(HitTest(event->position().toPoint()));
        return;
    }
    const QPoint delta = mapToParent(event->position().toPoint()) - m_dragStart;
    if (m_dragPart == Part::Caption)
        setGeometry(ConstrainMove(m_dragGeometry.translated(delta), PictureRect()));
    else
        setGeometry(ResizedGeometry(delta));
    event->accept();
}

void AreaFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragPart != Part::None) {
        m_dragPart = Part::None;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace kv::motion
