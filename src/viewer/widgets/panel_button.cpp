#include "viewer/widgets/panel_button.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextLayout>
#include <QToolTip>
#include <qdrawutil.h>

#include "viewer/resources/resources.h"

namespace kv::viewer {

namespace {

// The picture with the transparent colour masked out; null when the mask cannot be made.
QPixmap Masked(const QImage& image, kv::ui::ColorRef transparent)
{
    QPixmap pixmap = QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32));
    if (pixmap.isNull())
        return {};
    const QColor key = kv::ui::ToQColor(transparent);
    const QBitmap mask = QBitmap::fromImage(
        image.convertToFormat(QImage::Format_RGB32).createMaskFromColor(key.rgb(), Qt::MaskInColor));
    if (mask.isNull())
        return {};
    pixmap.setMask(mask);
    return pixmap;
}

// The tip broken into lines of at most maxWidth pixels in the tip's font, as rich text that
// keeps those breaks: the tip label's own wrapping ignores any width limit it is given.
QString WrappedTip(QString text, const QFont& font, int maxWidth)
{
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(maxWidth);
        QString piece = text.mid(line.textStart(), line.textLength());
        while (!piece.isEmpty() && (piece.back().isSpace() || piece.back() == QChar::LineSeparator))
            piece.chop(1);
        lines << piece.toHtmlEscaped();
    }
    layout.endLayout();
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(lines.join(QStringLiteral("<br>")));
}

} // namespace

CPanelButton::CPanelButton(QWidget* parent) : QPushButton(parent)
{
    setMouseTracking(true);
    SetDefaultColors(false);
    m_repeatTimer.setSingleShot(false);
    connect(&m_repeatTimer, &QTimer::timeout, this, [this] {
        if (!m_repeatHeld)
            return;
        // The release may never reach us (disabled or hidden meanwhile, a modal window or
        // another widget took the mouse): then the hold is over all the same.
        if (StillHeld())
            SendRepeatCommand();
        else
            EndRepeat(mapFromGlobal(QCursor::pos()));
    });
    connect(this, &QAbstractButton::clicked, this, &CPanelButton::OnClicked);
}

CPanelButton::~CPanelButton() = default;

void CPanelButton::ClearImages()
{
    m_hoverImage = QPixmap();
    m_normalImage = QPixmap();
    m_hoverIcon = QIcon();
    m_normalIcon = QIcon();
    m_hoverIconSize = m_normalIconSize = QSize();
}

int CPanelButton::SetBitmaps(int hoverId, kv::ui::ColorRef hoverTransparent, int normalId,
                             kv::ui::ColorRef normalTransparent)
{
    const QImage hover = hoverId ? LoadBitmapResource(hoverId) : QImage();
    if (hoverId && hover.isNull()) {
        ClearImages();
        update();
        return BTNST_INVALIDRESOURCE;
    }
    QImage normal;
    if (normalId) {
        normal = LoadBitmapResource(normalId);
        if (normal.isNull()) {
            ClearImages();
            update();
            return BTNST_INVALIDRESOURCE;
        }
    }
    return SetBitmaps(hover, hoverTransparent, normal, normalTransparent);
}

int CPanelButton::SetBitmaps(const QImage& hover, kv::ui::ColorRef hoverTransparent, const QImage& normal,
                             kv::ui::ColorRef normalTransparent)
{
    ClearImages();
    int result = BTNST_OK;
    if (!hover.isNull()) {
        m_hoverImage = Masked(hover, hoverTransparent);
        if (m_hoverImage.isNull())
            result = BTNST_FAILEDMASK;
    }
    if (result == BTNST_OK && !normal.isNull()) {
        m_normalImage = Masked(normal, normalTransparent);
        if (m_normalImage.isNull())
            result = BTNST_FAILEDMASK;
    }
    if (result != BTNST_OK)
        ClearImages();
    update();
    return result;
}

void CPanelButton::SetIcons(const QIcon& hover, QSize hoverSize, const QIcon& normal, QSize normalSize)
{
    ClearImages();
    m_hoverIcon = hover;
    m_hoverIconSize = hoverSize;
    m_normalIcon = normal;
    m_normalIconSize = normalSize;
    update();
}

int CPanelButton::SetColor(int index, kv::ui::ColorRef colour, bool repaint)
{
    if (index < 0 || index > 3)
        return BTNST_INVALIDINDEX;
    m_colors[index] = kv::ui::ToQColor(colour);
    if (repaint)
        update();
    return BTNST_OK;
}

QColor CPanelButton::GetColor(int index) const
{
    return index >= 0 && index <= 3 ? m_colors[index] : QColor();
}

void CPanelButton::SetDefaultColors(bool repaint)
{
    const QPalette pal = QApplication::palette(this);
    m_colors[BTNST_COLOR_BK_IN] = pal.color(QPalette::Button);
    m_colors[BTNST_COLOR_FG_IN] = pal.color(QPalette::ButtonText);
    m_colors[BTNST_COLOR_BK_OUT] = pal.color(QPalette::Button);
    m_colors[BTNST_COLOR_FG_OUT] = pal.color(QPalette::ButtonText);
    if (repaint)
        update();
}

