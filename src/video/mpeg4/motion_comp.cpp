#include "video/mpeg4/motion_comp.h"

#include <cstddef>
#include <cstring>

namespace kv::mpeg4 {
namespace {

// One routine per half-pel case and block size, so the inner loops carry no tests.
template <int N>
void Copy(uint8_t* d, int ds, const uint8_t* s, int ss, int)
{
    for (int y = 0; y < N; ++y, d += ds, s += ss)
        std::memcpy(d, s, N);
}

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
