// ITU-T G.726 decoder tables, as data.
//
// The log tables are the inverse quantizer outputs log2|DQ| - Y in 1/128 units (-2048 stands for
// minus infinity); W is scaled by 512 so it adds directly to the scale factor y in the
// fast-scale filter; F is scaled by 512 (one unit of the speed-control filters).
// Each table runs over every code: the lower half holds the positive magnitudes
// 0..max, the upper half the negative ones in mirrored order.
#include "audio/g726_tables.h"

namespace kv::g726 {
namespace {

// 16 kbit/s, 2-bit codes (no zero level)
constexpr std::int16_t kDqln16[4] = {116, 365, 365, 116};
constexpr std::int32_t kW16[4] = {-704, 14048, 14048, -704};
constexpr std::int16_t kF16[4] = {0, 0xE00, 0xE00, 0};

// 24 kbit/s, 3-bit codes
constexpr std::int16_t kDqln24[8] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
constexpr std::int32_t kW24[8] = {-128, 960, 4384, 18624, 18624, 4384, 960, -128};
constexpr std::int16_t kF24[8] = {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};

// 32 kbit/s, 4-bit codes
constexpr std::int16_t kDqln32[16] = {-2048, 4, 135, 213, 273, 323, 373, 425,
                                      425, 373, 323, 273, 213, 135, 4, -2048};
constexpr std::int32_t kW32[16] = {-384, 576, 1312, 2048, 3584, 6336, 11360, 35904,
                                   35904, 11360, 6336, 3584, 2048, 1312, 576, -384};
constexpr std::int16_t kF32[16] = {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00,
                                   0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0};

// 40 kbit/s, 5-bit codes
constexpr std::int16_t kDqln40[32] = {-2048, -66, 28, 104, 169, 224, 274, 318,
                                      358, 395, 429, 459, 488, 514, 539, 566,
                                      566, 539, 514, 488, 459, 429, 395, 358,
                                      318, 274, 224, 169, 104, 28, -66, -2048};
constexpr std::int32_t kW40[32] = {448, 448, 768, 1248, 1280, 1312, 1856, 3200,
                                   4512, 5728, 7008, 8960, 11456, 14080, 16928, 22272,
                                   22272, 16928, 14080, 11456, 8960, 7008, 5728, 4512,
                                   3200, 1856, 1312, 1280, 1248, 768, 448, 448};
constexpr std::int16_t kF40[32] = {0, 0, 0, 0, 0, 0x200, 0x200, 0x200,
                                   0x200, 0x200, 0x400, 0x600, 0x800, 0xA00, 0xC00, 0xC00,
                                   0xC00, 0xC00, 0xA00, 0x800, 0x600, 0x400, 0x200, 0x200,
                                   0x200, 0x200, 0x200, 0, 0, 0, 0, 0};

constexpr RateTables kTables[4] = {
    {kDqln16, kW16, kF16, 0x02},
    {kDqln24, kW24, kF24, 0x04},
    {kDqln32, kW32, kF32, 0x08},
    {kDqln40, kW40, kF40, 0x10},
};

} // namespace

const RateTables& TablesFor(int codeBits)
{
    return kTables[codeBits - 2];
}

} // namespace kv::g726
