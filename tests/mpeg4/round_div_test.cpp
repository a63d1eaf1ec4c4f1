// Prediction scales neighbouring values by a division rounded half away from zero; the
// multiply-by-reciprocal form must agree with a true division for every divisor and every
// dividend a 12-bit level times a scaler or quantiser can reach, halves included.
#include "video/mpeg4/round_div.h"

#include <gtest/gtest.h>

namespace kv::mpeg4 {
namespace {

int ExactRoundDiv(int a, int b)
{
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

TEST(RoundDiv, MatchesDivisionForEveryReachableDividend)
{
    constexpr int kLimit = 2048 * 63; // beyond any level times scaler or quantiser
    for (int b = 1; b < 64; ++b)
        for (int a = -kLimit; a <= kLimit; ++a)
            ASSERT_EQ(ExactRoundDiv(a, b), RoundDiv(a, b)) << a << " / " << b;
}

TEST(RoundDiv, HalvesRoundAwayFromZero)
{
    EXPECT_EQ(3, RoundDiv(5, 2));
    EXPECT_EQ(-3, RoundDiv(-5, 2));
    EXPECT_EQ(64, RoundDiv(1024, 16));
    EXPECT_EQ(1, RoundDiv(23, 46));
    EXPECT_EQ(0, RoundDiv(22, 46));
}

} // namespace
} // namespace kv::mpeg4
