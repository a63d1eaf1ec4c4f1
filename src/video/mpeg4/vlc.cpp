#include "video/mpeg4/vlc.h"

#include "video/mpeg4/tables.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace kv::mpeg4 {
namespace {

int LongestCode(const char* const* bits, int count)
{
    int longest = 1;
    for (int i = 0; i < count; ++i)
        longest = std::max(longest, static_cast<int>(std::strlen(bits[i])));
    return longest;
}

CoefficientTable MakeCoefficientTable(bool intra)
{
    CoefficientTable t{};
    for (int i = 0; i < kTcoefCodeCount; ++i) {
        RunLevel rl{};
        if (intra) {
            const uint16_t p = kTcoefIntraPacked[i];
            rl = {static_cast<uint8_t>(p >> 10), static_cast<uint8_t>((p >> 5) & 31), static_cast<uint8_t>(p & 31)};
        } else {
            const bool last = i >= kTcoefInterLastStart;
            int rest = last ? i - kTcoefInterLastStart : i;
            const uint8_t* perRun = last ? kTcoefInterLevelsPerRunLast1 : kTcoefInterLevelsPerRunLast0;
            int run = 0;
            while (rest >= perRun[run])
                rest -= perRun[run++];
            rl = {static_cast<uint8_t>(last), static_cast<uint8_t>(run), static_cast<uint8_t>(rest + 1)};
        }
        t.code[i] = rl;
    }
    std::memset(t.maxRun, 0xFF, sizeof t.maxRun);
    for (const RunLevel& rl : t.code) {
        t.maxLevel[rl.last][rl.run] = std::max(t.maxLevel[rl.last][rl.run], rl.level);
        uint8_t& r = t.maxRun[rl.last][rl.level];
        if (r == 0xFF || rl.run > r)
            r = rl.run;
    }
    return t;
}

std::vector<CoefEntry> MakeCoefLookup(const VlcTable& tcoef, const CoefficientTable& t)
{
    std::vector<CoefEntry> lookup(size_t{1} << kCoefBits, CoefEntry{});
    const int extra = kCoefBits - tcoef.MaxBits();
    for (uint32_t i = 0; i < lookup.size(); ++i) {
        const VlcEntry& e = tcoef.Entry(i >> extra);
        CoefEntry& c = lookup[i];
        if (e.length == 0)
            continue;
        if (e.value == kTcoefEscape) {
            c.length = e.length; // level stays 0
            continue;
        }
        const RunLevel rl = t.code[e.value];
        if (rl.level == 0)
            throw std::logic_error("coefficient level 0 in the code table");
        const bool negative = (i >> (kCoefBits - e.length - 1)) & 1;
        if (rl.level > 60 || rl.run > 63)
            throw std::logic_error("coefficient code outside the lookup entry");
        c.level = static_cast<int8_t>(negative ? -rl.level : rl.level);
        c.scaled = static_cast<int8_t>(negative ? -(2 * rl.level + 1) : 2 * rl.level + 1);
        c.runLast = static_cast<uint8_t>(rl.run | rl.last << 7);
        c.length = static_cast<uint8_t>(e.length + 1);
    }
    return lookup;
}

// The first kCoefShortBits bits of the full table: an entry stands for itself when every
// code it begins is that one code, else it sends the reader to the full table.
std::vector<CoefEntry> MakeShortCoefLookup(const std::vector<CoefEntry>& full)
{
    constexpr int shift = kCoefBits - kCoefShortBits;
    std::vector<CoefEntry> lookup(size_t{1} << kCoefShortBits, CoefEntry{});
    for (size_t i = 0; i < lookup.size(); ++i) {
        const CoefEntry& first = full[i << shift];
        bool same = true;
        for (size_t k = 1; k < (size_t{1} << shift) && same; ++k) {
            const CoefEntry& e = full[(i << shift) | k];
            same = e.level == first.level && e.scaled == first.scaled && e.runLast == first.runLast &&
                   e.length == first.length;
        }
        if (same && first.length <= kCoefShortBits)
            lookup[i] = first;
        else
            lookup[i].length = kCoefLonger;
    }
    return lookup;
}

} // namespace

VlcTable::VlcTable(const VlcCode* codes, int count)
{
    std::vector<const char*> bits;
    for (int i = 0; i < count; ++i)
        bits.push_back(codes[i].bits);
    Build(LongestCode(bits.data(), count));
    for (int i = 0; i < count; ++i)
        Add(codes[i].bits, codes[i].value);
}

VlcTable::VlcTable(const char* const* bits, int count)
{
    Build(LongestCode(bits, count));
    for (int i = 0; i < count; ++i)
        Add(bits[i], static_cast<int16_t>(i));
}

void VlcTable::Build(int maxBits)
{
    maxBits_ = maxBits;
    entries_.assign(size_t{1} << maxBits, VlcEntry{0, 0});
}

void VlcTable::Add(const char* bits, int16_t value)
{
    const int len = static_cast<int>(std::strlen(bits));
    uint32_t code = 0;
    for (int i = 0; i < len; ++i)
        code = code << 1 | static_cast<uint32_t>(bits[i] == '1');
    const int free = maxBits_ - len;
    const uint32_t first = code << free;
    for (uint32_t k = 0; k < (1u << free); ++k) {
        VlcEntry& e = entries_[first + k];
        if (e.length != 0) // a prefix clash would be a table typing error
            throw std::logic_error(std::string("ambiguous variable-length code ") + bits);
        e = {value, static_cast<uint8_t>(len)};
    }
}

const VlcTables& Tables()
{
    static const VlcTables tables = [] {
        VlcTables t;
        t.mcbpcIntra = VlcTable(kMcbpcIntraCodes, kMcbpcIntraCount);
        t.mcbpcInter = VlcTable(kMcbpcInterCodes, kMcbpcInterCount);
        t.cbpy = VlcTable(kCbpyCodes, kCbpyCount);
        t.dcSizeLuma = VlcTable(kDcSizeLumaCodes, kDcSizeLumaCount);
        t.dcSizeChroma = VlcTable(kDcSizeChromaCodes, kDcSizeChromaCount);
        t.mvd = VlcTable(kMvdCodes, kMvdCount);
        t.tcoef = VlcTable(kTcoefCodeBits, kTcoefCodeCount + 1);
        t.intra = MakeCoefficientTable(true);
        t.inter = MakeCoefficientTable(false);
        t.intraCoef = MakeCoefLookup(t.tcoef, t.intra);
        t.interCoef = MakeCoefLookup(t.tcoef, t.inter);
        t.intraCoefShort = MakeShortCoefLookup(t.intraCoef);
        t.interCoefShort = MakeShortCoefLookup(t.interCoef);
        return t;
    }();
    return tables;
}

} // namespace kv::mpeg4
