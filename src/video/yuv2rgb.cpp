// Planar YUV 4:2:0 to bottom-up 24-bit BGR (see include/yuv2rgb.h for the contract).
//
// The five coefficient tables and the clip table define the result. The tables are linear in
// the sample, so the vector paths compute the same sums with multiplies and clip with
// saturating packs, which is what the clip table holds; tests compare every path with the
// table lookups on random pictures of many sizes.
#include "yuv2rgb.h"
#include "video/yuv2rgb32.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KV_YUV2RGB_X86 1
#endif

namespace {

constexpr std::int32_t kYFactor = 76309;       // 1.164 x 65536
constexpr std::int32_t kVRedFactor = 104597;   // 1.596
constexpr std::int32_t kUGreenFactor = 25675;  // 0.392
constexpr std::int32_t kVGreenFactor = 53279;  // 0.813
constexpr std::int32_t kUBlueFactor = 132201;  // 2.017

using Table = std::array<std::int32_t, 256>;

constexpr Table MakeTable(std::int32_t factor, int centre) {
    Table t{};
    for (int s = 0; s < 256; ++s) {
        t[static_cast<std::size_t>(s)] = factor * (s - centre);
    }
    return t;
}

// The values never change, so they are constant-initialised: building them again in init
// could only race with a conversion running on another thread.
constexpr Table kYTab = MakeTable(kYFactor, 16);
constexpr Table kVRedTab = MakeTable(kVRedFactor, 128);
constexpr Table kUGreenTab = MakeTable(kUGreenFactor, 128);
constexpr Table kVGreenTab = MakeTable(kVGreenFactor, 128);
constexpr Table kUBlueTab = MakeTable(kUBlueFactor, 128);

// ClipTable: 1024 bytes for indices -384 ... 639. Every (sum >> 16) lies in that range:
// the extremes are 76309 x 239 + 132201 x 127 = 35 029 378 -> 534 and
// -76309 x 16 - 132201 x 128 = -18 142 672 -> -277.
constexpr int kClipSize = 1024;
constexpr int kClipOffset = 384;
std::atomic<std::uint8_t*> g_clipBlock{nullptr};

struct Picture {
    const std::uint8_t* y;
    const std::uint8_t* u;
    const std::uint8_t* v;
    std::uint8_t* dst;
    int width;
    int height;
    int chromaWidth;
    int chromaHeight;

