#include "options.h"

#include <charconv>
#include <cstdio>
#include <set>

namespace camsim {

bool ParseInt(std::string_view text, std::int64_t& out)
{
    if (text.empty())
        return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

namespace {

bool IntIn(std::string_view text, std::int64_t low, std::int64_t high, int& out)
{
    std::int64_t value;
    if (!ParseInt(text, value) || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool OnOff(std::string_view text, bool& out)
{
    if (text == "on" || text == "1" || text == "true") {
        out = true;
        return true;
    }
    if (text == "off" || text == "0" || text == "false") {
        out = false;
        return true;
    }
    return false;
}

const std::set<std::string>& FaultKinds()
{
    static const std::set<std::string> kinds = {"none", "never_answer", "stall_first", "stall_mid", "close_mid",
                                                "garbage", "bad_stream_no", "busy", "unauthorized", "forbidden",
                                                "unauthorized_forbidden", "mot_error"};
    return kinds;
}

} // namespace

std::string UrlDecode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '+') {
            out += ' ';
        } else if (ch == '%' && i + 2 < text.size()) {
            unsigned value = 0;
            auto [ptr, ec] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
            if (ec == std::errc() && ptr == text.data() + i + 3) {
                out += static_cast<char>(value);
                i += 2;
            } else {
                out += ch;
            }
        } else {
            out += ch;
        }
    }
    return out;
}

std::map<std::string, std::string> ParseQuery(std::string_view query)
{
    std::map<std::string, std::string> out;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty())
            continue;
        const auto eq = item.find('=');
        out[UrlDecode(item.substr(0, eq))] = eq == std::string_view::npos ? std::string() : UrlDecode(item.substr(eq + 1));
    }
    return out;
}

bool ParseSize(std::string_view text, int& width, int& height)
{
    if (text == "640x480") { width = 640; height = 480; return true; }
    if (text == "320x240") { width = 320; height = 240; return true; }
    if (text == "160x120") { width = 160; height = 120; return true; }
    return false;
}

