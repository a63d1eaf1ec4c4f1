// One HTTP request and its response body, read by pulling.
//
// The thread that calls Open and Read drives the transfer itself (libcurl's multi interface),
// so nothing runs behind the caller's back: when the caller stops reading, the transfer is
// paused once it holds about one block beyond what was read, and the kernel's socket buffer
// holds the rest. Every wait is bounded, and Abort (from any thread) or the cancel check
// ends it within a few milliseconds.
//
// Only http and https URLs are fetched, redirects included; credentials go as basic
// authentication and never to another host after a redirect; nothing is cached; the number
// of connections to one server is limited by the per-user registry value.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::net {

enum class NetStatus {
    Ok,          // the step completed
    End,         // the response body ended normally
    InvalidUrl,  // not an absolute http or https URL
    Aborted,     // Abort() or the cancel check ended the wait
    TimedOut,    // the time limit ran out
    Failed,      // the connection or the transfer failed
};

const char* NetStatusText(NetStatus status);

struct RequestOptions {
    std::string url;
    bool post = false;
    std::string body;                  // POST only; sent byte for byte
    std::vector<std::string> headers;  // extra header lines, "Name: value"
    std::string userAgent;
    // Basic-authentication credentials; none are sent when sendCredentials is false.
    bool sendCredentials = false;
    std::string user;
    std::string password;
    // How many received bytes may wait beyond what Read has taken before the transfer pauses.
    std::size_t readAhead = 16384;
};

struct ReadResult {
    std::size_t bytes = 0;
    NetStatus status = NetStatus::Ok;
};

// Cheap syntactic check used before any connection is made: absolute http/https URL with a host.
bool IsFetchableUrl(const std::string& url);

class CHttpTransfer {
public:
    explicit CHttpTransfer(RequestOptions options);
    ~CHttpTransfer();
    CHttpTransfer(const CHttpTransfer&) = delete;
    CHttpTransfer& operator=(const CHttpTransfer&) = delete;

    // Polled (at least every 10 ms) while waiting; returning true ends the wait as Aborted.
    void SetCancelCheck(std::function<bool()> check);

    // Connects, sends the request and waits until the final response head (status line and
    // headers, after redirects) has arrived, within limitMs. May be called once.
    NetStatus Open(int limitMs);

    // Copies up to size bytes of the body into destination. With fill, waits until size
    // bytes are there or the body ends; otherwise returns as soon as anything is there.
    // Fails with TimedOut when stallLimitMs pass without a byte arriving.
    ReadResult Read(void* destination, std::size_t size, int stallLimitMs, bool fill);

    // Ends every current and future wait of this transfer. Safe from any thread while the
    // object exists.
    void Abort();

    // True once a final response head arrived (any status).
    bool ResponseReceived() const noexcept { return m_headComplete; }
    long StatusCode() const noexcept { return m_statusCode; }
    // libcurl's code for the failure, 0 when none.
    int ErrorCode() const noexcept { return m_curlError; }
    std::string ErrorText() const;

private:
    struct Impl;
    friend struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::atomic<bool> m_abort{false};
    bool m_headComplete = false;
    long m_statusCode = 0;
    int m_curlError = 0;
};

} // namespace kv::net
