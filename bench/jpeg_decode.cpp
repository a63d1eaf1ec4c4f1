// Decoding a 640x480 quality-90 JPEG through CxImage::Decode(buffer, size, 2), against a bare
// libjpeg decode of the same bytes to blue-green-red. The goal is at most 1.10x.
#include "ximage.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A picture with smooth areas, edges and some texture, encoded at quality 90.
const std::vector<unsigned char>& TestJpeg()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
        unsigned seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int noise = static_cast<int>((seed >> 16) & 15) - 8;
                const double wave = 60.0 * std::sin(x / 23.0) * std::cos(y / 17.0);
                const bool box = (x / 80 + y / 60) % 2 == 0;
                unsigned char* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
                p[0] = static_cast<unsigned char>(std::clamp(x * 255 / kWidth + noise, 0, 255));
                p[1] = static_cast<unsigned char>(std::clamp(static_cast<int>(128 + wave) + noise, 0, 255));
                p[2] = static_cast<unsigned char>(std::clamp((box ? 200 : 40) + noise, 0, 255));
            }
        }
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = &rgb[static_cast<std::size_t>(cinfo.next_scanline) * kWidth * 3];
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::vector<unsigned char> result(out, out + size);
        std::free(out);
        return result;
    }();
    return bytes;
}

void BM_CxImageDecode(benchmark::State& state)
{
    const auto& jpeg = TestJpeg();
    for (auto _ : state) {
        CxImage image;
        const bool ok = image.Decode(jpeg.data(), static_cast<std::uint32_t>(jpeg.size()), CXIMAGE_FORMAT_JPG);
        if (!ok || image.GetWidth() != kWidth)
            state.SkipWithError(image.GetLastError());
        benchmark::DoNotOptimize(image.GetDIB());
    }
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}
BENCHMARK(BM_CxImageDecode)->Unit(benchmark::kMillisecond);

// The bare decode writes into a buffer allocated once, bottom-up like a DIB.
void BM_LibjpegDecodeBgr(benchmark::State& state)
{
    const auto& jpeg = TestJpeg();
    std::vector<unsigned char> bgr(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = &bgr[static_cast<std::size_t>(kHeight - 1 - cinfo.output_scanline) * kWidth * 3];
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(bgr.data());
    }
}
BENCHMARK(BM_LibjpegDecodeBgr)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
