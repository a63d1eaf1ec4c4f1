// Every fixture stream decoded access unit by access unit and compared with ffmpeg's decode.
#include "mpeg4_conformance/m4v_fixture.h"

#include "core/module_profile.h"
#include "mpeg4dec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kv {
// A decoder for an explicit module profile; free with decoder_destroy.
DECODER* CreateDecoder(const ModuleProfile& profile);
} // namespace kv

namespace {

using kv::test::M4vFixture;

struct DecoderDeleter {
    void operator()(DECODER* d) const { decoder_destroy(d); }
};
using DecoderPtr = std::unique_ptr<DECODER, DecoderDeleter>;

struct Quality {
    int decoded = 0;
    int failed = 0;
    int compared = 0;
    double lumaMin = 100;
    double lumaSum = 0;
    double chromaMin = 100;
    int worstFrame = -1;

    [[nodiscard]] double LumaMean() const { return compared ? lumaSum / compared : 0; }
};

// Decodes every access unit as the players do (postFilter cleared before the first call and
// after every call) and compares the frames that have a reference.
Quality DecodeAndCompare(const M4vFixture& f, const kv::ModuleProfile& profile) {
    Quality q;
    const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".m4v");
    const auto reference = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".yuv");
    EXPECT_EQ(reference.size(), f.FrameBytes() * static_cast<std::size_t>(f.referenceFrames)) << f.name;
    const auto extra = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".extra.y");
    const std::size_t luma = static_cast<std::size_t>(f.width) * f.height;
    EXPECT_EQ(extra.size(), luma * f.extraFrames.size()) << f.name;
    const auto units = kv::test::SplitAccessUnits(stream);
    EXPECT_EQ(units.size(), static_cast<std::size_t>(f.frames)) << f.name;

    // The viewer's decoder through the exported entry point (the test library's active
    // profile is the viewer's), the other through the internal one.
    kv::SetActiveProfileForTesting(kv::kKavaroProfile);
    DecoderPtr dec(&profile == &kv::kKavaroProfile ? reinterpret_cast<DECODER*>(decoder_create())
                                                   : kv::CreateDecoder(profile));
    if (!dec) {
        ADD_FAILURE() << "decoder could not be created";
        return q;
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(dec->width) * dec->height * 6);
    dec->postFilter = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        int length = static_cast<int>(units[i].size());
        const int rc = decoder_decode(dec.get(), out.data(), units[i].data(), &length);
        dec->postFilter = 0;
        if (rc != 0) {
            ++q.failed;
            EXPECT_EQ(length, 4);
            continue;
        }
        ++q.decoded;
        EXPECT_EQ(length, static_cast<int>(units[i].size())) << f.name << " access unit " << i
                                                             << ": the decoder stopped short of the unit's end";
        EXPECT_EQ(dec->width, f.width);
        EXPECT_EQ(dec->height, f.height);
        EXPECT_EQ(dec->upscaleOutput, 0);
        if (dec->width != f.width || dec->height != f.height) {
            continue;
        }
        const std::uint8_t* refLuma = nullptr;
        if (static_cast<int>(i) < f.referenceFrames && reference.size() >= (i + 1) * f.FrameBytes()) {
            const std::uint8_t* ref = reference.data() + i * f.FrameBytes();
            refLuma = ref;
            const double c = kv::test::PlanePsnr(out.data() + luma, ref + luma, f.FrameBytes() - luma);
            q.chromaMin = std::min(q.chromaMin, c);
        } else {
            const auto it = std::find(f.extraFrames.begin(), f.extraFrames.end(), static_cast<int>(i));
            const std::size_t k = static_cast<std::size_t>(it - f.extraFrames.begin());
            if (it != f.extraFrames.end() && extra.size() >= (k + 1) * luma) {
                refLuma = extra.data() + k * luma;
            }
        }
        if (refLuma == nullptr) {
            continue;
        }
        const double y = kv::test::PlanePsnr(out.data(), refLuma, luma);
        ++q.compared;
        q.lumaSum += y;
        if (y < q.lumaMin) {
            q.lumaMin = y;
            q.worstFrame = static_cast<int>(i);
        }
    }
    return q;
}