    [[nodiscard]] std::uint8_t* DstRow(int row) const {
        return dst + static_cast<std::size_t>(height - 1 - row) * static_cast<std::size_t>(width) * 3;
    }
    [[nodiscard]] const std::uint8_t* URow(int chromaRow) const {
        return u + static_cast<std::size_t>(chromaRow) * static_cast<std::size_t>(chromaWidth);
    }
    [[nodiscard]] const std::uint8_t* VRow(int chromaRow) const {
        return v + static_cast<std::size_t>(chromaRow) * static_cast<std::size_t>(chromaWidth);
    }
};

// Table lookups for columns [col0, col1) of one luma row, chroma clamped to the plane.
void ScalarRow(const Picture& p, const std::uint8_t* clip, int row, int col0, int col1) {
    const std::uint8_t* yRow = p.y + static_cast<std::size_t>(row) * static_cast<std::size_t>(p.width);
    std::uint8_t* out = p.DstRow(row) + static_cast<std::size_t>(col0) * 3;
    const bool hasChroma = p.chromaWidth > 0 && p.chromaHeight > 0;
    const int chromaRow = hasChroma ? std::min(row / 2, p.chromaHeight - 1) : 0;
    const std::uint8_t* uRow = hasChroma ? p.URow(chromaRow) : nullptr;
    const std::uint8_t* vRow = hasChroma ? p.VRow(chromaRow) : nullptr;
    for (int col = col0; col < col1; ++col) {
        int u = 128;
        int v = 128;
        if (hasChroma) {
            const int c = std::min(col / 2, p.chromaWidth - 1);
            u = uRow[c];
            v = vRow[c];
        }
        const std::int32_t yy = kYTab[yRow[col]];
        out[0] = clip[(yy + kUBlueTab[static_cast<std::size_t>(u)]) >> 16];
        out[1] = clip[(yy - kVGreenTab[static_cast<std::size_t>(v)] - kUGreenTab[static_cast<std::size_t>(u)]) >> 16];
        out[2] = clip[(yy + kVRedTab[static_cast<std::size_t>(v)]) >> 16];
        out += 3;
    }
}

void ConvertScalar(const Picture& p, const std::uint8_t* clip) {
    for (int row = 0; row < p.height; ++row) {
        ScalarRow(p, clip, row, 0, p.width);
    }
}

#ifdef KV_YUV2RGB_X86

// The vector paths work on 16-bit lanes, which needs the sums split exactly:
//   76309 y' = 65536 y' + 10773 y'   and   10773 y' = 65536 hi + lo   (hi, lo: the 16-bit halves)
//   chroma term C = 65536 ch + cl    (ch = C >> 16, 0 <= cl < 65536)
// so (76309 y' + C) >> 16 = y' + ch + hi + carry, carry = 1 when lo + cl >= 65536.
// Every part fits 16 bits, and a saturating pack to bytes is the clip table.
constexpr std::int16_t kYFraction = static_cast<std::int16_t>(kYFactor - 65536);

// pshufb masks that interleave 16 pixels into 48 bytes B G R ... from the four 16-byte halves
// of packus(blue, green) and packus(red, red): "bg0" holds blue 0-7 then green 0-7, "bg1" the
// same for pixels 8-15, "r0" and "r1" red 0-7 and 8-15 (each twice). mask[chunk][source]
// selects what that source gives to output bytes 16 x chunk ... 16 x chunk + 15.
struct InterleaveMasks {
    alignas(16) std::uint8_t m[3][4][16];
};

constexpr InterleaveMasks MakeInterleaveMasks() {
    InterleaveMasks masks{};
    for (int chunk = 0; chunk < 3; ++chunk) {
        for (int i = 0; i < 16; ++i) {
            for (int source = 0; source < 4; ++source) {
                masks.m[chunk][source][i] = 0x80;
            }
            const int k = chunk * 16 + i;
            const int pixel = k / 3;
            const int half = pixel / 8;  // 0: bg0 / r0, 1: bg1 / r1
            const int q = pixel % 8;
            switch (k % 3) {
            case 0: masks.m[chunk][half][i] = static_cast<std::uint8_t>(q); break;
            case 1: masks.m[chunk][half][i] = static_cast<std::uint8_t>(8 + q); break;
            default: masks.m[chunk][2 + half][i] = static_cast<std::uint8_t>(q); break;
            }
        }
    }
    return masks;
}

constexpr InterleaveMasks kInterleave = MakeInterleaveMasks();

#define KV_AVX2 __attribute__((target("avx2")))

struct ChromaHalves16 {
    __m256i ch;  // per pixel, 16 x 16 bits (each chroma sample twice)
    __m256i cl;
};

KV_AVX2 inline ChromaHalves16 SplitChroma16(__m256i term) {
    // 8 x 32-bit terms, one per chroma sample; each becomes two equal 16-bit lanes.
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i ch = _mm256_and_si256(_mm256_srai_epi32(term, 16), low16);
    const __m256i cl = _mm256_and_si256(term, low16);
    return {_mm256_or_si256(ch, _mm256_slli_epi32(ch, 16)), _mm256_or_si256(cl, _mm256_slli_epi32(cl, 16))};
}

// base1 = y' + hi + 1; the carry test gives -1 when there is no carry.
KV_AVX2 inline __m256i Component16(__m256i base1, __m256i lo, const ChromaHalves16& c) {
    const __m256i sum = _mm256_add_epi16(lo, c.cl);
    const __m256i noCarry = _mm256_cmpeq_epi16(_mm256_max_epu16(sum, lo), sum);
    return _mm256_add_epi16(_mm256_add_epi16(base1, c.ch), noCarry);
}

KV_AVX2 inline __m128i Shuffle(__m128i source, int chunk, int which) {
    return _mm_shuffle_epi8(source, _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[chunk][which])));
}

