#include "viewer/widgets/static_link.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include "platform/ui/ui_helpers.h"
#include "viewer/resources/resources.h"

namespace kv::viewer {

CStaticLink::CStaticLink(QWidget* parent, const QString& link) : QLabel(parent), m_link(link)
{
    setMouseTracking(true);  // moves are passed on to the panel as well
    m_plainFont = font();
    m_plainPalette = palette();
    setCursor(Qt::PointingHandCursor);
    UpdateLinkStyle();
}

CStaticLink::~CStaticLink() = default;

QColor CStaticLink::TextColour() const { return palette().color(QPalette::WindowText); }

void CStaticLink::UpdateLinkStyle()
{
    if (!IsTextStatic() || m_broken) {
        setFont(m_plainFont);
        setPalette(m_plainPalette);
        return;
    }
    QFont underlined = m_plainFont;
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette pal = m_plainPalette;
    pal.setColor(QPalette::WindowText, LinkColour());
    setPalette(pal);
    update();
}

bool CStaticLink::TryOpen()
{
    if (!m_link.isEmpty() && kv::ui::ShellOpen(m_link))
        return true;
    if (!text().isEmpty() && kv::ui::ShellOpen(text()))
        return true;
    const QString fromTable = LoadQString(kv::ui::ControlId(this));
    return !fromTable.isEmpty() && kv::ui::ShellOpen(fromTable);
}

void CStaticLink::Forward(QMouseEvent* event)
{
    // The panel sees the click where it happened on the panel: an untranslated position
    // would land somewhere else on it (on the video, for the banner, and steer the camera).
    QWidget* panel = parentWidget();
    if (!panel)
        return;
    const QPointF at = mapTo(panel, event->position());
    QCoreApplication::postEvent(panel, new QMouseEvent(event->type(), at, at, event->globalPosition(),
                                                       event->button(), event->buttons(), event->modifiers()));
}

void CStaticLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_broken) {
        if (TryOpen()) {
            m_visited = true;
        } else {
            kv::ui::Beep();
            m_broken = true;
            unsetCursor();
        }
        UpdateLinkStyle();
    }
    if (event->button() == Qt::LeftButton)
        Forward(event);
    event->accept();
}

void CStaticLink::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Handled as one more press, as the panel expects one press per click.
    QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                      event->globalPosition(), event->button(), event->buttons(), event->modifiers());
    mousePressEvent(&press);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Forward(event);
    event->accept();
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event)
{
    Forward(event);
    event->accept();
}

} // namespace kv::viewer