void Report(const char* profile, const M4vFixture& f, const Quality& q) {
    std::printf("[ %-7s ] %-22s %4dx%-4d decoded %d/%d, compared %d: luma PSNR min %.2f (frame %d) mean %.2f, "
                "chroma min %.2f dB\n",
                profile, f.name.c_str(), f.width, f.height, q.decoded, f.frames, q.compared, q.lumaMin,
                q.worstFrame, q.LumaMean(), q.chromaMin);
}

class Conformance : public ::testing::TestWithParam<M4vFixture> {};

TEST_P(Conformance, ViewerDecoderMatchesTheReference) {
    const M4vFixture& f = GetParam();
    const Quality q = DecodeAndCompare(f, kv::kKavaroProfile);
    Report("viewer", f, q);
    EXPECT_EQ(q.failed, 0) << f.name;
    EXPECT_EQ(q.decoded, f.frames) << f.name;
    ASSERT_EQ(q.compared, f.referenceFrames + static_cast<int>(f.extraFrames.size())) << f.name;
    EXPECT_GE(q.lumaMin, 45.0) << f.name << " frame " << q.worstFrame;
    EXPECT_GE(q.LumaMean(), 50.0) << f.name;
    // Chroma goes through the same IDCT; a chroma fault shows as a collapse, not as drift.
    EXPECT_GE(q.chromaMin, 40.0) << f.name;
}

TEST_P(Conformance, MotionSetupDecoderStaysClose) {
    const M4vFixture& f = GetParam();
    const kv::ModuleProfile& profile = kv::kMensiloProfile;
    if (f.width > profile.decoderMaxWidth || f.height > profile.decoderMaxHeight) {
        // Larger than this module's buffers: every call must fail cleanly.
        const Quality q = DecodeAndCompare(f, profile);
        EXPECT_EQ(q.decoded, 0) << f.name;
        EXPECT_EQ(q.failed, f.frames) << f.name;
        return;
    }
    const Quality q = DecodeAndCompare(f, profile);
    Report("motion", f, q);
    EXPECT_EQ(q.failed, 0) << f.name;
    ASSERT_EQ(q.compared, f.referenceFrames + static_cast<int>(f.extraFrames.size())) << f.name;
    // The lower-precision IDCT drifts further from the reference (the goal is 38 dB); only a
    // collapse means a decoding fault.
    EXPECT_GE(q.lumaMin, 30.0) << f.name << " frame " << q.worstFrame;
}

std::string FixtureName(const ::testing::TestParamInfo<M4vFixture>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Conformance, ::testing::ValuesIn(kv::test::LoadM4vManifest()), FixtureName);

TEST(ConformanceFixtures, ManifestAndStreamsHaveTheExpectedShape) {
    const auto fixtures = kv::test::LoadM4vManifest();
    ASSERT_GE(fixtures.size(), 12u) << "fixtures.txt missing or short";
    for (const auto& f : fixtures) {
        const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".m4v");
        const auto units = kv::test::SplitAccessUnits(stream);
        ASSERT_EQ(units.size(), static_cast<std::size_t>(f.frames)) << f.name;
        // Configuration headers first, then nothing but VOPs.
        const std::uint8_t vos[] = {0, 0, 1, 0xB0};
        EXPECT_TRUE(std::equal(vos, vos + 4, units[0].begin())) << f.name;
        for (std::size_t i = 1; i < units.size(); ++i) {
            EXPECT_EQ(units[i][3], 0xB6) << f.name << " unit " << i;
        }
        // The VOL is the 14-byte version-1 layout, its size fields the manifest's.
        const std::uint8_t volCode[] = {0, 0, 1, 0x20};
        const auto vol = std::search(units[0].begin(), units[0].end(), volCode, volCode + 4);
        ASSERT_NE(vol, units[0].end()) << f.name;
        ASSERT_GE(units[0].end() - vol, 18);
        EXPECT_TRUE(vol[14] == 0 && vol[15] == 0 && vol[16] == 1) << f.name << ": next start code not right after the VOL";
        // Bit 9 after the start code: is_object_layer_identifier.
        EXPECT_EQ((vol[5] >> 6) & 1, 0) << f.name << ": is_object_layer_identifier set";
        const auto reference = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".yuv");
        EXPECT_EQ(reference.size(), f.FrameBytes() * static_cast<std::size_t>(f.referenceFrames)) << f.name;
    }
}

} // namespace
