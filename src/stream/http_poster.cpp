#include "stream/http_poster.h"

#include "core/timings.h"
#include "platform/net/http_transfer.h"

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#if __has_include("ximage.h")
#include "ximage.h"
#define KV_HAVE_XIMAGE 1
#endif

namespace kv {

CHttpPoster::CHttpPoster(const ModuleProfile& profile) : m_profile(profile) {}

CHttpPoster::~CHttpPoster() = default;

void CHttpPoster::FailWithStatus(int status)
{
    switch (static_cast<net::NetStatus>(status)) {
    case net::NetStatus::InvalidUrl: m_lastError = CURLE_URL_MALFORMAT; break;
    case net::NetStatus::TimedOut: m_lastError = CURLE_OPERATION_TIMEDOUT; break;
    case net::NetStatus::Aborted: m_lastError = CURLE_ABORTED_BY_CALLBACK; break;
    default: m_lastError = m_request && m_request->ErrorCode() ? m_request->ErrorCode() : CURLE_COULDNT_CONNECT; break;
    }
}

void CHttpPoster::MakeRequest(const char* url, bool post, const std::string& user, const std::string& password, std::string body)
{
    net::RequestOptions options;
    options.url = url;
    options.post = post;
    options.body = std::move(body);
    options.userAgent = kAgent;
    if (post)
        options.headers.push_back(kPostContentType);
    // Without a user name there is nobody to authenticate as: send no credentials at all.
    options.sendCredentials = !user.empty();
    options.user = user;
    options.password = password.empty() ? kPlaceholderPassword : password;
    options.readAhead = m_profile.requestChunkSize;
    m_request = std::make_unique<net::CHttpTransfer>(std::move(options));
}

bool CHttpPoster::SendGet(const char* url, const std::string& user, const std::string& password)
{
    m_request.reset();
    MakeRequest(url, false, user, password, {});
    Timings& timings = ModuleTimings();
    const int settleMs = timings.getSettleMs.load();
    const int watchdogMs = timings.getWatchdogMs.load();

    // The sender runs on its own thread so that a camera that never answers costs exactly the
    // watchdog; on time-out the transfer is aborted and the thread ends by itself.
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    net::NetStatus status = net::NetStatus::Failed;
    net::CHttpTransfer* request = m_request.get();
    std::thread sender;
    try {
        sender = std::thread([&, request] {
            const net::NetStatus result = request->Open(settleMs + watchdogMs + 1000);
            std::lock_guard<std::mutex> guard(lock);
            status = result;
            done = true;
            finished.notify_all();
        });
    } catch (const std::system_error&) {
        m_lastError = CURLE_FAILED_INIT;
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    bool answered;
    {
        std::unique_lock<std::mutex> guard(lock);
        answered = finished.wait_for(guard, std::chrono::milliseconds(watchdogMs), [&] { return done; });
    }
    if (!answered)
        request->Abort();
    sender.join();
    if (!answered) {
        m_lastError = CURLE_OPERATION_TIMEDOUT;
        return false;
    }
    if (status != net::NetStatus::Ok) {
        FailWithStatus(static_cast<int>(status));
        return false;
    }
    return true;
}

bool CHttpPoster::SendPost(const char* url, const char* body, int bodyLength, const std::string& user, const std::string& password)
{
    m_request.reset();
    std::string content;
    if (body)
        content.assign(body, bodyLength < 0 ? std::strlen(body) : static_cast<std::size_t>(bodyLength));
    MakeRequest(url, true, user, password, std::move(content));
    const net::NetStatus status = m_request->Open(ModuleTimings().bodyStallMs.load());
    if (status != net::NetStatus::Ok) {
        FailWithStatus(static_cast<int>(status));
        return false;
    }
    return true;
}

bool CHttpPoster::ReadBody()
{
    const std::size_t chunk = m_profile.requestChunkSize;
    // Room for one chunk and the NUL after it; after each chunk, room for one more.
    m_response.assign(chunk + 2, 0);
    m_total = 0;
    std::vector<char> buffer(chunk);
    const int stallMs = ModuleTimings().bodyStallMs.load();
    for (;;) {
        const net::ReadResult read = m_request->Read(buffer.data(), chunk, stallMs, false);
        if (read.bytes > 0) {
            if (m_total + read.bytes > kMaxResponseBytes) {
                m_lastError = kErrorTooLarge;
                return false;
            }
            std::memcpy(m_response.data() + m_total, buffer.data(), read.bytes);
            m_total += read.bytes;
            m_response[m_total] = 0;
            m_response.resize(m_total + chunk + 1, 0);
        }
        if (read.status == net::NetStatus::End)
            return true;
        if (read.status != net::NetStatus::Ok) {
            FailWithStatus(static_cast<int>(read.status));
            return false;
        }
    }
}

bool CHttpPoster::Request(std::string& outText, const char* url, bool isPost, const std::string& user,
                          const std::string& password, const char* body, int bodyLength, CxImage* picture)
{
    if (!url) {
        m_lastError = kErrorNoUrl;
        return false;
    }
    if (m_used) {
        m_lastError = kErrorUsedTwice;
        return false;
    }
    m_used = true;
    if (!net::IsFetchableUrl(url)) {
        m_lastError = CURLE_URL_MALFORMAT;
        return false;
    }
    const bool sent = isPost ? SendPost(url, body, bodyLength, user, password) : SendGet(url, user, password);
    if (!sent || !ReadBody()) {
        m_request.reset();
        return false;
    }
    m_request.reset();
    m_receivedText.assign(m_response.data());
    // Decoded once, after the whole reply is there: a picture cut after its first chunk
    // would not decode. An empty reply has nothing to decode and leaves the picture as it
    // was. A failed decode ends the request before the caller's text is touched.
    if (m_profile.requestPictureFlag && picture && m_total > 0) {
        if (!DecodeReplyPicture(*picture, reinterpret_cast<const std::uint8_t*>(m_response.data()), m_total)) {
            m_lastError = kErrorPicture;
            return false;
        }
    }
    outText = m_receivedText;
    return true;
}

bool DecodeReplyPicture(CxImage& picture, const std::uint8_t* data, std::size_t size)
{
#ifdef KV_HAVE_XIMAGE
    if (size == 0 || size > 0xFFFFFFFFu)
        return false;
    return picture.Decode(data, static_cast<std::uint32_t>(size), 2);
#else
    (void)picture;
    (void)data;
    (void)size;
    return false;
#endif
}

} // namespace kv
