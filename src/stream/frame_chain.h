// First-in first-out lists of finished media frames between the player and its consumers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace kv {

// One finished frame. The data belongs to the record while it is in a chain and to whoever
// removes it afterwards.
struct FrameRecord {
    std::vector<std::uint8_t> data;
    std::uint32_t timestamp = 0;

    std::uint32_t Size() const noexcept { return static_cast<std::uint32_t>(data.size()); }
};

class CFrameChain {
public:
    // The chain takes ownership of data.
    void Append(std::vector<std::uint8_t> data, std::uint32_t timestamp);
    // The head record, or nothing when the chain is empty.
    std::optional<FrameRecord> PopFront();
    std::size_t Count() const;
    void Clear();

    // For a consumer with nothing to do: returns once the chain holds a record, once stop is
    // set (and Wake called after setting it), or after limit. True when a record is there.
    // A consumer waiting here wakes for the next frame at once and costs nothing meanwhile,
    // where polling with short sleeps woke a thousand times a second.
    bool WaitForRecord(std::chrono::milliseconds limit, const std::atomic<bool>& stop);
    // Wakes every waiter to look at its stop flag again.
    void Wake();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<FrameRecord> m_records;
};

// The two module-wide chains.
CFrameChain& VideoChain();
CFrameChain& AudioChain();

} // namespace kv