void CPanelButton::SetDrawBorder(bool draw, bool repaint)
{
    m_drawBorder = draw;
    if (repaint)
        update();
}

void CPanelButton::SetFlat(bool flat, bool repaint)
{
    m_flat = flat;
    if (!flat)
        m_hovered = false;
    if (repaint)
        update();
}

void CPanelButton::SetAlign(int alignment, bool repaint)
{
    if (alignment >= ST_ALIGN_HORIZ && alignment <= ST_ALIGN_HORIZ_RIGHT)
        m_align = alignment;
    if (repaint)
        update();
}

void CPanelButton::SetFlatFocus(bool drawFocus, bool repaint)
{
    m_flatFocus = drawFocus;
    if (repaint)
        update();
}

bool CPanelButton::SetBtnCursor(int cursorId)
{
    return SetCursorResource(*this, cursorId);
}

void CPanelButton::SetTransparent(bool transparent)
{
    // The parent's pixels show through wherever we do not paint: a widget that does not
    // fill its background is composited over its parent, so there is no copy to go stale.
    m_transparent = transparent;
    update();
}

void CPanelButton::SetLink(const QString& link) { m_link = link.left(kMaxLinkLength); }

void CPanelButton::SetTooltipText(const QString& text)
{
    // Long tips wrap at the tip width instead of running across the screen.
    setToolTip(text.isEmpty() ? QString() : WrappedTip(text, QToolTip::font(), kMaxTipWidth));
}

void CPanelButton::SetAutoRepeat(bool repeat, int intervalMs)
{
    m_autoRepeat = repeat;
    m_repeatMs = intervalMs > 0 ? intervalMs : kDefaultRepeatMs;
}

void CPanelButton::SetCheckBox(bool isCheckBox)
{
    setCheckable(isCheckBox);
    update();
}

void CPanelButton::ResetHover() { SetHovered(false); }

void CPanelButton::SetHovered(bool hovered)
{
    if (m_hovered != hovered) {
        m_hovered = hovered;
        update();
    }
}

bool CPanelButton::IsPressedState() const
{
    return isDown() || (isCheckable() && isChecked());
}

bool CPanelButton::ShowsHoverImage() const
{
    if (!HasNormalImage())
        return true;
    if (isCheckable())
        return IsPressedState();
    return m_hovered || IsPressedState();
}

QSize CPanelButton::ImageSize(bool hoverImage) const
{
    if (hoverImage)
        return !m_hoverImage.isNull() ? m_hoverImage.size() : m_hoverIconSize;
    return !m_normalImage.isNull() ? m_normalImage.size() : m_normalIconSize;
}

QRect CPanelButton::ImageRect() const
{
    const QRect resting = RestingImageRect();
    if (!resting.isEmpty() && IsPressedState() && !isCheckable())
        return resting.translated(1, 1);
    return resting;
}

QRect CPanelButton::RestingImageRect() const
{
    QRect r = rect();
    if (!m_flat && (hasFocus() || isDefault()))
        r.adjust(1, 1, -1, -1);
    const QSize size = ImageSize(ShowsHoverImage());
    if (!size.isValid() || size.isEmpty())
        return {};
    const bool hasText = !text().isEmpty();
    int x = r.left() + (r.width() - size.width()) / 2;
    int y = r.top() + (r.height() - size.height()) / 2;
    if (hasText) {
        switch (m_align) {
        case ST_ALIGN_VERT:
            y = r.top() + 3;
            break;
        case ST_ALIGN_HORIZ_RIGHT:
            x = r.right() + 1 - 3 - size.width();
            break;
        default:
            x = r.left() + 3;
            break;
        }
    }
    return QRect(QPoint(x, y), size);
}

void CPanelButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette pal = palette();
    const bool pressed = IsPressedState();
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();
    QRect r = rect();

    if (!m_flat && (focused || isDefault())) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }

    const bool hot = m_hovered || pressed;
    if (!m_transparent)
        p.fillRect(r, hot ? m_colors[BTNST_COLOR_BK_IN] : m_colors[BTNST_COLOR_BK_OUT]);

    if (pressed && !m_flat) {
        p.setPen(pal.color(QPalette::Dark));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    } else if (pressed && m_flat && m_drawBorder) {
        qDrawShadeRect(&p, r, pal, true, 1);
    } else if (!pressed && !m_flat) {
        qDrawWinButton(&p, r, pal, false, nullptr);
    } else if (!pressed && m_flat && m_hovered && m_drawBorder) {
        qDrawShadeRect(&p, r, pal, false, 1);
    }

    // Image
    const bool useHover = ShowsHoverImage();
    const QRect imageRect = ImageRect();
    if (!imageRect.isEmpty()) {
        const QPixmap& bitmap = useHover ? m_hoverImage : m_normalImage;
        const QIcon& icon = useHover ? m_hoverIcon : m_normalIcon;
        if (!bitmap.isNull())
            p.drawPixmap(imageRect.topLeft(), bitmap);
        else if (!icon.isNull())
            icon.paint(&p, imageRect, Qt::AlignCenter, disabled ? QIcon::Disabled : QIcon::Normal);
    }

    // Text, beside (or below) the image, one line, vertically centred. Its room is taken
    // beside the image's resting place: the press moves text and image by one pixel each.
    if (!text().isEmpty()) {
        QRect textRect = r;
        const QRect restingImage = RestingImageRect();
        if (!restingImage.isEmpty()) {
            switch (m_align) {
            case ST_ALIGN_VERT:
                textRect.setTop(restingImage.bottom() + 1);
                break;
            case ST_ALIGN_HORIZ_RIGHT:
                textRect.setRight(restingImage.left() - 1);
                break;
            default:
                textRect.setLeft(restingImage.right() + 1);
                break;
            }
        }
        if (pressed && !isCheckable())
            textRect.translate(1, 1);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        p.setFont(font());
        if (disabled) {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(textRect.translated(1, 1), flags, text());
            p.setPen(pal.color(QPalette::Dark));
            p.drawText(textRect, flags, text());
        } else {
            p.setPen(hot ? m_colors[BTNST_COLOR_FG_IN] : m_colors[BTNST_COLOR_FG_OUT]);
            p.drawText(textRect, flags, text());
        }
    }

    if (focused && (!m_flat || m_flatFocus)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(3, 3, -3, -3);
        option.backgroundColor = hot ? m_colors[BTNST_COLOR_BK_IN] : m_colors[BTNST_COLOR_BK_OUT];
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void CPanelButton::SendRepeatCommand()
{
    ++m_repeatCount;
    m_sendingRepeat = true;
    emit clicked(isChecked());
    m_sendingRepeat = false;
}

void CPanelButton::OnClicked()
{
    if (m_sendingRepeat || isCheckable() || m_link.isEmpty())
        return;
    kv::ui::ShellOpen(m_link);
}

void CPanelButton::mousePressEvent(QMouseEvent* event)
{
    if (!m_autoRepeat || event->button() != Qt::LeftButton || !isEnabled()) {
        QPushButton::mousePressEvent(event);
        return;
    }
    // Held: one command now and one per interval while the button stays down.
    setDown(true);
    m_repeatHeld = true;
    m_repeatCount = 0;
    emit pressed();
    SendRepeatCommand();
    m_repeatTimer.start(m_repeatMs);
    event->accept();
}

bool CPanelButton::StillHeld() const
{
    if (!isEnabled() || !isVisible() || !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return false;
    const QWidget* grabber = QWidget::mouseGrabber();
    if (grabber && grabber != this)
        return false;
    const QWidget* modal = QApplication::activeModalWidget();
    return !modal || modal == window() || modal->isAncestorOf(this);
}

void CPanelButton::EndRepeat(QPoint pointer)
{
    m_repeatTimer.stop();
    m_repeatHeld = false;
    // Receivers count on pairs of commands.
    if (m_repeatCount % 2 != 0)
        SendRepeatCommand();
    setDown(false);
    emit released();
    // What the pointer rests on now decides the hover mark.
    if (m_flat)
        SetHovered(isVisible() && rect().contains(pointer));
}

void CPanelButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_repeatHeld && event->button() == Qt::LeftButton) {
        EndRepeat(event->position().toPoint());
        event->accept();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
    if (m_flat && !rect().contains(event->position().toPoint()))
        SetHovered(false);
}

void CPanelButton::mouseMoveEvent(QMouseEvent* event)
{
    if (m_flat) {
        const bool inside = rect().contains(event->position().toPoint());
        const bool leftDown = event->buttons() & Qt::LeftButton;
        if (inside && (event->buttons() == Qt::NoButton || m_hovered))
            SetHovered(true);
        else if (!inside && m_hovered && !leftDown)
            SetHovered(false);
    }
    if (!m_repeatHeld)
        QPushButton::mouseMoveEvent(event);
}

void CPanelButton::enterEvent(QEnterEvent* event)
{
    if (m_flat && QGuiApplication::mouseButtons() == Qt::NoButton)
        SetHovered(true);
    QPushButton::enterEvent(event);
}

void CPanelButton::leaveEvent(QEvent* event)
{
    // Never drop the mark while the left button holds the button down.
    if (m_hovered && !(QGuiApplication::mouseButtons() & Qt::LeftButton) && !m_repeatHeld && !isDown())
        SetHovered(false);
    QPushButton::leaveEvent(event);
}

void CPanelButton::focusInEvent(QFocusEvent* event)
{
    QPushButton::focusInEvent(event);
    update();
}

void CPanelButton::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    update();
}

} // namespace kv::viewer
