#include "viewer/panel/panel_message_relay.h"

#include "platform/ui/posted_message.h"

namespace kv::viewer {

void CPanelMessageRelay::PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam)
{
    std::lock_guard lock(m_lock);
    kv::ui::PostMessageTo(m_receiver, message, wParam, lParam);
}

void CPanelMessageRelay::SetReceiver(QObject* receiver)
{
    std::lock_guard lock(m_lock);
    m_receiver = receiver;
}

void CPanelMessageRelay::ClearReceiver(const QObject* receiver)
{
    std::lock_guard lock(m_lock);
    if (m_receiver == receiver)
        m_receiver = nullptr;
}

QObject* CPanelMessageRelay::Receiver() const
{
    std::lock_guard lock(m_lock);
    return m_receiver;
}

CPanelMessageRelay& PanelMessageRelay()
{
    // Never destroyed: module-wide workers may still post while the module's statics go.
    static CPanelMessageRelay* const relay = new CPanelMessageRelay;
    return *relay;
}

} // namespace kv::viewer
