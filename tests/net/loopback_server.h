// A small HTTP server on 127.0.0.1 for the cases a camera never shows: redirects, bodies with
// NUL bytes, stalls to order. It records every request it receives.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv::test {

struct SeenRequest {
    std::string method;
    std::string target;
    httplib::Headers headers;
    std::string body;

    std::string Header(const std::string& name) const
    {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    std::size_t HeaderCount(const std::string& name) const { return headers.count(name); }
};

class LoopbackServer {
public:
    LoopbackServer()
    {
        m_server.set_logger([this](const httplib::Request& request, const httplib::Response&) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_seen.push_back(SeenRequest{request.method, request.target, request.headers, request.body});
        });
    }
    ~LoopbackServer() { Stop(); }

    httplib::Server& Http() { return m_server; }

    void Start()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Stop()
    {
        release = true;
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }
    int Port() const { return m_port; }
    std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const
    {
        return "http://" + host + ":" + std::to_string(m_port) + path;
    }
    // What the server logged; it logs after answering, so a few milliseconds are allowed
    // for the last request to appear.
    std::vector<SeenRequest> Seen(std::size_t atLeast = 0)
    {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_seen.size() >= atLeast)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::lock_guard<std::mutex> guard(m_lock);
        return m_seen;
    }

    // Handlers that stall poll this and give up once the test ends.
    std::atomic<bool> release{false};

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_lock;
    std::vector<SeenRequest> m_seen;
};

// A port on 127.0.0.1 where nothing listens.
int RefusingPort();

} // namespace kv::test
