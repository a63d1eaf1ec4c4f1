#include "camsim_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef CAMSIM_BINARY
#define CAMSIM_BINARY "camsim"
#endif

extern char** environ;

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

std::string CamsimProcess::BinaryPath()
{
    return CAMSIM_BINARY;
}

CamsimProcess::CamsimProcess(std::vector<std::string> flags)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("camsim: pipe failed");

    std::vector<std::string> args = {BinaryPath(), "--port", "0"};
    args.insert(args.end(), flags.begin(), flags.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // camsim starts with default signal handling whatever the test's threads have blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = ::posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        m_pid = -1;
        throw std::runtime_error("camsim: cannot start " + args[0] + ": " + std::strerror(rc));
    }

    // First line: "camsim listening on 127.0.0.1:PORT".
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && line.size() < 512) {
        pollfd pfd{pipeFds[0], POLLIN, 0};
        if (::poll(&pfd, 1, MsLeft(deadline)) <= 0)
            break;
        char chunk[256];
        const ssize_t n = ::read(pipeFds[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        line.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    const std::string marker = "127.0.0.1:";
    const auto at = line.find(marker);
    if (at != std::string::npos)
        m_port = std::atoi(line.c_str() + at + marker.size());
    if (m_port <= 0) {
        Stop();
        throw std::runtime_error("camsim did not report its port (flags wrong?): " + line);
    }
}

CamsimProcess::~CamsimProcess()
{
    Stop();
}

void CamsimProcess::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR))
            break;
        if (Clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

std::string CamsimProcess::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::string CamsimProcess::Url(std::string_view path) const
{
    if (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    return BaseUrl() + std::string(path);
}

HttpAnswer CamsimProcess::Exchange(const std::string& request, std::size_t maxBody, int timeoutMs) const
{
    HttpAnswer answer;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answer;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(m_port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string received;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        std::size_t headEnd = std::string::npos;
        std::size_t wanted = std::string::npos;
        while (MsLeft(deadline) > 0) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, std::min(MsLeft(deadline), 100)) <= 0)
                continue;
            char chunk[16384];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            received.append(chunk, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos && (headEnd = received.find("\r\n\r\n")) != std::string::npos) {
                const std::string head = received.substr(0, headEnd);
                const auto length = head.find("Content-Length: ");
                if (length != std::string::npos)
                    wanted = std::strtoul(head.c_str() + length + 16, nullptr, 10);
            }
            if (headEnd != std::string::npos) {
                const std::size_t body = received.size() - headEnd - 4;
                if (body >= maxBody || (wanted != std::string::npos && body >= wanted))
                    break;
            }
        }
    }
    ::close(fd);
    const auto headEnd = received.find("\r\n\r\n");
    if (received.rfind("HTTP/", 0) != 0 || headEnd == std::string::npos) {
        answer.body = received;  // not HTTP at all (a fault can do that)
        return answer;
    }
    answer.head = received.substr(0, headEnd);
    answer.body = received.substr(headEnd + 4, maxBody);
    const auto space = answer.head.find(' ');
    if (space != std::string::npos)
        answer.status = std::atoi(answer.head.c_str() + space + 1);
    return answer;
}

HttpAnswer CamsimProcess::Get(std::string_view target, std::string_view extraHeaders, int timeoutMs) const
{
    std::string request = "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) +
                          "\r\nConnection: close\r\n" + std::string(extraHeaders) + "\r\n";
    return Exchange(request, std::string::npos, timeoutMs);
}

HttpAnswer CamsimProcess::Post(std::string_view target, std::string_view body, std::string_view extraHeaders,
                               int timeoutMs) const
{
    std::string request = "POST " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) +
                          "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                          std::string(extraHeaders) + "\r\n" + std::string(body);
    return Exchange(request, std::string::npos, timeoutMs);
}

HttpAnswer CamsimProcess::ReadStream(std::string_view target, std::size_t maxBytes, int timeoutMs,
                                     std::string_view extraHeaders) const
{
    std::string request = "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) +
                          "\r\n" + std::string(extraHeaders) + "\r\n";
    return Exchange(request, maxBytes, timeoutMs);
}

bool CamsimProcess::SetFault(std::string_view order)
{
    std::string query(order);
    for (char& ch : query) {
        if (ch == ',')
            ch = '&';
    }
    return Get("/camsim/control?fault=" + query).status == 200;
}

bool CamsimProcess::Control(std::string_view query)
{
    return Get("/camsim/control?" + std::string(query)).status == 200;
}

std::vector<RequestRecord> CamsimProcess::Requests() const
{
    std::vector<RequestRecord> out;
    const HttpAnswer answer = Get("/camsim/requests");
    std::size_t pos = 0;
    while (pos < answer.body.size()) {
        const auto end = answer.body.find('\n', pos);
        const std::string_view line(answer.body.data() + pos, (end == std::string::npos ? answer.body.size() : end) - pos);
        if (auto record = FromJsonLine(line))
            out.push_back(std::move(*record));
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return out;
}

std::vector<RequestRecord> CamsimProcess::RequestsTo(std::string_view path) const
{
    std::vector<RequestRecord> out;
    for (RequestRecord& record : Requests()) {
        if (record.path == path)
            out.push_back(std::move(record));
    }
    return out;
}

std::optional<RequestRecord> CamsimProcess::WaitForRequest(std::string_view path, std::string_view querySubstring,
                                                          int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (RequestRecord& record : Requests()) {
            if (record.path == path && record.query.find(querySubstring) != std::string::npos)
                return std::move(record);
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CamsimProcess::ClearRequests()
{
    Get("/camsim/clear");
}

std::string CamsimProcess::State() const
{
    return Get("/camsim/state").body;
}

} // namespace camsim
