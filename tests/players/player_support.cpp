#include "player_support.h"

#include "core/module_profile.h"

#include <dirent.h>

namespace kv::test {
namespace {

class CollectMjpg : public IMjpgParserEvents {
public:
    explicit CollectMjpg(StreamFrames& out) : m_out(out) {}
    void OnStartDisplay(std::uint16_t, std::uint16_t) override {}
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t, const std::string& text) override
    {
        m_out.video.push_back(Checksum(frame));
        m_out.texts.push_back(text);
    }
    void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t, const std::string&) override
    {
        m_out.audio.push_back(Checksum(data));
    }

private:
    StreamFrames& m_out;
};

class CollectAsf : public IAsfParserEvents {
public:
    explicit CollectAsf(StreamFrames& out) : m_out(out) {}
    void OnStartVideo(std::int32_t, std::int32_t, std::span<const std::uint8_t> config) override
    {
        m_out.config.assign(config.begin(), config.end());
    }
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t, bool keyFrame) override
    {
        m_out.video.push_back(Checksum(data));
        m_out.key.push_back(keyFrame);
    }
    void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t) override { m_out.audio.push_back(Checksum(data)); }
    void OnFrameText(const std::string& text) override { m_out.texts.push_back(text); }

private:
    StreamFrames& m_out;
};

} // namespace

StreamFrames MjpgFramesOf(const std::vector<std::uint8_t>& stream)
{
    StreamFrames frames;
    CollectMjpg events(frames);
    CMjpgParser parser(kKavaroProfile, events);
    parser.Feed(stream);  // a cut-off last chunk simply stays unfinished
    return frames;
}

StreamFrames AsfFramesOf(const std::vector<std::uint8_t>& stream)
{
    StreamFrames frames;
    CollectAsf events(frames);
    CAsfParser parser(kKavaroProfile, events);
    std::size_t consumed = 0;
    parser.FeedAvailable(stream, consumed);
    return frames;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

std::filesystem::path FindRecording(const std::filesystem::path& dir, const std::string& suffix)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return entry.path();
    }
    return {};
}

int ThreadCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace kv::test