KV_AVX2 inline void LumaRow16(const std::uint8_t* y, std::uint8_t* out, const ChromaHalves16& blue,
                              const ChromaHalves16& green, const ChromaHalves16& red) {
    const __m256i yy = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y))), _mm256_set1_epi16(16));
    const __m256i fraction = _mm256_set1_epi16(kYFraction);
    const __m256i lo = _mm256_mullo_epi16(yy, fraction);
    const __m256i base1 =
        _mm256_add_epi16(_mm256_add_epi16(yy, _mm256_mulhi_epi16(yy, fraction)), _mm256_set1_epi16(1));
    const __m256i bg = _mm256_packus_epi16(Component16(base1, lo, blue), Component16(base1, lo, green));
    const __m256i rr = _mm256_packus_epi16(Component16(base1, lo, red), Component16(base1, lo, red));
    const __m128i bg0 = _mm256_castsi256_si128(bg);
    const __m128i bg1 = _mm256_extracti128_si256(bg, 1);
    const __m128i r0 = _mm256_castsi256_si128(rr);
    const __m128i r1 = _mm256_extracti128_si256(rr, 1);
    const __m128i out0 = _mm_or_si128(Shuffle(bg0, 0, 0), Shuffle(r0, 0, 2));
    const __m128i out1 = _mm_or_si128(_mm_or_si128(Shuffle(bg0, 1, 0), Shuffle(bg1, 1, 1)),
                                      _mm_or_si128(Shuffle(r0, 1, 2), Shuffle(r1, 1, 3)));
    const __m128i out2 = _mm_or_si128(Shuffle(bg1, 2, 1), Shuffle(r1, 2, 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), out0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), out1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), out2);
}

// Columns [0, columns) of one or two luma rows sharing a chroma row; columns is a multiple of
// 16 and within twice the chroma width, so every load and store stays inside the planes.
KV_AVX2 void RowsAvx2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                      const std::uint8_t* v, std::uint8_t* d0, std::uint8_t* d1, int columns) {
    const __m256i centre = _mm256_set1_epi32(128);
    for (int x = 0; x < columns; x += 16) {
        const __m256i uu = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2))), centre);
        const __m256i vv = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2))), centre);
        const ChromaHalves16 blue = SplitChroma16(_mm256_mullo_epi32(uu, _mm256_set1_epi32(kUBlueFactor)));
        const ChromaHalves16 green = SplitChroma16(_mm256_sub_epi32(
            _mm256_setzero_si256(), _mm256_add_epi32(_mm256_mullo_epi32(vv, _mm256_set1_epi32(kVGreenFactor)),
                                                     _mm256_mullo_epi32(uu, _mm256_set1_epi32(kUGreenFactor)))));
        const ChromaHalves16 red = SplitChroma16(_mm256_mullo_epi32(vv, _mm256_set1_epi32(kVRedFactor)));
        LumaRow16(y0 + x, d0 + 3 * static_cast<std::size_t>(x), blue, green, red);
        if (y1 != nullptr) {
            LumaRow16(y1 + x, d1 + 3 * static_cast<std::size_t>(x), blue, green, red);
        }
    }
}

#undef KV_AVX2


// vpermt2b indices that gather 32 pixels into 96 bytes B G R ... from
// first = packus(blue, green) and second = packus(red, red): in each 128-bit lane L the pack
// holds pixels 8L ... 8L + 7 of its first operand in bytes 0-7 and of its second in 8-15.
struct GatherIndices {
    alignas(64) std::uint8_t idx[2][64];
};

