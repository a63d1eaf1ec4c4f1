// Accuracy of both fixed-point inverse DCTs against a double-precision one, in the manner of
// IEEE 1180: random pixel blocks are transformed forward exactly, rounded to integer
// coefficients, and the integer inverse is compared with the rounded exact inverse.
#include "video/mpeg4/idct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace kv::mpeg4 {
namespace {

double Basis(int k, int n)
{
    const double c = k ? 1.0 : M_SQRT1_2;
    return c * std::cos((2 * n + 1) * k * M_PI / 16) / 2;
}

// Separable transforms: rows, then columns. inverse selects the direction.
void Transform(const double in[64], double out[64], bool inverse)
{
    double tmp[64];
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k) {
            double s = 0;
            for (int n = 0; n < 8; ++n)
                s += in[r * 8 + n] * (inverse ? Basis(n, k) : Basis(k, n));
            tmp[r * 8 + k] = s;
        }
    for (int c = 0; c < 8; ++c)
        for (int k = 0; k < 8; ++k) {
            double s = 0;
            for (int n = 0; n < 8; ++n)
                s += tmp[n * 8 + c] * (inverse ? Basis(n, k) : Basis(k, n));
            out[k * 8 + c] = s;
        }
}

void ForwardDct(const double in[64], double out[64]) { Transform(in, out, false); }
void InverseDct(const double in[64], double out[64]) { Transform(in, out, true); }

struct Errors {
    int peak = 0;
    double worstPixelMse = 0; // largest per-position mean square error
    double overallMse = 0;
    double worstPixelMean = 0; // largest per-position mean error (bias)
};

Errors Measure(IdctFunction idct, int low, int high, int sign, int blocks)
{
    std::mt19937 rng(1180u + static_cast<unsigned>(high) * 7u + static_cast<unsigned>(sign + 1));
    std::uniform_int_distribution<int> pixel(low, high);
    double sq[64] = {}, sum[64] = {};
    Errors e;
    for (int n = 0; n < blocks; ++n) {
        double px[64], coef[64], exact[64];
        for (double& p : px)
            p = sign * pixel(rng);
        ForwardDct(px, coef);
        int32_t block[64];
        for (int i = 0; i < 64; ++i) {
            coef[i] = std::clamp(std::nearbyint(coef[i]), -2048.0, 2047.0);
            block[i] = static_cast<int32_t>(coef[i]);
        }
        InverseDct(coef, exact);
        idct(block, block);
        for (int i = 0; i < 64; ++i) {
            const double ref = std::clamp(std::nearbyint(exact[i]), -256.0, 255.0);
            const double got = std::clamp<double>(block[i], -256.0, 255.0);
            const double d = got - ref;
            e.peak = std::max(e.peak, static_cast<int>(std::abs(d)));
            sq[i] += d * d;
            sum[i] += d;
        }
    }
    for (int i = 0; i < 64; ++i) {
        e.worstPixelMse = std::max(e.worstPixelMse, sq[i] / blocks);
        e.worstPixelMean = std::max(e.worstPixelMean, std::abs(sum[i]) / blocks);
        e.overallMse += sq[i] / blocks / 64;
    }
    return e;
}

TEST(Idct, BothPrecisionsStayCloseToTheExactTransform)
{
    struct Range {
        int low, high;
        bool small;
    } ranges[] = {{-256, 255, false}, {-5, 5, true}, {-300, 300, false}};
    struct Bounds {
        int peak;
        double pixelMse, overallMse, pixelMean;
    };
    struct Variant {
        const char* name;
        IdctFunction fn;
        Bounds small, large;
    } variants[] = {
        // Viewer: never more than one unit off.
        {"viewer", IdctHigh, {1, 0.01, 0.005, 0.01}, {1, 0.1, 0.08, 0.025}},
        // Motion module: its 8-bit constants carry a gain error of about 1 %, which shows
        // on large amplitudes.
        {"motion", IdctLow, {1, 0.02, 0.015, 0.01}, {4, 1.0, 0.95, 0.08}},
    };
    for (const Variant& v : variants) {
        for (const Range& r : ranges) {
            for (int sign : {1, -1}) {
                const Errors e = Measure(v.fn, r.low, r.high, sign, 5000);
                std::printf("%-6s range %4d..%3d sign %+d: peak %d, worst pixel mse %.4f, overall mse %.4f, "
                            "worst pixel mean %.4f\n",
                            v.name, r.low, r.high, sign, e.peak, e.worstPixelMse, e.overallMse, e.worstPixelMean);
                const Bounds& b = r.small ? v.small : v.large;
                EXPECT_LE(e.peak, b.peak) << v.name << " " << r.high;
                EXPECT_LE(e.worstPixelMse, b.pixelMse) << v.name << " " << r.high;
                EXPECT_LE(e.overallMse, b.overallMse) << v.name << " " << r.high;
                EXPECT_LE(e.worstPixelMean, b.pixelMean) << v.name << " " << r.high;
            }
        }
    }
}

TEST(Idct, ZeroBlockStaysZeroAndHostileInputStaysDefined)
{
    for (IdctFunction fn : {IdctHigh, IdctLow}) {
        int32_t zero[64] = {};
        fn(zero, zero);
        EXPECT_TRUE(std::all_of(zero, zero + 64, [](int32_t v) { return v == 0; }));
        int32_t big[64];
        for (int i = 0; i < 64; ++i)
            big[i] = (i & 1) ? -2048 : 2047;
        fn(big, big); // must not overflow (the sanitizer build checks)
        uint8_t out[64];
        PutBlock(big, out, 8);
    }
}

TEST(Idct, PutAndAddClampToPixelRange)
{
    int32_t block[64];
    for (int i = 0; i < 64; ++i)
        block[i] = i * 10 - 300;
    uint8_t put[8 * 8], add[8 * 8];
    std::fill(add, add + 64, 100);
    PutBlock(block, put, 8);
    AddBlock(block, add, 8);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(put[i], std::clamp(i * 10 - 300, 0, 255));
        EXPECT_EQ(add[i], std::clamp(100 + i * 10 - 300, 0, 255));
    }
}

} // namespace
} // namespace kv::mpeg4
