// Fault orders and the writer through which every camera response leaves camsim.
//
// A fault is taken when a request arrives (so count= limits how many requests it hits), and
// a running response also notices a fault ordered later: a test can stall or cut a stream
// that is already flowing. Clearing a stall lets the response continue.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "http_server.h"
#include "options.h"

namespace camsim {

class FaultBoard {
public:
    void Set(const FaultSpec& order);
    FaultSpec Current() const;
    std::uint64_t Generation() const;
    // The fault for a new request on this path (consumes one of count=); kind "none" if none.
    FaultSpec Take(std::string_view path);
    // The fault now in force for a running response on this path, without consuming.
    FaultSpec Peek(std::string_view path, std::uint64_t& generation) const;

private:
    mutable std::mutex m_lock;
    FaultSpec m_spec;
    std::uint64_t m_generation = 0;
};

bool FaultMatches(const FaultSpec& order, std::string_view path);

class ResponseWriter {
public:
    // With faultsApply false (the control path) nothing ordered ever touches the response.
    ResponseWriter(Connection& connection, FaultBoard& faults, const FaultSpec& fault, std::string path,
                   std::uint32_t seed, bool faultsApply = true);

    // Status line and headers (the caller gives them whole, ending in an empty line).
    bool Head(std::string_view head);
    // Body bytes; false when the response must end (peer gone, fault cut it, server stopping).
    bool Body(std::string_view bytes);

    // Writes every body byte sent also to this file.
    void RecordTo(const std::string& file);

    // Frame-level faults. The stream generators report each whole video frame and each ASF
    // packet they send, and ask before the next one.
    void FrameSent() { ++m_frames; }
    void PacketSent() { ++m_packets; }
    // True when the coming video frame is to be cut in half and the connection closed.
    bool CutThisFrame();
    // True when the coming ASF packet must carry the stream number 0x03.
    bool BadStreamNow();
    // True while a bad stream number is ordered (packets must then go one by one).
    bool BadStreamArmed()
    {
        Refresh();
        return m_fault.kind == "bad_stream_no";
    }

    std::int64_t BodyBytes() const { return m_bodyBytes; }
    const FaultSpec& Fault() const { return m_fault; }
    Connection& Conn() { return m_connection; }
    // Pause between frames: false when the response must end.
    bool Pace(int ms) { return ms <= 0 || m_connection.Wait(ms); }

private:
    void Refresh();
    bool Stall(std::int64_t ms);
    bool SendGarbage();
    bool Raw(std::string_view bytes);

    Connection& m_connection;
    FaultBoard& m_faults;
    FaultSpec m_fault;
    std::uint64_t m_generation;
    std::string m_path;
    bool m_faultsApply;
    std::int64_t m_bodyBytes = 0;
    std::int64_t m_faultBase = 0;  // body bytes already sent when the fault took hold
    std::int64_t m_frames = 0;
    std::int64_t m_frameBase = 0;
    std::int64_t m_packets = 0;
    std::int64_t m_packetBase = 0;
    bool m_stallDone = false;
    std::mt19937 m_random;
    std::unique_ptr<std::ofstream> m_record;
};

} // namespace camsim
