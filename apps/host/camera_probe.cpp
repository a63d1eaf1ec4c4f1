#include "host/camera_probe.h"

#include <curl/curl.h>

#include <memory>

namespace kv::host {

bool CameraReachable(const std::string& url, int timeoutMs, std::string& error)
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        error = "cannot set up a connection";
        return false;
    }
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, detail);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code == CURLE_OK)
        return true;
    error = detail[0] ? detail : curl_easy_strerror(code);
    return false;
}

} // namespace kv::host
