#include "audio/g726_decoder.h"
#include "audio_test_util.h"
#include "g726.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

namespace kv {
namespace {

using audiotest::G726Data;
using audiotest::ReadFile;

struct ReferenceVector {
    std::vector<std::uint8_t> codes;
    std::vector<std::int16_t> samples;
};

ReferenceVector LoadReference(const std::string& name)
{
    const std::vector<std::uint8_t> bytes = ReadFile(G726Data(name));
    ReferenceVector vector;
    const std::size_t n = bytes.size() / 3;
    vector.codes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t i = 0; i < n; ++i)
        vector.samples.push_back(static_cast<std::int16_t>(bytes[n + 2 * i] | bytes[n + 2 * i + 1] << 8));
    return vector;
}

// Codes packed most-significant bit first, the last byte padded with zero bits.
std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& codes, int codeBits)
{
    std::vector<std::uint8_t> packed;
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (std::uint8_t code : codes) {
        accumulator = (accumulator << codeBits) | code;
        bits += codeBits;
        while (bits >= 8) {
            bits -= 8;
            packed.push_back(static_cast<std::uint8_t>(accumulator >> bits));
        }
    }
    if (bits > 0)
        packed.push_back(static_cast<std::uint8_t>(accumulator << (8 - bits)));
    return packed;
}

// The post-filter written out as its difference equation, on plain integers.
class ReferencePostFilter {
public:
    std::int16_t operator()(std::int16_t sample)
    {
        const std::int64_t x0 = sample >> 1;
        const std::int64_t acc = 588 * x0 + 2353 * x[0] + 3530 * x[1] + 2354 * x[2] + 588 * x[3] - 3031 * y[0] -
                                 2560 * y[1] - 751 * y[2] + 2048;
        const std::int64_t y0 = std::clamp<std::int64_t>(acc >> 12, -32768, 32767);
        x = {x0, x[0], x[1], x[2]};
        y = {y0, y[0], y[1]};
        return static_cast<std::int16_t>(std::clamp<std::int64_t>(2 * y0, -32768, 32767));
    }

private:
    std::array<std::int64_t, 4> x{};
    std::array<std::int64_t, 3> y{};
};

class G726Reference : public ::testing::TestWithParam<int> {};

