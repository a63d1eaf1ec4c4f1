// Decoded pictures per second for the 320x240 and 640x480 camera streams, one thread, the
// viewer module's decoder with the post-filter off (as after the first picture).
#include "../tests/mpeg4_conformance/m4v_fixture.h"

#include "core/module_profile.h"
#include "mpeg4dec.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace kv {
DECODER* CreateDecoder(const ModuleProfile& profile);
} // namespace kv

namespace {

void DecodeStream(benchmark::State& state, const std::string& name) {
    const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + name + ".m4v");
    const auto units = kv::test::SplitAccessUnits(stream);
    if (units.empty()) {
        state.SkipWithError(("missing fixture " + name).c_str());
        return;
    }
    std::vector<unsigned char> out(1024 * 768 * 6);
    std::int64_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DECODER* dec = kv::CreateDecoder(kv::kKavaroProfile);
        state.ResumeTiming();
        if (dec == nullptr) {
            state.SkipWithError("decoder_create failed");
            return;
        }
        for (const auto& unit : units) {
            dec->postFilter = 0;
            int length = static_cast<int>(unit.size());
            if (decoder_decode(dec, out.data(), unit.data(), &length) == 0) {
                ++pictures;
            }
        }
        benchmark::DoNotOptimize(out.data());
        state.PauseTiming();
        decoder_destroy(dec);
        state.ResumeTiming();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
}

void BM_Decode320x240(benchmark::State& state) { DecodeStream(state, "camsim_320x240"); }
void BM_Decode640x480(benchmark::State& state) { DecodeStream(state, "camsim_640x480"); }

BENCHMARK(BM_Decode320x240)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Decode640x480)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
