// The camera addresses the viewer derives from the base address a page gives it, and the
// small texts it reads from the camera to choose a stream.
#pragma once

#include <string>
#include <string_view>

namespace kv::viewer {

// Exactly "mpeg" selects MPEG-4 in ASF; anything else is Motion-JPEG.
inline bool IsMpegKind(std::string_view frameType) { return frameType == "mpeg"; }

struct CameraUrls {
    std::string base;   // what comes before the stream path in the given address
    std::string mpeg;   // base + "img/video.asf"
    std::string mjpeg;  // base + "img/mjpeg.cgi"
    std::string ptzf;   // base + "command/ptzf.cgi"
    std::string preset; // base + "command/presetposition.cgi"
    std::string util;   // base + "util/util.cgi"
    std::string probe;  // base + "command/ptzf.cgi?ptauth"
};

// The base is the part of sURL before the first occurrence of the stream path of the given
// kind, and empty when the path does not occur (every URL is then relative).
CameraUrls DeriveCameraUrls(std::string_view sURL, std::string_view sFrameType);

// The Motion-JPEG address for a frame-rate text ("15 fps", "Fast"): "?Speed=" and the text
// without its last four characters, nothing added for exactly "Fast".
std::string MjpegStreamUrl(std::string_view mjpegUrl, std::string_view frameRate);

// The answer of util/util.cgi: "kind;audio;max-fps". A missing field is empty.
struct UtilAnswer {
    std::string frameType;  // before the first ';'
    std::string audio;      // between the first and the second ';'
};
UtilAnswer ParseUtilAnswer(std::string_view answer);

} // namespace kv::viewer
