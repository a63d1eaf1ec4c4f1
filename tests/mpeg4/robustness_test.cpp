// Damaged input: cut, random and mutated access units must fail (or decode) cleanly, never
// read outside the input or write outside the buffers (the sanitizer build checks that).
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <random>

namespace kv::test {
namespace {

TEST(Robustness, EveryCutAccessUnitFails)
{
    const auto units = FixtureUnits("q2_160x120");
    ASSERT_GE(units.size(), 2u) << "fixture missing";
    std::vector<uint8_t> out(6 * 1024 * 768);
    DecoderPtr d = MakeDecoder();
    d->postFilter = 0;
    const auto& first = units[0];
    // The last byte may be a whole stuffing byte, which the picture does not need.
    for (size_t n = 0; n + 1 < first.size(); n += 7) {
        std::vector<uint8_t> cut(first.begin(), first.begin() + static_cast<long>(n));
        int len = 0;
        ASSERT_EQ(Decode(d.get(), out, cut, &len), 1) << n;
        ASSERT_EQ(len, 4);
        ASSERT_EQ(d->expectHeaders, 1);
    }
    std::vector<uint8_t> clean(6 * 1024 * 768);
    ASSERT_EQ(Decode(d.get(), clean, first), 0);
    d->postFilter = 0;
    const auto& p = units[1];
    for (size_t n = 0; n + 1 < p.size(); ++n) {
        std::vector<uint8_t> cut(p.begin(), p.begin() + static_cast<long>(n));
        ASSERT_EQ(Decode(d.get(), out, cut), 1) << n;
    }
    // The failures left the reference alone: the whole P-VOP now decodes as on a fresh decoder.
    DecoderPtr fresh = MakeDecoder();
    fresh->postFilter = 0;
    ASSERT_EQ(Decode(fresh.get(), clean, first), 0);
    fresh->postFilter = 0;
    ASSERT_EQ(Decode(fresh.get(), clean, p), 0);
    ASSERT_EQ(Decode(d.get(), out, p), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 160 * 120 * 3 / 2, clean.begin()));
}

TEST(Robustness, RandomAndMutatedInputNeverMisbehaves)
{
    const auto units = FixtureUnits("res16_mv4_aq_160x120");
    ASSERT_GE(units.size(), 3u) << "fixture missing";
    std::mt19937 rng(4242);
    std::vector<uint8_t> out(6 * 1024 * 768);
    int decoded = 0;
    for (int round = 0; round < 150; ++round) {
        DecoderPtr d = MakeDecoder(round & 1 ? kMensiloProfile : kKavaroProfile);
        for (size_t k = 0; k < 4 && k < units.size(); ++k) {
            std::vector<uint8_t> in = units[k];
            const int kind = round % 3;
            if (kind == 0) {
                // flip a few bits past the first four bytes
                for (int f = 0; f < 1 + round % 5; ++f) {
                    const size_t pos = 4 + rng() % (in.size() - 4);
                    in[pos] ^= static_cast<uint8_t>(1u << (rng() % 8));
                }
            } else if (kind == 1) {
                // random bytes after the start code
                std::uniform_int_distribution<size_t> len(4, 400);
                in.resize(len(rng));
                for (size_t i = 4; i < in.size(); ++i)
                    in[i] = static_cast<uint8_t>(rng());
            } else {
                // random length, all ones or all zeros after the start code
                in.resize(4 + rng() % 64);
                std::fill(in.begin() + 4, in.end(), (round & 4) ? 0xFF : 0x00);
            }
            int len = 0;
            const int rc = Decode(d.get(), out, in, &len);
            ASSERT_TRUE(rc == 0 || rc == 1);
            if (rc == 1)
                ASSERT_EQ(len, 4);
            else
                ASSERT_LE(len, static_cast<int>(in.size()));
            decoded += rc == 0;
            d->postFilter = 0;
        }
    }
    std::printf("random and mutated units that still decoded: %d\n", decoded);
}

} // namespace
} // namespace kv::test
