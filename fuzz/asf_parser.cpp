// ASF parser over arbitrary bytes, fed in the reads a player makes.
// Input: byte 0 picks the module (bit 0) and whether audio starts (bit 1); the rest is the
// stream.
#include "stream/asf_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class Sink : public kv::IAsfParserEvents {
public:
    explicit Sink(bool audioResult) : m_audioResult(audioResult) {}
    void OnStartVideo(std::int32_t, std::int32_t, std::span<const std::uint8_t> config) override
    {
        ++m_videoStarts;
        for (std::uint8_t b : config)  // the configuration must be readable
            m_sum += b;
    }
    bool OnStartAudio(std::uint16_t) override
    {
        ++m_audioStarts;
        return m_audioResult;
    }
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t, bool) override
    {
        if (data.size() > kv::kAsfMaxMediaObjectSize)
            std::abort();
        m_sum += data.size();
    }
    void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t) override
    {
        if (!m_audioResult)
            std::abort();
        m_sum += data.size();
    }
    void OnFrameText(const std::string& text) override
    {
        if (text.size() > 20)
            std::abort();
    }
    void Check() const
    {
        if (m_videoStarts > 1 || m_audioStarts > 1)
            std::abort();
    }

private:
    bool m_audioResult;
    int m_videoStarts = 0;
    int m_audioStarts = 0;
    std::size_t m_sum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const kv::ModuleProfile& profile = (data[0] & 1) ? kv::kMensiloProfile : kv::kKavaroProfile;
    Sink sink((data[0] & 2) != 0);
    kv::CAsfParser parser(profile, sink);
    std::size_t consumed = 0;
    parser.FeedAvailable(std::span<const std::uint8_t>(data + 1, size - 1), consumed);
    sink.Check();
    return 0;
}