constexpr GatherIndices MakeGatherIndices() {
    GatherIndices g{};
    for (int k = 0; k < 128; ++k) {
        const int pixel = (k / 3) % 32;  // bytes past 96 repeat harmlessly; they are not stored
        const int lane = pixel / 8;
        const int i = pixel % 8;
        int from = 0;
        switch (k % 3) {
        case 0: from = 16 * lane + i; break;            // blue: first source, low half
        case 1: from = 16 * lane + 8 + i; break;        // green: first source, high half
        default: from = 64 + 16 * lane + i; break;      // red: second source
        }
        g.idx[k / 64][k % 64] = static_cast<std::uint8_t>(from);
    }
    return g;
}

constexpr GatherIndices kGather = MakeGatherIndices();

#define KV_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// GCC 12's AVX-512 intrinsics start from an undefined register and warn about it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

struct ChromaHalves {
    __m512i ch;  // per pixel, 32 x 16 bits (each chroma sample twice)
    __m512i cl;
};

KV_AVX512 inline ChromaHalves SplitChroma(__m512i term) {
    // 16 x 32-bit terms, one per chroma sample; each becomes two equal 16-bit lanes.
    const __m512i low16 = _mm512_set1_epi32(0xFFFF);
    const __m512i ch = _mm512_and_si512(_mm512_srai_epi32(term, 16), low16);
    const __m512i cl = _mm512_and_si512(term, low16);
    return {_mm512_or_si512(ch, _mm512_slli_epi32(ch, 16)), _mm512_or_si512(cl, _mm512_slli_epi32(cl, 16))};
}

KV_AVX512 inline __m512i Component(__m512i base, __m512i lo, const ChromaHalves& c) {
    const __m512i sum = _mm512_add_epi16(lo, c.cl);
    const __mmask32 carry = _mm512_cmplt_epu16_mask(sum, lo);
    const __m512i t = _mm512_add_epi16(base, c.ch);
    return _mm512_mask_add_epi16(t, carry, t, _mm512_set1_epi16(1));
}

KV_AVX512 inline void LumaRow32(const std::uint8_t* y, std::uint8_t* out, const ChromaHalves& blue,
                                const ChromaHalves& green, const ChromaHalves& red) {
    const __m512i yy = _mm512_sub_epi16(
        _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y))), _mm512_set1_epi16(16));
    const __m512i fraction = _mm512_set1_epi16(kYFraction);
    const __m512i lo = _mm512_mullo_epi16(yy, fraction);
    const __m512i base = _mm512_add_epi16(yy, _mm512_mulhi_epi16(yy, fraction));
    const __m512i b = Component(base, lo, blue);
    const __m512i g = Component(base, lo, green);
    const __m512i r = Component(base, lo, red);
    const __m512i first = _mm512_packus_epi16(b, g);
    const __m512i second = _mm512_packus_epi16(r, r);
    const __m512i out0 = _mm512_permutex2var_epi8(first, _mm512_load_si512(kGather.idx[0]), second);
    const __m512i out1 = _mm512_permutex2var_epi8(first, _mm512_load_si512(kGather.idx[1]), second);
    _mm512_storeu_si512(out, out0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm512_castsi512_si256(out1));
}

