// Macroblock and block decoding: intra blocks with DC/AC prediction, inter blocks, motion
// vectors and the prediction of inter macroblocks.
#include "video/mpeg4/decoder.h"

#include "video/mpeg4/motion_comp.h"
#include "video/mpeg4/round_div.h"
#include "video/mpeg4/tables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kv::mpeg4 {
namespace {

constexpr int kDquant[4] = {-1, -2, 1, 2};

inline int Clamp12(int v) { return std::clamp(v, -2048, 2047); }

// Whether any of a stored first row or column of levels is non-zero.
inline bool HasLevels(const int16_t (&levels)[7])
{
    int any = 0;
    for (int16_t v : levels)
        any |= v;
    return any != 0;
}

inline int Median(int a, int b, int c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

} // namespace

// ---------------------------------------------------------------------------------------
// Coefficients

// Reads one block's coefficient codes into block_ (raster order) through the scan, from scan
// position start, up to the code marked last. False for an invalid code, input that ran out,
// or an intra block running past position 63; inter positions past 63 are dropped.
//
// Inter blocks are dequantised as their levels are stored (Plain: the second method with
// quantiser q; Matrix: the first method with the weights in weights_), so no second pass over
// the block is needed; with Matrix the sum of the stored coefficients is left in coefSum_ for
// the mismatch control. Intra blocks store their levels (Levels), since prediction adds to
// some of them first.
template <Decoder::Dequant D>
bool Decoder::DecodeCoefficients(bool intra, const uint8_t* scan, int start, int q)
{
    const CoefficientTable& t = intra ? vlc_.intra : vlc_.inter;
    const CoefEntry* lookup = (intra ? vlc_.intraCoef : vlc_.interCoef).data();
    const CoefEntry* shortLookup = (intra ? vlc_.intraCoefShort : vlc_.interCoefShort).data();
    const int odd = (q & 1) ^ 1;
    const int32_t* const weights = weights_;
    // A local copy of the reader: the coefficient stores cannot alias it, so its state stays
    // in registers. Written back on every way out.
    BitReader br = br_;
    struct WriteBack {
        BitReader& from;
        BitReader& to;
        ~WriteBack() { to = from; }
    } writeBack{br, br_};
    uint64_t nonZero = nonZero_;
    int32_t sum = 0;
    int32_t* const block = block_;
    struct WriteBackState {
        uint64_t& from;
        uint64_t& to;
        int32_t& sumFrom;
        int32_t& sumTo;
        ~WriteBackState()
        {
            to = from;
            sumTo = sumFrom;
        }
    } writeBackState{nonZero, nonZero_, sum, coefSum_};
    // The first method: (2 |level| + 1) x W x Q / 16, clamped to -2048 ... 2047.
    auto matrix = [&](int magnitude2, bool negative, int pos) {
        const int m = (magnitude2 * weights[pos]) >> 4;
        return negative ? -std::min(m, 2048) : std::min(m, 2047);
    };
    int i = start;
    for (;;) {
        // Running out of input is tested where it can matter, not after every code: every
        // way out after the input ran out still fails (the reader never moves back), and the
        // loop cannot spin on the zeros past the end, since each code moves i forward until
        // the test at position 64.
        CoefEntry e = shortLookup[br.Peek(kCoefShortBits)];
        if (e.length == kCoefLonger) [[unlikely]]
            e = lookup[br.Peek(kCoefBits)];
        if (e.length == 0)
            return false;
        br.SkipPeeked(e.length);
        int code;
        int last, run, level;
        if (e.level != 0) {
            i += e.runLast & 127;
            if (i > 63) {
                if (intra || br.Exhausted())
                    return false;
                i = 64;
            } else {
                const int pos = scan[i];
                if constexpr (D == Dequant::Plain) {
                    // q * (2 |level| + 1) - odd with the level's sign. Only inter blocks get
                    // here; their table levels are at most 12, so q * 25 stays inside 12
                    // bits and needs no clamp.
                    const int sign = e.scaled >> 7; // 0 or -1
                    level = q * e.scaled - ((odd ^ sign) - sign);
                } else if constexpr (D == Dequant::Matrix) {
                    level = matrix(std::abs(static_cast<int>(e.scaled)), e.scaled < 0, pos);
                    sum += level;
                } else {
                    level = e.level;
                }
                block[pos] = level;
                nonZero |= uint64_t{1} << pos;
                ++i;
            }
            if (e.runLast & 128)
                return !br.Exhausted();
            continue;
        }
        if (br.ReadBit() == 0) { // level offset
            if (!vlc_.tcoef.Decode(br, code) || code == kTcoefEscape)
                return false;
            const RunLevel rl = t.code[code];
            last = rl.last;
            run = rl.run;
            const int magnitude = rl.level + t.maxLevel[last][run];
            level = br.ReadBit() ? -magnitude : magnitude;
        } else if (br.ReadBit() == 0) { // run offset
            if (!vlc_.tcoef.Decode(br, code) || code == kTcoefEscape)
                return false;
            const RunLevel rl = t.code[code];
            last = rl.last;
            run = rl.run + t.maxRun[last][rl.level] + 1;
            level = br.ReadBit() ? -rl.level : rl.level;
        } else { // fixed length
            last = static_cast<int>(br.ReadBit());
            run = static_cast<int>(br.Read(6));
            br.Skip(1);
            const int v = static_cast<int>(br.Read(12));
            level = v >= 2048 ? v - 4096 : v;
            br.Skip(1);
        }
        i += run;
        if (i > 63) {
            if (intra || br.Exhausted())
                return false;
            i = 64;
        } else {
            const int pos = scan[i];
            if constexpr (D == Dequant::Plain) {
                if (level != 0) {
                    const int magnitude = q * (2 * std::abs(level) + 1) - odd;
                    level = Clamp12(level > 0 ? magnitude : -magnitude);
                }
            } else if constexpr (D == Dequant::Matrix) {
                if (level != 0)
                    level = matrix(2 * std::abs(level) + 1, level < 0, pos);
                sum += level;
            }
            block[pos] = level;
            nonZero |= uint64_t{1} << pos;
            ++i;
        }
        if (last)
            return !br.Exhausted();
    }
}

// The inter weights of the first method for quantiser q: W_inter[i] x q.
void Decoder::SetInterWeights(int q)
{
    if (weightsQuant_ == q)
        return;
    for (int i = 0; i < 64; ++i)
        weights_[i] = kDefaultInterMatrix[i] * q;
    weightsQuant_ = q;
}

// Inverse quantisation of an intra block_ in place (positions listed in nonZero_):
// coefficient 0 holds the DC level and is scaled by the DC scaler, the others follow the
// VOL's method. The first method ends with the mismatch control.
void Decoder::DequantiseIntra(int q, int dcScaler)
{
    const uint64_t bits = nonZero_ & ~uint64_t{1};
    block_[0] = Clamp12(block_[0] * dcScaler);
    if (quantType_ == 0) {
        const int odd = (q & 1) ^ 1;
        for (uint64_t b = bits; b; b &= b - 1) {
            const int pos = __builtin_ctzll(b);
            const int level = block_[pos];
            if (level == 0)
                continue;
            const int magnitude = q * (2 * std::abs(level) + 1) - odd;
            block_[pos] = Clamp12(level > 0 ? magnitude : -magnitude);
        }
        return;
    }
    int sum = block_[0];
    for (uint64_t b = bits; b; b &= b - 1) {
        const int pos = __builtin_ctzll(b);
        const int level = block_[pos];
        // level x W x Q / 8, rounded towards zero like the division it is
        const int m = (std::abs(level) * kDefaultIntraMatrix[pos] * q) >> 3;
        const int c = level < 0 ? -std::min(m, 2048) : std::min(m, 2047);
        block_[pos] = c;
        sum += c;
    }
    MismatchControl(sum);
}

// When the coefficients add up to an even number, the last one's lowest bit flips.
void Decoder::MismatchControl(int sum)
{
    if ((sum & 1) == 0) {
        block_[63] ^= 1;
        nonZero_ |= uint64_t{1} << 63;
    }
}

// Zeroes the coefficients the last block set, ready for the next one: the single ones when
// they all lie in the first row, else the rows holding any.
void Decoder::ClearBlock()
{
    const uint64_t bits = nonZero_;
    nonZero_ = 0;
    if ((bits >> 8) == 0) {
        for (uint64_t b = bits; b; b &= b - 1)
            block_[__builtin_ctzll(b)] = 0;
        return;
    }
    for (int r = 0; r < 8; ++r)
        if ((bits >> (8 * r)) & 0xFF)
            std::memset(block_ + 8 * r, 0, 8 * sizeof(int32_t));
}

// ---------------------------------------------------------------------------------------
// Intra blocks

bool Decoder::DecodeIntraBlock(int mx, int my, int b, bool coded, bool acPred, uint8_t* dst, int stride)
{
    MacroblockInfo* const info = mbInfo_.get();
    MacroblockInfo& self = info[my * mbCols_ + mx];
    const bool luma = b < 4;
    const int q = quant_;
    const int scaler = luma ? DcScalerLuma(q) : DcScalerChroma(q);

    // Neighbours: left (A), above-left (B), above (C), each with the quantiser of its
    // macroblock. Blocks outside the picture or in non-intra macroblocks do not exist.
    auto mbAt = [&](int x, int y) -> MacroblockInfo* {
        if (x < 0 || y < 0)
            return nullptr;
        MacroblockInfo* m = &info[y * mbCols_ + x];
        return m->intra ? m : nullptr;
    };
    MacroblockInfo *mA = nullptr, *mB = nullptr, *mC = nullptr;
    int bA = b, bB = b, bC = b;
    switch (b) {
    case 0: mA = mbAt(mx - 1, my); bA = 1; mB = mbAt(mx - 1, my - 1); bB = 3; mC = mbAt(mx, my - 1); bC = 2; break;
    case 1: mA = &self; bA = 0; mB = mbAt(mx, my - 1); bB = 2; mC = mbAt(mx, my - 1); bC = 3; break;
    case 2: mA = mbAt(mx - 1, my); bA = 3; mB = mbAt(mx - 1, my); bB = 1; mC = &self; bC = 0; break;
    case 3: mA = &self; bA = 2; mB = &self; bB = 0; mC = &self; bC = 1; break;
    default: mA = mbAt(mx - 1, my); mB = mbAt(mx - 1, my - 1); mC = mbAt(mx, my - 1); break;
    }
    const int dcA = mA ? mA->block[bA].dc : 1024;
    const int dcB = mB ? mB->block[bB].dc : 1024;
    const int dcC = mC ? mC->block[bC].dc : 1024;
    const bool fromAbove = std::abs(dcA - dcB) < std::abs(dcB - dcC);
    const MacroblockInfo* pm = fromAbove ? mC : mA;
    const BlockPrediction* p = pm ? &pm->block[fromAbove ? bC : bA] : nullptr;

    // DC difference
    int size;
    if (!(luma ? vlc_.dcSizeLuma : vlc_.dcSizeChroma).Decode(br_, size))
        return false;
    int diff = 0;
    if (size > 0) {
        const int v = static_cast<int>(br_.Read(size));
        diff = (v >> (size - 1)) ? v : -(v ^ ((1 << size) - 1));
        if (size > 8)
            br_.Skip(1); // marker
    }

    BlockPrediction& keep = self.block[b];
    const int pdc = p ? p->dc : 1024;
    if (!coded && !(acPred && p && HasLevels(fromAbove ? p->row : p->col))) {
        // Only the first coefficient is non-zero (the common case): no coefficient block to
        // fill, transform or clear.
        const int level = Clamp12(diff + RoundDiv(pdc, scaler));
        keep.dc = level * scaler;
        std::memset(keep.row, 0, sizeof keep.row);
        std::memset(keep.col, 0, sizeof keep.col);
        const int dc = Clamp12(level * scaler);
        // The first method's mismatch control sets the last coefficient to 1 when dc is even.
        if (quantType_ != 0 && (dc & 1) == 0)
            ops_.putDcLast(dc, dst, stride);
        else
            ops_.putDc(dc, dst, stride);
        return true;
    }

    nonZero_ = 1; // the DC position is always processed
    if (coded) {
        const uint8_t* scan = !acPred ? kZigzagScan : fromAbove ? kAlternateHorizontalScan : kAlternateVerticalScan;
        if (!DecodeCoefficients<Dequant::Levels>(true, scan, 1, 0))
            return false;
    }

    // Prediction of DC and, with ac_pred_flag, of the first row or column.
    block_[0] = Clamp12(diff + RoundDiv(pdc, scaler));
    if (acPred && p) {
        const int pq = pm->quant;
        for (int k = 0; k < 7; ++k) {
            const int pos = fromAbove ? k + 1 : (k + 1) * 8;
            const int stored = fromAbove ? p->row[k] : p->col[k];
            if (stored == 0)
                continue;
            const int add = pq == q ? stored : RoundDiv(stored * pq, q);
            block_[pos] = Clamp12(block_[pos] + add);
            nonZero_ |= uint64_t{1} << pos;
        }
    }
    keep.dc = block_[0] * scaler;
    for (int k = 0; k < 7; ++k) {
        keep.row[k] = static_cast<int16_t>(block_[k + 1]);
        keep.col[k] = static_cast<int16_t>(block_[(k + 1) * 8]);
    }

    DequantiseIntra(q, scaler);
    if (nonZero_ == 1)
        ops_.putDc(block_[0], dst, stride);
    else if (IsDcAndLastOne())
        ops_.putDcLast(block_[0], dst, stride);
    else
        ops_.put(block_, dst, stride);
    ClearBlock();
    return true;
}

bool Decoder::DecodeIntraMacroblock(int mx, int my, int cbpc, int cbpy, bool acPred)
{
    MacroblockInfo& self = mbInfo_.get()[my * mbCols_ + mx];
    self.intra = 1;
    self.quant = static_cast<uint8_t>(quant_);
    uint8_t* y = Cur(0) + my * 16 * stride_ + mx * 16;
    const int cOff = my * 8 * cstride_ + mx * 8;
    for (int b = 0; b < 4; ++b) {
        uint8_t* dst = y + (b >> 1) * 8 * stride_ + (b & 1) * 8;
        if (!DecodeIntraBlock(mx, my, b, (cbpy >> (3 - b)) & 1, acPred, dst, stride_))
            return false;
    }
    return DecodeIntraBlock(mx, my, 4, (cbpc >> 1) & 1, acPred, Cur(1) + cOff, cstride_) &&
           DecodeIntraBlock(mx, my, 5, cbpc & 1, acPred, Cur(2) + cOff, cstride_);
}

// ---------------------------------------------------------------------------------------
// Inter macroblocks

bool Decoder::DecodeInterBlock(uint8_t* dst, int stride)
{
    nonZero_ = 0;
    if (quantType_ == 0) {
        if (!DecodeCoefficients<Dequant::Plain>(false, kZigzagScan, 0, quant_))
            return false;
    } else {
        SetInterWeights(quant_);
        if (!DecodeCoefficients<Dequant::Matrix>(false, kZigzagScan, 0, quant_))
            return false;
        MismatchControl(coefSum_);
    }
    // An empty block (every code ran past the end) transforms to zero: nothing to add.
    if (nonZero_ == 1)
        ops_.addDc(block_[0], dst, stride);
    else if (IsDcAndLastOne())
        ops_.addDcLast(block_[0], dst, stride);
    else if (nonZero_ != 0)
        ops_.add(block_, dst, stride);
    ClearBlock();
    return true;
}

MotionVector Decoder::PredictVector(int mx, int my, int block) const
{
    const MotionInfo* m = motion_.get();
    const MotionInfo& self = m[my * mbCols_ + mx];
    const bool hasLeft = mx > 0, hasAbove = my > 0, hasAboveRight = my > 0 && mx + 1 < mbCols_;
    MotionVector c[3] = {};
    bool have[3] = {};
    auto set = [&](int i, bool ok, int x, int y, int b) {
        have[i] = ok;
        if (ok)
            c[i] = m[y * mbCols_ + x].mv[b];
    };
    switch (block) {
    case 0:
        set(0, hasLeft, mx - 1, my, 1);
        set(1, hasAbove, mx, my - 1, 2);
        set(2, hasAboveRight, mx + 1, my - 1, 2);
        break;
    case 1:
        have[0] = true, c[0] = self.mv[0];
        set(1, hasAbove, mx, my - 1, 3);
        set(2, hasAboveRight, mx + 1, my - 1, 2);
        break;
    case 2:
        set(0, hasLeft, mx - 1, my, 3);
        have[1] = have[2] = true, c[1] = self.mv[0], c[2] = self.mv[1];
        break;
    default:
        have[0] = have[1] = have[2] = true, c[0] = self.mv[2], c[1] = self.mv[0], c[2] = self.mv[1];
        break;
    }
    const int count = have[0] + have[1] + have[2];
    if (count == 1)
        return have[0] ? c[0] : have[1] ? c[1] : c[2];
    return MotionVector{static_cast<int16_t>(Median(c[0].x, c[1].x, c[2].x)),
                        static_cast<int16_t>(Median(c[0].y, c[1].y, c[2].y))};
}

bool Decoder::DecodeVector(MotionVector pred, MotionVector& out)
{
    const int f = 1 << (fcode_ - 1);
    const int range = 32 * f;
    int v[2] = {pred.x, pred.y};
    for (int& comp : v) {
        int code;
        if (!vlc_.mvd.Decode(br_, code))
            return false;
        int diff = 0;
        if (code != 0) {
            const bool negative = br_.ReadBit() != 0;
            int magnitude = code;
            if (f > 1)
                magnitude = (code - 1) * f + static_cast<int>(br_.Read(fcode_ - 1)) + 1;
            diff = negative ? -magnitude : magnitude;
        }
        comp += diff;
        if (comp < -range)
            comp += 2 * range;
        else if (comp >= range)
            comp -= 2 * range;
    }
    out = {static_cast<int16_t>(v[0]), static_cast<int16_t>(v[1])};
    return true;
}

// Forms the prediction of an inter macroblock in the current picture.
void Decoder::PredictMacroblock(int mx, int my, bool fourVectors)
{
    const MotionInfo& mi = motion_.get()[my * mbCols_ + mx];
    const uint8_t* refY = Ref(0);
    uint8_t* y = Cur(0) + my * 16 * stride_ + mx * 16;
    // Positions are clamped so that every fetched sample lies in the reference border;
    // beyond it the border would only repeat itself.
    auto lumaBlock = [&](int px, int py, MotionVector v, int size, uint8_t* dst) {
        const int hx = std::clamp(2 * px + v.x, -2 * kLumaBorder, 2 * (width_ - size) + 2 * kLumaBorder);
        const int hy = std::clamp(2 * py + v.y, -2 * kLumaBorder, 2 * (height_ - size) + 2 * kLumaBorder);
        PredictBlock(dst, stride_, refY, stride_, hx, hy, size, rounding_);
    };
    int cvx, cvy;
    if (!fourVectors) {
        lumaBlock(mx * 16, my * 16, mi.mv[0], 16, y);
        auto chroma1 = [](int v) {
            const int a = std::abs(v);
            const int c = (a >> 2) * 2 + kChromaRound1[a & 3];
            return v < 0 ? -c : c;
        };
        cvx = chroma1(mi.mv[0].x);
        cvy = chroma1(mi.mv[0].y);
    } else {
        int sx = 0, sy = 0;
        for (int b = 0; b < 4; ++b) {
            const int bx = mx * 16 + (b & 1) * 8, by = my * 16 + (b >> 1) * 8;
            lumaBlock(bx, by, mi.mv[b], 8, y + (b >> 1) * 8 * stride_ + (b & 1) * 8);
            sx += mi.mv[b].x;
            sy += mi.mv[b].y;
        }
        auto chroma4 = [](int s) {
            const int a = std::abs(s);
            const int c = (a >> 4) * 2 + kChromaRound4[a & 15];
            return s < 0 ? -c : c;
        };
        cvx = chroma4(sx);
        cvy = chroma4(sy);
    }
    const int hx = std::clamp(2 * (mx * 8) + cvx, -2 * kChromaBorder, width_ - 16 + 2 * kChromaBorder);
    const int hy = std::clamp(2 * (my * 8) + cvy, -2 * kChromaBorder, height_ - 16 + 2 * kChromaBorder);
    const int cOff = my * 8 * cstride_ + mx * 8;
    const uint8_t* refU = Ref(1);
    const uint8_t* refV = Ref(2);
    PredictBlock(Cur(1) + cOff, cstride_, refU, cstride_, hx, hy, 8, rounding_);
    PredictBlock(Cur(2) + cOff, cstride_, refV, cstride_, hx, hy, 8, rounding_);
}

void Decoder::CopyFromReference(int mx, int my)
{
    const ptrdiff_t y = static_cast<ptrdiff_t>(my) * 16 * stride_ + mx * 16;
    const ptrdiff_t c = static_cast<ptrdiff_t>(my) * 8 * cstride_ + mx * 8;
    const ptrdiff_t ys = stride_, cs = cstride_;
    uint8_t* dst = Cur(0) + y;
    const uint8_t* src = Ref(0) + y;
#pragma GCC unroll 16
    for (int r = 0; r < 16; ++r)
        std::memcpy(dst + r * ys, src + r * ys, 16);
    uint8_t* du = Cur(1) + c;
    uint8_t* dv = Cur(2) + c;
    const uint8_t* su = Ref(1) + c;
    const uint8_t* sv = Ref(2) + c;
#pragma GCC unroll 8
    for (int r = 0; r < 8; ++r) {
        std::memcpy(du + r * cs, su + r * cs, 8);
        std::memcpy(dv + r * cs, sv + r * cs, 8);
    }
}

bool Decoder::DecodeMacroblockP(int mx, int my)
{
    MacroblockInfo& self = mbInfo_.get()[my * mbCols_ + mx];
    MotionInfo& mi = motion_.get()[my * mbCols_ + mx];
    int mcbpc;
    for (;;) {
        if (br_.ReadBit()) { // not coded: the previous picture at this place
            self.intra = 0;
            self.quant = static_cast<uint8_t>(quant_);
            mi = MotionInfo{};
            CopyFromReference(mx, my);
            return true;
        }
        if (!vlc_.mcbpcInter.Decode(br_, mcbpc) || br_.Exhausted())
            return false;
        if (mcbpc != kMcbpcStuffing)
            break;
    }
    const int type = mcbpc >> 2;
    const int cbpc = mcbpc & 3;
    const bool intra = type >= 3;
    const bool acPred = intra && br_.ReadBit();
    int cbpy;
    if (!vlc_.cbpy.Decode(br_, cbpy))
        return false;
    if (!intra)
        cbpy = 15 - cbpy;
    if (type == 1 || type == 4)
        quant_ = std::clamp(quant_ + kDquant[br_.Read(2)], 1, 31);

    if (intra) {
        mi = MotionInfo{};
        return DecodeIntraMacroblock(mx, my, cbpc, cbpy, acPred);
    }

    self.intra = 0;
    self.quant = static_cast<uint8_t>(quant_);
    const bool four = type == 2;
    if (!four) {
        MotionVector v;
        if (!DecodeVector(PredictVector(mx, my, 0), v))
            return false;
        mi.mv[0] = mi.mv[1] = mi.mv[2] = mi.mv[3] = v;
    } else {
        for (int b = 0; b < 4; ++b)
            if (!DecodeVector(PredictVector(mx, my, b), mi.mv[b]))
                return false;
    }
    if (br_.Exhausted())
        return false;
    PredictMacroblock(mx, my, four);

    uint8_t* y = Cur(0) + my * 16 * stride_ + mx * 16;
    for (int b = 0; b < 4; ++b)
        if ((cbpy >> (3 - b)) & 1)
            if (!DecodeInterBlock(y + (b >> 1) * 8 * stride_ + (b & 1) * 8, stride_))
                return false;
    const int cOff = my * 8 * cstride_ + mx * 8;
    if ((cbpc & 2) && !DecodeInterBlock(Cur(1) + cOff, cstride_))
        return false;
    if ((cbpc & 1) && !DecodeInterBlock(Cur(2) + cOff, cstride_))
        return false;
    return true;
}

} // namespace kv::mpeg4
