#include "video/mpeg4/picture_ops.h"

#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <cstring>

namespace kv::mpeg4 {

void PadBorders(uint8_t* origin, int stride, int width, int height, int border)
{
    for (int y = 0; y < height; ++y) {
        uint8_t* row = origin + static_cast<ptrdiff_t>(y) * stride;
        std::memset(row - border, row[0], static_cast<size_t>(border));
        std::memset(row + width, row[width - 1], static_cast<size_t>(border));
    }
    const uint8_t* top = origin - border;
    const uint8_t* bottom = top + static_cast<ptrdiff_t>(height - 1) * stride;
    const size_t rowBytes = static_cast<size_t>(width + 2 * border);
    for (int y = 1; y <= border; ++y) {
        std::memcpy(origin - border - static_cast<ptrdiff_t>(y) * stride, top, rowBytes);
        std::memcpy(const_cast<uint8_t*>(bottom) + static_cast<ptrdiff_t>(y) * stride, bottom, rowBytes);
    }
}

namespace {

inline uint8_t Tap4(int a, int b, int c, int d)
{
    return static_cast<uint8_t>(std::clamp((-a + 9 * b + 9 * c - d + 8) >> 4, 0, 255));
}

// One row of n samples into 2n: the ends use repeated edge samples, the middle needs no
// index tests.
void EnlargeRow(const uint8_t* s, int n, uint8_t* d)
{
    auto at = [&](int i) { return static_cast<int>(s[std::clamp(i, 0, n - 1)]); };
    for (int i = 0; i < n; ++i) {
        d[2 * i] = s[i];
        if (i == 1 && n > 3) {
            for (; i < n - 2; ++i) {
                d[2 * i] = s[i];
                d[2 * i + 1] = Tap4(s[i - 1], s[i], s[i + 1], s[i + 2]);
            }
            d[2 * i] = s[i];
        }
        d[2 * i + 1] = Tap4(at(i - 1), at(i), at(i + 1), at(i + 2));
    }
}

} // namespace

void Enlarge2x(const uint8_t* src, int srcStride, int w, int h, uint8_t* dst, uint8_t* rows)
{
    const int w2 = 2 * w;
    // Widened source rows live in four slots (row & 3); each is made once, when first needed.
    int held[4] = {-1, -1, -1, -1};
    auto widened = [&](int y) {
        y = std::clamp(y, 0, h - 1);
        uint8_t* slot = rows + static_cast<ptrdiff_t>(y & 3) * w2;
        if (held[y & 3] != y) {
            EnlargeRow(src + static_cast<ptrdiff_t>(y) * srcStride, w, slot);
            held[y & 3] = y;
        }
        return static_cast<const uint8_t*>(slot);
    };
    for (int y = 0; y < h; ++y) {
        const uint8_t* r0 = widened(y - 1);
        const uint8_t* r1 = widened(y);
        const uint8_t* r2 = widened(y + 1);
        const uint8_t* r3 = widened(y + 2);
        uint8_t* even = dst + static_cast<ptrdiff_t>(2 * y) * w2;
        uint8_t* odd = even + w2;
        std::memcpy(even, r1, static_cast<size_t>(w2));
        for (int x = 0; x < w2; ++x)
            odd[x] = Tap4(r0[x], r1[x], r2[x], r3[x]);
    }
}

void DeblockLine(uint8_t* p, int step, int qp)
{
    int v[10];
    for (int i = 0; i < 10; ++i)
        v[i] = p[i * step];
    int flat = 0;
    for (int i = 0; i < 9; ++i)
        flat += std::abs(v[i] - v[i + 1]) < 3;

    if (flat < 6) {
        const int a0 = 5 * (v[5] - v[4]) + 2 * (v[3] - v[6]);
        if (std::abs(a0) >= 8 * qp)
            return;
        const int a1 = 5 * (v[3] - v[2]) + 2 * (v[1] - v[4]);
        const int a2 = 5 * (v[7] - v[6]) + 2 * (v[5] - v[8]);
        const int m = std::min(std::abs(a1), std::abs(a2));
        if (std::abs(a0) <= m)
            return;
        int d = (5 * (std::abs(a0) - m) + 32) >> 6;
        if (a0 > 0)
            d = -d;
        const int limit = (v[4] - v[5]) / 2;
        d = limit >= 0 ? std::clamp(d, 0, limit) : std::clamp(d, limit, 0);
        p[4 * step] = static_cast<uint8_t>(v[4] - d);
        p[5 * step] = static_cast<uint8_t>(v[5] + d);
        return;
    }

    const int lo = *std::min_element(v + 1, v + 9);
    const int hi = *std::max_element(v + 1, v + 9);
    if (hi - lo >= 2 * qp)
        return;
    const int before = std::abs(v[1] - v[0]) < qp ? v[0] : v[1];
    const int after = std::abs(v[8] - v[9]) < qp ? v[9] : v[8];
    // Samples -3 ... 12 with the outer ones replaced by the edge values.
    int s[16];
    for (int i = 0; i < 16; ++i) {
        const int k = i - 3;
        s[i] = k < 1 ? before : k > 8 ? after : v[k];
    }
    static constexpr int kWeights[9] = {1, 1, 2, 2, 4, 2, 2, 1, 1};
    for (int n = 1; n <= 8; ++n) {
        int sum = 8;
        for (int k = -4; k <= 4; ++k)
            sum += kWeights[k + 4] * s[n + k + 3];
        p[n * step] = static_cast<uint8_t>(sum >> 4);
    }
}

void Deblock(uint8_t* plane, int width, int height, int qp)
{
    if (qp <= 0)
        return;
    for (int y = 8; y + 4 < height; y += 8)
        for (int x = 0; x < width; ++x)
            DeblockLine(plane + static_cast<ptrdiff_t>(y - 5) * width + x, width, qp);
    for (int y = 0; y < height; ++y)
        for (int x = 8; x + 4 < width; x += 8)
            DeblockLine(plane + static_cast<ptrdiff_t>(y) * width + x - 5, 1, qp);
}

} // namespace kv::mpeg4
