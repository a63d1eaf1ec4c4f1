// Base of every worker: the two players, the picture display workers and the audio worker.
//
// A worker runs Run() on a thread of its own. Its flags are atomics because the window
// thread polls them while the worker writes them. Start sets the flags on the starting
// thread, before the new thread exists, so a RequestStop that comes right after Start is
// never lost and a second Start while running is refused.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace kv {

class CWorkerThread {
public:
    using ExitCallback = std::function<void(int result)>;

    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    virtual ~CWorkerThread();

    // The worker body; returns a ResultCode.
    virtual int Run() = 0;

    // Launches Run() on a new thread. False when the worker is still running.
    bool Start();

    // Asks Run() to end and polls every 1 ms until it has, or timeoutMs have passed.
    // Returns true when the worker has finished. Never kills the thread.
    bool RequestStop(int timeoutMs);

    // Called on the worker's thread with Run()'s result when that result is not 0.
    void SetExitCallback(ExitCallback callback);

    bool IsFinished() const noexcept { return m_finished.load(); }
    bool IsStarted() const noexcept { return m_started.load(); }
    bool StopRequested() const noexcept { return m_stopRequested.load(); }

protected:
    // Derived destructors call this first, so Run() never outlives the derived object.
    // Asks the worker to stop and waits for its thread to end.
    void StopAndJoin();

    std::atomic<bool> m_finished{true};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stopRequested{false};

private:
    void ThreadEntry();
    static void Reap(std::thread& thread);

    std::mutex m_threadLock;    // guards m_thread and the start transition
    std::thread m_thread;
    std::mutex m_callbackLock;  // guards m_exitCallback
    ExitCallback m_exitCallback;
};

} // namespace kv
