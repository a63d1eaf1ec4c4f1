#include "stream/frame_chain.h"

namespace kv {

void CFrameChain::Append(std::vector<std::uint8_t> data, std::uint32_t timestamp)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_records.push_back(FrameRecord{std::move(data), timestamp});
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
