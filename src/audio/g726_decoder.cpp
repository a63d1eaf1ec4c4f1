// ITU-T G.726 ADPCM decoder for linear output, followed by the viewer's own post-filter.
//
// Block names in the comments (FMULT, ANTILOG, UPA2, ...) are the recommendation's, so each
// step can be checked against it. Arithmetic widths follow the recommendation: predictor
// coefficients and the floating values are 16 bits, the slow scale factor 19 bits.
#include "audio/g726_decoder.h"

#include "audio/g726_tables.h"
#include "core/export.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

namespace kv::g726 {
namespace {

constexpr std::int16_t kFloatZero = 0x20;                              // +0 in floating format
constexpr std::int16_t kFloatNegativeZero = static_cast<std::int16_t>(0xFC20);  // -0

int BitLength(unsigned value) noexcept
{
    return static_cast<int>(std::bit_width(value));
}

std::int16_t Saturate16(int value) noexcept
{
    return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

// FLOAT A / FLOAT B: a magnitude as 4-bit exponent and 6-bit mantissa, with the sign folded in
// by subtracting 0x400 (so negative values are negative 16-bit numbers).
std::int16_t ToFloat(int magnitude, bool negative) noexcept
{
    if (magnitude == 0)
        return negative ? kFloatNegativeZero : kFloatZero;
    const int exponent = BitLength(static_cast<unsigned>(magnitude));
    const int value = (exponent << 6) + ((magnitude << 6) >> exponent);
    return static_cast<std::int16_t>(negative ? value - 0x400 : value);
}

// FMULT: a predictor coefficient (an, the coefficient shifted right by 2) times a signal in
// floating format.
int Fmult(int an, int srn) noexcept
{
    const int anMag = an > 0 ? an : ((-an) & 0x1FFF);
    const int anExp = BitLength(static_cast<unsigned>(anMag)) - 6;
    const int anMant = anMag == 0 ? 32 : (anExp >= 0 ? anMag >> anExp : anMag << -anExp);
    const int wanExp = anExp + ((srn >> 6) & 0xF) - 13;
    const int wanMant = (anMant * (srn & 0x3F) + 0x30) >> 4;
    const int product = wanExp >= 0 ? ((wanMant << wanExp) & 0x7FFF) : (wanMant >> -wanExp);
    return (an ^ srn) < 0 ? -product : product;
}

// MIX: the scale factor y from the fast and slow factors and the speed control.
int StepSize(const G726_state& s) noexcept
{
    if (s.ap >= 256)
        return s.yu;
    // Wide arithmetic and a loose bound: a valid state keeps y within 544..5120, and nothing a
    // caller leaves in the state can overflow what follows.
    std::int64_t y = s.yl >> 6;
    const std::int64_t dif = s.yu - y;
    const std::int64_t al = s.ap >> 2;
    if (dif > 0)
        y += (dif * al) >> 6;
    else if (dif < 0)
        y += (dif * al + 0x3F) >> 6;
    return static_cast<int>(std::clamp<std::int64_t>(y, -(1 << 24), 1 << 24));
}

// ADDA + ANTILOG: the magnitude of the quantized difference.
int DifferenceMagnitude(int dqln, int y) noexcept
{
    const int dql = dqln + (y >> 2);
    if (dql < 0)
        return 0;
    const int dex = (dql >> 7) & 15;
    const int dqt = 128 + (dql & 127);
    // The scale factor's limits keep dex at 14 or below; only a state altered from outside
    // could reach 15.
    return dex <= 14 ? (dqt << 7) >> (14 - dex) : 0x7FFF;
}

// Everything after reconstruction: scale factors, predictor coefficients, the delay lines,
// tone and transition detection, and the speed control.
void Adapt(G726_state& s, int codeBits, int y, int wi, int fi, bool dqNegative, int dqMag, int sr,
           int dqsez) noexcept
{
    const int pk0 = dqsez < 0 ? 1 : 0;

    // TRANS: a large difference while a tone is detected marks a transition.
    const int ylint = std::max(s.yl >> 15, 0);
    const int ylfrac = (s.yl >> 10) & 0x1F;
    const int thr = ylint > 9 ? (31 << 10) : ((32 + ylfrac) << ylint);
    const int dqthr = (thr + (thr >> 1)) >> 1;
    const bool transition = s.td != 0 && dqMag > dqthr;

    // FUNCTW, FILTD, LIMB: fast scale factor; FILTE: slow scale factor.
    s.yu = static_cast<std::int16_t>(std::clamp(y + ((wi - y) >> 5), 544, 5120));
    const std::int64_t yl = s.yl;  // wide, so no value a caller left in the state can overflow
    s.yl = static_cast<std::int32_t>(yl + s.yu + ((-yl) >> 6));

    int a2p = 0;
    if (transition) {
        // TRIGB: a modem-like signal resets the predictor.
        s.a[0] = s.a[1] = 0;
        std::fill(std::begin(s.b), std::end(s.b), std::int16_t{0});
    } else {
        const int pks1 = pk0 ^ s.pk[0];

        // UPA2, LIMC: second pole coefficient.
        a2p = s.a[1] - (s.a[1] >> 7);
        if (dqsez != 0) {
            const int fa1 = pks1 ? s.a[0] : -s.a[0];
            if (fa1 < -8191)
                a2p -= 0x100;
            else if (fa1 > 8191)
                a2p += 0xFF;
            else
                a2p += fa1 >> 5;
            if (pk0 ^ s.pk[1]) {
                if (a2p <= -12160)
                    a2p = -12288;
                else if (a2p >= 12416)
                    a2p = 12288;
                else
                    a2p -= 0x80;
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p += 0x80;
            }
        }
        s.a[1] = static_cast<std::int16_t>(a2p);

        // UPA1, LIMD: first pole coefficient, kept inside the stability triangle.
        int a1 = s.a[0] - (s.a[0] >> 8);
        if (dqsez != 0)
            a1 += pks1 == 0 ? 192 : -192;
        const int a1ul = 15360 - a2p;
        s.a[0] = static_cast<std::int16_t>(std::clamp(a1, -a1ul, a1ul));

        // UPB: zero coefficients; 40 kbit/s leaks more slowly.
        const int leakShift = codeBits == 5 ? 9 : 8;
        for (int i = 0; i < 6; ++i) {
            int bi = s.b[i] - (s.b[i] >> leakShift);
            if (dqMag != 0)
                bi += dqNegative == (s.dq[i] < 0) ? 128 : -128;
            s.b[i] = static_cast<std::int16_t>(bi);
        }
    }

    // FLOAT A and the difference delay line.
    for (int i = 5; i > 0; --i)
        s.dq[i] = s.dq[i - 1];
    s.dq[0] = ToFloat(dqMag, dqNegative);

    // FLOAT B and the signal delay line.
    s.sr[1] = s.sr[0];
    if (sr >= 0)
        s.sr[0] = ToFloat(sr, false);
    else if (sr > -32768)
        s.sr[0] = ToFloat(-sr, true);
    else
        s.sr[0] = kFloatNegativeZero;

    s.pk[1] = s.pk[0];
    s.pk[0] = static_cast<std::int16_t>(pk0);

    // TONE: a strongly negative second pole means a narrow-band (tone) signal.
    s.td = !transition && a2p < -11776 ? 1 : 0;

    // FILTA, FILTB, SUBTC, FILTC: adaptation speed control.
    s.dms = static_cast<std::int16_t>(s.dms + ((fi - s.dms) >> 5));
    s.dml = static_cast<std::int16_t>(s.dml + (((fi << 2) - s.dml) >> 7));
    if (transition)
        s.ap = 256;
    else if (y < 1536 || s.td || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3))
        s.ap = static_cast<std::int16_t>(s.ap + ((0x200 - s.ap) >> 4));
    else
        s.ap = static_cast<std::int16_t>(s.ap + ((-s.ap) >> 4));
}

} // namespace

void Reset(G726_state& s) noexcept
{
    s = G726_state{};
    s.yl = 34816;
    s.yu = 544;
    std::fill(std::begin(s.dq), std::end(s.dq), kFloatZero);
    std::fill(std::begin(s.sr), std::end(s.sr), kFloatZero);
}

std::int16_t Reconstruct(G726_state& s, int codeBits, unsigned code) noexcept
{
    const RateTables& tables = TablesFor(codeBits);
    code &= (1u << codeBits) - 1;

    // FMULT, ACCUM: signal estimate from the zeros (sez) and from zeros and poles (se), summed
    // modulo 2^16 as the recommendation's 16-bit accumulators do.
    int sezi = 0;
    for (int i = 0; i < 6; ++i)
        sezi += Fmult(s.b[i] >> 2, s.dq[i]);
    sezi = static_cast<std::int16_t>(sezi);
    const int sei = static_cast<std::int16_t>(sezi + Fmult(s.a[1] >> 2, s.sr[1]) + Fmult(s.a[0] >> 2, s.sr[0]));
    const int sez = sezi >> 1;
    const int se = sei >> 1;

    // Inverse quantizer; ADDB, ADDC: reconstructed signal and the partial signal, 16 bits.
    const int y = StepSize(s);
    const bool dqNegative = (code & tables.signBit) != 0;
    const int dqMag = DifferenceMagnitude(tables.dqln[code], y);
    const int sr = static_cast<std::int16_t>(dqNegative ? se - dqMag : se + dqMag);
    const int dqsez = static_cast<std::int16_t>(sr - se + sez);

    Adapt(s, codeBits, y, tables.w[code], tables.f[code], dqNegative, dqMag, sr, dqsez);
    return static_cast<std::int16_t>(sr);
}

std::int16_t DecodeCode(G726_state& s, int codeBits, unsigned code) noexcept
{
    return Saturate16(Reconstruct(s, codeBits, code) * 4);
}

std::int16_t PostFilter(G726_state& s, std::int16_t sample) noexcept
{
    const int x = sample >> 1;
    const int acc = 588 * x + 2353 * s.x1 + 3530 * s.x2 + 2354 * s.x3 + 588 * s.x4
                  - 3031 * s.y1 - 2560 * s.y2 - 751 * s.y3 + 2048;
    // The filter can overshoot on full-scale steps; clipping the state and the doubled output
    // keeps a peak a peak instead of wrapping it into a loud click.
    const std::int16_t y = Saturate16(acc >> 12);
    s.x4 = s.x3;
    s.x3 = s.x2;
    s.x2 = s.x1;
    s.x1 = static_cast<std::int16_t>(x);
    s.y3 = s.y2;
    s.y2 = s.y1;
    s.y1 = y;
    return Saturate16(2 * y);
}

std::size_t MaxSamples(const G726_state& s, int codeBits, std::size_t inputLength) noexcept
{
    if (!IsValidCodeBits(codeBits))
        return 0;
    const bool carried = s.lastCodeBits == codeBits && s.pendingBits > 0 && s.pendingBits < codeBits;
    const std::size_t pending = carried ? static_cast<std::size_t>(s.pendingBits) : 0;
    return (pending + inputLength * 8) / static_cast<std::size_t>(codeBits);
}

std::size_t Decode(G726_state& s, int codeBits, std::span<const std::uint8_t> input,
                   std::span<std::int16_t> output) noexcept
{
    if (!IsValidCodeBits(codeBits))
        return 0;
    // Bits left by a call with another code size belong to another stream. (A count that
    // cannot have been left by this code size means the state was altered: start afresh.)
    if (s.lastCodeBits != codeBits || s.pendingBits < 0 || s.pendingBits >= codeBits) {
        s.pendingBits = 0;
        s.bitBuffer = 0;
        s.lastCodeBits = codeBits;
    }
    const unsigned mask = (1u << codeBits) - 1;
    std::size_t next = 0;
    std::size_t written = 0;
    while (written < output.size()) {
        if (s.pendingBits < codeBits) {
            if (next == input.size())
                break;
            s.bitBuffer = (s.bitBuffer << 8) | input[next++];
            s.pendingBits += 8;
        }
        s.pendingBits -= codeBits;
        const unsigned code = (s.bitBuffer >> s.pendingBits) & mask;
        output[written++] = PostFilter(s, DecodeCode(s, codeBits, code));
    }
    return written;
}

void StateDeleter::operator()(G726_state* state) const noexcept
{
    delete state;
}

StatePtr CreateState()
{
    StatePtr state(new G726_state);
    Reset(*state);
    return state;
}

} // namespace kv::g726

KV_EXTERN_C KV_API G726_state* G726_decoder_create(void)
{
    G726_state* state = new (std::nothrow) G726_state;
    if (state)
        kv::g726::Reset(*state);
    return state;
}

KV_EXTERN_C KV_API int G726_dec(G726_state* state, int codeBits, const unsigned char* input, int inputLength,
                                int16_t* output)
{
    if (!state || !output || inputLength < 0 || (!input && inputLength > 0) || !kv::g726::IsValidCodeBits(codeBits))
        return -1;
    const std::size_t length = static_cast<std::size_t>(inputLength);
    const std::size_t capacity = kv::g726::MaxSamples(*state, codeBits, length);
    const std::size_t written = kv::g726::Decode(*state, codeBits, std::span<const std::uint8_t>(input, length),
                                                 std::span<std::int16_t>(output, capacity));
    return static_cast<int>(written);
}

KV_EXTERN_C KV_API int G726_decoder_destroy(G726_state* state)
{
    if (!state)
        return -1;
    delete state;
    return 0;
}
