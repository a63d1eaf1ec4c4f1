// Media that camsim loops: MPEG-4 video cut into pictures, and packed G.726 audio frames.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace camsim {

struct Mpeg4Picture {
    std::vector<std::uint8_t> data;  // from its VOP start code up to the next one
    bool key = false;                // an I-VOP
};

struct Mpeg4Clip {
    std::string source;                 // file it came from ("" when none could be loaded)
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> config;   // everything before the first VOP
    std::vector<Mpeg4Picture> pictures;
};

// Cuts an MPEG-4 elementary stream at its VOP start codes (00 00 01 B6); the two bits after
// the start code are the coding type, 00 = intra.
Mpeg4Clip SplitMpeg4(const std::vector<std::uint8_t>& stream);

// Picture size from the video object layer header in the configuration bytes.
bool VolPictureSize(const std::vector<std::uint8_t>& config, int& width, int& height);

inline constexpr std::size_t kAudioFrameBytes = 1920;

struct MediaLibrary {
    // Video for each picture size, keyed by width.
    std::map<int, Mpeg4Clip> clips;
    // Audio frames for each code size 2..5.
    std::map<int, std::vector<std::vector<std::uint8_t>>> audio;
    std::vector<std::string> notes;  // what was loaded or missing, for the start-up banner

    const Mpeg4Clip& Clip(int width) const;
    const std::vector<std::vector<std::uint8_t>>& AudioFrames(int bits) const;
};

// Loads the committed fixtures (or the files given by flag).
MediaLibrary LoadMedia(const std::string& m4vOverride, const std::string& audioOverride, int overrideBits);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::size_t limit);

} // namespace camsim
