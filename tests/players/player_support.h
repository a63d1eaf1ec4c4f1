// Recording consumers and helpers for the player tests.
#pragma once

#include "stream/asf_parser.h"
#include "stream/consumers.h"
#include "stream/frame_chain.h"
#include "stream/mjpg_parser.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv::test {

// FNV-1a: enough to tell frames apart.
inline std::uint64_t Checksum(const std::vector<std::uint8_t>& data)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (std::uint8_t byte : data)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash ^ data.size();
}

// What the consumers did, in order, shared by display and audio so tests see the sequence.
class EventLog {
public:
    void Add(std::string event)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
};

// A consumer worker: once started, pops frames from its chain on its own thread (unless
// paused), remembering their checksums. It may be told to ignore stop requests.
class ChainDrainer {
public:
    ChainDrainer(CFrameChain& chain, EventLog& log, std::string name) : m_chain(chain), m_log(log), m_name(std::move(name)) {}
    ~ChainDrainer() { End(); }

    bool StartDraining()
    {
        End();
        m_stop = false;
        m_running = true;
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (!paused) {
                    if (auto record = m_chain.PopFront()) {
                        std::lock_guard<std::mutex> guard(m_lock);
                        m_sums.push_back(Checksum(record->data));
                        m_sizes.push_back(record->data.size());
                        continue;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            m_running = false;
        });
        return true;
    }
    bool StopDraining(int timeoutMs)
    {
        m_log.Add(m_name + " stop");
        if (stubborn) {
            // pretends not to hear: the caller waits its full time in vain
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return false;
        }
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        (void)timeoutMs;
        return true;
    }
    void End()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_running = false;
    }
    std::vector<std::uint64_t> Sums() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sums;
    }
    std::vector<std::size_t> Sizes() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sizes;
    }

    std::atomic<bool> paused{false};
    std::atomic<bool> stubborn{false};

private:
    CFrameChain& m_chain;
    EventLog& m_log;
    std::string m_name;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    mutable std::mutex m_lock;
    std::vector<std::uint64_t> m_sums;
    std::vector<std::size_t> m_sizes;
};

class RecordingDisplay : public IDisplayConsumer {
public:
    RecordingDisplay(CFrameChain& chain, EventLog& log) : drainer(chain, log, "display"), m_log(log) {}
    bool Open(int width, int height, std::span<const std::uint8_t> config) override
    {
        m_log.Add("display open " + std::to_string(width) + "x" + std::to_string(height));
        this->width = width;
        this->height = height;
        this->config.assign(config.begin(), config.end());
        return true;
    }
    bool Start() override
    {
        m_log.Add("display start");
        return drainer.StartDraining();
    }
    bool RequestStop(int timeoutMs) override { return drainer.StopDraining(timeoutMs); }
    void Release() override { m_log.Add("display release"); }

    ChainDrainer drainer;
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::vector<std::uint8_t> config;  // read after the run

private:
    EventLog& m_log;
};

class RecordingAudio : public IAudioConsumer {
public:
    RecordingAudio(CFrameChain& chain, EventLog& log) : drainer(chain, log, "audio"), m_log(log) {}
    bool StartAudio(int codeBits) override
    {
        m_log.Add("audio setup " + std::to_string(codeBits));
        bits = codeBits;
        m_initialised = accept.load();
        return accept;
    }
    bool Start() override
    {
        m_log.Add("audio start");
        return drainer.StartDraining();
    }
    bool RequestStop(int timeoutMs) override { return drainer.StopDraining(timeoutMs); }
    bool IsInitialised() const override { return m_initialised; }
    void Shutdown() override
    {
        m_log.Add("audio shutdown");
        m_initialised = false;
    }

    ChainDrainer drainer;
    std::atomic<bool> accept{true};
    std::atomic<int> bits{0};

private:
    EventLog& m_log;
    std::atomic<bool> m_initialised{false};
};

// The frames a byte stream carries, cut by the parsers themselves (the sender's view).
struct StreamFrames {
    std::vector<std::uint64_t> video;
    std::vector<std::uint64_t> audio;
    std::vector<bool> key;
    std::vector<std::string> texts;
    std::vector<std::uint8_t> config;
};

StreamFrames MjpgFramesOf(const std::vector<std::uint8_t>& stream);
StreamFrames AsfFramesOf(const std::vector<std::uint8_t>& stream);

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
// The one file in dir whose name ends with suffix (empty path when none).
std::filesystem::path FindRecording(const std::filesystem::path& dir, const std::string& suffix);
// Live threads of this process.
int ThreadCount();

// Waits until condition holds or timeoutMs pass; returns the condition.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

} // namespace kv::test
