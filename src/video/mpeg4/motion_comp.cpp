#include "video/mpeg4/motion_comp.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kv::mpeg4 {
namespace {

// One routine per half-pel case and block size, so the inner loops carry no tests.
template <int N>
void Copy(uint8_t* d, int ds, const uint8_t* s, int ss, int)
{
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        std::memcpy(d, s, N);
}

#if defined(__SSE2__)
// Half-sample averages sixteen or eight samples at a time. _mm_avg_epu8 rounds halves up;
// with the rounding control set halves round down, which is the same average less the low
// bit of a ^ b.
template <int N>
inline __m128i Load(const uint8_t* p)
{
    if constexpr (N == 16)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    else
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
template <int N>
inline void Store(uint8_t* p, __m128i v)
{
    if constexpr (N == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

template <int N, int R>
inline __m128i Average2(__m128i a, __m128i b)
{
    const __m128i avg = _mm_avg_epu8(a, b);
    if constexpr (R == 0)
        return avg;
    else
        return _mm_sub_epi8(avg, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

template <int N, int R, bool Vertical>
void Avg2(uint8_t* d, int ds, const uint8_t* s, int ss)
{
    const int step = Vertical ? ss : 1;
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        Store<N>(d, Average2<N, R>(Load<N>(s), Load<N>(s + step)));
}

template <int N>
void AvgH(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    r ? Avg2<N, 1, false>(d, ds, s, ss) : Avg2<N, 0, false>(d, ds, s, ss);
}
template <int N>
void AvgV(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    r ? Avg2<N, 1, true>(d, ds, s, ss) : Avg2<N, 0, true>(d, ds, s, ss);
}

// Horizontal pair sums of one row in 16-bit lanes (low and high eight samples).
template <int N>
inline void PairSums(const uint8_t* s, __m128i& lo, __m128i& hi)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = Load<N>(s), b = Load<N>(s + 1);
    lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    if constexpr (N == 16)
        hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    else
        hi = zero;
}

template <int N>
void AvgHV(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    const __m128i add = _mm_set1_epi16(static_cast<short>(2 - r));
    __m128i lo0, hi0;
    PairSums<N>(s, lo0, hi0);
    for (int y = 0; y < N; ++y, d += ds, s += ss) {
        __m128i lo1, hi1;
        PairSums<N>(s + ss, lo1, hi1);
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(lo0, lo1), add), 2);
        const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(hi0, hi1), add), 2);
        Store<N>(d, _mm_packus_epi16(lo, hi));
        lo0 = lo1;
        hi0 = hi1;
    }
}
#else
template <int N>
void AvgH(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    const int add = 1 - r;
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        for (int x = 0; x < N; ++x)
            d[x] = static_cast<uint8_t>((s[x] + s[x + 1] + add) >> 1);
}

template <int N>
void AvgV(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    const int add = 1 - r;
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        for (int x = 0; x < N; ++x)
            d[x] = static_cast<uint8_t>((s[x] + s[x + ss] + add) >> 1);
}

template <int N>
void AvgHV(uint8_t* d, int ds, const uint8_t* s, int ss, int r)
{
    const int add = 2 - r;
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        for (int x = 0; x < N; ++x)
            d[x] = static_cast<uint8_t>((s[x] + s[x + 1] + s[x + ss] + s[x + ss + 1] + add) >> 2);
}

#endif

using PredictFn = void (*)(uint8_t*, int, const uint8_t*, int, int);
constexpr PredictFn kPredict8[4] = {Copy<8>, AvgH<8>, AvgV<8>, AvgHV<8>};
constexpr PredictFn kPredict16[4] = {Copy<16>, AvgH<16>, AvgV<16>, AvgHV<16>};

} // namespace

void PredictBlock(uint8_t* dst, int dstStride, const uint8_t* refOrigin, int refStride, int hx,
                  int hy, int size, int rounding)
{
    const uint8_t* src = refOrigin + static_cast<ptrdiff_t>(hy >> 1) * refStride + (hx >> 1);
    const int mode = (hx & 1) | ((hy & 1) << 1);
    (size == 16 ? kPredict16 : kPredict8)[mode](dst, dstStride, src, refStride, rounding);
}

} // namespace kv::mpeg4