// As RowsAvx2 with columns a multiple of 32.
KV_AVX512 void RowsAvx512(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                          const std::uint8_t* v, std::uint8_t* d0, std::uint8_t* d1, int columns) {
    const __m512i centre = _mm512_set1_epi32(128);
    for (int x = 0; x < columns; x += 32) {
        const __m512i uu = _mm512_sub_epi32(
            _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2))), centre);
        const __m512i vv = _mm512_sub_epi32(
            _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2))), centre);
        const ChromaHalves blue = SplitChroma(_mm512_mullo_epi32(uu, _mm512_set1_epi32(kUBlueFactor)));
        const ChromaHalves green = SplitChroma(_mm512_sub_epi32(
            _mm512_setzero_si512(), _mm512_add_epi32(_mm512_mullo_epi32(vv, _mm512_set1_epi32(kVGreenFactor)),
                                                     _mm512_mullo_epi32(uu, _mm512_set1_epi32(kUGreenFactor)))));
        const ChromaHalves red = SplitChroma(_mm512_mullo_epi32(vv, _mm512_set1_epi32(kVRedFactor)));
        LumaRow32(y0 + x, d0 + 3 * static_cast<std::size_t>(x), blue, green, red);
        if (y1 != nullptr) {
            LumaRow32(y1 + x, d1 + 3 * static_cast<std::size_t>(x), blue, green, red);
        }
    }
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef KV_AVX512

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
                            __builtin_cpu_supports("avx512vbmi") != 0;
    return has;
}

// Vector rows where every chroma sample lies inside the plane (x / 2 < chromaWidth), the
// remaining columns and an odd last row with the table lookups.
void ConvertVector(const Picture& p, const std::uint8_t* clip, bool wide) {
    const int limit = p.chromaHeight > 0 ? std::min(p.width, 2 * p.chromaWidth) : 0;
    const int wideColumns = wide ? (limit & ~31) : 0;
    const int columns = limit & ~15;
    if (columns == 0) {
        ConvertScalar(p, clip);
        return;
    }
    const auto lumaRow = [&p](int row) {
        return p.y + static_cast<std::size_t>(row) * static_cast<std::size_t>(p.width);
    };
    for (int row = 0; row < p.height; row += 2) {
        const int chromaRow = std::min(row / 2, p.chromaHeight - 1);
        const bool pair = row + 1 < p.height;
        const std::uint8_t* y0 = lumaRow(row);
        const std::uint8_t* y1 = pair ? lumaRow(row + 1) : nullptr;
        std::uint8_t* d0 = p.DstRow(row);
        std::uint8_t* d1 = pair ? p.DstRow(row + 1) : nullptr;
        const std::uint8_t* u = p.URow(chromaRow);
        const std::uint8_t* v = p.VRow(chromaRow);
        if (wideColumns > 0) {
            RowsAvx512(y0, y1, u, v, d0, d1, wideColumns);
        }
        if (columns > wideColumns) {
            const int c = wideColumns;
            RowsAvx2(y0 + c, pair ? y1 + c : nullptr, u + c / 2, v + c / 2, d0 + 3 * static_cast<std::size_t>(c),
                     pair ? d1 + 3 * static_cast<std::size_t>(c) : nullptr, columns - c);
        }
        if (columns < p.width) {
            ScalarRow(p, clip, row, columns, p.width);
            if (pair) {
                ScalarRow(p, clip, row + 1, columns, p.width);
            }
        }
    }
}

#endif

bool MakePicture(const unsigned char* source, unsigned char* destination, int width, int height, Picture& p) {
    if (source == nullptr || destination == nullptr || width < 1 || height < 1) {
        return false;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    const std::size_t cw = w / 2;
    const std::size_t ch = h / 2;
    p.y = source;
    p.u = source + w * h;
    p.v = p.u + cw * ch;
    p.dst = destination;
    p.width = width;
    p.height = height;
    p.chromaWidth = static_cast<int>(cw);
    p.chromaHeight = static_cast<int>(ch);
    return true;
}

// The widest path this processor has.
void ConvertFastest(const Picture& p, const std::uint8_t* clip) {
#ifdef KV_YUV2RGB_X86
    if (HasAvx2()) {
        ConvertVector(p, clip, HasAvx512());
        return;
    }
#endif
    ConvertScalar(p, clip);
}

const std::uint8_t* ClipEntryZero() {
    std::uint8_t* block = g_clipBlock.load(std::memory_order_acquire);
    return block == nullptr ? nullptr : block + kClipOffset;
}

} // namespace

