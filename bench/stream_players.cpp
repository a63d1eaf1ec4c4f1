// Throughput of both stream players: camsim streams without pacing over loopback, the player
// parses and keeps frames, and a counting consumer empties the chains as fast as it can.
// Reports the frame MB/s the consumer got and the CPU time this process (player and
// consumer) spends per MB.
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/consumers.h"
#include "stream/debug_log.h"
#include "stream/mjpeg_player.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// camsim in a child process on a free loopback port.
class Camsim {
public:
    explicit Camsim(std::vector<std::string> flags)
    {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        const std::string binary = std::string(KV_BINARY_DIR) + "/tools/camsim/camsim";
        std::vector<std::string> args{binary, "--port", "0"};
        args.insert(args.end(), flags.begin(), flags.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int rc = posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            throw std::runtime_error("cannot start " + binary);
        }
        std::string line;
        char c;
        while (line.size() < 200 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const auto colon = line.rfind(':');
        m_port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
        if (m_port == 0)
            throw std::runtime_error("camsim did not say its port: " + line);
    }
    ~Camsim()
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

class Counting : public kv::IDisplayConsumer, public kv::IAudioConsumer {
public:
    Counting(kv::CFrameChain& video, kv::CFrameChain& audio) : m_video(video), m_audio(audio) {}
    ~Counting() override { End(); }
    bool Open(int, int, std::span<const std::uint8_t>) override { return true; }
    bool StartAudio(int) override { return true; }
    bool Start() override
    {
        if (!m_thread.joinable()) {
            m_stop = false;
            m_thread = std::thread([this] {
                while (!m_stop) {
                    bool any = false;
                    if (auto r = m_video.PopFront()) {
                        bytes += r->data.size();
                        frames++;
                        any = true;
                    }
                    if (auto r = m_audio.PopFront()) {
                        bytes += r->data.size();
                        any = true;
                    }
                    if (!any)
                        std::this_thread::sleep_for(std::chrono::microseconds(50));
                }
            });
        }
        return true;
    }
    bool RequestStop(int) override
    {
        End();
        return true;
    }
    void Release() override {}
    bool IsInitialised() const override { return false; }
    void Shutdown() override {}
    void End()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> frames{0};

private:
    kv::CFrameChain& m_video;
    kv::CFrameChain& m_audio;
    std::thread m_thread;
    std::atomic<bool> m_stop{true};
};

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

template <typename Player>
void StreamThrough(benchmark::State& state, const std::vector<std::string>& flags, const char* path)
{
    kv::SetLogPath("/dev/null");  // the per-frame log lines are not what is measured
    kv::ModuleTimings().stopSleepMs = 0;
    Camsim cam(flags);
    for (auto _ : state) {
        kv::CFrameChain video;
        kv::CFrameChain audio;
        Counting consumer(video, audio);
        Player player(kv::kKavaroProfile, video, audio);
        player.SetDisplayConsumer(&consumer);
        player.SetAudioConsumer(&consumer);
        player.SetStream(cam.Url(path), "", "");
        player.Start();
        // Measured from the first frame on, so connecting is not counted.
        while (consumer.frames == 0 && !player.IsFinished())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::uint64_t bytes0 = consumer.bytes;
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const std::uint64_t bytes = consumer.bytes - bytes0;
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        player.RequestStop(10000);
        state.SetIterationTime(wall);
        // Frame bytes the consumer received: the stream less its chunk headers and packet
        // padding, and less any frames the keeping rules dropped for a consumer behind.
        const double megabytes = static_cast<double>(bytes) / 1e6;
        state.counters["MB_per_s"] = megabytes / wall;
        state.counters["cpu_ms_per_MB"] = megabytes > 0 ? cpu * 1000.0 / megabytes : 0.0;
        state.counters["frames_per_s"] = static_cast<double>(consumer.frames) / wall;
        state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    }
    kv::ModuleTimings().ResetToDefaults();
}

void BM_MJpegPlayer(benchmark::State& state)
{
    StreamThrough<kv::CMJpegPlayer>(state, {"--no-pacing", "--size", "640x480", "--quality", "90", "--audio", "on"},
                                    "img/mjpeg.cgi");
}

void BM_AsfPlayer(benchmark::State& state)
{
    StreamThrough<kv::CPlayer>(state, {"--no-pacing", "--audio", "on"}, "img/video.asf");
}

BENCHMARK(BM_MJpegPlayer)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsfPlayer)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
