// The one-shot HTTP client of both controls: camera commands, settings, the motion-settings
// protocol and the snapshot picture. One object serves exactly one request: create it, call
// Request, read the text, destroy it.
#pragma once

#include "core/module_profile.h"

#include <memory>
#include <string>
#include <vector>

class CxImage;

namespace kv {

namespace net {
class CHttpTransfer;
}

class CHttpPoster {
public:
    static constexpr const char* kAgent = "Pelorix HTTP Poster 1.0";
    // Sent in place of an empty password, the same on every request.
    static constexpr const char* kPlaceholderPassword = "*";
    static constexpr const char* kPostContentType = "Content-Type: application/x-www-form-urlencoded";
    // A reply larger than this is refused rather than held in memory.
    static constexpr std::size_t kMaxResponseBytes = 64u << 20;

    // LastError() values besides the HTTP layer's own error numbers (libcurl codes).
    static constexpr int kErrorNoUrl = -1;
    static constexpr int kErrorUsedTwice = -2;
    static constexpr int kErrorPicture = -3;       // the reply did not decode as a JPEG
    static constexpr int kErrorTooLarge = -4;

    explicit CHttpPoster(const ModuleProfile& profile = ActiveProfile());
    ~CHttpPoster();
    CHttpPoster(const CHttpPoster&) = delete;
    CHttpPoster& operator=(const CHttpPoster&) = delete;

    // Sends one GET (isPost false) or POST and returns the whole reply body as text (cut at a
    // NUL byte), whatever the HTTP status. False when url is null, cannot be fetched, no
    // HTTP answer arrived (refused, unknown host, broken or stalled transfer, GET watchdog),
    // or the picture did not decode. bodyLength -1 sends body up to its NUL.
    // picture: with a profile that decodes replies as pictures, a non-empty reply is decoded
    // once, whole, as a JPEG into it; when that fails the request is false and outText is
    // left as it was.
    bool Request(std::string& outText, const char* url, bool isPost, const std::string& user,
                 const std::string& password, const char* body = nullptr, int bodyLength = -1,
                 CxImage* picture = nullptr);

    int LastError() const { return m_lastError; }
    // The reply as it arrived (cut at a NUL byte), also when it did not decode as a picture,
    // so a caller can still tell a refusal page from a broken picture. Empty until a reply
    // has been read.
    const std::string& ReceivedText() const { return m_receivedText; }

private:
    bool SendGet(const char* url, const std::string& user, const std::string& password);
    bool SendPost(const char* url, const char* body, int bodyLength, const std::string& user, const std::string& password);
    bool ReadBody();
    void MakeRequest(const char* url, bool post, const std::string& user, const std::string& password, std::string body);
    void FailWithStatus(int status);

    const ModuleProfile& m_profile;
    std::unique_ptr<net::CHttpTransfer> m_request;
    std::vector<char> m_response;
    std::string m_receivedText;
    std::size_t m_total = 0;
    int m_lastError = 0;
    bool m_used = false;
};

// Decodes a whole JPEG reply into picture; false when it does not decode.
bool DecodeReplyPicture(CxImage& picture, const std::uint8_t* data, std::size_t size);

} // namespace kv
