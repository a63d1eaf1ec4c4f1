// Our own decode of every fixture, pinned bit for bit: speed work on the decoder must not
// change a single output sample. The comparison with ffmpeg (conformance_test.cpp) allows
// for IDCT rounding; this one allows nothing.
//
// tests/data/mpeg4/decoder_output.sums holds one line per fixture: the name, then a 64-bit
// FNV-1a hash of all output pictures for the viewer's decoder, the viewer's decoder with the
// post-filter on, and the motion module's decoder. Run with KV_WRITE_OUTPUT_SUMS=1 to write
// the file afresh after a deliberate change of the output.
#include "mpeg4_conformance/m4v_fixture.h"

#include "core/module_profile.h"
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using kv::test::M4vFixture;

struct DecoderDeleter {
    void operator()(DECODER* d) const { decoder_destroy(d); }
};

uint64_t Fnv1a(uint64_t h, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        h = (h ^ p[i]) * 0x100000001b3ull;
    }
    return h;
}

// Every output picture of the stream, in order, hashed; failed calls hash their index.
uint64_t HashDecode(const M4vFixture& f, const kv::ModuleProfile& profile, bool postFilter) {
    const auto stream = kv::test::ReadWholeFile(kv::test::M4vDataDir() + f.name + ".m4v");
    std::unique_ptr<DECODER, DecoderDeleter> dec(kv::CreateDecoder(profile));
    if (!dec) {
        ADD_FAILURE() << "decoder could not be created";
        return 0;
    }
    kv::mpeg4::SetDeblockStrengthForTesting(0);
    std::vector<uint8_t> out(static_cast<size_t>(dec->width) * dec->height * 6);
    uint64_t h = 0xcbf29ce484222325ull;
    int index = 0;
    dec->postFilter = postFilter ? 1 : 0;
    for (const auto& unit : kv::test::SplitAccessUnits(stream)) {
        int length = static_cast<int>(unit.size());
        const int rc = decoder_decode(dec.get(), out.data(), unit.data(), &length);
        dec->postFilter = postFilter ? 1 : 0;
        if (rc != 0) {
            h = Fnv1a(h, reinterpret_cast<const uint8_t*>(&index), sizeof index);
        } else {
            const size_t scale = dec->upscaleOutput ? 4 : 1;
            h = Fnv1a(h, out.data(), static_cast<size_t>(dec->width) * dec->height * 3 / 2 * scale);
        }
        ++index;
    }
    return h;
}

std::string SumsPath() { return kv::test::M4vDataDir() + "decoder_output.sums"; }

std::map<std::string, std::string> LoadSums() {
    std::map<std::string, std::string> sums;
    std::ifstream in(SumsPath());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto space = line.find(' ');
        if (space != std::string::npos) {
            sums[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return sums;
}

TEST(DecoderOutput, EveryFixtureDecodesToItsPinnedSamples) {
    const auto fixtures = kv::test::LoadM4vManifest();
    ASSERT_FALSE(fixtures.empty());
    const auto pinned = LoadSums();
    const bool write = std::getenv("KV_WRITE_OUTPUT_SUMS") != nullptr;
    std::string file = "# name viewer viewer+post-filter motion (FNV-1a 64 of all output pictures)\n";
    for (const auto& f : fixtures) {
        char line[160];
        std::snprintf(line, sizeof line, "%016" PRIx64 " %016" PRIx64 " %016" PRIx64,
                      HashDecode(f, kv::kKavaroProfile, false), HashDecode(f, kv::kKavaroProfile, true),
                      HashDecode(f, kv::kMensiloProfile, false));
        file += f.name + " " + line + "\n";
        if (!write) {
            const auto it = pinned.find(f.name);
            ASSERT_NE(it, pinned.end()) << f.name << " has no line in " << SumsPath() << "; measured: " << line;
            EXPECT_EQ(it->second, line) << f.name << ": the decoder's output changed";
        }
    }
    if (write) {
        std::ofstream(SumsPath()) << file;
        GTEST_SKIP() << "wrote " << SumsPath();
    }
}

} // namespace
