#include "platform/net/connection_limit.h"

#include "platform/registry/registry.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace kv::net {
namespace {

struct Counts {
    std::mutex lock;
    std::condition_variable freed;
    std::map<std::string, int> inUse;
};

Counts& Shared()
{
    static Counts counts;
    return counts;
}

} // namespace

ConnectionSlot::Outcome ConnectionSlot::Acquire(const std::string& serverKey, std::chrono::steady_clock::time_point deadline,
                                                const std::function<bool()>& cancelled)
{
    Release();
    const int limit = registry::MaxConnectionsPerServer();
    Counts& counts = Shared();
    std::unique_lock<std::mutex> guard(counts.lock);
    for (;;) {
        int& used = counts.inUse[serverKey];
        if (used < limit) {
            ++used;
            m_key = serverKey;
            m_held = true;
            return Outcome::Acquired;
        }
        if (cancelled && cancelled())
            return Outcome::Cancelled;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return Outcome::TimedOut;
        counts.freed.wait_until(guard, std::min(deadline, now + std::chrono::milliseconds(10)));
    }
}

void ConnectionSlot::Release()
{
    if (!m_held)
        return;
    Counts& counts = Shared();
    {
        std::lock_guard<std::mutex> guard(counts.lock);
        auto it = counts.inUse.find(m_key);
        if (it != counts.inUse.end() && --it->second <= 0)
            counts.inUse.erase(it);
    }
    counts.freed.notify_all();
    m_held = false;
}

int ConnectionsInUse(const std::string& serverKey)
{
    Counts& counts = Shared();
    std::lock_guard<std::mutex> guard(counts.lock);
    auto it = counts.inUse.find(serverKey);
    return it == counts.inUse.end() ? 0 : it->second;
}

} // namespace kv::net
