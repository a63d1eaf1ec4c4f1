#include "mpeg4dec.h"
#include <gtest/gtest.h>
TEST(Smoke, Create) { auto* d = reinterpret_cast<DECODER*>(decoder_create()); ASSERT_NE(d, nullptr); EXPECT_EQ(decoder_destroy(d), 0); }
