// G.726 decoding speed: samples per second for each code size, one 1920-byte camera frame per
// call through the exported function (post-filter included), and the bare decoder per code.
#include "audio/g726_decoder.h"
#include "g726.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<unsigned char> RandomFrame(std::size_t bytes)
{
    std::vector<unsigned char> frame(bytes);
    std::mt19937 random(1);
    for (auto& byte : frame)
        byte = static_cast<unsigned char>(random());
    return frame;
}

void DecodeCameraFrame(benchmark::State& state)
{
    const int bits = static_cast<int>(state.range(0));
    const std::vector<unsigned char> frame = RandomFrame(1920);
    std::vector<std::int16_t> output(1920 * 8 / static_cast<std::size_t>(bits) + 1);
    G726_state* decoder = G726_decoder_create();
    std::int64_t samples = 0;
    for (auto _ : state) {
        samples += G726_dec(decoder, bits, frame.data(), 1920, output.data());
        benchmark::DoNotOptimize(output.data());
    }
    G726_decoder_destroy(decoder);
    state.SetItemsProcessed(samples);
    state.SetLabel(std::to_string(bits * 8) + " kbit/s");
}
BENCHMARK(DecodeCameraFrame)->DenseRange(2, 5);

void DecodeWithoutPostFilter(benchmark::State& state)
{
    const int bits = static_cast<int>(state.range(0));
    const std::vector<unsigned char> codes = RandomFrame(4096);
    auto decoder = kv::g726::CreateState();
    std::int64_t samples = 0;
    for (auto _ : state) {
        for (unsigned char code : codes)
            benchmark::DoNotOptimize(kv::g726::DecodeCode(*decoder, bits, code));
        samples += static_cast<std::int64_t>(codes.size());
    }
    state.SetItemsProcessed(samples);
}
BENCHMARK(DecodeWithoutPostFilter)->DenseRange(2, 5);

} // namespace

BENCHMARK_MAIN();