// The reconstructed signal matches an independent, ITU-conformant decoder sample for sample;
// the vectors drive tone detection, transitions and the output's full range, and where
// sr x 4 leaves 16 bits our output saturates (the reference wraps).
TEST_P(G726Reference, MatchesReferenceDecoderSampleForSample)
{
    const int bits = GetParam();
    for (const char* kind : {"random", "signal"}) {
        SCOPED_TRACE(kind);
        const ReferenceVector reference = LoadReference(std::string("ref_") + kind + "_" + std::to_string(bits) + ".bin");
        ASSERT_GE(reference.codes.size(), 4000u);
        auto state = g726::CreateState();
        auto twin = g726::CreateState();
        int mismatches = 0, transitions = 0, saturated = 0;
        for (std::size_t i = 0; i < reference.codes.size(); ++i) {
            const bool toneBefore = state->td != 0;
            const int sr = g726::Reconstruct(*state, bits, reference.codes[i]);
            if (static_cast<std::int16_t>(sr * 4) != reference.samples[i] && mismatches++ < 5)
                ADD_FAILURE() << "sample " << i << ": sr " << sr << ", reference " << reference.samples[i];
            const std::int16_t sample = g726::DecodeCode(*twin, bits, reference.codes[i]);
            ASSERT_EQ(sample, std::clamp(sr * 4, -32768, 32767)) << "sample " << i;
            if (sample != sr * 4)
                ++saturated;
            if (toneBefore && state->ap == 256 && state->a[0] == 0 && state->a[1] == 0 &&
                std::all_of(std::begin(state->b), std::end(state->b), [](std::int16_t b) { return b == 0; }))
                ++transitions;
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(transitions, 0) << "the vector never resets the predictor after a tone";
        EXPECT_GT(saturated, 0) << "the vector never reaches the output limits";
    }
}

// The exported function unpacks most-significant bit first and post-filters every sample.
TEST_P(G726Reference, ExportedDecodeUnpacksAndFilters)
{
    const int bits = GetParam();
    const ReferenceVector reference = LoadReference("ref_signal_" + std::to_string(bits) + ".bin");
    // A whole number of bytes of codes, so no padding code is decoded.
    std::vector<std::uint8_t> codes(reference.codes.begin(), reference.codes.begin() + 4000);
    const std::vector<std::uint8_t> packed = Pack(codes, bits);
    ASSERT_EQ(packed.size() * 8, codes.size() * static_cast<std::size_t>(bits));

    auto plain = g726::CreateState();
    ReferencePostFilter filter;
    std::vector<std::int16_t> expected;
    for (std::uint8_t code : codes)
        expected.push_back(filter(g726::DecodeCode(*plain, bits, code)));

    G726_state* state = G726_decoder_create();
    ASSERT_NE(state, nullptr);
    std::vector<std::int16_t> output(packed.size() * 8 / static_cast<std::size_t>(bits) + 1);
    const int written = G726_dec(state, bits, packed.data(), static_cast<int>(packed.size()), output.data());
    ASSERT_EQ(written, static_cast<int>(codes.size()));
    output.resize(static_cast<std::size_t>(written));
    EXPECT_EQ(output, expected);
    EXPECT_EQ(state->pendingBits, 0);
    EXPECT_EQ(G726_decoder_destroy(state), 0);
}

INSTANTIATE_TEST_SUITE_P(AllRates, G726Reference, ::testing::Values(2, 3, 4, 5),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

// The production filter against its difference equation, over full-scale noise, steps and a
// sweep, where the doubled output must clip instead of wrapping.
TEST(G726PostFilter, MatchesDifferenceEquationAndClipsInsteadOfWrapping)
{
    std::vector<std::int16_t> input;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> full(-32768, 32767);
    for (int i = 0; i < 4000; ++i)
        input.push_back(static_cast<std::int16_t>(full(random)));
    for (int i = 0; i < 4000; ++i)
        input.push_back(((i / 3) & 1) ? 32767 : -32768);  // the overshoot case
    for (int i = 0; i < 4000; ++i)
        input.push_back(static_cast<std::int16_t>(30000 * std::sin(i * i * 0.0001)));

    G726_state state{};
    g726::Reset(state);
    ReferencePostFilter reference;
    int clipped = 0;
    std::int16_t previous = 0;
    int jumps = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const std::int16_t got = g726::PostFilter(state, input[i]);
        ASSERT_EQ(got, reference(input[i])) << "sample " << i;
        if (got == 32767 || got == -32768)
            ++clipped;
        if (i >= 4000 && i < 8000 && std::abs(got - previous) > 40000)
            ++jumps;  // a wrap shows as a full-range jump between neighbours
        previous = got;
    }
    EXPECT_GT(clipped, 0);
    EXPECT_EQ(jumps, 0);
}

// Low-pass shape: about 0.9 in the speech band, almost nothing near 4 kHz.
TEST(G726PostFilter, PassesSpeechBandAndStopsNearNyquist)
{
    const auto gainAt = [](double frequency) {
        G726_state state{};
        g726::Reset(state);
        std::vector<std::int16_t> out;
        for (int i = 0; i < 8000; ++i)
            out.push_back(g726::PostFilter(state, static_cast<std::int16_t>(10000 * std::sin(2 * std::numbers::pi * frequency * i / 8000))));
        return std::sqrt(audiotest::Goertzel(out.data() + 800, 7200, frequency) * 4) / 10000;
    };
    EXPECT_NEAR(gainAt(500), 0.90, 0.04);
    EXPECT_NEAR(gainAt(1000), 0.90, 0.04);
    EXPECT_NEAR(gainAt(2000), 0.86, 0.05);
    EXPECT_NEAR(gainAt(2500), 0.46, 0.08);
    EXPECT_LT(gainAt(3800), 0.05);
}

class G726Frames : public ::testing::TestWithParam<int> {};

// A 1920-byte frame is 15360 / codeBits samples and leaves no bits behind; the next frame
// therefore starts on a code boundary.
TEST_P(G726Frames, CameraFrameDecodesWhole)
{
    const int bits = GetParam();
    std::vector<std::uint8_t> frame(1920);
    std::mt19937 random(static_cast<unsigned>(bits));
    for (auto& byte : frame)
        byte = static_cast<std::uint8_t>(random());
    G726_state* state = G726_decoder_create();
    std::vector<std::int16_t> output(frame.size() * 8 / static_cast<std::size_t>(bits) + 1);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(G726_dec(state, bits, frame.data(), 1920, output.data()), 15360 / bits);
        EXPECT_EQ(state->pendingBits, 0);
    }
    G726_decoder_destroy(state);
}

// Bits left over by one call complete the first code of the next: splitting a stream at any
// byte gives the same samples as decoding it in one call.
TEST_P(G726Frames, LeftoverBitsCarryIntoTheNextCall)
{
    const int bits = GetParam();
    std::vector<std::uint8_t> stream(301);
    std::mt19937 random(42u + static_cast<unsigned>(bits));
    for (auto& byte : stream)
        byte = static_cast<std::uint8_t>(random());

    G726_state* whole = G726_decoder_create();
    std::vector<std::int16_t> expected(stream.size() * 8 / static_cast<std::size_t>(bits) + 1);
    expected.resize(static_cast<std::size_t>(G726_dec(whole, bits, stream.data(), 301, expected.data())));
    G726_decoder_destroy(whole);

    for (int split : {1, 2, 3, 7, 150}) {
        SCOPED_TRACE(split);
        G726_state* state = G726_decoder_create();
        std::vector<std::int16_t> first(split * 8 / bits + 1), second((301 - split) * 8 / bits + 1);
        const int a = G726_dec(state, bits, stream.data(), split, first.data());
        EXPECT_EQ(state->pendingBits, split * 8 % bits);
        const int b = G726_dec(state, bits, stream.data() + split, 301 - split, second.data());
        ASSERT_EQ(static_cast<std::size_t>(a + b), expected.size());
        first.resize(static_cast<std::size_t>(a));
        first.insert(first.end(), second.begin(), second.begin() + b);
        EXPECT_EQ(first, expected);
        G726_decoder_destroy(state);
    }
}

