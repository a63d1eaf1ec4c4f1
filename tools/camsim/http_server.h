// A small HTTP/1.1 server on POSIX sockets, one thread per connection.
//
// camsim needs to misbehave on purpose (stall before or inside a response, cut a response
// short, send bytes that are not HTTP), so it owns the raw socket instead of sitting on a
// server library. Every read and write is bounded: request heads are capped at 16 KiB,
// bodies at 1 MiB, and idle connections are dropped after a while.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "request_record.h"

namespace camsim {

inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;
inline constexpr std::size_t kMaxBodyBytes = 1024 * 1024;

class Connection {
public:
    Connection(int fd, const std::atomic<bool>& stopping);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class ReadResult { Ok, Closed, Malformed, TooLarge };
    // Reads one request (head and Content-Length body). Waits at most idleMs for its start.
    ReadResult ReadRequest(RequestRecord& out, int idleMs);

    // Writes everything; false when the peer is gone, the server stops or a write stalls
    // for longer than the send limit.
    bool SendAll(std::string_view bytes);
    // True when the peer has closed its side (or the socket failed).
    bool PeerGone();
    // Sleeps up to ms (in small steps); false when the server stops or the peer leaves.
    bool Wait(int ms);
    void Close();
    bool Stopping() const { return m_stopping.load(); }
    int Fd() const { return m_fd; }

private:
    bool FillBuffer(int waitMs);

    int m_fd;
    const std::atomic<bool>& m_stopping;
    std::string m_buffer;  // bytes read but not yet consumed
};

class HttpServer {
public:
    // Handler for one request; returns true when the connection may serve another one.
    using Handler = std::function<bool(Connection&, RequestRecord&)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();

    // Binds 127.0.0.1:port (0 = any free port) and listens. False with a message on failure.
    bool Listen(std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return m_port; }
    // Accepts connections until Stop(); each runs on its own thread.
    void Run();
    // Safe from any thread and from a signal-driven watcher: wakes accept and every connection.
    void Stop();

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
        int fd = -1;
    };
    void Serve(Worker& worker);
    void Reap(bool all);

    Handler m_handler;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_lock;
    std::list<std::unique_ptr<Worker>> m_workers;
};

} // namespace camsim
