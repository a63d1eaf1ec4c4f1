#include "video/rgb32_rows.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kv {
namespace {

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per byte shuffle. Each step loads 16 bytes for the 12 it converts, so it stops
// while at least two more pixels follow; the rest goes the portable way.
__attribute__((target("ssse3"))) int ExpandSsse3(const std::uint8_t* src, std::uint32_t* dst, int width)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaquePixel));
    int x = 0;
    for (; x + 6 <= width; x += 4, src += 12) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(_mm_shuffle_epi8(bgr, order), opaque));
    }
    return x;
}

const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

} // namespace

void ExpandBgrRow(const std::uint8_t* src, std::uint32_t* dst, int width)
{
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kHasSsse3) {
        x = ExpandSsse3(src, dst, width);
        src += static_cast<std::size_t>(x) * 3;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels from three 32-bit words: a byte at a time, this loop was the costliest
        // step of showing a picture after decoding it.
        for (; x + 4 <= width; x += 4, src += 12) {
            std::uint32_t a;
            std::uint32_t b;
            std::uint32_t c;
            std::memcpy(&a, src, 4);      // b0 g0 r0 b1
            std::memcpy(&b, src + 4, 4);  // g1 r1 b2 g2
            std::memcpy(&c, src + 8, 4);  // r2 b3 g3 r3
            dst[x] = kOpaquePixel | (a & 0xFFFFFFu);
            dst[x + 1] = kOpaquePixel | (a >> 24) | ((b & 0xFFFFu) << 8);
            dst[x + 2] = kOpaquePixel | (b >> 16) | ((c & 0xFFu) << 16);
            dst[x + 3] = kOpaquePixel | (c >> 8);
        }
    }
    for (; x < width; ++x, src += 3)
        dst[x] = kOpaquePixel | (std::uint32_t(src[2]) << 16) | (std::uint32_t(src[1]) << 8) | src[0];
}

} // namespace kv
