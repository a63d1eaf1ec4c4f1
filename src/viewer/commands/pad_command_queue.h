// The pan/tilt pad's sender: one thread that sends the pad's commands one after the other,
// in the order they were made. A stop can therefore never overtake the move it ends (with
// a thread per command it could, and the camera would keep turning). The window thread
// only enqueues, so a slow camera never blocks it.
#pragma once

#include "viewer/commands/camera_command.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kv::viewer {

class CPadCommandQueue {
public:
    // send defaults to a fresh one-shot HTTP request per command; its answer is ignored.
    explicit CPadCommandQueue(CameraGet send = {});
    // Sends what is still queued, then ends the thread. Each request is bounded by the HTTP
    // layer's own limits, so this ends.
    ~CPadCommandQueue();
    CPadCommandQueue(const CPadCommandQueue&) = delete;
    CPadCommandQueue& operator=(const CPadCommandQueue&) = delete;

    void Enqueue(CameraCommand command);
    // Waits until every command enqueued so far was sent (tests; nothing else waits).
    void Flush();
    std::size_t SentCount() const;

private:
    void Run();

    CameraGet m_send;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<CameraCommand> m_queue;
    std::size_t m_enqueued = 0;
    std::size_t m_sent = 0;
    bool m_closing = false;
    std::thread m_thread;  // last: starts once everything above exists
};

} // namespace kv::viewer
