#include "platform/sound/null_output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace kv {
namespace {

std::atomic<double> g_clockScale{1.0};

constexpr auto kTick = std::chrono::milliseconds(5);
// A clock that fell behind (a stalled process) catches up at most this many ticks at once,
// then forgets the rest, as a sound card that under-ran would.
constexpr int kMaxCatchUpTicks = 4;
constexpr std::size_t kPullFrames = 256;
constexpr std::uint32_t kHeaderBytes = 44;

void PutLe16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value)
{
    PutLe16(at, value & 0xFFFF);
    PutLe16(at + 2, value >> 16);
}

class CNullOutput final : public ISoundOutput {
public:
    CNullOutput(const WaveFormat& format, std::shared_ptr<CWavWriter> wav) : m_format(format), m_wav(std::move(wav)) {}
    ~CNullOutput() override { Stop(); }

    bool Start(PullFunction pull) override
    {
        Stop();
        m_pull = std::move(pull);
        m_stop = false;
        try {
            m_thread = std::thread(&CNullOutput::Clock, this);
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    void Stop() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        if (m_wav)
            m_wav->Flush();
    }

private:
    void Clock()
    {
        const double framesPerSecond = m_format.samplesPerSecond * std::max(g_clockScale.load(), 1e-3);
        const auto framesPerTick = static_cast<std::uint64_t>(framesPerSecond * std::chrono::duration<double>(kTick).count()) + 1;
        const std::uint64_t maxBacklog = framesPerTick * kMaxCatchUpTicks;
        std::vector<std::int16_t> chunk;
        std::uint64_t consumed = 0;
        auto start = std::chrono::steady_clock::now();

        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_wake.wait_for(lock, kTick, [this] { return m_stop; })) {
            lock.unlock();
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            auto due = static_cast<std::uint64_t>(elapsed.count() * framesPerSecond);
            if (due > consumed + maxBacklog) {
                // Forget the stall: move the clock's origin so only maxBacklog is owed.
                const auto forgotten = due - consumed - maxBacklog;
                start += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(forgotten / framesPerSecond));
                due = consumed + maxBacklog;
            }
            while (consumed < due) {
                const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(due - consumed, kPullFrames));
                chunk.assign(frames * static_cast<std::size_t>(m_format.channels), 0);
                m_pull(chunk);
                if (m_wav)
                    m_wav->Write(chunk);
                consumed += frames;
            }
            lock.lock();
        }
    }

    WaveFormat m_format;
    std::shared_ptr<CWavWriter> m_wav;
    PullFunction m_pull;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

class CNullBackend final : public ISoundBackend {
public:
    explicit CNullBackend(std::string wavPath) : m_wavPath(std::move(wavPath)) {}

    std::unique_ptr<ISoundOutput> CreateOutput(const WaveFormat& format) override
    {
        if (!format.IsPlayable())
            return nullptr;
        std::shared_ptr<CWavWriter> wav;
        if (!m_wavPath.empty()) {
            wav = CWavWriter::Create(m_wavPath, format);
            if (!wav)
                return nullptr;
        }
        return std::make_unique<CNullOutput>(format, std::move(wav));
    }

    const char* Name() const override { return m_wavPath.empty() ? "null" : "wav"; }

private:
    std::string m_wavPath;
};

} // namespace

std::unique_ptr<CWavWriter> CWavWriter::Create(const std::string& path, const WaveFormat& format)
{
    if (path.empty() || !format.IsPlayable())
        return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return nullptr;
    std::unique_ptr<CWavWriter> writer(new CWavWriter(file, format));
    if (!writer->WriteHeader())
        return nullptr;
    return writer;
}

CWavWriter::CWavWriter(std::FILE* file, const WaveFormat& format) : m_file(file), m_format(format) {}

CWavWriter::~CWavWriter()
{
    std::fclose(m_file);
}

bool CWavWriter::WriteHeader()
{
    std::uint8_t header[kHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                         'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0};
    PutLe32(header + 4, 36 + m_dataBytes);
    PutLe16(header + 22, static_cast<std::uint32_t>(m_format.channels));
    PutLe32(header + 24, static_cast<std::uint32_t>(m_format.samplesPerSecond));
    PutLe32(header + 28, static_cast<std::uint32_t>(m_format.averageBytesPerSecond));
    PutLe16(header + 32, static_cast<std::uint32_t>(m_format.blockAlign));
    PutLe16(header + 34, static_cast<std::uint32_t>(m_format.bitsPerSample));
    std::copy_n("data", 4, header + 36);
    PutLe32(header + 40, m_dataBytes);
    const bool ok = std::fseek(m_file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, kHeaderBytes, m_file) == kHeaderBytes &&
                    std::fseek(m_file, 0, SEEK_END) == 0;
    m_failed = m_failed || !ok;
    return ok;
}

void CWavWriter::Write(std::span<const std::int16_t> samples)
{
    if (m_failed || samples.empty())
        return;
    // The header's 32-bit sizes bound the file; past that, samples are dropped.
    const std::uint64_t room = std::numeric_limits<std::uint32_t>::max() - 36 - m_dataBytes;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(samples.size(), room / 2));
    if (count == 0)
        return;
    std::vector<std::uint8_t> bytes(count * 2);
    for (std::size_t i = 0; i < count; ++i)
        PutLe16(&bytes[2 * i], static_cast<std::uint16_t>(samples[i]));
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        m_failed = true;
        return;
    }
    m_dataBytes += static_cast<std::uint32_t>(bytes.size());
    WriteHeader();
}

void CWavWriter::Flush()
{
    std::fflush(m_file);
}

std::unique_ptr<ISoundBackend> CreateNullBackend(std::string wavPath)
{
    return std::make_unique<CNullBackend>(std::move(wavPath));
}

void SetNullClockScaleForTesting(double scale)
{
    g_clockScale = scale;
}

} // namespace kv