extern "C" {

KV_YUV2RGB_API void init_YUV2RGB_tab(void) {
    if (g_clipBlock.load(std::memory_order_acquire) != nullptr) {
        return;
    }
    auto* block = static_cast<std::uint8_t*>(std::calloc(kClipSize, 1));
    if (block == nullptr) {
        return;  // conversions stay no-ops, as without init
    }
    for (int i = -kClipOffset; i < kClipSize - kClipOffset; ++i) {
        block[i + kClipOffset] = static_cast<std::uint8_t>(std::clamp(i, 0, 255));
    }
    std::uint8_t* expected = nullptr;
    if (!g_clipBlock.compare_exchange_strong(expected, block, std::memory_order_acq_rel)) {
        std::free(block);  // another thread built it first
    }
}

KV_YUV2RGB_API void delete_YUV2RGB_tab(void) {
    std::free(g_clipBlock.exchange(nullptr, std::memory_order_acq_rel));
}

KV_YUV2RGB_API void ConvertYUVtoRGB(const unsigned char* source, unsigned char* destination, int width, int height) {
    const std::uint8_t* clip = ClipEntryZero();
    Picture p{};
    if (clip == nullptr || !MakePicture(source, destination, width, height, p)) {
        return;
    }
    ConvertFastest(p, clip);
}

} // extern "C"

namespace kv {

const unsigned char* Yuv2RgbClipTable() {
    return ClipEntryZero();
}

const std::int32_t* Yuv2RgbCoefficientTable(int which) {
    switch (which) {
    case 0: return kYTab.data();
    case 1: return kVRedTab.data();
    case 2: return kUGreenTab.data();
    case 3: return kVGreenTab.data();
    case 4: return kUBlueTab.data();
    default: return nullptr;
    }
}

bool ConvertYUVtoRGBUsing(Yuv2RgbPath path, const unsigned char* source, unsigned char* destination, int width,
                          int height) {
#ifdef KV_YUV2RGB_X86
    const bool supported = path == Yuv2RgbPath::Tables || (path == Yuv2RgbPath::Avx2 && HasAvx2()) ||
                           (path == Yuv2RgbPath::Avx512 && HasAvx2() && HasAvx512());
#else
    const bool supported = path == Yuv2RgbPath::Tables;
#endif
    if (!supported) {
        return false;
    }
    const std::uint8_t* clip = ClipEntryZero();
    Picture p{};
    if (clip == nullptr || !MakePicture(source, destination, width, height, p)) {
        return true;
    }
#ifdef KV_YUV2RGB_X86
    if (path != Yuv2RgbPath::Tables) {
        ConvertVector(p, clip, path == Yuv2RgbPath::Avx512);
        return true;
    }
#endif
    ConvertScalar(p, clip);
    return true;
}

bool ConvertYUVtoRows32(const std::uint8_t* source, int width, int height, const PixelBuffer32& rows) {
    const std::uint8_t* clip = ClipEntryZero();
    Picture whole{};
    if (clip == nullptr || !rows || rows.width != width || rows.height != height ||
        !MakePicture(source, rows.bits, width, height, whole)) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const auto band = std::make_unique_for_overwrite<std::uint8_t[]>(2 * rowBytes);
    for (int row = 0; row < height; row += 2) {
        // Two rows sharing a chroma row, as a picture of their own: the converter writes them
        // bottom-up into the band, the second row first.
        const int chromaRow = whole.chromaHeight > 0 ? std::min(row / 2, whole.chromaHeight - 1) : 0;
        Picture pair = whole;
        pair.y = whole.y + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        pair.u = whole.URow(chromaRow);
        pair.v = whole.VRow(chromaRow);
        pair.dst = band.get();
        pair.height = std::min(2, height - row);
        pair.chromaHeight = whole.chromaHeight > 0 ? 1 : 0;
        ConvertFastest(pair, clip);
        for (int r = 0; r < pair.height; ++r) {
            ExpandBgrRow(pair.DstRow(r), rows.Row(row + r), width);
        }
    }
    return true;
}

} // namespace kv
