#include "stream/frame_chain.h"

namespace kv {

void CFrameChain::Append(std::vector<std::uint8_t> data, std::uint32_t timestamp)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_records.push_back(FrameRecord{std::move(data), timestamp});
    }
    m_changed.notify_all();
}

std::optional<FrameRecord> CFrameChain::PopFront()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_records.empty())
        return std::nullopt;
    FrameRecord record = std::move(m_records.front());
    m_records.pop_front();
    return record;
}

std::size_t CFrameChain::Count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records.size();
}

void CFrameChain::Clear()
{
    std::deque<FrameRecord> dropped;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        dropped.swap(m_records);
    }
    // freed outside the lock
}

bool CFrameChain::WaitForRecord(std::chrono::milliseconds limit, const std::atomic<bool>& stop)
{
    std::unique_lock<std::mutex> lock(m_lock);
    // The stop flag is read under the lock that Wake takes, so a stop set before Wake is
    // either seen here or its notification reaches the wait.
    m_changed.wait_for(lock, limit, [&] { return !m_records.empty() || stop.load(); });
    return !m_records.empty();
}

void CFrameChain::Wake()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
    }
    m_changed.notify_all();
}

CFrameChain& VideoChain()
{
    static CFrameChain chain;
    return chain;
}

CFrameChain& AudioChain()
{
    static CFrameChain chain;
    return chain;
}

} // namespace kv
