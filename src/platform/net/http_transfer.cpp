#include "platform/net/http_transfer.h"

#include "platform/net/connection_limit.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace kv::net {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollSliceMs = 10;
constexpr int kMaxRedirects = 10;

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool IsFollowedRedirect(long code)
{
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

// "http://host:port" for the connection limit; empty when the URL is not fetchable.
std::string ServerKey(const std::string& url)
{
    GlobalInit();
    CURLU* handle = curl_url();
    if (!handle)
        return {};
    std::string key;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK && host && *host) {
            const std::string s = scheme ? scheme : "";
            if (s == "http" || s == "https")
                key = s + "://" + host + ":" + port;
        }
        curl_free(scheme);
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(handle);
    return key;
}

std::string NoProxyList()
{
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) {
            list = std::string(value) + "," + list;
            break;
        }
    }
    return list;
}

} // namespace

const char* NetStatusText(NetStatus status)
{
    switch (status) {
    case NetStatus::Ok: return "ok";
    case NetStatus::End: return "end of body";
    case NetStatus::InvalidUrl: return "invalid URL";
    case NetStatus::Aborted: return "aborted";
    case NetStatus::TimedOut: return "timed out";
    case NetStatus::Failed: return "failed";
    }
    return "?";
}

bool IsFetchableUrl(const std::string& url)
{
    return !ServerKey(url).empty();
}

struct CHttpTransfer::Impl {
    CHttpTransfer& owner;
    RequestOptions options;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
    bool opened = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    bool paused = false;
    bool redirectInBlock = false;  // the current header block carries a Location
    std::vector<std::uint8_t> pending;
    std::size_t pendingPos = 0;
    Clock::time_point lastArrival{};
    std::function<bool()> cancel;
    ConnectionSlot slot;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Impl(CHttpTransfer& o, RequestOptions opts) : owner(o), options(std::move(opts)) {}

    std::size_t Waiting() const { return pending.size() - pendingPos; }

    bool Cancelled() const { return owner.m_abort.load() || (cancel && cancel()); }

    // The final head is there unless this is a 1xx or a redirect that will be followed.
    void MaybeHeadComplete()
    {
        if (owner.m_headComplete)
            return;
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        if (code < 200 || (IsFollowedRedirect(code) && redirectInBlock))
            return;
        owner.m_statusCode = code;
        owner.m_headComplete = true;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const std::size_t length = size * count;
        const std::string_view line(data, length);
        if (StartsWithNoCase(line, "HTTP/"))
            self->redirectInBlock = false;
        else if (StartsWithNoCase(line, "location:"))
            self->redirectInBlock = true;
        else if (line == "\r\n" || line == "\n")
            self->MaybeHeadComplete();
        return length;
    }

    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const std::size_t length = size * count;
        self->MaybeHeadComplete();
        if (!self->owner.m_headComplete)
            return length;  // the body of a redirect that is being followed
        if (self->Waiting() > 0 && self->Waiting() >= self->options.readAhead) {
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (self->pendingPos == self->pending.size()) {
            self->pending.clear();
            self->pendingPos = 0;
        } else if (self->pendingPos >= 65536) {
            self->pending.erase(self->pending.begin(), self->pending.begin() + static_cast<std::ptrdiff_t>(self->pendingPos));
            self->pendingPos = 0;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
        self->pending.insert(self->pending.end(), bytes, bytes + length);
        self->lastArrival = Clock::now();
        return length;
    }

    bool Configure()
    {
        easy = curl_easy_init();
        if (!easy || !multi)
            return false;
        curl_easy_setopt(easy, CURLOPT_URL, options.url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
        curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L);  // credentials stay with the first host
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, NoProxyList().c_str());
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnWrite);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        if (options.sendCredentials) {
            curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(easy, CURLOPT_USERNAME, options.user.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, options.password.c_str());
        }
        for (const std::string& line : options.headers)
            headers = curl_slist_append(headers, line.c_str());
        if (options.post) {
            headers = curl_slist_append(headers, "Expect:");  // send the body at once
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, options.body.data());
        }
        if (headers)
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        if (curl_multi_add_handle(multi, easy) != CURLM_OK)
            return false;
        added = true;
        return true;
    }

    // Lets libcurl move the transfer on, waiting up to waitMs for the socket.
    void Step(int waitMs)
    {
        if (paused && Waiting() < options.readAhead) {
            paused = false;
            curl_easy_pause(easy, CURLPAUSE_CONT);  // re-delivers what it held back
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                done = true;
                result = message->data.result;
                owner.m_curlError = static_cast<int>(result);
                if (result == CURLE_OK)
                    MaybeHeadComplete();
            }
        }
        // Bytes that arrived in this step (from the socket or held back by a pause) are for
        // the caller now: waiting for the socket first would hold each of them up to waitMs.
        if (done || paused || waitMs <= 0 || Waiting() > 0)
            return;
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
};

