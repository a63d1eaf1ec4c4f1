#include "camera.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <sstream>

#include "streams.h"

namespace camsim {

namespace {

constexpr std::string_view kRealm = "Orvel Network Camera";
constexpr std::size_t kMaxLoggedRequests = 20000;

std::string NormalizePath(std::string_view path)
{
    // Clients build addresses by concatenation, so doubled slashes are common.
    std::string out;
    for (char ch : path) {
        if (ch == '/' && !out.empty() && out.back() == '/')
            continue;
        out += ch;
    }
    return out;
}

bool WantsKeepAlive(const RequestRecord& request)
{
    const std::string connection = request.Header("Connection");
    if (request.version == "HTTP/1.0")
        return EqualsIgnoreCase(connection, "keep-alive");
    return !EqualsIgnoreCase(connection, "close");
}

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 503: return "Service Temporarily Overloaded";
    default: return "Error";
    }
}

// Value of a settings key in a motion-protocol text: from behind the key up to the next CR,
// read as a decimal integer with leading blanks skipped (0 when no digits).
bool KeyValue(const std::string& text, std::string_view key, int& out)
{
    const auto at = text.find(key);
    if (at == std::string::npos)
        return false;
    std::size_t pos = at + key.size();
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    long long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && value < 1000000000)
        value = value * 10 + (text[pos++] - '0');
    out = static_cast<int>(negative ? -value : value);
    return true;
}

std::string Line(std::string_view key, int value)
{
    return std::string(key) + std::to_string(value) + "\r\n";
}

std::string WindowKey(int window, std::string_view field)
{
    return "AREA" + std::to_string(window) + std::string(field) + ": ";
}

constexpr std::string_view kWindowFields[] = {"EN", "THD", "SENS", "X1", "Y1", "X2", "Y2"};

int* WindowField(DetectionWindow& w, std::size_t index)
{
    int* fields[] = {&w.enabled, &w.threshold, &w.sensitivity, &w.x1, &w.y1, &w.x2, &w.y2};
    return fields[index];
}

} // namespace

std::string UnauthorizedPage()
{
    return "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD>\r\n"
           "<BODY><H1>401 Unauthorized</H1>\r\nThis camera needs a valid user name and password.\r\n</BODY></HTML>\r\n";
}

std::string ForbiddenPage()
{
    return "<HTML><HEAD><TITLE>403 Forbidden</TITLE></HEAD>\r\n"
           "<BODY><H1>403 Forbidden</H1>\r\nThe camera refuses this request.\r\n</BODY></HTML>\r\n";
}

std::string BusyPage()
{
    return "<HTML><HEAD><TITLE>503 Service Temporarily Overloaded</TITLE></HEAD>\r\n"
           "<BODY><H1>503 Service Temporarily Overloaded</H1>\r\n"
           "Too many users are connected, or the camera is busy. Please try again later.\r\n</BODY></HTML>\r\n";
}

MotionStore::MotionStore()
{
    // Four windows in the quadrants of the picture, all enabled.
    for (int i = 0; i < 4; ++i) {
        DetectionWindow& w = windows[static_cast<std::size_t>(i)];
        w.x1 = (i % 2) * 320 + 40;
        w.y1 = (i / 2) * 240 + 40;
        w.x2 = w.x1 + 240;
        w.y2 = w.y1 + 160;
    }
}

std::array<Rect, 4> MotionStore::WindowRects() const
{
    std::array<Rect, 4> out;
    for (std::size_t i = 0; i < 4; ++i) {
        const DetectionWindow& w = windows[i];
        out[i] = w.enabled ? Rect{w.x1, w.y1, w.x2, w.y2} : Rect{};
    }
    return out;
}

Camera::Camera(const Options& options)
    : m_options(options),
      m_media(LoadMedia(options.m4vFile, options.audioFile, options.settings.audioBits)),
      m_start(std::chrono::steady_clock::now()),
      m_settings(options.settings)
{
    if (!options.logFile.empty())
        m_logFile.open(options.logFile, std::ios::app);
    if (!options.sendLog.empty())
        m_sendLog.open(options.sendLog, std::ios::app);
    if (options.fault.Active())
        m_faults.Set(options.fault);
}

