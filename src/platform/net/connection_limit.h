// The per-server connection limit: at most N transfers to one scheme, host and port at a
// time in this process, N from the per-user registry (MaxConnectionsPerServer). A transfer
// over the limit waits for a free slot within its own time limit.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace kv::net {

class ConnectionSlot {
public:
    ConnectionSlot() = default;
    ~ConnectionSlot() { Release(); }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;

    enum class Outcome { Acquired, TimedOut, Cancelled };

    // Waits for a slot for serverKey until deadline; cancelled() is polled every few ms.
    Outcome Acquire(const std::string& serverKey, std::chrono::steady_clock::time_point deadline,
                    const std::function<bool()>& cancelled);
    void Release();
    bool Held() const noexcept { return m_held; }

private:
    std::string m_key;
    bool m_held = false;
};

// Transfers currently holding a slot for serverKey (for tests and diagnostics).
int ConnectionsInUse(const std::string& serverKey);

} // namespace kv::net
