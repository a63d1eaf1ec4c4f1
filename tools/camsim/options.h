// Command-line flags of camsim, the run-time settings they seed, and fault orders.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

struct UserAccount {
    std::string name;
    std::string password;
    bool control = false;  // may steer the camera (pan/tilt, presets, area zoom)
};

// A fault to order. Which parameters matter depends on the kind (see HelpText()).
struct FaultSpec {
    std::string kind = "none";  // none, never_answer, stall_first, stall_mid, close_mid,
                                // garbage, bad_stream_no, busy, unauthorized, forbidden,
                                // unauthorized_forbidden, mot_error
    std::int64_t afterBytes = -1;   // body bytes sent before the fault strikes
    std::int64_t afterFrames = -1;  // whole video frames sent before it strikes
    std::int64_t ms = -1;           // how long a stall lasts (-1: until cleared or the peer leaves)
    std::int64_t bytes = -1;        // garbage bytes to send (-1: 65536)
    bool raw = false;               // garbage without any HTTP status line
    std::string path;               // only requests whose path starts with this
    std::int64_t count = -1;        // only the next N matching requests (-1: all)
    bool runningOnly = false;       // only responses already under way; new requests are served normally

    bool Active() const { return kind != "none"; }
};

// Settings that the control path may change while camsim runs.
struct Settings {
    std::string kind = "jpeg";          // util.cgi stream kind: "mpeg" or "jpeg"
    bool audio = false;
    int audioBits = 4;                  // G.726 code size 2..5
    int width = 640;
    int height = 480;
    int fps = 15;                       // Motion-JPEG rate without ?Speed=, and the ASF rate
    int maxFps = 30;                    // last field of the util.cgi answer
    int chunkSize = 4096;               // MJPG chunk payload bytes
    int quality = 75;                   // JPEG quality
    bool pacing = true;
    std::optional<std::array<std::uint8_t, 4>> levels;  // scripted motion levels
    bool exclusive = false;             // Inquiry: "Exclusive Mode: On" with remain/waiting times
    int remain = 60;
    int waiting = 0;
    std::string inquiry = "normal";     // normal, max_user, access_deny
    std::map<int, std::string> presets; // 1..8 -> description
    std::optional<std::string> utilAnswer;  // verbatim util.cgi answer instead of the composed one
    std::optional<std::string> inquiryAnswer;  // verbatim Inquiry answer (for a user with control)
};

struct Options {
    std::uint16_t port = 0;
    std::vector<UserAccount> users;
    Settings settings;
    std::string audioFile;              // G.726 source; default: the committed fixture for the code size
    std::string m4vFile;                // MPEG-4 source; default: the committed fixture for the size
    int asfPacketSize = 3200;
    std::string clockStart;             // "YYYY/MM/DD HH:MM:SS": deterministic clock and scene
    std::uint32_t seed = 1;
    std::string recordDir;
    std::string logFile;
    std::string sendLog;                // one line per video frame sent: when it left (CLOCK_MONOTONIC)
    bool frameCode = false;             // draw the frame number as a cell code into Motion-JPEG pictures
    FaultSpec fault;
    bool help = false;
};

// Parses argv; false with a message for a bad flag.
bool ParseOptions(int argc, char** argv, Options& out, std::string& error);
std::string HelpText();

// Fault orders: "kind", then parameters as "&key=value" or ",key=value"
// (e.g. "stall_mid&after_bytes=5000" or "close_mid,after_frames=2,path=/img/").
bool ParseFault(std::string_view text, FaultSpec& out, std::string& error);
// Same, from already split query parameters ("fault" holds the kind).
bool FaultFromParams(const std::map<std::string, std::string>& params, FaultSpec& out, std::string& error);

// Splits "a=1&b=2" into a map, percent- and plus-decoding.
std::map<std::string, std::string> ParseQuery(std::string_view query);
std::string UrlDecode(std::string_view text);

bool ParseSize(std::string_view text, int& width, int& height);
bool ParseLevels(std::string_view text, std::array<std::uint8_t, 4>& out);
bool ParseInt(std::string_view text, std::int64_t& out);

} // namespace camsim
