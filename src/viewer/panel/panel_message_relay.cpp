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
    // An ordinary static, freed when the module unloads. The module unloads only once no
    // control lives, and a control stops its workers when it goes, so no worker posts then;
    // ModulePanelWorkers() makes the relay before the workers, so it is also freed after them.
    static CPanelMessageRelay relay;
    return relay;
}

} // namespace kv::viewer
