#include "stream/worker_thread.h"

#include <chrono>

namespace kv {

CWorkerThread::~CWorkerThread()
{
    StopAndJoin();
}

// Joins a thread that has ended or is ending. A worker restarted from its own exit callback
// cannot join itself; its old thread is detached and finishes on its own.
void CWorkerThread::Reap(std::thread& thread)
{
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

bool CWorkerThread::Start()
{
    std::thread previous;
    {
        std::lock_guard<std::mutex> guard(m_threadLock);
        if (!m_finished.load())
            return false;
        previous = std::move(m_thread);
        m_stopRequested = false;
        m_started = true;
        m_finished = false;
        try {
            m_thread = std::thread(&CWorkerThread::ThreadEntry, this);
        } catch (...) {
            m_finished = true;
            m_thread = std::move(previous);
            return false;
        }
    }
    Reap(previous);  // it had already finished Run; at most its exit callback is left
    return true;
}

void CWorkerThread::ThreadEntry()
{
    int result = 0;
    try {
        result = Run();
    } catch (...) {
        result = 800;  // a Run that lets anything escape has failed in an unforeseen way
    }
    ExitCallback callback;
    {
        std::lock_guard<std::mutex> guard(m_callbackLock);
        callback = m_exitCallback;
    }
    m_finished = true;
    if (result != 0 && callback)
        callback(result);
}

bool CWorkerThread::RequestStop(int timeoutMs)
{
    m_stopRequested = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_finished.load()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CWorkerThread::SetExitCallback(ExitCallback callback)
{
    std::lock_guard<std::mutex> guard(m_callbackLock);
    m_exitCallback = std::move(callback);
}

void CWorkerThread::StopAndJoin()
{
    m_stopRequested = true;
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(m_threadLock);
        thread = std::move(m_thread);
    }
    Reap(thread);
}

} // namespace kv
