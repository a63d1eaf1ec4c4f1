#include "platform/ui/window_timers.h"

#include <QTimer>

namespace kv::ui {

CWindowTimers::CWindowTimers(QObject* owner, Handler onTimer)
    : QObject(owner), m_onTimer(std::move(onTimer)) {}

CWindowTimers::~CWindowTimers() = default;  // the timers are our children

void CWindowTimers::SetTimer(int id, int intervalMs)
{
    auto it = m_timers.find(id);
    QTimer* timer = nullptr;
    if (it == m_timers.end()) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_onTimer)
                m_onTimer(id);
        });
        m_timers.emplace(id, timer);
    } else {
        timer = it->second;
    }
    timer->start(intervalMs < 0 ? 0 : intervalMs);
}

bool CWindowTimers::KillTimer(int id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    const bool wasRunning = it->second->isActive();
    it->second->stop();
    return wasRunning;
}

bool CWindowTimers::IsRunning(int id) const
{
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

void CWindowTimers::KillAll()
{
    for (auto& [id, timer] : m_timers)
        timer->stop();
}

} // namespace kv::ui
