#include "platform/com/control_base.h"

#include <QEvent>

namespace kv::com {

CControlBase::CControlBase(CModuleUsage& usage, const CDispatchTable& dispatch, QWidget* parent)
    : QWidget(parent), m_instance(usage), m_dispatch(dispatch)
{
}

int CControlBase::Invoke(int dispid, const QVariantList& args, QVariant* result)
{
    return m_dispatch.Invoke(*this, dispid, args, result);
}

bool CControlBase::event(QEvent* event)
{
    if (!m_created && (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)) {
        m_created = true;
        OnCreate();
    }
    return QWidget::event(event);
}

} // namespace kv::com
