#include "video/mpeg4/idct.h"

#include <algorithm>

namespace kv::mpeg4 {
namespace {

// The butterfly's constants are the cosines scaled by 2^Bits (two of them by 2^(Bits+1),
// folded into the 1/sqrt(2) of the odd part). Products are formed in 64 bits: hostile
// coefficients can exceed 32 bits, and the result must stay defined for them.
template <int Bits>
struct Constants;

template <>
struct Constants<10> {
    static constexpr int64_t c4 = 362, c6 = 196, c2 = 473, c1 = 502, c7 = 100, c3 = 426, c5 = 284,
                             r2 = 724;
};
template <>
struct Constants<8> {
    static constexpr int64_t c4 = 91, c6 = 49, c2 = 118, c1 = 126, c7 = 25, c3 = 106, c5 = 71,
                             r2 = 181;
};

template <int Bits, bool Rows>
inline void Butterfly(const int64_t x[8], int64_t y[8])
{
    using C = Constants<Bits>;
    const int64_t A = (x[0] + x[4]) * C::c4;
    const int64_t B = (x[0] - x[4]) * C::c4;
    const int64_t E = C::c6 * x[2] - C::c2 * x[6];
    const int64_t V = C::c2 * x[2] + C::c6 * x[6];
    const int64_t e0 = A + V, e1 = B + E, e2 = B - E, e3 = A - V;

    const int64_t a = C::c1 * x[1] + C::c7 * x[7];
    const int64_t o = C::c7 * x[1] - C::c1 * x[7];
    const int64_t b = C::c3 * x[3] + C::c5 * x[5];
    const int64_t u = C::c3 * x[5] - C::c5 * x[3];
    const int64_t d0 = a + b, d3 = o + u;
    const int64_t s = (a - b) + (o - u);
    const int64_t t = (a - b) - (o - u);
    int64_t d1, d2;
    if constexpr (Rows) {
        d1 = (s * C::r2 + (int64_t{1} << (Bits - 1))) >> Bits;
        d2 = (t * C::r2 + (int64_t{1} << (Bits - 1))) >> Bits;
    } else {
        d1 = (s >> Bits) * C::r2 + 128;
        d2 = (t >> Bits) * C::r2 + 128;
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

template <int Bits>
void Idct(int32_t block[64])
{
    int64_t tmp[64];
    for (int r = 0; r < 8; ++r) {
        const int32_t* in = block + r * 8;
        int64_t* out = tmp + r * 8;
        if ((in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7]) == 0) {
            // Only the DC term: every output of the butterfly is x0 * c4 (the rounding of d1
            // and d2 yields 0 for a zero input).
            const int64_t v = int64_t{in[0]} * Constants<Bits>::c4;
            for (int i = 0; i < 8; ++i)
                out[i] = v;
            continue;
        }
        int64_t x[8];
        for (int i = 0; i < 8; ++i)
            x[i] = in[i];
        Butterfly<Bits, true>(x, out);
    }
    const int shift = 2 * Bits;
    const int64_t round = int64_t{1} << (shift - 1);
    for (int c = 0; c < 8; ++c) {
        int64_t x[8], y[8];
        for (int i = 0; i < 8; ++i)
            x[i] = tmp[i * 8 + c];
        Butterfly<Bits, false>(x, y);
        for (int i = 0; i < 8; ++i) {
            // Saturate to the 32-bit range so a hostile block cannot wrap around.
            const int64_t v = (y[i] + round) >> shift;
            block[i * 8 + c] = static_cast<int32_t>(std::clamp<int64_t>(v, -32768, 32767));
        }
    }
}

inline uint8_t Clamp255(int32_t v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

} // namespace

void IdctHigh(int32_t block[64]) { Idct<10>(block); }
void IdctLow(int32_t block[64]) { Idct<8>(block); }

void PutBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride)
        for (int c = 0; c < 8; ++c)
            dst[c] = Clamp255(block[r * 8 + c]);
}

void AddBlock(const int32_t block[64], uint8_t* dst, int stride)
{
    for (int r = 0; r < 8; ++r, dst += stride)
        for (int c = 0; c < 8; ++c)
            dst[c] = Clamp255(dst[c] + block[r * 8 + c]);
}

} // namespace kv::mpeg4
