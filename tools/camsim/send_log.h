// Reading camsim's --send-log: a line per video frame sent on a stream,
// "<request id> <mjpeg|asf> <frame> <first-byte-ns> <last-byte-ns>", the times on
// CLOCK_MONOTONIC.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace camsim {

struct SentFrame {
    std::int64_t request = 0;  // the request's number in the request log
    std::string stream;        // "mjpeg" or "asf"
    std::int64_t frame = 0;
    std::int64_t firstByteNs = 0;
    std::int64_t lastByteNs = 0;
};

// The lines read up to the first one that is not whole (camsim may still be writing it).
std::vector<SentFrame> ReadSendLog(const std::filesystem::path& path);

} // namespace camsim
