#include "video/mpeg4/idct.h"

#include <algorithm>
#include <cstring>

#include <immintrin.h>

// The vector helpers below are always inlined; the note about how 32-byte vectors would be
// passed between functions does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace kv::mpeg4 {
namespace {

// The butterfly's constants are the cosines scaled by 2^Bits (two of them by 2^(Bits+1),
// folded into the 1/sqrt(2) of the odd part).
template <int Bits>
struct Constants;

template <>
struct Constants<10> {
    static constexpr uint32_t c4 = 362, c6 = 196, c2 = 473, c1 = 502, c7 = 100, c3 = 426, c5 = 284,
                              r2 = 724;
};
template <>
struct Constants<8> {
    static constexpr uint32_t c4 = 91, c6 = 49, c2 = 118, c1 = 126, c7 = 25, c3 = 106, c5 = 71,
                              r2 = 181;
};

// Unsigned lanes wrap on overflow; shifts go through the signed view so they stay
// arithmetic. U is uint32_t for the row pass and a vector of eight for the column pass.
typedef uint32_t VecU __attribute__((vector_size(32)));
typedef int32_t VecS __attribute__((vector_size(32)));

constexpr uint32_t Sar(uint32_t v, int n) { return static_cast<uint32_t>(static_cast<int32_t>(v) >> n); }
inline VecU Sar(const VecU& v, int n) { return reinterpret_cast<VecU>(reinterpret_cast<const VecS&>(v) >> n); }

template <int Bits, bool Rows, typename U>
__attribute__((always_inline)) constexpr void Butterfly(const U x[8], U y[8])
{
    using C = Constants<Bits>;
    const U A = (x[0] + x[4]) * C::c4;
    const U B = (x[0] - x[4]) * C::c4;
    const U E = x[2] * C::c6 - x[6] * C::c2;
    const U V = x[2] * C::c2 + x[6] * C::c6;
    const U e0 = A + V, e1 = B + E, e2 = B - E, e3 = A - V;

    const U a = x[1] * C::c1 + x[7] * C::c7;
    const U o = x[1] * C::c7 - x[7] * C::c1;
    const U b = x[3] * C::c3 + x[5] * C::c5;
    const U u = x[5] * C::c3 - x[3] * C::c5;
    const U d0 = a + b, d3 = o + u;
    const U s = (a - b) + (o - u);
    const U t = (a - b) - (o - u);
    U d1, d2;
    if constexpr (Rows) {
        d1 = Sar(s * C::r2 + (1u << (Bits - 1)), Bits);
        d2 = Sar(t * C::r2 + (1u << (Bits - 1)), Bits);
    } else {
        d1 = Sar(s, Bits) * C::r2 + 128;
        d2 = Sar(t, Bits) * C::r2 + 128;
    }
    y[0] = e0 + d0;
    y[7] = e0 - d0;
    y[1] = e1 + d1;
    y[6] = e1 - d1;
    y[2] = e2 + d2;
    y[5] = e2 - d2;
    y[3] = e3 + d3;
    y[4] = e3 - d3;
}

// Rows one by one (most rows of a real block are empty or hold only their first term),
// then all eight columns at once in vector lanes.
// Always inlined, so that each clone of the callers compiles it for its own processor.
template <int Bits>
__attribute__((always_inline)) inline void Idct(const int32_t in[64], int32_t out[64])
{
    alignas(32) uint32_t tmp[64];
    for (int r = 0; r < 8; ++r) {
        const int32_t* row = in + r * 8;
        uint32_t* t = tmp + r * 8;
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            // Only the first term: every output of the butterfly is x0 * c4 (the rounded
            // d1 and d2 of a zero input are 0).
            const uint32_t v = static_cast<uint32_t>(row[0]) * Constants<Bits>::c4;
            for (int i = 0; i < 8; ++i)
                t[i] = v;
            continue;
        }
        uint32_t x[8];
        for (int i = 0; i < 8; ++i)
            x[i] = static_cast<uint32_t>(row[i]);
        Butterfly<Bits, true>(x, t);
    }
    VecU x[8], y[8];
    for (int i = 0; i < 8; ++i)
        std::memcpy(&x[i], tmp + i * 8, sizeof(VecU));
    Butterfly<Bits, false>(x, y);
    const uint32_t round = 1u << (2 * Bits - 1);
    for (int i = 0; i < 8; ++i) {
        const VecU v = Sar(y[i] + round, 2 * Bits);
        std::memcpy(out + i * 8, &v, sizeof(VecU));
    }
}

