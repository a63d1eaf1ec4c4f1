// The emulated camera: routes each request to its interface, checks credentials, applies
// ordered faults and keeps the request log, the pan/tilt position and the motion settings.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http_server.h"
#include "media.h"
#include "options.h"
#include "request_record.h"
#include "response_writer.h"
#include "scene.h"

namespace camsim {

struct DetectionWindow {
    int enabled = 1, threshold = 128, sensitivity = 5;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct MotionStore {
    int areaRes = 3;
    std::array<DetectionWindow, 4> windows;
    int viewRes = 3;
    int viewEnabled = 1, viewX1 = 0, viewY1 = 0, viewX2 = 640, viewY2 = 480;
    int saves = 0;
    int releases = 0;

    MotionStore();
    std::array<Rect, 4> WindowRects() const;
};

class Camera {
public:
    explicit Camera(const Options& options);

    // HttpServer handler: true when the connection may serve another request.
    bool Handle(Connection& connection, RequestRecord& request);

    // Things the stream generators need.
    Settings CurrentSettings() const;
    const Options& Opts() const { return m_options; }
    const MediaLibrary& Media() const { return m_media; }
    // Clock text for a frame: wall clock, or the deterministic clock from --clock-start.
    std::string ClockText(std::int64_t frame, int fps) const;
    bool Deterministic() const { return !m_options.clockStart.empty(); }
    double SecondsSinceStart() const;
    void PanTilt(int& pan, int& tilt) const;
    std::array<std::uint8_t, 4> LevelsAt(double seconds) const;
    // --send-log: the video frame `frame` of stream request `requestId` went out between the
    // two CLOCK_MONOTONIC readings (MonotonicNs). Nothing without the flag.
    bool LogsSends() const { return m_sendLog.is_open(); }
    void NoteFrameSent(std::int64_t requestId, std::string_view stream, std::int64_t frame, std::int64_t firstByteNs,
                       std::int64_t lastByteNs);

private:
    bool HandleControl(Connection& connection, const RequestRecord& request);
    void Log(RequestRecord& request);
    const UserAccount* Authenticate(const RequestRecord& request, bool& ok) const;
    std::string StateJson() const;

    bool SendSimple(ResponseWriter& writer, int status, std::string_view reason, std::string_view type,
                    const std::string& body, bool keepAlive, std::string_view extraHeaders = {});
    bool SendPage(ResponseWriter& writer, int status, bool keepAlive);

    std::string UtilAnswer(const Settings& settings) const;
    std::string PtzfAnswer(const RequestRecord& request, bool control, const Settings& settings);
    std::string PresetAnswer(const RequestRecord& request, bool control);
    std::string OcxAnswer(const RequestRecord& request);
    std::vector<std::uint8_t> SnapshotJpeg();

    Options m_options;
    MediaLibrary m_media;
    FaultBoard m_faults;
    std::chrono::steady_clock::time_point m_start;

    mutable std::mutex m_lock;  // guards everything below
    Settings m_settings;
    std::vector<RequestRecord> m_requests;
    std::int64_t m_nextId = 1;
    std::ofstream m_logFile;
    int m_pan = 0;
    int m_tilt = 0;
    std::string m_lastMove;
    MotionStore m_motion;

    std::mutex m_sendLock;  // guards the send log, which every stream writes to
    std::ofstream m_sendLog;
};

// CLOCK_MONOTONIC in nanoseconds: one clock for every process on the machine, so a client
// can set what it saw against when camsim sent it.
std::int64_t MonotonicNs();

// Pages for refused requests. Clients recognise them by their opening text only.
std::string UnauthorizedPage();
std::string ForbiddenPage();
std::string BusyPage();

} // namespace camsim
