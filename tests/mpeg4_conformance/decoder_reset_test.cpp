// A reset decoder must behave exactly as a new one, whatever the stream before it left in
// its pictures and records.
#include "mpeg4_conformance/m4v_fixture.h"

#include "core/module_profile.h"
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

struct DecoderDeleter {
    void operator()(DECODER* d) const { decoder_destroy(d); }
};
using DecoderPtr = std::unique_ptr<DECODER, DecoderDeleter>;
using Units = std::vector<std::vector<uint8_t>>;

Units UnitsOf(const char* name) {
    const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + name + ".m4v");
    Units units;
    for (const auto& u : kv::test::SplitAccessUnits(stream)) {
        units.emplace_back(u.begin(), u.end());
    }
    return units;
}

// Every call's result, returned length, record fields and output.
std::vector<std::vector<uint8_t>> DecodeAll(DECODER* d, const Units& units) {
    std::vector<std::vector<uint8_t>> results;
    for (const auto& unit : units) {
        std::vector<uint8_t> out(1024 * 768 * 6, 0xEE);
        int length = static_cast<int>(unit.size());
        const int rc = decoder_decode(d, out.data(), unit.data(), &length);
        out.resize(static_cast<size_t>(d->width) * d->height * 3 / 2 * (d->upscaleOutput ? 4 : 1));
        out.insert(out.end(), {static_cast<uint8_t>(rc), static_cast<uint8_t>(length), static_cast<uint8_t>(d->width),
                               static_cast<uint8_t>(d->upscaleOutput), static_cast<uint8_t>(d->expectHeaders)});
        results.push_back(std::move(out));
    }
    return results;
}

TEST(DecoderReset, ResetDecoderDecodesLikeANewOne) {
    const Units pan = UnitsOf("pan_mv4_mpq_160x120");
    const Units q2 = UnitsOf("q2_160x120");
    ASSERT_GE(pan.size(), 3u);
    ASSERT_GE(q2.size(), 3u);
    // A stream that starts with a P-VOP predicts from whatever the reference holds, and one
    // without a VOL header is enlarged: both show any state a reset leaves behind.
    Units pFirst = {q2[0], q2[1], q2[2]};
    const auto vop = std::search(pFirst[0].begin(), pFirst[0].end(), q2[1].begin(), q2[1].begin() + 4);
    pFirst[0].erase(vop, pFirst[0].end());
    pFirst[0].insert(pFirst[0].end(), q2[1].begin(), q2[1].end());
    Units noVol = {q2[1], q2[2]};

    for (const kv::ModuleProfile* profile : {&kv::kKavaroProfile, &kv::kMensiloProfile}) {
        for (const Units* stream : {&std::as_const(pFirst), &std::as_const(noVol), &q2}) {
            DecoderPtr fresh(kv::CreateDecoder(*profile));
            DecoderPtr reused(kv::CreateDecoder(*profile));
            ASSERT_TRUE(fresh && reused);
            kv::mpeg4::SetDeblockStrengthForTesting(0);
            DecodeAll(reused.get(), pan);
            reused->postFilter = 0;
            kv::ResetDecoder(*reused);
            kv::mpeg4::SetDeblockStrengthForTesting(0);
            const auto want = DecodeAll(fresh.get(), *stream);
            kv::mpeg4::SetDeblockStrengthForTesting(0);
            EXPECT_EQ(DecodeAll(reused.get(), *stream), want);
        }
    }
}

} // namespace
