// camprobe: plays a camera's live stream through the real stream player, without any window
// or sound device, and prints once a second what arrives.
#include "core/module_profile.h"
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/consumers.h"
#include "stream/debug_log.h"
#include "stream/frame_chain.h"
#include "stream/mjpeg_player.h"
#include "stream/result_code.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char* kUsage =
    "usage: camprobe URL [--user U --password P] [--seconds N] [--mpeg] [--mensilo] [--log FILE]\n"
    "\n"
    "Connects to a camera's live stream with the stream player of the controls and prints,\n"
    "once a second, the pictures and audio frames that arrived, then the result code.\n"
    "  URL            the stream URL, or the camera's base URL (http://host[:port]/), to which\n"
    "                 img/mjpeg.cgi (or img/video.asf with --mpeg) is added\n"
    "  --user U       user name (Basic authentication), --password P its password\n"
    "  --seconds N    how long to play (default 10; 0 = until the stream ends)\n"
    "  --mpeg         the MPEG-4 stream in ASF (img/video.asf) instead of Motion-JPEG\n"
    "  --mensilo      behave as the motion-setup module (no audio, motion levels)\n"
    "  --log FILE     the diagnostic log (default: none)\n";

const char* ResultText(int code)
{
    switch (code) {
    case kv::kResultStopped: return "stopped on request";
    case kv::kResultOutOfMemory: return "out of memory";
    case kv::kResultConnectFailed: return "connect failed";
    case kv::kResultAuthRefused: return "user name or password refused";
    case kv::kResultCameraBusy: return "camera busy";
    case kv::kResultReadFailed: return "read failed (end of stream, silence or network error)";
    case kv::kResultBadStreamNumber: return "unknown ASF stream number";
    case kv::kResultMalformed: return "malformed stream";
    case kv::kResultFileError: return "file error";
    default: return "other failure";
    }
}

// Counts what it takes from a chain, on its own thread, like a consumer worker would.
class Counter {
public:
    explicit Counter(kv::CFrameChain& chain) : m_chain(chain) {}
    ~Counter() { Stop(); }
    void Start()
    {
        Stop();
        m_stop = false;
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (auto record = m_chain.PopFront()) {
                    frames++;
                    bytes += record->data.size();
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        });
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> bytes{0};

private:
    kv::CFrameChain& m_chain;
    std::thread m_thread;
    std::atomic<bool> m_stop{true};
};

class ProbeDisplay : public kv::IDisplayConsumer {
public:
    explicit ProbeDisplay(kv::CFrameChain& chain) : counter(chain) {}
    bool Open(int w, int h, std::span<const std::uint8_t> config) override
    {
        width = w;
        height = h;
        configBytes = config.size();
        return true;
    }
    bool Start() override
    {
        counter.Start();
        return true;
    }
    bool RequestStop(int) override
    {
        counter.Stop();
        return true;
    }
    void Release() override {}
    Counter counter;
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<std::size_t> configBytes{0};
};

class ProbeAudio : public kv::IAudioConsumer {
public:
    explicit ProbeAudio(kv::CFrameChain& chain) : counter(chain) {}
    bool StartAudio(int bits) override
    {
        codeBits = bits;
        m_initialised = bits >= 2 && bits <= 5;
        return m_initialised;
    }
    bool Start() override
    {
        counter.Start();
        return true;
    }
    bool RequestStop(int) override
    {
        counter.Stop();
        return true;
    }
    bool IsInitialised() const override { return m_initialised; }
    void Shutdown() override { m_initialised = false; }
    Counter counter;
    std::atomic<int> codeBits{0};

private:
    std::atomic<bool> m_initialised{false};
};

bool NeedsStreamPath(const std::string& url)
{
    const auto scheme = url.find("://");
    if (scheme == std::string::npos)
        return false;
    const auto slash = url.find('/', scheme + 3);
    return slash == std::string::npos || slash + 1 == url.size();
}

} // namespace

