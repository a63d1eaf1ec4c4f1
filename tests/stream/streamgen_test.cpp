// The stream writers must put every field at its byte offset; the parser tests rely on them.
#include "streamgen.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kv::streamgen {
namespace {

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }

TEST(StreamGen, MjpgHeaderFieldsAtTheirOffsets)
{
    MjpgHeaderFields f;
    f.frameSize = 0x01020304;
    f.width = 640;
    f.height = 480;
    f.frameOffset = 0x11223344;
    f.chunkSize = 0x5566;
    f.timestamp = 0xA1B2C3D4;
    f.type = 2;
    f.audioCode = 0x0304;
    f.text = "Camera 1";
    const auto a = MjpgHeader(f);
    const Bytes h(a.begin(), a.end());
    EXPECT_EQ(0, std::memcmp(h.data(), "MJPG", 4));
    EXPECT_EQ(U32(h, 4), 0x01020304u);
    EXPECT_EQ(U16(h, 8), 640);
    EXPECT_EQ(U16(h, 10), 480);
    EXPECT_EQ(U32(h, 12), 0x11223344u);
    EXPECT_EQ(U16(h, 16), 0x5566);
    EXPECT_EQ(U32(h, 18), 0xA1B2C3D4u);
    EXPECT_EQ(h[22], 2);
    EXPECT_EQ(U16(h, 23), 0x0304);
    EXPECT_EQ(h[25], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[26])), "Camera 1");
    EXPECT_EQ(h[45], 0);
}

TEST(StreamGen, MjpgVideoFrameCutIntoChunks)
{
    const Bytes jpeg = PatternBytes(2500, 3);
    const auto chunks = MjpgVideoChunks(jpeg, 320, 240, 9, "t", 1000);
    ASSERT_EQ(chunks.size(), 3u);
    Bytes joined;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(U32(chunks[i], 12), i * 1000);
        EXPECT_EQ(U32(chunks[i], 4), 2500u);
        EXPECT_EQ(chunks[i].size(), 48u + U16(chunks[i], 16));
        joined.insert(joined.end(), chunks[i].begin() + 48, chunks[i].end());
    }
    EXPECT_EQ(joined, jpeg);
    EXPECT_GT(TinyJpeg().size(), 100u);
    EXPECT_EQ(TinyJpeg()[0], 0xFF);
    EXPECT_EQ(TinyJpeg()[1], 0xD8);
}

TEST(StreamGen, AsfHeaderLayout)
{
    AsfHeaderOptions o;
    o.packetSize = 777;
    o.video = AsfVideoFormat{352, 288, {0, 0, 1, 0xB0, 5}};
    o.audio = AsfAudioFormat{3};
    const Bytes h = AsfHeader(o);
    const std::uint64_t headerSize = U32(h, 16);
    ASSERT_EQ(h.size(), headerSize + 50);
    EXPECT_EQ(U32(h, 24), 3u);  // object count
    EXPECT_TRUE(std::equal(kAsfHeaderObject.begin(), kAsfHeaderObject.end(), h.begin()));
    EXPECT_EQ(h[0], 0x30);
    EXPECT_EQ(h[3], 0x75);
    EXPECT_EQ(h[15], 0x6C);
    const std::size_t file = 30;
    EXPECT_EQ(U32(h, file + 92), 777u);
    const std::size_t video = file + U32(h, file + 16);
    EXPECT_TRUE(std::equal(kAsfVideoMedia.begin(), kAsfVideoMedia.end(), h.begin() + video + 24));
    EXPECT_EQ(U32(h, video + 89), 45u);
    EXPECT_EQ(U32(h, video + 93), 352u);
    EXPECT_EQ(U32(h, video + 97), 288u);
    EXPECT_EQ(h[video + 129 + 3], 0xB0);
    const std::size_t audio = video + U32(h, video + 16);
    EXPECT_TRUE(std::equal(kAsfAudioMedia.begin(), kAsfAudioMedia.end(), h.begin() + audio + 24));
    EXPECT_EQ(U16(h, audio + 92), 3);
    EXPECT_EQ(audio + U32(h, audio + 16), headerSize);
    EXPECT_TRUE(std::equal(kAsfDataObject.begin(), kAsfDataObject.end(), h.begin() + headerSize));
}

TEST(StreamGen, PacketWriterSplitsInterleavesAndPads)
{
    AsfPacketWriter w(200, true);
    w.AddVideoObject(PatternBytes(250, 1), 40, true, AsfPaddingPrefix{{1, 2, 3, 4}, "abc"});
    w.AddAudioObject(PatternBytes(50, 2), 41);
    Bytes out;
    const std::size_t packets = w.Flush(out);
    ASSERT_EQ(out.size(), packets * 200);
    ASSERT_GE(packets, 2u);
    // First packet: one video payload starting the object, filling the packet.
    EXPECT_EQ(out[13] & 0x3F, 1);
    EXPECT_EQ(out[14], 0x81);
    EXPECT_EQ(out[20], 8);
    EXPECT_EQ(U32(out, 21), 250u);
    EXPECT_EQ(U16(out, 29), 200 - 14 - 17);
    // Second packet: the audio object comes between the two video parts.
    const Bytes second(out.begin() + 200, out.begin() + 400);
    EXPECT_EQ(second[14], 0x02);
    const std::size_t next = 14 + 17 + U16(second, 14 + 15);
    EXPECT_EQ(second[next], 0x81);
    EXPECT_EQ(U32(second, next + 2), 200u - 14 - 17);
    EXPECT_EQ(second[next + 6], 0);
    const std::size_t afterData = next + 9 + U16(second, next + 7);
    EXPECT_EQ(U16(second, 5), 200 - afterData);
    EXPECT_EQ(second[afterData], 1);
    EXPECT_EQ(second[afterData + 3], 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&second[afterData + 4])), "abc");
}

} // namespace
} // namespace kv::streamgen
