#include "http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace camsim {

namespace {

constexpr int kStepMs = 50;
constexpr std::size_t kMaxConnections = 256;
constexpr int kSendStallLimitMs = 30000;

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return std::string(text.substr(begin, end - begin));
}

} // namespace

Connection::Connection(int fd, const std::atomic<bool>& stopping) : m_fd(fd), m_stopping(stopping) {}

Connection::~Connection()
{
    Close();
}

void Connection::Close()
{
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_fd = -1;
    }
}

bool Connection::FillBuffer(int waitMs)
{
    if (m_fd < 0)
        return false;
    int waited = 0;
    for (;;) {
        if (m_stopping.load())
            return false;
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, kStepMs);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0) {
            char chunk[8192];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n > 0) {
                m_buffer.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN))
                return false;
        }
        waited += kStepMs;
        if (waited >= waitMs)
            return false;
    }
}

Connection::ReadResult Connection::ReadRequest(RequestRecord& out, int idleMs)
{
    std::size_t headEnd;
    while ((headEnd = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        if (m_buffer.size() > kMaxHeadBytes)
            return ReadResult::TooLarge;
        if (!FillBuffer(idleMs))
            return m_buffer.empty() ? ReadResult::Closed : ReadResult::Malformed;
    }
    if (headEnd > kMaxHeadBytes)
        return ReadResult::TooLarge;
    const std::string head = m_buffer.substr(0, headEnd);
    m_buffer.erase(0, headEnd + 4);

    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1)
        return ReadResult::Malformed;
    out.method = requestLine.substr(0, sp1);
    out.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    out.version = requestLine.substr(sp2 + 1);
    if (out.target.empty() || out.version.rfind("HTTP/", 0) != 0)
        return ReadResult::Malformed;
    const auto question = out.target.find('?');
    out.path = out.target.substr(0, question);
    out.query = question == std::string::npos ? std::string() : out.target.substr(question + 1);

    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return ReadResult::Malformed;
        out.headers.emplace_back(line.substr(0, colon), Trim(std::string_view(line).substr(colon + 1)));
    }

    if (!out.Header("Transfer-Encoding").empty())
        return ReadResult::Malformed;  // nothing the cameras' clients send; refuse rather than guess
    std::size_t length = 0;
    const std::string lengthText = out.Header("Content-Length");
    if (!lengthText.empty()) {
        auto [ptr, ec] = std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
        if (ec != std::errc() || ptr != lengthText.data() + lengthText.size())
            return ReadResult::Malformed;
        if (length > kMaxBodyBytes)
            return ReadResult::TooLarge;
    }
    // A client that asks before sending a body gets the go-ahead instead of a pause.
    if (m_buffer.size() < length && EqualsIgnoreCase(out.Header("Expect"), "100-continue") &&
        !SendAll("HTTP/1.1 100 Continue\r\n\r\n"))
        return ReadResult::Closed;
    while (m_buffer.size() < length) {
        if (!FillBuffer(10000))
            return ReadResult::Malformed;
    }
    out.body = m_buffer.substr(0, length);
    m_buffer.erase(0, length);
    return ReadResult::Ok;
}

bool Connection::SendAll(std::string_view bytes)
{
    int stalled = 0;
    while (!bytes.empty()) {
        if (m_fd < 0 || m_stopping.load())
            return false;
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, kStepMs);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0) {
            stalled += kStepMs;
            if (stalled >= kSendStallLimitMs)
                return false;
            continue;
        }
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))
            return false;
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        stalled = 0;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Connection::PeerGone()
{
    if (m_fd < 0)
        return true;
    pollfd pfd{m_fd, POLLIN | POLLRDHUP, 0};
    if (::poll(&pfd, 1, 0) <= 0)
        return false;
    if (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))
        return true;
    if (pfd.revents & POLLIN) {
        // Keep what the peer sends (a pipelined request); only a zero read means it left.
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0)
            return true;
        if (n > 0 && m_buffer.size() < kMaxHeadBytes + kMaxBodyBytes)
            m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return false;
}

bool Connection::Wait(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (m_stopping.load() || PeerGone())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max<long long>(0, std::min<long long>(left, 10))));
    }
    return !m_stopping.load();
}

HttpServer::HttpServer(Handler handler) : m_handler(std::move(handler)) {}

HttpServer::~HttpServer()
{
    Stop();
    Reap(true);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool HttpServer::Listen(std::uint16_t port, std::string& error)
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, never any other address
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    if (::listen(m_listenFd, 64) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    return true;
}

void HttpServer::Run()
{
    while (!m_stopping.load()) {
        pollfd pfd{m_listenFd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 100);
        Reap(false);
        if (ready <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_workers.size() >= kMaxConnections) {
            ::close(fd);  // one thread per connection: refuse rather than run out of threads
            continue;
        }
        auto worker = std::make_unique<Worker>();
        worker->fd = fd;
        Worker& ref = *worker;
        m_workers.push_back(std::move(worker));
        ref.thread = std::thread([this, &ref] { Serve(ref); });
    }
    Reap(true);
}

void HttpServer::Serve(Worker& worker)
{
    {
        Connection connection(worker.fd, m_stopping);
        for (;;) {
            RequestRecord request;
            const auto result = connection.ReadRequest(request, 30000);
            if (result == Connection::ReadResult::Closed)
                break;
            if (result != Connection::ReadResult::Ok) {
                const bool tooLarge = result == Connection::ReadResult::TooLarge;
                const std::string body = tooLarge ? "request too large\n" : "malformed request\n";
                connection.SendAll(std::string(tooLarge ? "HTTP/1.1 413 Payload Too Large" : "HTTP/1.1 400 Bad Request") +
                                   "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body);
                break;
            }
            if (!m_handler(connection, request) || m_stopping.load())
                break;
        }
    }
    worker.done.store(true);
}

void HttpServer::Reap(bool all)
{
    std::list<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (all || (*it)->done.load()) {
                finished.push_back(std::move(*it));
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& worker : finished) {
        if (worker->thread.joinable())
            worker->thread.join();
    }
}

void HttpServer::Stop()
{
    m_stopping.store(true);
}

} // namespace camsim
