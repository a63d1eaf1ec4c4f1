// Decoded pictures per CPU second for every fixture stream in tests/data/mpeg4, one thread,
// the viewer module's decoder with the post-filter off (as after the first picture), the
// stream fed access unit by access unit as the players do. Benchmarks are named
// BM_Decode/<fixture>; bench/compare_video.sh sets them beside libavcodec's figures.
#include "../tests/mpeg4_conformance/m4v_fixture.h"

#include "core/module_profile.h"
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void DecodeStream(benchmark::State& state, const std::string& name) {
    const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + name + ".m4v");
    const auto units = kv::test::SplitAccessUnits(stream);
    if (units.empty()) {
        state.SkipWithError(("missing fixture " + name).c_str());
        return;
    }
    std::vector<unsigned char> out(1024 * 768 * 6);
    std::unique_ptr<DECODER, int (*)(DECODER*)> dec(kv::CreateDecoder(kv::kKavaroProfile), decoder_destroy);
    if (!dec) {
        state.SkipWithError("decoder_create failed");
        return;
    }
    std::int64_t pictures = 0;
    for (auto _ : state) {
        // Every pass starts as the stream does, on a decoder reset to its new state outside
        // the timing: a player decodes a whole stream on one decoder, so neither its creation
        // nor the first touch of its pictures belongs to the cost of a picture.
        state.PauseTiming();
        kv::ResetDecoder(*dec);
        state.ResumeTiming();
        for (const auto& unit : units) {
            dec->postFilter = 0;
            int length = static_cast<int>(unit.size());
            if (decoder_decode(dec.get(), out.data(), unit.data(), &length) == 0) {
                ++pictures;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char** argv) {
    for (const auto& f : kv::test::LoadM4vManifest()) {
        benchmark::RegisterBenchmark(("BM_Decode/" + f.name).c_str(),
                                     [name = f.name](benchmark::State& s) { DecodeStream(s, name); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
