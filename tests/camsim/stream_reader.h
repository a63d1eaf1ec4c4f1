// Independent readers of the two stream containers, for checking what camsim sends.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace camsim_test {

inline std::uint32_t U16(const std::string& s, std::size_t at)
{
    return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8);
}
inline std::uint32_t U32(const std::string& s, std::size_t at)
{
    return U16(s, at) | (U16(s, at + 2) << 16);
}

struct MjpgChunk {
    std::string tag;
    std::uint32_t frameSize, frameOffset, timestamp;
    std::uint16_t width, height, chunkSize, audioCode;
    std::uint8_t type, version;
    std::string text;
    std::string payload;
};

// Whole chunks only; a trailing partial chunk is reported through `rest`.
inline std::vector<MjpgChunk> ReadMjpg(const std::string& s, std::size_t* rest = nullptr)
{
    std::vector<MjpgChunk> out;
    std::size_t pos = 0;
    while (pos + 48 <= s.size()) {
        MjpgChunk c;
        c.tag = s.substr(pos, 4);
        c.frameSize = U32(s, pos + 4);
        c.width = static_cast<std::uint16_t>(U16(s, pos + 8));
        c.height = static_cast<std::uint16_t>(U16(s, pos + 10));
        c.frameOffset = U32(s, pos + 12);
        c.chunkSize = static_cast<std::uint16_t>(U16(s, pos + 16));
        c.timestamp = U32(s, pos + 18);
        c.type = static_cast<std::uint8_t>(s[pos + 22]);
        c.audioCode = static_cast<std::uint16_t>(U16(s, pos + 23));
        c.version = static_cast<std::uint8_t>(s[pos + 25]);
        c.text = std::string(s.c_str() + pos + 26, strnlen(s.c_str() + pos + 26, 20));
        if (pos + 48 + c.chunkSize > s.size())
            break;
        c.payload = s.substr(pos + 48, c.chunkSize);
        out.push_back(c);
        pos += 48 + c.chunkSize;
    }
    if (rest)
        *rest = s.size() - pos;
    return out;
}

struct MjpgFrame {
    std::string jpeg;
    std::string text;
    bool complete = false;
};

// Assembles video frames; audio chunks in between are collected apart.
inline std::vector<MjpgFrame> AssembleMjpg(const std::vector<MjpgChunk>& chunks, std::vector<MjpgChunk>* audio = nullptr,
                                           int* audioInsideFrame = nullptr)
{
    std::vector<MjpgFrame> frames;
    bool inFrame = false;
    for (const MjpgChunk& c : chunks) {
        if (c.type == 2) {
            if (audio)
                audio->push_back(c);
            if (inFrame && audioInsideFrame)
                ++*audioInsideFrame;
            continue;
        }
        if (c.frameOffset == 0) {
            frames.push_back({});
            frames.back().text = c.text;
        }
        if (frames.empty() || frames.back().jpeg.size() != c.frameOffset)
            return {};  // out of order
        frames.back().jpeg += c.payload;
        frames.back().complete = frames.back().jpeg.size() == c.frameSize;
        inFrame = !frames.back().complete;
    }
    return frames;
}

inline bool LooksLikeJpeg(const std::string& j)
{
    return j.size() > 4 && static_cast<std::uint8_t>(j[0]) == 0xff && static_cast<std::uint8_t>(j[1]) == 0xd8 &&
           static_cast<std::uint8_t>(j[j.size() - 2]) == 0xff && static_cast<std::uint8_t>(j[j.size() - 1]) == 0xd9;
}

struct AsfObjectOut {
    int stream = 0;        // 1 video, 2 audio
    bool key = false;
    std::uint32_t time = 0;
    std::string data;
    std::array<std::uint8_t, 4> levels{};
    std::string text;
};

struct AsfOut {
    std::uint32_t packetSize = 0, width = 0, height = 0;
    int audioBits = 0;
    std::string config;
    std::vector<AsfObjectOut> objects;
    std::vector<int> firstStreamBytes;  // per packet
    bool ok = false;
};

inline AsfOut ReadAsf(const std::string& s)
{
    AsfOut out;
    if (s.size() < 30)
        return out;
    const std::uint32_t headerSize = U32(s, 16);
    const std::uint32_t count = U32(s, 24);
    if (headerSize > s.size())
        return out;
    std::size_t pos = 30;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (pos + 24 > headerSize)
            return out;
        const std::uint32_t size = U32(s, pos + 16);
        const std::string guid = s.substr(pos, 16);
        static const unsigned char fileProps[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
        static const unsigned char streamProps[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                      0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
        static const unsigned char video[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                                0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
        if (std::memcmp(guid.data(), fileProps, 16) == 0) {
            out.packetSize = U32(s, pos + 92);
        } else if (std::memcmp(guid.data(), streamProps, 16) == 0) {
            if (std::memcmp(s.data() + pos + 24, video, 16) == 0) {
                const std::uint32_t bihSize = U32(s, pos + 89);
                out.width = U32(s, pos + 93);
                out.height = U32(s, pos + 97);
                out.config = s.substr(pos + 129, bihSize - 40);
            } else {
                out.audioBits = static_cast<int>(U16(s, pos + 92));
            }
        }
        pos += size;
    }
    pos = headerSize + 50;
    struct Pending { std::string data; std::uint32_t size = 0, time = 0; bool key = false; };
    Pending pending[3];
    while (out.packetSize && pos + out.packetSize <= s.size()) {
        const std::size_t packet = pos;
        const std::uint32_t padding = U16(s, packet + 5);
        const int payloads = static_cast<std::uint8_t>(s[packet + 13]) & 0x3f;
        std::size_t p = packet + 14;
        for (int k = 0; k < payloads; ++k) {
            const int streamByte = static_cast<std::uint8_t>(s[p]);
            if (k == 0)
                out.firstStreamBytes.push_back(streamByte);
            const int stream = streamByte & 0x7f;
            if (stream != 1 && stream != 2)
                return out;
            const std::uint8_t replicated = static_cast<std::uint8_t>(s[p + 6]);
            p += 7;
            Pending& obj = pending[stream];
            if (replicated == 8) {
                obj = Pending{};
                obj.size = U32(s, p);
                obj.time = U32(s, p + 4);
                obj.key = streamByte == 0x81;
                p += 8;
            }
            const std::uint32_t length = U16(s, p);
            p += 2;
            obj.data += s.substr(p, length);
            p += length;
            if (obj.data.size() == obj.size) {
                AsfObjectOut done{stream, obj.key, obj.time, obj.data, {}, {}};
                if (padding >= 24) {
                    for (int l = 0; l < 4; ++l)
                        done.levels[static_cast<std::size_t>(l)] = static_cast<std::uint8_t>(s[p + static_cast<std::size_t>(l)]);
                    done.text = std::string(s.c_str() + p + 4, strnlen(s.c_str() + p + 4, 20));
                }
                out.objects.push_back(done);
                obj = Pending{};
            }
        }
        pos += out.packetSize;
    }
    out.ok = true;
    return out;
}

} // namespace camsim_test