CHttpTransfer::CHttpTransfer(RequestOptions options) : m_impl(std::make_unique<Impl>(*this, std::move(options)))
{
    GlobalInit();
    // Created here, before any other thread can see the object, so Abort may wake it.
    m_impl->multi = curl_multi_init();
}

CHttpTransfer::~CHttpTransfer()
{
    Impl& d = *m_impl;
    if (d.added)
        curl_multi_remove_handle(d.multi, d.easy);
    if (d.easy)
        curl_easy_cleanup(d.easy);
    if (d.multi)
        curl_multi_cleanup(d.multi);
    curl_slist_free_all(d.headers);
}

void CHttpTransfer::SetCancelCheck(std::function<bool()> check)
{
    m_impl->cancel = std::move(check);
}

void CHttpTransfer::Abort()
{
    m_abort = true;
    // The multi handle lives as long as the object, and waking it is thread-safe.
    if (m_impl->multi)
        curl_multi_wakeup(m_impl->multi);
}

std::string CHttpTransfer::ErrorText() const
{
    if (m_impl->errorBuffer[0])
        return m_impl->errorBuffer;
    return m_curlError ? curl_easy_strerror(static_cast<CURLcode>(m_curlError)) : std::string();
}

NetStatus CHttpTransfer::Open(int limitMs)
{
    Impl& d = *m_impl;
    if (d.opened)
        return NetStatus::Failed;
    d.opened = true;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(limitMs, 0));
    const std::string key = ServerKey(d.options.url);
    if (key.empty())
        return NetStatus::InvalidUrl;
    switch (d.slot.Acquire(key, deadline, [&d] { return d.Cancelled(); })) {
    case ConnectionSlot::Outcome::Acquired: break;
    case ConnectionSlot::Outcome::TimedOut: return NetStatus::TimedOut;
    case ConnectionSlot::Outcome::Cancelled: return NetStatus::Aborted;
    }
    // multi exists from here on; an Abort that came before is seen by the loop below
    if (!d.Configure())
        return NetStatus::Failed;
    for (;;) {
        if (m_headComplete)
            return NetStatus::Ok;
        if (d.done)
            return NetStatus::Failed;
        if (d.Cancelled())
            return NetStatus::Aborted;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return NetStatus::TimedOut;
        d.Step(static_cast<int>(std::min<long long>(left, kPollSliceMs)));
    }
}

ReadResult CHttpTransfer::Read(void* destination, std::size_t size, int stallLimitMs, bool fill)
{
    Impl& d = *m_impl;
    ReadResult out;
    if (!m_headComplete) {
        out.status = NetStatus::Failed;
        return out;
    }
    auto* target = static_cast<std::uint8_t*>(destination);
    bool waited = false;
    Clock::time_point started{};
    while (out.bytes < size) {
        const std::size_t take = std::min(d.Waiting(), size - out.bytes);
        if (take > 0) {
            std::memcpy(target + out.bytes, d.pending.data() + d.pendingPos, take);
            d.pendingPos += take;
            out.bytes += take;
            if (out.bytes == size || !fill)
                break;
        }
        if (d.done && d.Waiting() == 0 && !d.paused) {
            out.status = d.result == CURLE_OK ? NetStatus::End : NetStatus::Failed;
            return out;
        }
        if (d.Cancelled()) {
            out.status = NetStatus::Aborted;
            return out;
        }
        const auto now = Clock::now();
        if (!waited) {
            waited = true;
            started = now;
        }
        const auto since = std::max(started, d.lastArrival);
        const auto left = stallLimitMs - std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count();
        if (left <= 0) {
            out.status = NetStatus::TimedOut;
            return out;
        }
        d.Step(static_cast<int>(std::min<long long>(left, kPollSliceMs)));
    }
    out.status = NetStatus::Ok;
    return out;
}

} // namespace kv::net
