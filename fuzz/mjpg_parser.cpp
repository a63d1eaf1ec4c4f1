// MJPG chunk parser over arbitrary bytes.
// Input: byte 0 picks the module (bit 0) and whether audio starts (bit 1); byte 1 picks the
// block size the stream is cut into (0: 2048 like the player, else 1..255); the rest is the
// stream.
#include "stream/mjpg_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class Sink : public kv::IMjpgParserEvents {
public:
    explicit Sink(bool audioResult) : m_audioResult(audioResult) {}
    void OnStartDisplay(std::uint16_t, std::uint16_t) override { ++m_displayStarts; }
    bool OnStartAudio(std::uint16_t) override
    {
        ++m_audioStarts;
        return m_audioResult;
    }
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t, const std::string& text) override
    {
        if (text.size() > 20 || frame.size() > kv::kMjpgMaxFrameSize)
            std::abort();
        m_bytes += frame.size();
    }
    void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t, const std::string& text) override
    {
        if (text.size() > 20 || !m_audioResult)
            std::abort();
        m_bytes += data.size();
    }
    void Check() const
    {
        if (m_displayStarts > 1 || m_audioStarts > 1)
            std::abort();
    }

private:
    bool m_audioResult;
    int m_displayStarts = 0;
    int m_audioStarts = 0;
    std::size_t m_bytes = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const kv::ModuleProfile& profile = (data[0] & 1) ? kv::kMensiloProfile : kv::kKavaroProfile;
    const std::size_t block = data[1] == 0 ? 2048 : data[1];
    Sink sink((data[0] & 2) != 0);
    kv::CMjpgParser parser(profile, sink);
    for (std::size_t at = 2; at < size; at += block) {
        const std::size_t n = size - at < block ? size - at : block;
        if (parser.Feed(std::span<const std::uint8_t>(data + at, n)))
            break;
    }
    sink.Check();
    return 0;
}
