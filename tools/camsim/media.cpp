#include "media.h"

#include <fstream>
#include <iterator>

#ifndef CAMSIM_DATA_DIR
#define CAMSIM_DATA_DIR "tests/data"
#endif

namespace camsim {

namespace {
constexpr std::size_t kMaxMediaFile = 64u * 1024 * 1024;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size <= 0 || static_cast<std::size_t>(size) > limit)
        return {};
    in.seekg(0);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(out.data()), size);
    if (!in)
        return {};
    return out;
}

namespace {

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    // Reads n bits (n <= 24); sets the failure flag instead of reading past the end.
    std::uint32_t Get(int n)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            if (m_bit >= m_size * 8) {
                m_failed = true;
                return 0;
            }
            value = (value << 1) | ((m_data[m_bit / 8] >> (7 - m_bit % 8)) & 1u);
            ++m_bit;
        }
        return value;
    }
    void Skip(int n)
    {
        while (n > 0) {
            const int step = n > 16 ? 16 : n;
            Get(step);
            n -= step;
        }
    }
    bool Failed() const { return m_failed; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_bit = 0;
    bool m_failed = false;
};

} // namespace

bool VolPictureSize(const std::vector<std::uint8_t>& config, int& width, int& height)
{
    for (std::size_t i = 0; i + 4 < config.size(); ++i) {
        if (config[i] != 0 || config[i + 1] != 0 || config[i + 2] != 1 || (config[i + 3] & 0xf0) != 0x20)
            continue;
        BitReader bits(config.data() + i + 4, config.size() - i - 4);
        bits.Get(1);                       // random_accessible_vol
        bits.Get(8);                       // video_object_type_indication
        if (bits.Get(1))                   // is_object_layer_identifier
            bits.Get(7);                   // verid, priority
        if (bits.Get(4) == 0xf)            // aspect_ratio_info: extended
            bits.Get(16);
        if (bits.Get(1)) {                 // vol_control_parameters
            bits.Get(3);                   // chroma_format, low_delay
            if (bits.Get(1))               // vbv_parameters
                bits.Skip(79);             // bit rate, buffer size and occupancy with markers
        }
        if (bits.Get(2) != 0)              // only rectangular shapes carry a size
            return false;
        bits.Get(1);
        const std::uint32_t resolution = bits.Get(16);
        bits.Get(1);
        if (bits.Get(1)) {                 // fixed_vop_rate
            int length = 1;
            while (length < 16 && (1u << length) < resolution)
                ++length;
            bits.Get(length);
        }
        bits.Get(1);
        width = static_cast<int>(bits.Get(13));
        bits.Get(1);
        height = static_cast<int>(bits.Get(13));
        return !bits.Failed() && width > 0 && height > 0;
    }
    return false;
}

Mpeg4Clip SplitMpeg4(const std::vector<std::uint8_t>& s)
{
    Mpeg4Clip clip;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xb6)
            starts.push_back(i);
    }
    if (starts.empty())
        return clip;
    clip.config.assign(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(starts[0]));
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
        Mpeg4Picture picture;
        picture.data.assign(s.begin() + static_cast<std::ptrdiff_t>(starts[k]), s.begin() + static_cast<std::ptrdiff_t>(end));
        picture.key = picture.data.size() > 4 && (picture.data[4] >> 6) == 0;
        clip.pictures.push_back(std::move(picture));
    }
    return clip;
}

const Mpeg4Clip& MediaLibrary::Clip(int width) const
{
    static const Mpeg4Clip empty;
    auto it = clips.find(width);
    if (it != clips.end() && !it->second.pictures.empty())
        return it->second;
    for (const auto& [key, clip] : clips) {
        if (!clip.pictures.empty())
            return clip;
    }
    return empty;
}

const std::vector<std::vector<std::uint8_t>>& MediaLibrary::AudioFrames(int bits) const
{
    static const std::vector<std::vector<std::uint8_t>> empty;
    auto it = audio.find(bits);
    return it == audio.end() ? empty : it->second;
}

MediaLibrary LoadMedia(const std::string& m4vOverride, const std::string& audioOverride, int overrideBits)
{
    MediaLibrary media;
    const std::string dataDir = CAMSIM_DATA_DIR;
    struct Size { int w, h; const char* file; };
    for (Size size : {Size{640, 480, "camsim_640x480.m4v"}, Size{320, 240, "camsim_320x240.m4v"},
                      Size{160, 120, "q2_160x120.m4v"}}) {
        const std::string path = m4vOverride.empty() ? dataDir + "/mpeg4/" + size.file : m4vOverride;
        Mpeg4Clip clip = SplitMpeg4(ReadFileBytes(path, kMaxMediaFile));
        if (clip.pictures.empty()) {
            media.notes.push_back("no MPEG-4 pictures in " + path);
            continue;
        }
        clip.source = path;
        if (!VolPictureSize(clip.config, clip.width, clip.height)) {
            // Size unknown: the fixture's name says it; a given file takes the configured size.
            clip.width = m4vOverride.empty() ? size.w : 0;
            clip.height = m4vOverride.empty() ? size.h : 0;
        }
        media.clips[size.w] = std::move(clip);
        if (!m4vOverride.empty())
            break;  // one given stream serves every size
    }
    if (!m4vOverride.empty() && !media.clips.empty()) {
        // The stream's own size is unknown here; the VOL carries it, the file name need not.
        Mpeg4Clip only = media.clips.begin()->second;
        media.clips.clear();
        media.clips[0] = std::move(only);
    }

    for (int bits = 2; bits <= 5; ++bits) {
        const bool given = !audioOverride.empty() && bits == overrideBits;
        const std::string path = given ? audioOverride : dataDir + "/g726/tone1k_" + std::to_string(bits) + "bit.g726";
        std::vector<std::uint8_t> bytes = ReadFileBytes(path, kMaxMediaFile);
        std::vector<std::vector<std::uint8_t>> frames;
        for (std::size_t pos = 0; pos + kAudioFrameBytes <= bytes.size(); pos += kAudioFrameBytes)
            frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                bytes.begin() + static_cast<std::ptrdiff_t>(pos + kAudioFrameBytes));
        if (frames.empty()) {
            // No fixture: a fixed pattern keeps the stream's shape (it plays as noise).
            std::vector<std::uint8_t> frame(kAudioFrameBytes);
            for (std::size_t i = 0; i < frame.size(); ++i)
                frame[i] = static_cast<std::uint8_t>((i * 37 + bits) & 0xff);
            frames.push_back(std::move(frame));
            if (bits == overrideBits || audioOverride.empty())
                media.notes.push_back("no G.726 frames in " + path + ", using a fixed pattern");
        }
        media.audio[bits] = std::move(frames);
    }
    return media;
}

} // namespace camsim
