// Builds small MPEG-4 streams bit by bit, so tests can state exactly what the decoder sees.
#pragma once

#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kv::test {

class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i)
            PutBit((value >> i) & 1);
    }
    void PutBits(const std::string& bits)
    {
        for (char c : bits)
            PutBit(c == '1');
    }
    void PutBit(bool bit)
    {
        if (used_ == 0)
            bytes_.push_back(0);
        if (bit)
            bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
        used_ = (used_ + 1) & 7;
    }
    // MPEG-4 stuffing: a 0 and then 1s up to the byte boundary; a whole byte when aligned.
    void Stuff()
    {
        PutBit(false);
        while (used_ != 0)
            PutBit(true);
    }
    void StartCode(uint8_t code)
    {
        while (used_ != 0)
            PutBit(false);
        for (uint8_t b : {uint8_t{0}, uint8_t{0}, uint8_t{1}, code})
            Put(b, 8);
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

struct VolFields {
    int resolution = 30;
    int width = 160;
    int height = 120;
    int quantType = 0;
    bool objectLayerId = false;
    int aspect = 1;
    bool controlParameters = false;
    int shape = 0;
    bool fixedRate = false;
    bool interlaced = false;
    bool obmcDisable = true;
    bool sprite = false;
    bool not8Bit = false;
    bool loadIntraMatrix = false;
    bool loadInterMatrix = false;
    bool complexityDisable = true;
    bool dataPartitioned = false;
    bool scalability = false;
};

// Visual object sequence, visual object, video object and video object layer headers.
inline void WriteHeaders(BitWriter& w, const VolFields& f)
{
    w.StartCode(0xB0);
    w.Put(0x01, 8); // profile and level
    w.StartCode(0xB5);
    w.Put(0x8913, 16); // identifier 1, version 1, priority 1, video, no signal type, stuffing
    w.StartCode(0x00);
    w.StartCode(0x20);
    w.Put(0, 1);   // random_accessible_vol
    w.Put(1, 8);   // simple object type
    w.Put(f.objectLayerId, 1);
    w.Put(static_cast<uint32_t>(f.aspect), 4);
    w.Put(f.controlParameters, 1);
    w.Put(static_cast<uint32_t>(f.shape), 2);
    w.Put(1, 1);
    w.Put(static_cast<uint32_t>(f.resolution), 16);
    w.Put(1, 1);
    w.Put(f.fixedRate, 1);
    w.Put(1, 1);
    w.Put(static_cast<uint32_t>(f.width), 13);
    w.Put(1, 1);
    w.Put(static_cast<uint32_t>(f.height), 13);
    w.Put(1, 1);
    w.Put(f.interlaced, 1);
    w.Put(f.obmcDisable, 1);
    w.Put(f.sprite, 1);
    w.Put(f.not8Bit, 1);
    w.Put(static_cast<uint32_t>(f.quantType), 1);
    if (f.quantType) {
        w.Put(f.loadIntraMatrix, 1);
        w.Put(f.loadInterMatrix, 1);
    }
    w.Put(f.complexityDisable, 1);
    w.Put(1, 1); // resync_marker_disable
    w.Put(f.dataPartitioned, 1);
    w.Put(f.scalability, 1);
    w.Stuff();
}

inline int TimeBits(int resolution)
{
    int bits = 1;
    while ((1 << bits) < resolution)
        ++bits;
    return bits;
}

struct VopFields {
    int type = 0; // 0 I, 1 P, 2 B, 3 S
    int timeBits = 5;
    bool coded = true;
    int rounding = 0;
    int quant = 4;
    int fcode = 1;
};

inline void WriteVopHeader(BitWriter& w, const VopFields& v)
{
    w.StartCode(0xB6);
    w.Put(static_cast<uint32_t>(v.type), 2);
    w.Put(0, 1); // modulo_time_base
    w.Put(1, 1);
    w.Put(1, v.timeBits);
    w.Put(1, 1);
    w.Put(v.coded, 1);
    if (!v.coded)
        return;
    if (v.type == 1)
        w.Put(static_cast<uint32_t>(v.rounding), 1);
    w.Put(0, 3); // intra_dc_vlc_thr
    w.Put(static_cast<uint32_t>(v.quant), 5);
    if (v.type != 0)
        w.Put(static_cast<uint32_t>(v.fcode), 3);
}

// Intra DC difference: size code then the value bits (one's complement when negative).
inline void WriteDcDiff(BitWriter& w, int diff, bool luma)
{
    static const char* const kLuma[] = {"011", "11", "10", "010", "001", "0001", "00001", "000001", "0000001",
                                        "00000001", "000000001", "0000000001", "00000000001"};
    static const char* const kChroma[] = {"11", "10", "01", "001", "0001", "00001", "000001", "0000001",
                                          "00000001", "000000001", "0000000001", "00000000001", "000000000001"};
    int size = 0;
    while ((std::abs(diff) >> size) != 0)
        ++size;
    w.PutBits(luma ? kLuma[size] : kChroma[size]);
    if (size == 0)
        return;
    const uint32_t mask = (1u << size) - 1;
    w.Put(diff > 0 ? static_cast<uint32_t>(diff) : ~static_cast<uint32_t>(-diff) & mask, size);
    if (size > 8)
        w.Put(1, 1);
}

// An intra macroblock of an I-VOP with no AC coefficients: mcbpc "1" (intra, no chroma
// coefficients), no AC prediction, cbpy 0 ("0011"), then six DC differences.
inline void WriteDcOnlyIntraMacroblock(BitWriter& w, const int (&diffs)[6])
{
    w.PutBits("1");
    w.PutBits("0");
    w.PutBits("0011");
    for (int b = 0; b < 6; ++b)
        WriteDcDiff(w, diffs[b], b < 4);
}

// A whole I-VOP of DC-only macroblocks; the first macroblock gets firstDiffs, all others 0.
inline std::vector<uint8_t> DcOnlyIntraVop(const VopFields& v, int mbCount, const int (&firstDiffs)[6] = {0, 0, 0, 0, 0, 0})
{
    BitWriter w;
    WriteVopHeader(w, v);
    static const int kZero[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < mbCount; ++i)
        WriteDcOnlyIntraMacroblock(w, i == 0 ? firstDiffs : kZero);
    w.Stuff();
    return w.Bytes();
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::vector<uint8_t> HeaderBytes(const VolFields& f)
{
    BitWriter w;
    WriteHeaders(w, f);
    return w.Bytes();
}

// Decodes one access unit; returns the decoder's result and leaves the length in *length.
inline int Decode(DECODER* d, std::vector<uint8_t>& out, const std::vector<uint8_t>& in, int* length = nullptr)
{
    int len = static_cast<int>(in.size());
    const int rc = decoder_decode(d, out.data(), in.data(), &len);
    if (length)
        *length = len;
    return rc;
}

inline mpeg4::Decoder& Inner(DECODER* d) { return *d->state->decoder; }

struct DecoderDeleter {
    void operator()(DECODER* d) const { decoder_destroy(d); }
};
using DecoderPtr = std::unique_ptr<DECODER, DecoderDeleter>;

inline DecoderPtr MakeDecoder(const ModuleProfile& profile = kKavaroProfile)
{
    return DecoderPtr(CreateDecoder(profile));
}

// Access units of a committed fixture stream (tests/data/mpeg4/<name>.m4v): the headers with
// the first VOP, then one VOP each. Empty when the file is missing.
inline std::vector<std::vector<uint8_t>> FixtureUnits(const std::string& name)
{
    std::ifstream in(std::string(KV_TEST_DATA_DIR) + "/mpeg4/" + name + ".m4v", std::ios::binary);
    const std::vector<uint8_t> s{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<size_t> cuts;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6)
            cuts.push_back(i);
    std::vector<std::vector<uint8_t>> units;
    if (cuts.empty())
        return units;
    cuts[0] = 0;
    cuts.push_back(s.size());
    for (size_t k = 0; k + 1 < cuts.size(); ++k)
        units.emplace_back(s.begin() + static_cast<long>(cuts[k]), s.begin() + static_cast<long>(cuts[k + 1]));
    return units;
}

} // namespace kv::test