Settings Camera::CurrentSettings() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_settings;
}

double Camera::SecondsSinceStart() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void Camera::PanTilt(int& pan, int& tilt) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    pan = m_pan;
    tilt = m_tilt;
}

std::array<std::uint8_t, 4> Camera::LevelsAt(double seconds) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_settings.levels)
        return *m_settings.levels;
    return MotionLevels(seconds, m_motion.WindowRects());
}

std::string Camera::ClockText(std::int64_t frame, int fps) const
{
    std::tm parts{};
    if (Deterministic()) {
        std::sscanf(m_options.clockStart.c_str(), "%4d/%2d/%2d %2d:%2d:%2d", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec);
        parts.tm_year -= 1900;
        parts.tm_mon -= 1;
        parts.tm_sec += static_cast<int>(frame / std::max(1, fps));
        const std::time_t t = timegm(&parts);  // normalises the added seconds
        gmtime_r(&t, &parts);
    } else {
        const std::time_t now = std::time(nullptr);
        localtime_r(&now, &parts);
    }
    char text[96];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

void Camera::NoteFrameSent(std::int64_t requestId, std::string_view stream, std::int64_t frame,
                           std::int64_t firstByteNs, std::int64_t lastByteNs)
{
    std::lock_guard<std::mutex> guard(m_sendLock);
    if (!m_sendLog.is_open())
        return;
    // Flushed line by line: a reader follows the file while the stream runs.
    m_sendLog << requestId << ' ' << stream << ' ' << frame << ' ' << firstByteNs << ' ' << lastByteNs << '\n';
    m_sendLog.flush();
}

std::int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void Camera::Log(RequestRecord& request)
{
    request.timeMs = static_cast<std::int64_t>(SecondsSinceStart() * 1000.0);
    const std::string authorization = request.Header("Authorization");
    if (authorization.size() > 6 && EqualsIgnoreCase(authorization.substr(0, 6), "Basic ")) {
        if (auto decoded = Base64Decode(authorization.substr(6))) {
            const auto colon = decoded->find(':');
            request.user = decoded->substr(0, colon);
            request.password = colon == std::string::npos ? std::string() : decoded->substr(colon + 1);
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    request.id = m_nextId++;
    // A long demo run must not grow without bound: the oldest half goes when the log is full.
    if (m_requests.size() >= kMaxLoggedRequests)
        m_requests.erase(m_requests.begin(), m_requests.begin() + static_cast<std::ptrdiff_t>(kMaxLoggedRequests / 2));
    m_requests.push_back(request);
    if (m_logFile.is_open()) {
        m_logFile << ToJsonLine(request) << '\n';
        m_logFile.flush();
    }
}

const UserAccount* Camera::Authenticate(const RequestRecord& request, bool& ok) const
{
    ok = true;
    if (m_options.users.empty())
        return nullptr;  // open camera
    for (const UserAccount& user : m_options.users) {
        if (user.name == request.user && user.password == request.password && request.HasHeader("Authorization"))
            return &user;
    }
    ok = false;
    return nullptr;
}

bool Camera::SendSimple(ResponseWriter& writer, int status, std::string_view reason, std::string_view type,
                        const std::string& body, bool keepAlive, std::string_view extraHeaders)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    head += "Server: camsim\r\nCache-Control: no-cache\r\nContent-Type: " + std::string(type) + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += extraHeaders;
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!writer.Head(head))
        return false;
    if (!writer.Body(body))
        return false;
    return keepAlive;
}

bool Camera::SendPage(ResponseWriter& writer, int status, bool keepAlive)
{
    if (status == 401) {
        const std::string challenge = "WWW-Authenticate: Basic realm=\"" + std::string(kRealm) + "\"\r\n";
        return SendSimple(writer, 401, Reason(401), "text/html", UnauthorizedPage(), keepAlive, challenge);
    }
    if (status == 403)
        return SendSimple(writer, 403, Reason(403), "text/html", ForbiddenPage(), keepAlive);
    return SendSimple(writer, 503, Reason(503), "text/html", BusyPage(), keepAlive);
}

bool Camera::Handle(Connection& connection, RequestRecord& request)
{
    request.path = NormalizePath(request.path);
    if (request.path.rfind("/camsim/", 0) == 0)
        return HandleControl(connection, request);

    Log(request);
    const FaultSpec fault = m_faults.Take(request.path);
    ResponseWriter writer(connection, m_faults, fault, request.path, m_options.seed + static_cast<std::uint32_t>(request.id));
    bool keepAlive = WantsKeepAlive(request);

    if (fault.kind == "never_answer") {
        while (connection.Wait(100)) {
        }
        return false;
    }
    if (fault.kind == "stall_first") {
        const std::uint64_t generation = m_faults.Generation();
        std::int64_t waited = 0;
        while (fault.ms < 0 || waited < fault.ms) {
            if (!connection.Wait(20))
                return false;
            waited += 20;
            if (fault.ms < 0 && m_faults.Generation() != generation)
                break;
        }
    }
    if (fault.kind == "unauthorized")
        return SendPage(writer, 401, keepAlive);
    if (fault.kind == "forbidden")
        return SendPage(writer, 403, keepAlive);
    if (fault.kind == "busy")
        return SendPage(writer, 503, keepAlive);
    if (fault.kind == "unauthorized_forbidden")
        return SendSimple(writer, 401, Reason(401), "text/html", UnauthorizedPage() + ForbiddenPage(), keepAlive);
    if (fault.kind == "mot_error")
        return SendSimple(writer, 200, "OK", "text/plain", "MOT: ERROR\r\n", keepAlive);
    if (fault.kind == "garbage" && fault.raw) {
        std::string junk;
        std::mt19937 random(m_options.seed);
        junk.resize(static_cast<std::size_t>(fault.bytes >= 0 ? fault.bytes : 65536));
        for (char& ch : junk)
            ch = static_cast<char>(random() & 0xff);
        connection.SendAll(junk);
        return false;
    }

    const std::string& path = request.path;
    if (path == "/" || path == "/index.html") {
        const std::string page =
            "<HTML><HEAD><TITLE>camsim</TITLE></HEAD><BODY><H1>camsim</H1><UL>"
            "<LI><A HREF=\"/img/mjpeg.cgi\">/img/mjpeg.cgi</A> Motion-JPEG chunk stream</LI>"
            "<LI><A HREF=\"/img/video.asf\">/img/video.asf</A> MPEG-4 in ASF</LI>"
            "<LI><A HREF=\"/util/util.cgi\">/util/util.cgi</A></LI>"
            "<LI><A HREF=\"/snap.jpg\">/snap.jpg</A></LI>"
            "<LI><A HREF=\"/camsim/state\">/camsim/state</A></LI></UL></BODY></HTML>\r\n";
        return SendSimple(writer, 200, "OK", "text/html", page, keepAlive);
    }

    bool authorized = true;
    const UserAccount* user = Authenticate(request, authorized);
    if (!authorized)
        return SendPage(writer, 401, keepAlive);
    const bool control = m_options.users.empty() || (user && user->control);
    const Settings settings = CurrentSettings();

    if (path == "/img/mjpeg.cgi" || path == "/img/video.asf") {
        if (request.method != "GET")
            return SendSimple(writer, 405, Reason(405), "text/plain", "streams answer GET only\r\n", false);
        const bool mjpeg = path == "/img/mjpeg.cgi";
        if (!m_options.recordDir.empty())
            writer.RecordTo(m_options.recordDir + "/" + std::to_string(request.id) + (mjpeg ? "-mjpeg.bin" : "-asf.bin"));
        const std::string head = std::string("HTTP/1.0 200 OK\r\nServer: camsim\r\nCache-Control: no-cache\r\n") +
                                 "Pragma: no-cache\r\nContent-Type: " +
                                 (mjpeg ? "application/octet-stream" : "video/x-ms-asf") +
                                 "\r\nConnection: close\r\n\r\n";
        if (!writer.Head(head))
            return false;
        if (mjpeg)
            ServeMjpegStream(*this, writer, request);
        else
            ServeAsfStream(*this, writer, request);
        return false;
    }
    if (path == "/util/util.cgi")
        return SendSimple(writer, 200, "OK", "text/plain", UtilAnswer(settings), keepAlive);
    if (path == "/command/ptzf.cgi") {
        const std::string answer = PtzfAnswer(request, control, settings);
        const int status = answer.rfind("Error", 0) == 0 ? 400 : 200;
        return SendSimple(writer, status, Reason(status), "text/plain", answer, keepAlive);
    }
    if (path == "/command/presetposition.cgi") {
        const std::string answer = PresetAnswer(request, control);
        const int status = answer.rfind("Error", 0) == 0 ? 400 : 200;
        return SendSimple(writer, status, Reason(status), "text/plain", answer, keepAlive);
    }
    if (path == "/ocxparser.cgi")
        return SendSimple(writer, 200, "OK", "text/plain", OcxAnswer(request), keepAlive);
    if (path == "/snap.jpg") {
        const auto jpeg = SnapshotJpeg();
        return SendSimple(writer, 200, "OK", "image/jpeg", std::string(jpeg.begin(), jpeg.end()), keepAlive);
    }
    return SendSimple(writer, 404, Reason(404), "text/html",
                      "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>Not found.</BODY></HTML>\r\n", keepAlive);
}

std::string Camera::UtilAnswer(const Settings& s) const
{
    if (s.utilAnswer)
        return *s.utilAnswer;
    // The client drops the last character before reading the rate, so one always follows.
    return s.kind + ";" + (s.audio ? "on" : "off") + ";" + std::to_string(s.maxFps) + "\n";
}

std::string Camera::PtzfAnswer(const RequestRecord& request, bool control, const Settings& s)
{
    const std::string& q = request.query;
    if (q == "ptauth")
        return control ? "PT: OK\r\n" : "PT: Access Deny\r\n";
    if (q == "Inquiry") {
        if (!control || s.inquiry == "access_deny")
            return "PT: Access Deny\r\n";
        if (s.inquiry == "max_user")
            return "PT: Max User\r\n";
        if (s.inquiryAnswer)
            return *s.inquiryAnswer;
        std::string answer = std::string("Exclusive Mode: ") + (s.exclusive ? "On" : "Off") + "\r\n";
        if (s.exclusive) {
            answer += "Remain Time: " + std::to_string(s.remain) + "\r\n";
            answer += "Waiting Time: " + std::to_string(s.waiting) + "\r\n";
        }
        for (const auto& [number, text] : s.presets)
            answer += "Preset Description" + std::to_string(number) + ": " + text + "\r\n";
        return answer;
    }
    const auto params = ParseQuery(q);
    if (auto move = params.find("Move"); move != params.end()) {
        if (!control)
            return "PT: Access Deny\r\n";
        static const std::map<std::string, std::pair<int, int>> directions = {
            {"up", {0, -1}},    {"up-right", {1, -1}},  {"right", {1, 0}},  {"down-right", {1, 1}},
            {"down", {0, 1}},   {"down-left", {-1, 1}}, {"left", {-1, 0}},  {"up-left", {-1, -1}}};
        const std::string& value = move->second;
        const auto comma = value.find(',');
        const std::string direction = value.substr(0, comma);
        const std::string speed = comma == std::string::npos ? std::string() : value.substr(comma + 1);
        std::lock_guard<std::mutex> guard(m_lock);
        if (direction == "stop" && speed == "motor") {
            m_lastMove = value;
            return "OK\r\n";
        }
        auto it = directions.find(direction);
        std::int64_t step = 0;
        if (it == directions.end() || !ParseInt(speed, step) || step < 1 || step > 10)
            return "Error: bad Move value\r\n";
        // Each move command steps the head; the picture's background follows.
        m_pan = std::clamp(m_pan + it->second.first * static_cast<int>(step) * 4, -2000, 2000);
        m_tilt = std::clamp(m_tilt - it->second.second * static_cast<int>(step) * 4, -2000, 2000);
        m_lastMove = value;
        return "OK\r\n";
    }
    if (auto zoom = params.find("AreaZoom"); zoom != params.end()) {
        if (!control)
            return "PT: Access Deny\r\n";
        int values[4];
        std::string_view rest = zoom->second;
        for (int i = 0; i < 4; ++i) {
            const auto comma = rest.find(',');
            if ((i < 3) == (comma == std::string_view::npos))
                return "Error: bad AreaZoom value\r\n";
            std::int64_t v;
            if (!ParseInt(rest.substr(0, comma), v) || v < -100000 || v > 100000)
                return "Error: bad AreaZoom value\r\n";
            values[i] = static_cast<int>(v);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        std::lock_guard<std::mutex> guard(m_lock);
        // Re-centre on the clicked point: x to the right, y upward.
        m_pan = std::clamp(m_pan + values[0], -2000, 2000);
        m_tilt = std::clamp(m_tilt + values[1], -2000, 2000);
        return "OK\r\n";
    }
    return "Error: unknown command\r\n";
}

std::string Camera::PresetAnswer(const RequestRecord& request, bool control)
{
    const auto params = ParseQuery(request.query);
    auto call = params.find("PresetCall");
    if (call == params.end())
        return "Error: unknown command\r\n";
    if (!control)
        return "PT: Access Deny\r\n";
    const std::string& value = call->second;
    const auto comma = value.find(',');
    std::int64_t number = 0;
    std::int64_t speed = 0;
    if (comma == std::string::npos || !ParseInt(value.substr(0, comma), number) || number < 0 || number > 8 ||
        !ParseInt(value.substr(comma + 1), speed))
        return "Error: bad PresetCall value\r\n";
    std::lock_guard<std::mutex> guard(m_lock);
    // Preset 0 is home; the others are spread around it.
    m_pan = number == 0 ? 0 : static_cast<int>((number - 1) % 4) * 160 - 240;
    m_tilt = number == 0 ? 0 : (number <= 4 ? 60 : -60);
    return "OK\r\n";
}

std::string Camera::OcxAnswer(const RequestRecord& request)
{
    const std::string& body = request.body;
    std::string command;
    if (const auto at = body.find("COMMAND: "); at != std::string::npos) {
        const auto end = body.find_first_of("\r\n", at);
        command = body.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (command == "MOT_READ_AREA") {
        std::string reply = Line("RES: ", m_motion.areaRes);
        for (int n = 0; n < 4; ++n) {
            DetectionWindow& w = m_motion.windows[static_cast<std::size_t>(n)];
            for (std::size_t f = 0; f < 7; ++f)
                reply += Line(WindowKey(n, kWindowFields[f]), *WindowField(w, f));
        }
        return reply;
    }
    if (command == "MOT_READ_VIEW") {
        return Line("RES: ", m_motion.viewRes) + Line("VIEWEN: ", m_motion.viewEnabled) +
               Line("VIEWAREAX1: ", m_motion.viewX1) + Line("VIEWAREAY1: ", m_motion.viewY1) +
               Line("VIEWAREAX2: ", m_motion.viewX2) + Line("VIEWAREAY2: ", m_motion.viewY2);
    }
    if (command == "MOT_SAVE_AREA") {
        KeyValue(body, "RES: ", m_motion.areaRes);
        for (int n = 0; n < 4; ++n) {
            DetectionWindow& w = m_motion.windows[static_cast<std::size_t>(n)];
            for (std::size_t f = 0; f < 7; ++f)
                KeyValue(body, WindowKey(n, kWindowFields[f]), *WindowField(w, f));
        }
        ++m_motion.saves;
        return "MOT: OK\r\n";
    }
    if (command == "MOT_SAVE_VIEW") {
        KeyValue(body, "RES: ", m_motion.viewRes);
        KeyValue(body, "VIEWEN: ", m_motion.viewEnabled);
        KeyValue(body, "VIEWAREAX1: ", m_motion.viewX1);
        KeyValue(body, "VIEWAREAY1: ", m_motion.viewY1);
        KeyValue(body, "VIEWAREAX2: ", m_motion.viewX2);
        KeyValue(body, "VIEWAREAY2: ", m_motion.viewY2);
        ++m_motion.saves;
        return "MOT: OK\r\n";
    }
    if (command == "MOT_OCX_FREE") {
        ++m_motion.releases;
        return "MOT: OK\r\n";
    }
    return "MOT: ERROR\r\n";
}

std::vector<std::uint8_t> Camera::SnapshotJpeg()
{
    const Settings s = CurrentSettings();
    SceneInput in;
    in.seconds = SecondsSinceStart();
    in.frame = static_cast<std::int64_t>(in.seconds * s.fps);
    in.clock = ClockText(0, s.fps);
    PanTilt(in.pan, in.tilt);
    in.width = s.width;
    in.height = s.height;
    return EncodeJpeg(RenderScene(in), in.width, in.height, s.quality);
}

bool Camera::HandleControl(Connection& connection, const RequestRecord& request)
{
    const bool keepAlive = WantsKeepAlive(request);
    FaultSpec none;
    ResponseWriter writer(connection, m_faults, none, request.path, 0, /*faultsApply=*/false);
    auto reply = [&](int status, const std::string& body, std::string_view type = "text/plain") {
        return SendSimple(writer, status, Reason(status), type, body, keepAlive);
    };
    const auto params = ParseQuery(request.query);

    if (request.path == "/camsim/requests") {
        std::string out;
        std::lock_guard<std::mutex> guard(m_lock);
        for (const RequestRecord& r : m_requests)
            out += ToJsonLine(r) + "\n";
        if (params.count("clear"))
            m_requests.clear();
        return SendSimple(writer, 200, "OK", "application/x-ndjson", out, keepAlive);
    }
    if (request.path == "/camsim/clear") {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.clear();
        return SendSimple(writer, 200, "OK", "text/plain", "OK\n", keepAlive);
    }
    if (request.path == "/camsim/state")
        return reply(200, StateJson(), "application/json");
    if (request.path != "/camsim/control")
        return reply(404, "unknown control path\n");

    if (params.count("fault")) {
        FaultSpec order;
        std::string error;
        if (!FaultFromParams(params, order, error))
            return reply(400, error + "\n");
        m_faults.Set(order);
    }
    Settings next = CurrentSettings();
    std::optional<int> areaRes;  // lives in the motion store, not in the settings
    for (const auto& [key, value] : params) {
        bool ok = true;
        std::int64_t number = 0;
        const bool isNumber = ParseInt(value, number);
        auto ranged = [&](int& field, std::int64_t low, std::int64_t high) {
            ok = isNumber && number >= low && number <= high;
            if (ok)
                field = static_cast<int>(number);
        };
        if (key == "fault" || key == "after_bytes" || key == "after_frames" || key == "after_packets" || key == "ms" ||
            key == "bytes" || key == "path" || key == "count" || key == "raw" || key == "running_only") {
            continue;  // fault parameters, handled above
        } else if (key == "kind") {
            ok = value == "mpeg" || value == "jpeg";
            next.kind = value;
        } else if (key == "audio") {
            ok = value == "on" || value == "off";
            next.audio = value == "on";
        } else if (key == "audio_bits") {
            ranged(next.audioBits, 2, 5);
        } else if (key == "size") {
            ok = ParseSize(value, next.width, next.height);
        } else if (key == "fps") {
            ranged(next.fps, 1, 1000);
        } else if (key == "max_fps") {
            ranged(next.maxFps, 0, 1000000);
        } else if (key == "chunk_size") {
            ranged(next.chunkSize, 16, 65535);
        } else if (key == "quality") {
            ranged(next.quality, 1, 100);
        } else if (key == "pacing") {
            ok = value == "on" || value == "off";
            next.pacing = value == "on";
        } else if (key == "levels") {
            if (value == "auto") {
                next.levels.reset();
            } else {
                std::array<std::uint8_t, 4> levels;
                ok = ParseLevels(value, levels);
                next.levels = levels;
            }
        } else if (key == "exclusive") {
            ok = value == "on" || value == "off";
            next.exclusive = value == "on";
        } else if (key == "remain") {
            ranged(next.remain, 0, 1000000);
        } else if (key == "waiting") {
            ranged(next.waiting, 0, 1000000);
        } else if (key == "inquiry") {
            ok = value == "normal" || value == "max_user" || value == "access_deny";
            next.inquiry = value;
        } else if (key == "preset") {
            const auto colon = value.find(':');
            std::int64_t n = 0;
            ok = colon != std::string::npos && ParseInt(value.substr(0, colon), n) && n >= 1 && n <= 8;
            if (ok)
                next.presets[static_cast<int>(n)] = value.substr(colon + 1);
        } else if (key == "area_res") {
            ok = isNumber && number >= -1000000 && number <= 1000000;
            areaRes = static_cast<int>(number);
        } else if (key == "presets" && value == "none") {
            next.presets.clear();
        } else if (key == "inquiry_answer") {
            if (value == "default")
                next.inquiryAnswer.reset();
            else
                next.inquiryAnswer = value;
        } else if (key == "util_answer") {
            if (value == "default")
                next.utilAnswer.reset();
            else
                next.utilAnswer = value;
        } else {
            return reply(400, "unknown control parameter " + key + "\n");
        }
        if (!ok)
            return reply(400, "bad value for " + key + "\n");
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_settings = next;
        if (areaRes)
            m_motion.areaRes = *areaRes;
    }
    return reply(200, "OK\n");
}

std::string Camera::StateJson() const
{
    const FaultSpec fault = m_faults.Current();
    std::lock_guard<std::mutex> guard(m_lock);
    const Settings& s = m_settings;
    std::ostringstream out;
    out << "{\"kind\":\"" << s.kind << "\",\"audio\":" << (s.audio ? "true" : "false") << ",\"audio_bits\":" << s.audioBits
        << ",\"size\":\"" << s.width << "x" << s.height << "\",\"fps\":" << s.fps << ",\"max_fps\":" << s.maxFps
        << ",\"chunk_size\":" << s.chunkSize << ",\"pacing\":" << (s.pacing ? "true" : "false")
        << ",\"exclusive\":" << (s.exclusive ? "true" : "false") << ",\"remain\":" << s.remain
        << ",\"waiting\":" << s.waiting << ",\"inquiry\":\"" << s.inquiry << "\",\"fault\":\"" << fault.kind
        << "\",\"pan\":" << m_pan << ",\"tilt\":" << m_tilt << ",\"last_move\":\"" << JsonEscape(m_lastMove)
        << "\",\"requests\":" << m_requests.size() << ",\"motion\":{\"area_res\":" << m_motion.areaRes << ",\"windows\":[";
    for (std::size_t i = 0; i < 4; ++i) {
        const DetectionWindow& w = m_motion.windows[i];
        out << (i ? "," : "") << "[" << w.enabled << "," << w.threshold << "," << w.sensitivity << "," << w.x1 << ","
            << w.y1 << "," << w.x2 << "," << w.y2 << "]";
    }
    out << "],\"view_res\":" << m_motion.viewRes << ",\"view\":[" << m_motion.viewEnabled << "," << m_motion.viewX1
        << "," << m_motion.viewY1 << "," << m_motion.viewX2 << "," << m_motion.viewY2 << "],\"saves\":" << m_motion.saves
        << ",\"releases\":" << m_motion.releases << "}}\n";
    return out.str();
}

} // namespace camsim