bool ParseLevels(std::string_view text, std::array<std::uint8_t, 4>& out)
{
    for (int i = 0; i < 4; ++i) {
        const auto comma = text.find(',');
        if ((i < 3) == (comma == std::string_view::npos))
            return false;
        int value;
        if (!IntIn(text.substr(0, comma), 0, 255, value))
            return false;
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return true;
}

bool FaultFromParams(const std::map<std::string, std::string>& params, FaultSpec& out, std::string& error)
{
    FaultSpec order;
    auto kind = params.find("fault");
    if (kind == params.end() || !FaultKinds().count(kind->second)) {
        error = "unknown fault kind";
        return false;
    }
    order.kind = kind->second;
    for (const auto& [key, value] : params) {
        if (key == "fault")
            continue;
        std::int64_t number = 0;
        if (key == "path") {
            order.path = value;
            continue;
        }
        if (key == "raw") {
            if (!OnOff(value, order.raw)) {
                error = "raw must be 0 or 1";
                return false;
            }
            continue;
        }
        if (key == "running_only") {
            if (!OnOff(value, order.runningOnly)) {
                error = "running_only must be 0 or 1";
                return false;
            }
            continue;
        }
        if (!ParseInt(value, number) || number < 0) {
            error = "bad value for " + key;
            return false;
        }
        if (key == "after_bytes") order.afterBytes = number;
        else if (key == "after_frames" || key == "after_packets") order.afterFrames = number;
        else if (key == "ms") order.ms = number;
        else if (key == "bytes") order.bytes = number;
        else if (key == "count") {
            if (number < 1) {
                error = "count must be at least 1";
                return false;
            }
            order.count = number;
        }
        else {
            error = "unknown fault parameter " + key;
            return false;
        }
    }
    out = order;
    return true;
}

bool ParseFault(std::string_view text, FaultSpec& out, std::string& error)
{
    std::string query(text);
    for (char& ch : query) {
        if (ch == ',')
            ch = '&';
    }
    const auto amp = query.find('&');
    auto params = ParseQuery(amp == std::string::npos ? std::string_view() : std::string_view(query).substr(amp + 1));
    params["fault"] = query.substr(0, amp);
    return FaultFromParams(params, out, error);
}

std::string HelpText()
{
    return R"(camsim - a network camera emulator on 127.0.0.1 for tests and demos

Usage: camsim [flags]

Prints "camsim listening on 127.0.0.1:PORT" as its first line, then serves until SIGINT/SIGTERM.

Network and users
  --port N              TCP port on 127.0.0.1 (0 = any free port; default 0)
  --user NAME:PASS[:control]
                        add a user (repeatable); ":control" grants the right to steer.
                        Without any --user the camera is open and everyone may steer.

Streams
  --kind mpeg|jpeg      stream kind announced by util.cgi (default jpeg)
  --audio on|off        G.726 audio in both streams and in util.cgi (default off)
  --audio-bits N        G.726 code size 2..5 (default 4)
  --audio-file PATH     packed G.726 data to loop (default: tests/data/g726/tone1k_<N>bit.g726,
                        else a fixed pattern)
  --size WxH            picture size 640x480, 320x240 or 160x120 (default 640x480)
  --fps N               frames per second without ?Speed= (default 15)
  --max-fps N           maximum rate announced by util.cgi (default 30)
  --chunk-size N        MJPG chunk payload bytes, 16..65535 (default 4096)
  --quality N           JPEG quality 1..100 (default 75)
  --no-pacing           send as fast as possible (pictures are pre-rendered and looped)
  --m4v PATH            MPEG-4 elementary stream for video.asf (default: the committed clip of
                        the picture size in tests/data/mpeg4/)
  --asf-packet-size N   ASF data packet size, 128..4096 (default 3200)
  --levels A,B,C,D      scripted motion levels 0..255 (default: measured from the scene)

Camera commands
  --exclusive on|off    Inquiry answers "Exclusive Mode: On" with the times below (default off)
  --remain N            "Remain Time:" seconds (default 60)
  --waiting N           "Waiting Time:" seconds (default 0)
  --preset N:TEXT       preset description N (1..8), repeatable
  --inquiry normal|max_user|access_deny
                        answer every Inquiry with "PT: Max User" or "PT: Access Deny"
  --util-answer TEXT    answer util.cgi verbatim with TEXT (C escapes \n \r \\ allowed)
  --inquiry-answer TEXT answer a normal Inquiry verbatim with TEXT (escapes as above)

Reproducibility and records
  --clock-start "YYYY/MM/DD HH:MM:SS"
                        deterministic streams: the clock starts here and advances by frame
                        number / rate, and the scene depends only on the frame number, so two
                        connections with the same flags receive identical bytes
  --seed N              seed for garbage bytes (default 1)
  --record-dir DIR      write each stream response body exactly as sent to DIR/<id>-<name>.bin
                        (<id> is the request's number in the request log)
  --log FILE            append every request as a JSON line to FILE
  --send-log FILE       append a line per video frame sent on a stream: "<id> <mjpeg|asf>
                        <frame> <first-byte-ns> <last-byte-ns>", the two times on
                        CLOCK_MONOTONIC (shared by every process on the machine) just before
                        the frame's bytes go to the socket and once the socket took them all
  --frame-code on|off   draw each Motion-JPEG frame's number as a row of black and white cells
                        along the picture's bottom-left edge (see frame_code.h; default off)
  --fault ORDER         start with a fault ordered (same syntax as the control path, e.g.
                        "stall_mid,after_bytes=5000")

Faults (control path: GET /camsim/control?fault=KIND&PARAM=VALUE...)
  none                  clear the fault
  never_answer          read the request, never answer (until the client leaves)
  stall_first           wait ms (default: until cleared) before the first byte
  stall_mid             stop sending after after_bytes body bytes (default 0), for ms
                        (default: until cleared)
  close_mid             close the connection inside a frame: after after_frames whole frames
                        (default 2), or after after_bytes body bytes
  garbage               answer 200 and then `bytes` random bytes (default 65536) after
                        after_bytes good bytes (default 0); raw=1 sends no HTTP head at all
  bad_stream_no         video.asf: the first payload of packet after_packets (default 2) carries
                        stream number 0x03
  busy                  answer the 503 page
  unauthorized          answer the 401 page whatever the credentials
  forbidden             answer the 403 page
  unauthorized_forbidden
                        answer one page that carries both the 401 and the 403 title
  mot_error             answer "MOT: ERROR" (200) without acting: a refused motion-settings save
                        or release
  Common parameters: path=PREFIX (only matching request paths), count=N (only the next N),
  running_only=1 (only responses already under way take it: stall_mid, close_mid, garbage
  and bad_stream_no break the running stream while a client's reconnection is served normally)

Control path (no credentials needed; never logged)
  GET /camsim/control?...   fault=... as above; or settings: kind, audio, audio_bits, size, fps,
                            max_fps, chunk_size, quality, pacing=on|off, levels=A,B,C,D|auto,
                            exclusive=on|off, remain, waiting, inquiry, preset=N:TEXT,
                            util_answer=TEXT|default, inquiry_answer=TEXT|default,
                            area_res=N (the "RES: " of the area settings, which a save sets
                            back to what it sent)
  GET /camsim/requests      the request log, one JSON object per line (?clear=1 empties it after)
  GET /camsim/clear         empty the request log
  GET /camsim/state         settings, fault, pan/tilt position and the motion settings store
)";
}

bool ParseOptions(int argc, char** argv, Options& out, std::string& error)
{
    auto unescape = [](std::string_view text) {
        std::string result;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                const char next = text[++i];
                result += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
            } else {
                result += text[i];
            }
        }
        return result;
    };
    Settings& s = out.settings;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            out.help = true;
            continue;
        }
        if (flag == "--no-pacing") {
            s.pacing = false;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + flag;
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (flag == "--port") {
            int port = 0;
            ok = IntIn(value, 0, 65535, port);
            out.port = static_cast<std::uint16_t>(port);
        } else if (flag == "--user") {
            UserAccount user;
            const auto colon = value.find(':');
            ok = colon != std::string::npos && colon > 0;
            if (ok) {
                user.name = value.substr(0, colon);
                std::string rest = value.substr(colon + 1);
                constexpr std::string_view suffix = ":control";
                if (rest.size() >= suffix.size() && rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0) {
                    user.control = true;
                    rest.resize(rest.size() - suffix.size());
                }
                user.password = rest;
                out.users.push_back(user);
            }
        } else if (flag == "--kind") {
            ok = value == "mpeg" || value == "jpeg";
            s.kind = value;
        } else if (flag == "--audio") {
            ok = OnOff(value, s.audio);
        } else if (flag == "--audio-bits") {
            ok = IntIn(value, 2, 5, s.audioBits);
        } else if (flag == "--audio-file") {
            out.audioFile = value;
        } else if (flag == "--size") {
            ok = ParseSize(value, s.width, s.height);
        } else if (flag == "--fps") {
            ok = IntIn(value, 1, 1000, s.fps);
        } else if (flag == "--max-fps") {
            ok = IntIn(value, 0, 1000000, s.maxFps);
        } else if (flag == "--chunk-size") {
            ok = IntIn(value, 16, 65535, s.chunkSize);
        } else if (flag == "--quality") {
            ok = IntIn(value, 1, 100, s.quality);
        } else if (flag == "--m4v") {
            out.m4vFile = value;
        } else if (flag == "--asf-packet-size") {
            ok = IntIn(value, 128, 4096, out.asfPacketSize);
        } else if (flag == "--levels") {
            std::array<std::uint8_t, 4> levels;
            ok = ParseLevels(value, levels);
            s.levels = levels;
        } else if (flag == "--exclusive") {
            ok = OnOff(value, s.exclusive);
        } else if (flag == "--remain") {
            ok = IntIn(value, 0, 1000000, s.remain);
        } else if (flag == "--waiting") {
            ok = IntIn(value, 0, 1000000, s.waiting);
        } else if (flag == "--preset") {
            const auto colon = value.find(':');
            int number = 0;
            ok = colon != std::string::npos && IntIn(std::string_view(value).substr(0, colon), 1, 8, number);
            if (ok)
                s.presets[number] = value.substr(colon + 1);
        } else if (flag == "--inquiry") {
            ok = value == "normal" || value == "max_user" || value == "access_deny";
            s.inquiry = value;
        } else if (flag == "--util-answer") {
            s.utilAnswer = unescape(value);
        } else if (flag == "--inquiry-answer") {
            s.inquiryAnswer = unescape(value);
        } else if (flag == "--clock-start") {
            out.clockStart = value;
            int y, mo, d, h, mi, se;
            ok = value.size() == 19 && std::sscanf(value.c_str(), "%4d/%2d/%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &se) == 6;
        } else if (flag == "--seed") {
            std::int64_t seed;
            ok = ParseInt(value, seed) && seed >= 0;
            out.seed = static_cast<std::uint32_t>(seed);
        } else if (flag == "--record-dir") {
            out.recordDir = value;
        } else if (flag == "--log") {
            out.logFile = value;
        } else if (flag == "--send-log") {
            out.sendLog = value;
        } else if (flag == "--frame-code") {
            ok = OnOff(value, out.frameCode);
        } else if (flag == "--fault") {
            if (!ParseFault(value, out.fault, error))
                return false;
        } else {
            error = "unknown flag " + flag + " (see --help)";
            return false;
        }
        if (!ok) {
            error = "bad value for " + flag + ": " + value;
            return false;
        }
    }
    return true;
}

} // namespace camsim
