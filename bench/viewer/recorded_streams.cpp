#include "recorded_streams.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "core/module_profile.h"
#include "stream/asf_parser.h"
#include "stream/mjpg_parser.h"

namespace kvbench {

namespace {

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MjpegFrames final : public kv::IMjpgParserEvents {
public:
    explicit MjpegFrames(const std::function<void(std::vector<std::uint8_t>&)>& onFrame) : m_onFrame(onFrame) {}
    void OnStartDisplay(std::uint16_t, std::uint16_t) override {}
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t, const std::string&) override
    {
        m_onFrame(frame);
        ++count;
    }
    void OnAudioFrame(std::vector<std::uint8_t>&&, std::uint32_t, const std::string&) override {}
    int count = 0;

private:
    const std::function<void(std::vector<std::uint8_t>&)>& m_onFrame;
};

class AsfFrames final : public kv::IAsfParserEvents {
public:
    explicit AsfFrames(const std::function<void(std::span<const std::uint8_t>, std::vector<std::uint8_t>&)>& onFrame)
        : m_onFrame(onFrame)
    {
    }
    void OnStartVideo(std::int32_t, std::int32_t, std::span<const std::uint8_t> config) override
    {
        m_config.assign(config.begin(), config.end());
    }
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t, bool) override
    {
        m_onFrame(m_config, data);
        ++count;
    }
    void OnAudioObject(std::vector<std::uint8_t>&&, std::uint32_t) override {}
    void OnFrameText(const std::string&) override {}
    void OnMotionLevels(const std::array<std::uint8_t, kv::kAsfMotionLevelCount>&) override {}
    int count = 0;

private:
    const std::function<void(std::span<const std::uint8_t>, std::vector<std::uint8_t>&)>& m_onFrame;
    std::vector<std::uint8_t> m_config;
};

} // namespace

int ForEachMjpegFrame(const std::filesystem::path& body, const std::function<void(std::vector<std::uint8_t>&)>& onFrame)
{
    const std::vector<std::uint8_t> bytes = ReadAll(body);
    MjpegFrames events(onFrame);
    kv::CMjpgParser parser(kv::kKavaroProfile, events);
    // The blocks the player's reader hands over; a frame cut off at the end is dropped.
    for (std::size_t at = 0; at < bytes.size(); at += 2048) {
        const std::span<const std::uint8_t> block(bytes.data() + at, std::min<std::size_t>(2048, bytes.size() - at));
        if (parser.Feed(block))
            break;
    }
    return events.count;
}

int ForEachAsfFrame(const std::filesystem::path& body,
                    const std::function<void(std::span<const std::uint8_t>, std::vector<std::uint8_t>&)>& onFrame)
{
    const std::vector<std::uint8_t> bytes = ReadAll(body);
    AsfFrames events(onFrame);
    kv::CAsfParser parser(kv::kKavaroProfile, events);
    std::size_t consumed = 0;
    parser.FeedAvailable(bytes, consumed);
    return events.count;
}

std::vector<std::filesystem::path> RecordedBodies(const std::filesystem::path& folder, const std::string& kind)
{
    std::vector<std::pair<long, std::filesystem::path>> found;
    const std::string suffix = "-" + kind + ".bin";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.ends_with(suffix))
            found.emplace_back(std::atol(name.c_str()), entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> paths;
    for (auto& [id, path] : found)
        paths.push_back(path);
    return paths;
}

} // namespace kvbench
