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
    struct Size { int w, h; };
    for (Size size : {Size{640, 480}, Size{320, 240}}) {
        const std::string path = m4vOverride.empty()
            ? dataDir + "/mpeg4/camsim_" + std::to_string(size.w) + "x" + std::to_string(size.h) + ".m4v"
            : m4vOverride;
        Mpeg4Clip clip = SplitMpeg4(ReadFileBytes(path, kMaxMediaFile));
        if (clip.pictures.empty()) {
            media.notes.push_back("no MPEG-4 pictures in " + path);
            continue;
        }
        clip.source = path;
        clip.width = size.w;
        clip.height = size.h;
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
