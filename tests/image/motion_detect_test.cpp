#include "motion_detect.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(MotionDetect, IdenticalPicturesGiveZeros)
{
    std::vector<unsigned char> a(48 * 33, 77);
    std::vector<unsigned char> out((48 / 16 + 1) * (33 / 16 + 1), 0xEE);
    MotionDetect(a.data(), a.data(), out.data(), 48, 33, 0);
    EXPECT_EQ(out, std::vector<unsigned char>(out.size(), 0));
}

TEST(MotionDetect, SaturatedCellsAndTheExtraRowAndColumn)
{
    std::vector<unsigned char> a(32 * 16, 100), b(32 * 16, 111);
    std::vector<unsigned char> out(6, 0xEE);
    MotionDetect(a.data(), b.data(), out.data(), 32, 16, 10);
    EXPECT_EQ(out, (std::vector<unsigned char>{255, 255, 0, 0, 0, 0}));
    // A difference equal to the threshold does not count.
    MotionDetect(a.data(), b.data(), out.data(), 32, 16, 11);
    EXPECT_EQ(out, std::vector<unsigned char>(6, 0));
}

TEST(MotionDetect, PartialColumnsCountIntoTheNextCell)
{
    std::vector<unsigned char> a(20 * 16, 0), b(20 * 16, 200);
    std::vector<unsigned char> out(4, 0xEE);
    MotionDetect(a.data(), b.data(), out.data(), 20, 16, 5);
    EXPECT_EQ(out, (std::vector<unsigned char>{255, 64, 0, 0}));

    // A few changed pixels counted exactly, in the right cell.
    std::vector<unsigned char> c(20 * 17, 0), d(20 * 17, 0);
    d[16 * 20 + 3] = 50;  // row 16: second cell row
    d[2 * 20 + 18] = 50;  // column 18: second cell column
    d[2 * 20 + 19] = 50;
    std::vector<unsigned char> out2(4, 0xEE);
    MotionDetect(c.data(), d.data(), out2.data(), 20, 17, 0);
    EXPECT_EQ(out2, (std::vector<unsigned char>{0, 2, 1, 0}));
}

TEST(MotionDetect, BadArgumentsLeaveTheOutputUntouched)
{
    std::vector<unsigned char> a(16, 0);
    std::vector<unsigned char> out(4, 0xEE);
    MotionDetect(a.data(), a.data(), out.data(), 0, 4, 0);
    MotionDetect(a.data(), a.data(), out.data(), 4, -1, 0);
    MotionDetect(nullptr, a.data(), out.data(), 4, 4, 0);
    EXPECT_EQ(out, std::vector<unsigned char>(4, 0xEE));
}

} // namespace
