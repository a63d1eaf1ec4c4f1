// Throughput of the two stream parsers on long synthetic streams, measured through a sink
// that only counts (no chains, no decoding): the figure is the parser's own cost including
// the allocation of each frame it hands over.
//
//   bench_stream_parsers --benchmark_min_time=2s
#include "streamgen.h"

#include "stream/asf_parser.h"
#include "stream/mjpg_parser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace kv::streamgen;

class CountingMjpg : public kv::IMjpgParserEvents {
public:
    void OnStartDisplay(std::uint16_t, std::uint16_t) override {}
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t, const std::string&) override
    {
        bytes += frame.size();
        ++frames;
    }
    void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t, const std::string&) override
    {
        bytes += data.size();
        ++frames;
    }
    std::size_t bytes = 0;
    std::size_t frames = 0;
};

class CountingAsf : public kv::IAsfParserEvents {
public:
    void OnStartVideo(std::int32_t, std::int32_t, std::span<const std::uint8_t>) override {}
    bool OnStartAudio(std::uint16_t) override { return true; }
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t, bool) override
    {
        bytes += data.size();
        ++frames;
    }
    void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t) override
    {
        bytes += data.size();
        ++frames;
    }
    void OnFrameText(const std::string& text) override { bytes += text.size(); }
    std::size_t bytes = 0;
    std::size_t frames = 0;
};

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// About 16 MB: 640x480-sized JPEG frames of 30 to 60 KB in 8 KB chunks, an audio chunk of
// 1920 bytes after every other video chunk.
const Bytes& MjpgStream()
{
    static const Bytes stream = [] {
        Bytes s;
        std::uint32_t ts = 0;
        int chunkCount = 0;
        for (std::uint32_t i = 0; s.size() < 16u * 1024 * 1024; ++i, ts += 33) {
            const Bytes frame = PatternBytes(30000 + (i * 7919) % 30000, i + 1);
            for (const Bytes& chunk : MjpgVideoChunks(frame, 640, 480, ts, "Camera 01", 8192)) {
                Append(s, chunk);
                if (++chunkCount % 2 == 0)
                    Append(s, MjpgAudioChunk(PatternBytes(1920, 7), 4, ts, "Camera 01"));
            }
        }
        return s;
    }();
    return stream;
}

void BM_MjpgParser(benchmark::State& state)
{
    const Bytes& stream = MjpgStream();
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    CountingMjpg sink;
    kv::CMjpgParser parser(kv::kKavaroProfile, sink);
    for (auto _ : state) {
        // The stream ends on a chunk boundary, so passes simply follow each other.
        for (std::size_t at = 0; at < stream.size(); at += block) {
            const std::size_t n = std::min(block, stream.size() - at);
            if (parser.Feed(std::span<const std::uint8_t>(stream).subspan(at, n))) {
                state.SkipWithError("parse failure");
                return;
            }
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames"] = benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MjpgParser)->Arg(2048)->Arg(65536)->Unit(benchmark::kMillisecond);

// The header once, then about 16 MB of packets: MPEG-4 objects of 5 to 40 KB (a key frame
// every 15) with a 1920-byte audio object each, and the padding prefix after every object.
struct AsfSample {
    Bytes header;
    Bytes packets;
};

const AsfSample& AsfStream(std::uint32_t packetSize)
{
    static std::vector<std::pair<std::uint32_t, AsfSample>> cache;
    for (const auto& [size, sample] : cache)
        if (size == packetSize)
            return sample;
    AsfSample sample;
    AsfHeaderOptions o;
    o.packetSize = packetSize;
    o.video = AsfVideoFormat{640, 480, {0x00, 0x00, 0x01, 0xB0, 0x03}};
    o.audio = AsfAudioFormat{4};
    sample.header = AsfHeader(o);
    AsfPacketWriter writer(packetSize, true);
    for (std::uint32_t i = 0; sample.packets.size() < 16u * 1024 * 1024; ++i) {
        const std::uint32_t size = (i % 15 == 0) ? 40000 : 5000 + (i * 7919) % 10000;
        writer.AddVideoObject(PatternBytes(size, i + 1), i * 33, i % 15 == 0,
                              AsfPaddingPrefix{{1, 2, 3, 4}, "Camera 01"});
        writer.AddAudioObject(PatternBytes(1920, 5), i * 33, AsfPaddingPrefix{{1, 2, 3, 4}, "Camera 01"});
        writer.Flush(sample.packets);
    }
    cache.emplace_back(packetSize, std::move(sample));
    return cache.back().second;
}

void BM_AsfParser(benchmark::State& state)
{
    const std::uint32_t packetSize = static_cast<std::uint32_t>(state.range(0));
    const AsfSample& sample = AsfStream(packetSize);
    CountingAsf sink;
    kv::CAsfParser parser(kv::kKavaroProfile, sink);
    std::size_t consumed = 0;
    if (parser.FeedAvailable(sample.header, consumed) || !parser.InPacketMode()) {
        state.SkipWithError("header rejected");
        return;
    }
    for (auto _ : state) {
        for (std::size_t at = 0; at < sample.packets.size(); at += packetSize) {
            if (parser.Feed(std::span<const std::uint8_t>(sample.packets).subspan(at, packetSize))) {
                state.SkipWithError("parse failure");
                return;
            }
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.packets.size()));
    state.counters["frames"] = benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AsfParser)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