// The eight row values of a block whose only non-zero coefficient is the first: the row
// pass gives x0 * c4 everywhere, and the column pass adds its rounded d1 and d2 terms (128
// each for a zero odd part) to rows 1, 2 and takes them from rows 5, 6. Same wrap-around
// arithmetic as the full transform.
template <int Bits>
inline void DcRows(int32_t dc, int32_t rows[8])
{
    using C = Constants<Bits>;
    const uint32_t a = static_cast<uint32_t>(dc) * C::c4 * C::c4;
    const uint32_t round = 1u << (2 * Bits - 1);
    const int32_t e = static_cast<int32_t>(a + round) >> (2 * Bits);
    const int32_t plus = static_cast<int32_t>(a + 128 + round) >> (2 * Bits);
    const int32_t minus = static_cast<int32_t>(a - 128 + round) >> (2 * Bits);
    rows[0] = e, rows[1] = plus, rows[2] = plus, rows[3] = e;
    rows[4] = e, rows[5] = minus, rows[6] = minus, rows[7] = e;
}

// What the column pass adds, before the final rounding shift, to the first coefficient's
// term in a block whose only other non-zero coefficient is the last one, equal to 1: the
// mismatch control of the first quantisation method leaves exactly that on every block that
// would otherwise hold its first coefficient alone. Rows 1-6 of such a block are empty, row 7
// holds only its last term, so each column's odd part depends on that term alone and the
// result is out[r][c] = (dc x c4 x c4 + k[r][c] + round) >> (2 x Bits), exactly as the full
// transform computes it.
template <int Bits>
struct DcLastTerms {
    uint32_t k[64];
};
template <int Bits>
constexpr DcLastTerms<Bits> MakeDcLastTerms()
{
    uint32_t lastRow[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    uint32_t w[8] = {};
    Butterfly<Bits, true>(lastRow, w);
    DcLastTerms<Bits> t{};
    for (int c = 0; c < 8; ++c) {
        uint32_t x[8] = {0, 0, 0, 0, 0, 0, 0, w[c]};
        uint32_t y[8] = {};
        Butterfly<Bits, false>(x, y);
        for (int r = 0; r < 8; ++r)
            t.k[r * 8 + c] = y[r];
    }
    return t;
}
template <int Bits>
inline constexpr DcLastTerms<Bits> kDcLastTerms = MakeDcLastTerms<Bits>();

} // namespace

// Baseline builds only. The decoder reaches its AVX2 code through the BlockOps table chosen
// when it is created; multi-versioned functions here would need loader-time resolvers, which
// run before a sanitizer's runtime is ready and crash instrumented programs at start-up.
void IdctHigh(const int32_t in[64], int32_t out[64])
{
    Idct<10>(in, out);
}
void IdctLow(const int32_t in[64], int32_t out[64])
{
    Idct<8>(in, out);
}

namespace {
typedef uint8_t Vec8B __attribute__((vector_size(8)));

inline void ClampRow(const VecS& in, uint8_t* dst)
{
    const VecS zero = {}, max = zero + 255;
    VecS v = in < zero ? zero : in;
    v = v > max ? max : v;
    const Vec8B p = __builtin_convertvector(v, Vec8B);
    std::memcpy(dst, &p, sizeof p);
}
} // namespace

void PutBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride) {
        VecS v;
        std::memcpy(&v, block + r * 8, sizeof v);
        ClampRow(v, dst);
    }
}

void AddBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride) {
        VecS v;
        Vec8B p;
        std::memcpy(&v, block + r * 8, sizeof v);
        std::memcpy(&p, dst, sizeof p);
        ClampRow(v + __builtin_convertvector(p, VecS), dst);
    }
}

// The transform followed by the store, for processors with AVX2: the results go from the
// column pass to the picture without a trip through memory, four rows per pack.
namespace {

__attribute__((target("avx2"), always_inline)) inline void Store4Rows(__m256i v0, __m256i v1, __m256i v2,
                                                                      __m256i v3, uint8_t* dst, int stride)
{
    // Signed saturation to 16 bits, then unsigned to 8 bits, clamps exactly to 0 ... 255.
    const __m256i p01 = _mm256_packs_epi32(v0, v1);
    const __m256i p23 = _mm256_packs_epi32(v2, v3);
    const __m256i b = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(p01, p23),
                                                  _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    const __m128i lo = _mm256_castsi256_si128(b), hi = _mm256_extracti128_si256(b, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_unpackhi_epi64(lo, lo));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 2 * stride), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 3 * stride), _mm_unpackhi_epi64(hi, hi));
}

__attribute__((target("avx2"), always_inline)) inline __m256i LoadRow(const int32_t* p)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"), always_inline)) inline __m256i AddPixels(__m256i v, const uint8_t* dst)
{
    return _mm256_add_epi32(v, _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst))));
}

// r[i] becomes the i-th column of the 8x8 matrix whose rows r held.
__attribute__((target("avx2"), always_inline)) inline void Transpose(__m256i r[8])
{
    __m256i t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

// Both passes in vector lanes: the rows are transposed into lanes, transformed eight at a
// time and transposed back for the column pass. The row pass gives the same values as the
// one-row-at-a-time code (its shortcut for rows holding only their first term is exact).
template <int Bits, bool Add>
__attribute__((target("avx2"))) void IdctStoreAvx2(const int32_t in[64], uint8_t* dst, int stride)
{
    // Loaded one by one in so many words: as a loop, the compiler turns the loads into a
    // copy of the block to the stack and reloads it, stalling on the copy.
    __m256i r[8] = {LoadRow(in), LoadRow(in + 8), LoadRow(in + 16), LoadRow(in + 24),
                    LoadRow(in + 32), LoadRow(in + 40), LoadRow(in + 48), LoadRow(in + 56)};
    Transpose(r);
    VecU x[8], y[8];
    for (int i = 0; i < 8; ++i)
        x[i] = reinterpret_cast<VecU>(r[i]);
    Butterfly<Bits, true>(x, y);
    for (int i = 0; i < 8; ++i)
        r[i] = reinterpret_cast<__m256i>(y[i]);
    Transpose(r);
    for (int i = 0; i < 8; ++i)
        x[i] = reinterpret_cast<VecU>(r[i]);
    Butterfly<Bits, false>(x, y);
    const uint32_t round = 1u << (2 * Bits - 1);
    __m256i v[8];
    for (int i = 0; i < 8; ++i) {
        // shifted here rather than through Sar: a vector returned from a function compiled
        // without AVX is an ABI mismatch that clang refuses
        const VecS sum = reinterpret_cast<VecS>(y[i] + round);
        v[i] = reinterpret_cast<__m256i>(sum >> (2 * Bits));
        if constexpr (Add)
            v[i] = AddPixels(v[i], dst + i * stride);
    }
    Store4Rows(v[0], v[1], v[2], v[3], dst, stride);
    Store4Rows(v[4], v[5], v[6], v[7], dst + 4 * stride, stride);
}

template <int Bits, bool Add>
void IdctStoreGeneric(const int32_t in[64], uint8_t* dst, int stride)
{
    alignas(32) int32_t out[64];
    Idct<Bits>(in, out);
    if constexpr (Add)
        AddBlock(out, dst, stride);
    else
        PutBlock(out, dst, stride);
}

template <int Bits, bool Add>
void DcStore(int32_t dc, uint8_t* dst, int stride)
{
    int32_t rows[8];
    DcRows<Bits>(dc, rows);
    for (int r = 0; r < 8; ++r, dst += stride) {
        if constexpr (Add) {
            // |rows[r]| stays below 2^16 (a 32-bit value shifted down by 16 or 20 bits), so
            // adding it to a sample cannot wrap; clamp(p + v, 0, 255) is then a saturating
            // add or subtract of min(|v|, 255).
#if defined(__SSE2__)
            const int v = rows[r];
            const __m128i m = _mm_set1_epi8(static_cast<char>(std::min(v < 0 ? -v : v, 255)));
            const __m128i p = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v < 0 ? _mm_subs_epu8(p, m) : _mm_adds_epu8(p, m));
#else
            for (int i = 0; i < 8; ++i)
                dst[i] = static_cast<uint8_t>(std::clamp(rows[r] + dst[i], 0, 255));
#endif
        } else {
            const uint64_t v = static_cast<uint64_t>(std::clamp(rows[r], 0, 255)) * 0x0101010101010101ull;
            std::memcpy(dst, &v, 8);
        }
    }
}

