#include "motion/dialog/setup_target.h"

#include "platform/ui/posted_message.h"

namespace kv::motion {

void CSetupTarget::Attach(QObject* receiver, kv::IFrameSink* sink)
{
    std::lock_guard lock(m_lock);
    m_receiver = receiver;
    m_sink = sink;
}

void CSetupTarget::Detach(QObject* receiver)
{
    std::lock_guard lock(m_lock);
    if (m_receiver != receiver)
        return;
    m_receiver = nullptr;
    m_sink = nullptr;
}

QObject* CSetupTarget::Receiver() const
{
    std::lock_guard lock(m_lock);
    return m_receiver;
}

void CSetupTarget::PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam)
{
    std::lock_guard lock(m_lock);
    kv::ui::PostMessageTo(m_receiver, message, wParam, lParam);
}

bool CSetupTarget::Present(const kv::DibView& dib, kv::FrameRect source, kv::FrameRect destination)
{
    std::lock_guard lock(m_lock);
    return m_sink && m_sink->Present(dib, source, destination);
}

void CSetupTarget::Clear()
{
    std::lock_guard lock(m_lock);
    if (m_sink)
        m_sink->Clear();
}

CSetupTarget& SetupTarget()
{
    static CSetupTarget target;
    return target;
}

} // namespace kv::motion
