// The recommendation's decoder tables for the four code sizes.
#pragma once

#include <cstdint>

namespace kv::g726 {

// Per code size: indexed by the whole code (sign bit included).
struct RateTables {
    const std::int16_t* dqln;  // log2 of the reconstructed difference, less the scale factor (1/128 units)
    const std::int32_t* w;     // scale-factor multiplier W, in the units of the fast scale factor's filter input
    const std::int16_t* f;     // transition function F, in the units of the speed-control means
    unsigned signBit;          // the code's sign bit
};

// codeBits 2..5; others are not valid.
const RateTables& TablesFor(int codeBits);

} // namespace kv::g726