int main(int argc, char** argv)
{
    std::string url;
    std::string user;
    std::string password;
    std::string logPath = "/dev/null";
    int seconds = 10;
    bool mpeg = false;
    bool mensilo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--user" && hasValue) {
            user = argv[++i];
        } else if (arg == "--password" && hasValue) {
            password = argv[++i];
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--log" && hasValue) {
            logPath = argv[++i];
        } else if (arg == "--mpeg") {
            mpeg = true;
        } else if (arg == "--mensilo") {
            mensilo = true;
        } else if (url.empty() && arg.rfind("--", 0) != 0) {
            url = arg;
        } else {
            std::fprintf(stderr, "camprobe: unexpected argument %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (url.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (NeedsStreamPath(url)) {
        if (url.back() != '/')
            url += '/';
        url += mpeg ? "img/video.asf" : "img/mjpeg.cgi";
    }
    kv::SetLogPath(logPath);
    const kv::ModuleProfile& profile = mensilo ? kv::kMensiloProfile : kv::kKavaroProfile;
    kv::SetActiveProfileForTesting(profile);

    kv::CFrameChain video;
    kv::CFrameChain audio;
    ProbeDisplay display(video);
    ProbeAudio sound(audio);
    std::unique_ptr<kv::CStreamPlayerBase> player;
    kv::CPlayer* asf = nullptr;
    if (mpeg) {
        auto p = std::make_unique<kv::CPlayer>(profile, video, audio);
        asf = p.get();
        player = std::move(p);
    } else {
        player = std::make_unique<kv::CMJpegPlayer>(profile, video, audio);
    }
    player->SetDisplayConsumer(&display);
    player->SetAudioConsumer(&sound);
    player->SetStream(url, user, password);
    std::atomic<int> result{0};
    player->SetExitCallback([&result](int code) { result = code; });

    std::printf("camprobe: %s player (%s) on %s\n", mpeg ? "ASF/MPEG-4" : "Motion-JPEG", profile.name,
                kv::RedactUrlCredentials(url).c_str());
    const auto start = Clock::now();
    if (!player->Start()) {
        std::fprintf(stderr, "camprobe: the player did not start\n");
        return 1;
    }
    std::uint64_t lastFrames = 0;
    std::uint64_t lastBytes = 0;
    for (int tick = 1; seconds <= 0 || tick <= seconds; ++tick) {
        const auto until = start + std::chrono::seconds(tick);
        while (Clock::now() < until && !player->IsFinished())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::uint64_t frames = display.counter.frames;
        const std::uint64_t bytes = display.counter.bytes;
        const std::uint64_t newFrames = frames - lastFrames;
        std::printf("%4ds  video %5llu frames %5.1f fps %8.1f KB/frame  %dx%d  audio %4llu frames (%d-bit)  text \"%s\"",
                    tick, static_cast<unsigned long long>(frames), static_cast<double>(newFrames),
                    newFrames ? static_cast<double>(bytes - lastBytes) / 1024.0 / static_cast<double>(newFrames) : 0.0,
                    display.width.load(), display.height.load(), static_cast<unsigned long long>(sound.counter.frames.load()),
                    sound.codeBits.load(), player->FrameText().c_str());
        if (asf && mensilo) {
            const auto levels = asf->MotionLevels();
            std::printf("  levels %u,%u,%u,%u", levels[0], levels[1], levels[2], levels[3]);
        }
        std::printf("\n");
        std::fflush(stdout);
        lastFrames = frames;
        lastBytes = bytes;
        if (player->IsFinished())
            break;
    }
    if (!player->IsFinished())
        player->RequestStop(kv::ModuleTimings().playerStopMs.load());
    const int code = result.load();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("result %d: %s (%.1f s, %llu pictures, %llu audio frames", code, ResultText(code), elapsed,
                static_cast<unsigned long long>(display.counter.frames.load()),
                static_cast<unsigned long long>(sound.counter.frames.load()));
    if (display.configBytes)
        std::printf(", %zu bytes of decoder configuration", display.configBytes.load());
    std::printf(")\n");
    return code == 0 ? 0 : 1;
}
