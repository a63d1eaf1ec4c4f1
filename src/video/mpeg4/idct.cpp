#include "video/mpeg4/idct.h"

#include <algorithm>
#include <cstring>

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

inline uint32_t Sar(uint32_t v, int n) { return static_cast<uint32_t>(static_cast<int32_t>(v) >> n); }
inline VecU Sar(const VecU& v, int n) { return reinterpret_cast<VecU>(reinterpret_cast<const VecS&>(v) >> n); }

template <int Bits, bool Rows, typename U>
__attribute__((always_inline)) inline void Butterfly(const U x[8], U y[8])
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

} // namespace

// Built twice: for AVX2 (eight 32-bit multiplies per instruction) and for the baseline;
// the loader picks the one the processor runs. Both give the same results.
__attribute__((target_clones("avx2", "default"))) void IdctHigh(const int32_t in[64], int32_t out[64])
{
    Idct<10>(in, out);
}
__attribute__((target_clones("avx2", "default"))) void IdctLow(const int32_t in[64], int32_t out[64])
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

__attribute__((target_clones("avx2", "default"))) void PutBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride) {
        VecS v;
        std::memcpy(&v, block + r * 8, sizeof v);
        ClampRow(v, dst);
    }
}

__attribute__((target_clones("avx2", "default"))) void AddBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride) {
        VecS v;
        Vec8B p;
        std::memcpy(&v, block + r * 8, sizeof v);
        std::memcpy(&p, dst, sizeof p);
        ClampRow(v + __builtin_convertvector(p, VecS), dst);
    }
}

} // namespace kv::mpeg4
