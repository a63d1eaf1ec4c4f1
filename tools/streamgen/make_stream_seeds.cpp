// Writes small valid and broken streams as seeds for the mjpg_parser and asf_parser fuzz
// targets (see fuzz/mjpg_parser.cpp and fuzz/asf_parser.cpp for the input layout: one or two
// option bytes, then the stream).
// Usage: make_stream_seeds <fuzz/corpus directory>
#include "streamgen.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kv::streamgen;

namespace {

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

void Write(const std::filesystem::path& dir, const std::string& name, const Bytes& options, const Bytes& stream)
{
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(options.data()), static_cast<std::streamsize>(options.size()));
    out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
}

Bytes MjpgSample()
{
    Bytes s;
    const Bytes frame = PatternBytes(300, 1);
    const auto chunks = MjpgVideoChunks(frame, 64, 48, 1, "seed frame", 120);
    Append(s, chunks[0]);
    Append(s, MjpgAudioChunk(PatternBytes(60, 2), 4, 2, "seed audio"));
    Append(s, chunks[1]);
    Append(s, chunks[2]);
    for (const auto& c : MjpgVideoChunks(TinyJpeg(), 8, 8, 3, "tiny", 65535))
        Append(s, c);
    return s;
}

Bytes AsfSample(bool audio, bool prefix, std::uint32_t packetSize)
{
    AsfHeaderOptions o;
    o.packetSize = packetSize;
    o.video = AsfVideoFormat{176, 144, {0x00, 0x00, 0x01, 0xB0, 0x01}};
    if (audio)
        o.audio = AsfAudioFormat{2};
    Bytes s = AsfHeader(o);
    AsfPacketWriter w(packetSize, prefix);
    w.AddVideoObject(PatternBytes(150, 1), 10, true, AsfPaddingPrefix{{1, 2, 3, 4}, "seed text"});
    w.AddAudioObject(PatternBytes(40, 2), 11, AsfPaddingPrefix{{5, 6, 7, 8}, "audio text"});
    w.AddVideoObject(PatternBytes(20, 3), 12, false, AsfPaddingPrefix{{9, 9, 9, 9}, "p frame"});
    w.Flush(s);
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus root>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const auto mjpg = root / "mjpg_parser";
    const auto asf = root / "asf_parser";

    const Bytes sample = MjpgSample();
    Write(mjpg, "viewer_audio_2048", {2, 0}, sample);
    Write(mjpg, "viewer_no_audio_blocks_7", {0, 7}, sample);
    Write(mjpg, "motion_blocks_48", {1, 48}, sample);
    {
        const std::string page = "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD></HTML>";
        Write(mjpg, "unauthorized_page", {2, 0}, Bytes(page.begin(), page.end()));
    }
    {
        MjpgHeaderFields f;
        f.frameSize = 100;
        f.frameOffset = 50;
        f.chunkSize = 50;
        Write(mjpg, "starts_mid_frame", {2, 0}, MjpgChunk(f, PatternBytes(50, 4)));
        f.frameOffset = 0;
        f.chunkSize = 101;
        Write(mjpg, "chunk_past_frame", {2, 0}, MjpgChunk(f, PatternBytes(101, 4)));
    }

    Write(asf, "viewer_audio_prefix", {2}, AsfSample(true, true, 128));
    Write(asf, "viewer_no_audio", {0}, AsfSample(false, false, 96));
    Write(asf, "viewer_audio_refused", {0}, AsfSample(true, true, 200));
    Write(asf, "motion_levels", {1}, AsfSample(true, true, 128));
    {
        AsfHeaderOptions o;
        o.packetSize = 64;
        Bytes s = AsfHeader(o);
        AsfRawPacket p;
        p.payloads.push_back({.streamByte = 0x03, .objectSize = 4, .data = {1, 2, 3, 4}});
        Append(s, AsfPacket(64, p));
        Write(asf, "bad_stream_number", {2}, s);
        s = AsfHeader(o);
        p.payloads[0].streamByte = 0x01;
        p.payloads[0].objectSize = 2;
        Append(s, AsfPacket(64, p));
        Write(asf, "overfilled_video", {2}, s);
    }
    return 0;
}
