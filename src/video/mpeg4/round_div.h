// Division rounding to nearest, halves away from zero, as DC and AC prediction scale the
// neighbouring blocks' values: dividends are 12-bit levels times a DC scaler or quantiser,
// divisors are DC scalers or quantisers.
#pragma once

#include <cstdint>

namespace kv::mpeg4 {

// Rounded-up reciprocals 2^32 / b for the divisors 1 ... 63.
struct Reciprocals {
    uint64_t m[64];
};
constexpr Reciprocals MakeReciprocals()
{
    Reciprocals r{};
    for (uint64_t b = 1; b < 64; ++b)
        r.m[b] = ((uint64_t{1} << 32) + b - 1) / b;
    return r;
}
inline constexpr Reciprocals kReciprocals = MakeReciprocals();

// For b in 1 ... 63 and |a| + b / 2 below 2^26. A multiplication by the reciprocal instead of
// a hardware division, which costs more than the rest of a typical block: the reciprocal's
// error is below 1 / 2^32 per unit of dividend, too little to carry a quotient past the next
// integer while the dividend stays below 2^32 / b.
inline int RoundDiv(int a, int b)
{
    const uint32_t n = static_cast<uint32_t>(a >= 0 ? a : -a) + static_cast<uint32_t>(b / 2);
    const int q = static_cast<int>((uint64_t{n} * kReciprocals.m[b]) >> 32);
    return a >= 0 ? q : -q;
}

} // namespace kv::mpeg4
