// Access to the MPEG-4 fixture streams in tests/data/mpeg4 (see the README there): the
// manifest, the reference decodes and the split into the access units the decoder takes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace kv::test {

struct M4vFixture {
    std::string name;
    int width = 0;
    int height = 0;
    int frames = 0;           // pictures in the stream
    int referenceFrames = 0;  // pictures in <name>.yuv (the first ones)
    std::vector<int> extraFrames;  // later pictures whose luma is in <name>.extra.y

    [[nodiscard]] std::size_t FrameBytes() const {
        return static_cast<std::size_t>(width) * height + 2 * static_cast<std::size_t>(width / 2) * (height / 2);
    }
};

// Test output names a fixture by its name instead of dumping the bytes of the structure.
inline void PrintTo(const M4vFixture& f, std::ostream* os) {
    *os << f.name;
}

inline std::string M4vDataDir() {
    return std::string(KV_TEST_DATA_DIR) + "/mpeg4/";
}

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// fixtures.txt: "name width height frames reference_frames [extra,frames]" per line, '#' comments.
inline std::vector<M4vFixture> LoadM4vManifest() {
    std::vector<M4vFixture> out;
    std::ifstream in(M4vDataDir() + "fixtures.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        M4vFixture f;
        if (fields >> f.name >> f.width >> f.height >> f.frames >> f.referenceFrames) {
            std::string extra;
            if (fields >> extra) {
                std::istringstream list(extra);
                std::string n;
                while (std::getline(list, n, ',')) {
                    f.extraFrames.push_back(std::stoi(n));
                }
            }
            out.push_back(f);
        }
    }
    return out;
}

// The first access unit runs from the start of the stream to the second VOP start code
// (configuration headers and the first VOP); every later one from a VOP start code to the next.
inline std::vector<std::span<const std::uint8_t>> SplitAccessUnits(std::span<const std::uint8_t> stream) {
    std::vector<std::size_t> vops;
    for (std::size_t i = 0; i + 3 < stream.size(); ++i) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6) {
            vops.push_back(i);
        }
    }
    std::vector<std::span<const std::uint8_t>> units;
    if (vops.empty()) {
        return units;
    }
    vops[0] = 0;
    vops.push_back(stream.size());
    for (std::size_t k = 0; k + 1 < vops.size(); ++k) {
        units.push_back(stream.subspan(vops[k], vops[k + 1] - vops[k]));
    }
    return units;
}

// Peak signal-to-noise ratio of two 8-bit planes; identical planes give 100 dB.
inline double PlanePsnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0 || n == 0) {
        return 100.0;
    }
    return std::min(100.0, 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum));
}

} // namespace kv::test
