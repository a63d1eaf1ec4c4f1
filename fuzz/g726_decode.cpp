// G.726 decoding of arbitrary audio frames, cut into calls of arbitrary sizes.
//
// Input: byte 0 picks the code size (bits 0-1: 2 to 5 bits per code; with bit 2 set, bits
// 4-6 give the raw value instead, so invalid sizes come up too); byte 1 sets how the rest is
// cut into calls; the rest is the packed audio.
//
// Checked on every input: no call writes past the samples it may write, invalid arguments
// write nothing, and cutting a frame into calls gives exactly the samples of decoding it in
// one call (bits left over at the end of a call complete the first code of the next).
#include "g726.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct StateDeleter {
    void operator()(G726_state* s) const { G726_decoder_destroy(s); }
};
using State = std::unique_ptr<G726_state, StateDeleter>;

constexpr int16_t kCanary = 0x5A5A;
constexpr size_t kSlack = 8;

// One call into out (which has room for the documented maximum plus kSlack canaries);
// traps when the call writes more than it returns or more than the maximum.
int Call(G726_state* s, int bits, const uint8_t* in, size_t n, std::vector<int16_t>& out)
{
    const size_t max = (bits >= 2 && bits <= 5) ? n * 8 / static_cast<size_t>(bits) + 1 : 0;
    out.assign(max + kSlack, kCanary);
    const int got = G726_dec(s, bits, in, static_cast<int>(n), out.data());
    if (bits < 2 || bits > 5) {
        if (got != -1)
            __builtin_trap();
        for (int16_t v : out)
            if (v != kCanary)
                __builtin_trap();
        return 0;
    }
    if (got < 0 || static_cast<size_t>(got) > max)
        __builtin_trap();
    for (size_t i = max; i < out.size(); ++i)
        if (out[i] != kCanary)
            __builtin_trap();
    out.resize(static_cast<size_t>(got));
    return got;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > (1u << 16))
        return 0;
    const uint8_t options = data[0];
    const uint8_t cut = data[1];
    data += 2;
    size -= 2;
    const int bits = (options & 4) ? (options >> 4) & 7 : 2 + (options & 3);

    State whole(G726_decoder_create());
    State parts(G726_decoder_create());
    if (!whole || !parts)
        return 0;

    std::vector<int16_t> expected;
    Call(whole.get(), bits, data, size, expected);

    // The same bytes in calls of 0 to 63 bytes, the sizes drawn from the cut byte and the
    // data, so every split point and empty calls come up.
    std::vector<int16_t> joined, out;
    size_t pos = 0;
    unsigned step = cut;
    while (pos < size) {
        step = step * 33u + data[pos] + 1u;
        const size_t n = std::min<size_t>(size - pos, (step >> 3) & 63);
        Call(parts.get(), bits, data + pos, n, out);
        joined.insert(joined.end(), out.begin(), out.end());
        pos += n;
    }
    if (bits >= 2 && bits <= 5) {
        if (expected.size() != size * 8 / static_cast<size_t>(bits))
            __builtin_trap();
        if (joined != expected)
            __builtin_trap();
    }

    // A change of code size between calls drops the leftover bits but never misbehaves.
    if (bits >= 2 && bits <= 5 && size > 0)
        Call(parts.get(), 2 + (bits - 1) % 4, data, std::min<size_t>(size, 7), out);

    if (G726_dec(nullptr, 4, data, static_cast<int>(size), out.data()) != -1)
        __builtin_trap();
    return 0;
}