template <int Bits, bool Add>
void DcLastStore(int32_t dc, uint8_t* dst, int stride)
{
    using C = Constants<Bits>;
    const uint32_t a = static_cast<uint32_t>(dc) * C::c4 * C::c4 + (1u << (2 * Bits - 1));
    const uint32_t* k = kDcLastTerms<Bits>.k;
#if defined(__SSE2__)
    // Results lie within 12 bits, so packing to 16 bits loses nothing and the saturating
    // steps clamp exactly.
    const __m128i av = _mm_set1_epi32(static_cast<int32_t>(a));
    const __m128i zero = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r, dst += stride, k += 8) {
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)), av), 2 * Bits);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k + 4)), av), 2 * Bits);
        __m128i v = _mm_packs_epi32(lo, hi);
        if constexpr (Add)
            v = _mm_adds_epi16(v, _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(v, v));
    }
#else
    for (int r = 0; r < 8; ++r, dst += stride, k += 8)
        for (int i = 0; i < 8; ++i) {
            const int v = static_cast<int32_t>(k[i] + a) >> (2 * Bits);
            dst[i] = static_cast<uint8_t>(std::clamp(Add ? v + dst[i] : v, 0, 255));
        }
#endif
}

} // namespace

BlockOps SelectBlockOps(bool lowPrecision, bool allowAvx2)
{
    __builtin_cpu_init();
    const bool avx2 = allowAvx2 && __builtin_cpu_supports("avx2");
    if (lowPrecision)
        return avx2 ? BlockOps{IdctStoreAvx2<8, false>, IdctStoreAvx2<8, true>, DcStore<8, false>, DcStore<8, true>,
                               DcLastStore<8, false>, DcLastStore<8, true>}
                    : BlockOps{IdctStoreGeneric<8, false>, IdctStoreGeneric<8, true>, DcStore<8, false>, DcStore<8, true>,
                               DcLastStore<8, false>, DcLastStore<8, true>};
    return avx2 ? BlockOps{IdctStoreAvx2<10, false>, IdctStoreAvx2<10, true>, DcStore<10, false>, DcStore<10, true>,
                           DcLastStore<10, false>, DcLastStore<10, true>}
                : BlockOps{IdctStoreGeneric<10, false>, IdctStoreGeneric<10, true>, DcStore<10, false>, DcStore<10, true>,
                           DcLastStore<10, false>, DcLastStore<10, true>};
}

} // namespace kv::mpeg4
