#include "platform/ui/posted_message.h"

#include <QCoreApplication>

namespace kv::ui {

void PostMessageTo(QObject* receiver, int message, std::intptr_t wParam, std::intptr_t lParam)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new CPostedMessage(message, wParam, lParam));
}

CQtMessageTarget::CQtMessageTarget(QObject* receiver) : m_receiver(receiver)
{
    if (receiver) {
        // Direct connection: runs inside the receiver's destructor on its own thread, and
        // waits for a post that is under way to finish.
        m_destroyedConnection = QObject::connect(
            receiver, &QObject::destroyed, this, [this] { Detach(); }, Qt::DirectConnection);
    }
}

CQtMessageTarget::~CQtMessageTarget()
{
    QObject::disconnect(m_destroyedConnection);
    Detach();
}

void CQtMessageTarget::PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam)
{
    std::lock_guard lock(m_lock);
    PostMessageTo(m_receiver, message, wParam, lParam);
}

void CQtMessageTarget::Detach()
{
    std::lock_guard lock(m_lock);
    m_receiver = nullptr;
}

bool CQtMessageTarget::IsAttached() const
{
    std::lock_guard lock(m_lock);
    return m_receiver != nullptr;
}

} // namespace kv::ui
