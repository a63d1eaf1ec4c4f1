// The G.726 decoder behind the exported G726_* functions: one code at a time, the post-filter,
// and the bit reader that unpacks a frame.
#pragma once

#include "g726.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kv::g726 {

constexpr bool IsValidCodeBits(int codeBits) noexcept
{
    return codeBits >= 2 && codeBits <= 5;
}

// The initial values of a new decoder (bit reader empty).
void Reset(G726_state& state) noexcept;

// Decodes one code of codeBits bits and adapts the state: the recommendation's reconstructed
// signal sr (16 bits).
std::int16_t Reconstruct(G726_state& state, int codeBits, unsigned code) noexcept;

// Decodes one code of codeBits bits: the recommendation's reconstructed signal times four,
// saturated to 16 bits, with the state adapted. No post-filter.
std::int16_t DecodeCode(G726_state& state, int codeBits, unsigned code) noexcept;

// The fixed low-pass applied to every decoded sample.
std::int16_t PostFilter(G726_state& state, std::int16_t sample) noexcept;

// How many samples the next Decode of inputLength bytes at this code size writes at most,
// counting the bits still pending from the previous call.
std::size_t MaxSamples(const G726_state& state, int codeBits, std::size_t inputLength) noexcept;

// Unpacks the codes of input (most-significant bit first), decodes and post-filters them.
// Leftover bits stay pending for the next call. Stops early, leaving the rest of the input
// unread, only if output is smaller than MaxSamples. Returns the number of samples written.
std::size_t Decode(G726_state& state, int codeBits, std::span<const std::uint8_t> input,
                   std::span<std::int16_t> output) noexcept;

struct StateDeleter {
    void operator()(G726_state* state) const noexcept;
};
using StatePtr = std::unique_ptr<G726_state, StateDeleter>;

// A new, initialised decoder; throws std::bad_alloc when memory runs out.
StatePtr CreateState();

} // namespace kv::g726