INSTANTIATE_TEST_SUITE_P(AllRates, G726Frames, ::testing::Values(2, 3, 4, 5),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(G726Api, EmptyInputNullStateAndBadArguments)
{
    G726_state* state = G726_decoder_create();
    ASSERT_NE(state, nullptr);
    std::int16_t output[8] = {};
    const unsigned char byte = 0x5A;
    EXPECT_EQ(G726_dec(state, 4, &byte, 0, output), 0);
    EXPECT_EQ(G726_dec(state, 4, nullptr, 0, output), 0);
    // Three bits pending after one byte at 5 bits; still nothing for an empty call.
    EXPECT_EQ(G726_dec(state, 5, &byte, 1, output), 1);
    EXPECT_EQ(G726_dec(state, 5, &byte, 0, output), 0);

    EXPECT_EQ(G726_dec(nullptr, 4, &byte, 1, output), -1);
    EXPECT_EQ(G726_dec(state, 4, nullptr, 1, output), -1);
    EXPECT_EQ(G726_dec(state, 4, &byte, 1, nullptr), -1);
    EXPECT_EQ(G726_dec(state, 4, &byte, -1, output), -1);
    EXPECT_EQ(G726_dec(state, 1, &byte, 1, output), -1);
    EXPECT_EQ(G726_dec(state, 6, &byte, 1, output), -1);

    EXPECT_EQ(G726_decoder_destroy(nullptr), -1);
    EXPECT_EQ(G726_decoder_destroy(state), 0);
}

// New decoders start from the recommendation's initial state, each with an empty bit reader
// of its own: bits left by one stream never reach another.
TEST(G726Api, DecodersDoNotShareBits)
{
    G726_state* first = G726_decoder_create();
    G726_state* second = G726_decoder_create();
    EXPECT_EQ(first->yl, 34816);
    EXPECT_EQ(first->yu, 544);
    EXPECT_EQ(first->dq[5], 32);
    EXPECT_EQ(first->sr[1], 32);
    const unsigned char bytes[3] = {0xFF, 0x00, 0xAA};
    std::int16_t output[16];
    EXPECT_EQ(G726_dec(first, 5, bytes, 3, output), 4);  // 24 bits: four codes, four bits left
    EXPECT_EQ(first->pendingBits, 4);
    EXPECT_EQ(second->pendingBits, 0);
    EXPECT_EQ(G726_dec(second, 2, bytes, 1, output), 4);
    G726_decoder_destroy(first);
    G726_decoder_destroy(second);
}

// Bits pending from a 5-bit stream are dropped when the same state is used at 2 bits, so the
// documented output size (inputLength x 8 / codeBits + 1) always holds.
TEST(G726Api, CodeSizeChangeNeverWritesPastTheDocumentedOutput)
{
    G726_state* state = G726_decoder_create();
    const unsigned char bytes[3] = {0x12, 0x34, 0x56};
    std::int16_t output[16];
    EXPECT_EQ(G726_dec(state, 5, bytes, 3, output), 4);  // 24 bits: four codes, four bits left
    EXPECT_EQ(g726::MaxSamples(*state, 5, 1), 2u);       // those four bits count at 5 bits
    EXPECT_EQ(g726::MaxSamples(*state, 2, 1), 4u);       // and are dropped at 2 bits
    std::array<std::int16_t, 6> guarded;
    guarded.fill(0x7777);
    EXPECT_EQ(G726_dec(state, 2, bytes, 1, guarded.data()), 4);
    EXPECT_EQ(guarded[4], 0x7777);  // 1 x 8 / 2 + 1 = 5 samples allowed; the fifth untouched
    EXPECT_EQ(state->pendingBits, 0);
    G726_decoder_destroy(state);
}


// The state is caller-visible memory: whatever it holds, decoding stays defined (the
// sanitizer builds check shifts and overflows) and writes no more than documented.
TEST(G726Api, AlteredStateNeverLeadsOutOfBounds)
{
    std::mt19937 random(3);
    std::vector<unsigned char> input(64);
    for (int round = 0; round < 400; ++round) {
        G726_state state;
        auto* raw = reinterpret_cast<unsigned char*>(&state);
        for (std::size_t i = 0; i < sizeof state; ++i)
            raw[i] = static_cast<unsigned char>(random());
        for (auto& byte : input)
            byte = static_cast<unsigned char>(random());
        const int bits = 2 + round % 4;
        std::vector<std::int16_t> output(input.size() * 8 / static_cast<std::size_t>(bits) + 1);
        const int written = G726_dec(&state, bits, input.data(), static_cast<int>(input.size()), output.data());
        ASSERT_GE(written, 0);
        ASSERT_LE(static_cast<std::size_t>(written), output.size());
    }
}

} // namespace
} // namespace kv
