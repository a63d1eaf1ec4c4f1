// ConvertYUVtoRGB throughput in megapixels per second on decoded camera pictures.
#include "../tests/mpeg4_conformance/m4v_fixture.h"

#include "yuv2rgb.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A real picture where a fixture provides one at this size, random samples otherwise.
std::vector<unsigned char> Picture(int width, int height) {
    const std::size_t size = static_cast<std::size_t>(width) * height * 3 / 2;
    for (const char* name : {"camsim_320x240", "camsim_640x480", "mpq_1024x768"}) {
        auto data = kv::test::ReadWholeFile(kv::test::M4vDataDir() + name + ".yuv");
        if (data.size() >= size && std::string(name).find(std::to_string(width) + "x" + std::to_string(height)) != std::string::npos) {
            data.resize(size);
            return data;
        }
    }
    std::vector<unsigned char> data(size);
    std::mt19937 rng(1);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    return data;
}

template <void (*Convert)(const unsigned char*, unsigned char*, int, int)>
void BM_Convert(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    init_YUV2RGB_tab();
    const auto src = Picture(width, height);
    std::vector<unsigned char> dst(static_cast<std::size_t>(width) * height * 3);
    for (auto _ : state) {
        Convert(src.data(), dst.data(), width, height);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(width) * height;
    state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    delete_YUV2RGB_tab();
}

template <kv::Yuv2RgbPath Path>
void Via(const unsigned char* source, unsigned char* destination, int width, int height) {
    kv::ConvertYUVtoRGBUsing(Path, source, destination, width, height);
}

// The exported function picks the widest path the processor has; the others for comparison.
BENCHMARK_TEMPLATE(BM_Convert, ConvertYUVtoRGB)->Args({320, 240})->Args({640, 480})->Args({1024, 768});
BENCHMARK_TEMPLATE(BM_Convert, Via<kv::Yuv2RgbPath::Avx2>)->Args({640, 480});
BENCHMARK_TEMPLATE(BM_Convert, Via<kv::Yuv2RgbPath::Tables>)->Args({640, 480});

} // namespace

BENCHMARK_MAIN();
