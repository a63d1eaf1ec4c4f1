// Exceptions that travel inside workers. None of them ever leaves a worker's Run: each is
// caught at the outermost level and turned into a ResultCode.
#pragma once

#include <stdexcept>
#include <string>

namespace kv {

// Thrown by the ASF player (CPlayer) and its parser.
class CPlayerException {
public:
    CPlayerException(int code, std::string message) : m_code(code), m_message(std::move(message)) {}
    int Code() const noexcept { return m_code; }
    const std::string& Message() const noexcept { return m_message; }

private:
    int m_code;
    std::string m_message;
};

// Thrown by the Motion-JPEG player (CMJpegPlayer) and its parser.
class CMJpegPlayerException {
public:
    CMJpegPlayerException(int code, std::string message) : m_code(code), m_message(std::move(message)) {}
    int Code() const noexcept { return m_code; }
    const std::string& Message() const noexcept { return m_message; }

private:
    int m_code;
    std::string m_message;
};

// The network layer failed (connection, transfer, time-out inside the HTTP client).
class CInternetException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A local file could not be created, written or read.
class CFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kv
