#include "viewer/commands/pad_command_queue.h"

namespace kv::viewer {

CPadCommandQueue::CPadCommandQueue(CameraGet send)
    : m_send(send ? std::move(send) : CameraGet(SendCameraGet)), m_thread([this] { Run(); })
{
}

CPadCommandQueue::~CPadCommandQueue()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CPadCommandQueue::Enqueue(CameraCommand command)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(command));
        ++m_enqueued;
    }
    m_changed.notify_all();
}

void CPadCommandQueue::Flush()
{
    std::unique_lock<std::mutex> lock(m_lock);
    const std::size_t target = m_enqueued;
    m_changed.wait(lock, [&] { return m_sent >= target; });
}

std::size_t CPadCommandQueue::SentCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sent;
}

void CPadCommandQueue::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [&] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty())
            return;  // closing, and nothing left to send
        CameraCommand command = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        std::string answer;
        try {
            m_send(answer, command.url, command.user, command.password);
        } catch (...) {
            // A command that could not be sent is lost like an unanswered one; the pad goes on.
        }
        lock.lock();
        ++m_sent;
        m_changed.notify_all();
    }
}

} // namespace kv::viewer
