// Lookup tables for the variable-length codes: one table per code set, indexed by the next
// MaxBits bits of the input. Each entry holds the value and the code length; length 0 marks
// bit patterns that begin no valid code.
#pragma once

#include "video/mpeg4/bit_reader.h"
#include "video/mpeg4/tables.h"

#include <cstdint>
#include <vector>

namespace kv::mpeg4 {

struct VlcEntry {
    int16_t value;
    uint8_t length; // 0: invalid code
};

class VlcTable {
public:
    VlcTable() = default;
    VlcTable(const VlcCode* codes, int count);
    VlcTable(const char* const* bits, int count); // values are the indices

    // Decodes one code; false for a bit pattern that is no code (nothing is consumed then).
    bool Decode(BitReader& br, int& value) const
    {
        const VlcEntry e = entries_[br.Peek(maxBits_)];
        if (e.length == 0)
            return false;
        br.Skip(e.length);
        value = e.value;
        return true;
    }
    int MaxBits() const { return maxBits_; }
    const VlcEntry& Entry(uint32_t index) const { return entries_[index]; }

private:
    void Add(const char* bits, int16_t value);
    void Build(int maxBits);

    int maxBits_ = 1;
    std::vector<VlcEntry> entries_;
};

// (last, run, level) of a transform coefficient code.
struct RunLevel {
    uint8_t last;
    uint8_t run;
    uint8_t level;
};

struct CoefficientTable {
    RunLevel code[102];
    uint8_t maxLevel[2][64]; // LMAX(last, run); 0 where the run has no code
    uint8_t maxRun[2][32];   // RMAX(last, level); 0xFF where the level has no code
};

// A transform coefficient code together with its sign bit, looked up in one step: the next
// kCoefBits bits index the table. length 0: invalid; level 0 (no code has it): the escape
// code (length 7, no sign bit). Whole bytes, so the hot loop reads them without masking.
struct CoefEntry {
    int8_t level;   // signed, 1 ... 27 in magnitude
    int8_t scaled;  // 2 * level + sign(level): the plain quantiser's factor for the level
    uint8_t runLast; // run, plus 128 for the code marked last
    uint8_t length;  // code and sign bit
};
inline constexpr int kCoefBits = 13;
// The same codes through a table indexed by the next kCoefShortBits bits only, small enough to
// stay in the first-level cache: entries of longer codes (and of prefixes that begin both
// valid and invalid codes) hold length kCoefLonger and are looked up again in the full table.
inline constexpr int kCoefShortBits = 10;
inline constexpr uint8_t kCoefLonger = 0xFF;

struct VlcTables {
    VlcTable mcbpcIntra;
    VlcTable mcbpcInter;
    VlcTable cbpy;
    VlcTable dcSizeLuma;
    VlcTable dcSizeChroma;
    VlcTable mvd;
    VlcTable tcoef; // value: code index, 102 = escape
    CoefficientTable intra;
    CoefficientTable inter;
    std::vector<CoefEntry> intraCoef; // 2^kCoefBits entries
    std::vector<CoefEntry> interCoef;
    std::vector<CoefEntry> intraCoefShort; // 2^kCoefShortBits entries
    std::vector<CoefEntry> interCoefShort;
};

// Built once on first use; shared read-only by every decoder.
const VlcTables& Tables();

} // namespace kv::mpeg4
