// The live connection of a stream player: opened on a short-lived opener thread within the
// opening limit, then read in blocks or packets with the silence limit.
//
// Reads are pulled on the player's own thread; the HTTP layer keeps at most about one block
// read ahead and lets the socket buffer the rest, so reading the next block overlaps parsing
// this one without a reader thread. A stop request of the player (polled every few ms) or
// Abort() from any thread ends every wait at once.
#pragma once

#include "core/module_profile.h"
#include "platform/net/http_transfer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kv {

class CStreamConnection {
public:
    // stopRequested is polled while opening and reading; true ends the wait.
    CStreamConnection(const ModuleProfile& profile, std::function<bool()> stopRequested);
    ~CStreamConnection();
    CStreamConnection(const CStreamConnection&) = delete;
    CStreamConnection& operator=(const CStreamConnection&) = delete;

    // Opens url on an opener thread: sleeps the open settle time, then waits at most the
    // opening limit for the response head. Basic credentials go only when user is not empty,
    // whole. readAhead is the block size the player reads. True when the stream is open
    // (whatever the HTTP status: an error page is read as the stream).
    bool Open(const std::string& url, const std::string& user, const std::string& password, std::size_t readAhead);

    // Reads up to size bytes. With fill, waits for all of them unless the stream ends first.
    // 0 means nothing arrived: end of stream, failure, stop, or the silence limit passed.
    std::size_t Read(void* destination, std::size_t size, bool fill);

    // Ends every wait; safe from any thread.
    void Abort();
    // Closes the connection (frees the transfer). Only on the player's thread.
    void Close();
    bool IsOpen() const { return m_transfer != nullptr; }
    // How the last Open or Read ended.
    net::NetStatus LastStatus() const { return m_lastStatus; }

private:
    const ModuleProfile& m_profile;
    std::function<bool()> m_stopRequested;
    std::mutex m_abortLock;  // guards m_transfer against Abort from other threads
    std::unique_ptr<net::CHttpTransfer> m_transfer;
    net::NetStatus m_lastStatus = net::NetStatus::Ok;
};

} // namespace kv
