#include "stream/stream_opener.h"

#include "core/timings.h"

#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>

namespace kv {

CStreamConnection::CStreamConnection(const ModuleProfile& profile, std::function<bool()> stopRequested)
    : m_profile(profile), m_stopRequested(std::move(stopRequested))
{
}

CStreamConnection::~CStreamConnection()
{
    Close();
}

bool CStreamConnection::Open(const std::string& url, const std::string& user, const std::string& password,
                             std::size_t readAhead)
{
    Close();
    net::RequestOptions options;
    options.url = url;
    options.userAgent = m_profile.name;
    options.sendCredentials = !user.empty();
    options.user = user;
    options.password = password;
    options.readAhead = readAhead;
    auto transfer = std::make_unique<net::CHttpTransfer>(std::move(options));
    transfer->SetCancelCheck(m_stopRequested);
    net::CHttpTransfer* request = transfer.get();
    {
        std::lock_guard<std::mutex> guard(m_abortLock);
        m_transfer = std::move(transfer);
    }

    const Timings& timings = ModuleTimings();
    const int settleMs = timings.openSettleMs.load();
    const int limitMs = timings.openLimitMs.load();
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    net::NetStatus status = net::NetStatus::Failed;
    std::thread opener;
    try {
        opener = std::thread([&, request] {
            const net::NetStatus result = request->Open(settleMs + limitMs + 1000);
            std::lock_guard<std::mutex> guard(lock);
            status = result;
            done = true;
            finished.notify_all();
        });
    } catch (const std::system_error&) {
        m_lastStatus = net::NetStatus::Failed;
        Close();
        return false;
    }
    // The settle sleep and the wait both give way to a stop request.
    const auto settleEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(settleMs);
    const auto deadline = settleEnd + std::chrono::milliseconds(limitMs);
    bool answered = false;
    bool stopped = false;
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= settleEnd && done) {
                answered = true;
                break;
            }
            if (m_stopRequested && m_stopRequested()) {
                stopped = true;
                break;
            }
            if (now >= deadline)
                break;
            finished.wait_for(guard, std::chrono::milliseconds(5));
        }
    }
    if (!answered)
        request->Abort();  // the opener ends by itself; it is never killed
    opener.join();
    if (!answered) {
        m_lastStatus = stopped ? net::NetStatus::Aborted : net::NetStatus::TimedOut;
        Close();
        return false;
    }
    m_lastStatus = status;
    if (status != net::NetStatus::Ok) {
        Close();
        return false;
    }
    return true;
}

std::size_t CStreamConnection::Read(void* destination, std::size_t size, bool fill)
{
    if (!m_transfer) {
        m_lastStatus = net::NetStatus::Failed;
        return 0;
    }
    const net::ReadResult result = m_transfer->Read(destination, size, ModuleTimings().readLimitMs.load(), fill);
    m_lastStatus = result.status;
    return result.bytes;
}

void CStreamConnection::Abort()
{
    std::lock_guard<std::mutex> guard(m_abortLock);
    if (m_transfer)
        m_transfer->Abort();
}

void CStreamConnection::Close()
{
    std::unique_ptr<net::CHttpTransfer> closing;
    {
        std::lock_guard<std::mutex> guard(m_abortLock);
        closing = std::move(m_transfer);
    }
}

} // namespace kv
