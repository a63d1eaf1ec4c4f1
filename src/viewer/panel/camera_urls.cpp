#include "viewer/panel/camera_urls.h"

namespace kv::viewer {

namespace {

constexpr std::string_view kMpegPath = "img/video.asf";
constexpr std::string_view kMjpegPath = "img/mjpeg.cgi";

} // namespace

CameraUrls DeriveCameraUrls(std::string_view sURL, std::string_view sFrameType)
{
    const std::string_view path = IsMpegKind(sFrameType) ? kMpegPath : kMjpegPath;
    const std::size_t at = sURL.find(path);
    CameraUrls urls;
    urls.base = at == std::string_view::npos ? std::string() : std::string(sURL.substr(0, at));
    urls.mpeg = urls.base + std::string(kMpegPath);
    urls.mjpeg = urls.base + std::string(kMjpegPath);
    urls.ptzf = urls.base + "command/ptzf.cgi";
    urls.preset = urls.base + "command/presetposition.cgi";
    urls.util = urls.base + "util/util.cgi";
    urls.probe = urls.ptzf + "?ptauth";
    return urls;
}

std::string MjpegStreamUrl(std::string_view mjpegUrl, std::string_view frameRate)
{
    std::string url(mjpegUrl);
    if (frameRate == "Fast")
        return url;
    constexpr std::size_t kUnitLength = 4;  // " fps"
    url += "?Speed=";
    if (frameRate.size() > kUnitLength)
        url += frameRate.substr(0, frameRate.size() - kUnitLength);
    return url;
}

UtilAnswer ParseUtilAnswer(std::string_view answer)
{
    UtilAnswer parsed;
    const std::size_t first = answer.find(';');
    if (first == std::string_view::npos)
        return parsed;
    parsed.frameType = std::string(answer.substr(0, first));
    const std::size_t second = answer.find(';', first + 1);
    if (second != std::string_view::npos)
        parsed.audio = std::string(answer.substr(first + 1, second - first - 1));
    return parsed;
}

} // namespace kv::viewer
