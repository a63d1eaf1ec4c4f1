// Test-side handle on a camsim process: starts the camsim binary on a free loopback port,
// orders faults and settings through its control path, reads its request log, and ends it
// when the handle goes away.
//
// Usage in a test (link camsim_client):
//
//   #include "camsim_process.h"
//   camsim::CamsimProcess cam({"--user", "admin:secret:control", "--audio", "on"});
//   std::string url = cam.Url("img/mjpeg.cgi");            // http://127.0.0.1:PORT/img/mjpeg.cgi
//   cam.SetFault("stall_mid&after_bytes=5000");           // or "close_mid,after_frames=2"
//   ... run the code under test against url ...
//   for (const camsim::RequestRecord& r : cam.Requests())
//       EXPECT_EQ(r.Header("User-Agent"), "...");         // r.method, r.path, r.query, r.body,
//                                                          // r.user, r.password, r.headers
//   cam.ClearFault();
//
// The constructor throws std::runtime_error when camsim does not start. Faults and settings
// are described in `camsim --help` and in tools/camsim/README.md.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "request_record.h"

namespace camsim {

struct HttpAnswer {
    int status = 0;       // 0 when no HTTP answer arrived
    std::string head;     // status line and headers
    std::string body;
};

class CamsimProcess {
public:
    explicit CamsimProcess(std::vector<std::string> flags = {});
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    int Port() const { return m_port; }
    std::string BaseUrl() const;                      // "http://127.0.0.1:PORT/"
    std::string Url(std::string_view path) const;     // BaseUrl() + path (a leading "/" is dropped)

    // Fault order, e.g. "never_answer", "stall_mid&after_bytes=100&path=/img/"; "none" clears.
    bool SetFault(std::string_view order);
    bool ClearFault() { return SetFault("none"); }
    // Run-time settings as a query, e.g. "audio=on&kind=mpeg&levels=1,2,3,4".
    bool Control(std::string_view query);

    // The request log (camera requests only, never the control path), oldest first.
    std::vector<RequestRecord> Requests() const;
    std::vector<RequestRecord> RequestsTo(std::string_view path) const;
    // Waits until a request to `path` whose query contains `querySubstring` has arrived (for
    // commands sent from other threads); the first such request, or nullopt after timeoutMs.
    std::optional<RequestRecord> WaitForRequest(std::string_view path, std::string_view querySubstring = {},
                                                int timeoutMs = 5000) const;
    void ClearRequests();
    std::string State() const;                        // GET /camsim/state (JSON)

    // A plain request to camsim with Connection: close; extraHeaders lines end in "\r\n".
    HttpAnswer Get(std::string_view target, std::string_view extraHeaders = {}, int timeoutMs = 10000) const;
    HttpAnswer Post(std::string_view target, std::string_view body, std::string_view extraHeaders = {},
                    int timeoutMs = 10000) const;
    // Reads a streaming response for a while: at most maxBytes body bytes or timeoutMs.
    HttpAnswer ReadStream(std::string_view target, std::size_t maxBytes, int timeoutMs,
                          std::string_view extraHeaders = {}) const;

    // Ends camsim now (the destructor does this too).
    void Stop();

    static std::string BinaryPath();

private:
    HttpAnswer Exchange(const std::string& request, std::size_t maxBody, int timeoutMs) const;

    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace camsim
