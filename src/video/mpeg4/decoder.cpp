// Decoder lifetime, configuration headers, the picture loop and the output picture.
#include "video/mpeg4/decoder.h"

#include "mpeg4dec.h"
#include "video/mpeg4/picture_ops.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace kv::mpeg4 {
namespace {

// Deblocking strength: one running value for the whole module.
std::atomic<int> g_deblockStrength{0};

int BitsFor(int resolution)
{
    int bits = 1;
    while (bits < 16 && (1 << bits) < resolution)
        ++bits;
    return bits;
}

} // namespace

int DeblockStrengthForTesting() { return g_deblockStrength.load(); }
void SetDeblockStrengthForTesting(int s) { g_deblockStrength.store(s); }

Decoder::Decoder(const ModuleProfile& profile)
    : profile_(profile), ops_(SelectBlockOps(profile.lowPrecisionIdct)), vlc_(Tables())
{
}

std::unique_ptr<Decoder> Decoder::Create(const ModuleProfile& profile)
{
    std::unique_ptr<Decoder> d(new (std::nothrow) Decoder(profile));
    if (!d || !d->AllocateBuffers())
        return nullptr;
    d->Reset();
    return d;
}

bool Decoder::AllocateBuffers()
{
    const size_t w = static_cast<size_t>(profile_.decoderMaxWidth);
    const size_t h = static_cast<size_t>(profile_.decoderMaxHeight);
    const size_t mbs = ((w + 15) / 16) * ((h + 15) / 16);
    for (auto& picture : planes_) {
        if (!picture[0].Allocate((w + 2 * kLumaBorder) * (h + 2 * kLumaBorder)))
            return false;
        for (int p = 1; p <= 2; ++p)
            if (!picture[p].Allocate((w / 2 + 2 * kChromaBorder) * (h / 2 + 2 * kChromaBorder)))
                return false;
    }
    return enlargeRows_.Allocate(4 * 2 * w) && mbInfo_.Allocate(mbs) && motion_.Allocate(mbs);
}

// Macroblocks cover the picture, the last row and column reaching past its edge when the
// size is not a multiple of 16; the planes are laid out for whole macroblocks (the module
// maxima are multiples of 16, so they fit the buffers).
void Decoder::SetGeometry(int width, int height)
{
    width_ = width;
    height_ = height;
    mbCols_ = (width + 15) / 16;
    mbRows_ = (height + 15) / 16;
    stride_ = mbCols_ * 16 + 2 * kLumaBorder;
    cstride_ = mbCols_ * 8 + 2 * kChromaBorder;
}

void Decoder::Reset()
{
    width_ = height_ = 0;
    upscale_ = true;
    refused_ = false;
    timeResolution_ = 0;
    timeBits_ = 1;
    quantType_ = 0;
    vopType_ = VopType::I;
    rounding_ = 0;
    vopQuant_ = quant_ = fcode_ = 1;
    nonZero_ = 0;
    std::memset(block_, 0, sizeof block_);
    cur_ = 0;
    if (touched_) {
        for (auto& picture : planes_)
            for (auto& plane : picture)
                std::memset(plane.get(), 0, plane.size);
        std::memset(mbInfo_.get(), 0, mbInfo_.size * sizeof(MacroblockInfo));
        std::memset(motion_.get(), 0, motion_.size * sizeof(MotionInfo));
        touched_ = false;
    }
    SetGeometry(profile_.decoderMaxWidth, profile_.decoderMaxHeight);
}

int Decoder::ReferencePixel(int plane, int x, int y) const
{
    return Ref(plane)[static_cast<ptrdiff_t>(y) * (plane ? cstride_ : stride_) + x];
}

// ---------------------------------------------------------------------------------------
// Configuration headers

bool Decoder::SkipToNextStartCode(size_t from)
{
    const uint8_t* d = br_.Data();
    const size_t n = br_.Size();
    for (size_t i = from; i + 3 <= n; ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            br_.SeekByte(i);
            return true;
        }
    }
    return false;
}

// Visual object header: identifier, type and the optional video signal description, then
// stuffing to the next byte.
bool Decoder::ParseVisualObject()
{
    if (br_.ReadBit())
        br_.Skip(7); // verid, priority
    const uint32_t type = br_.Read(4);
    if (type == 1 || type == 2) { // video or still texture: video_signal_type
        if (br_.ReadBit()) {
            br_.Skip(4); // video_format, video_range
            if (br_.ReadBit())
                br_.Skip(24); // colour description
        }
    }
    if (br_.Exhausted())
        return false;
    br_.SeekByte(br_.AlignedBytePosition());
    return true;
}

// The fixed video object layer layout: 80 bits after the start code. Flags that would move
// the layout or select tools this decoder does not have make it refuse the stream.
Decoder::VolResult Decoder::ParseVol()
{
    bool ok = true;
    br_.Skip(1);                 // random_accessible_vol
    br_.Skip(8);                 // video_object_type_indication
    ok &= br_.ReadBit() == 0;    // is_object_layer_identifier
    ok &= br_.Read(4) != 15;     // aspect_ratio_info: no extended value
    ok &= br_.ReadBit() == 0;    // vol_control_parameters
    ok &= br_.Read(2) == 0;      // video_object_layer_shape: rectangular
    br_.Skip(1);                 // marker
    const int resolution = static_cast<int>(br_.Read(16));
    br_.Skip(1);                 // marker
    ok &= br_.ReadBit() == 0;    // fixed_vop_rate
    br_.Skip(1);                 // marker
    const int width = static_cast<int>(br_.Read(13));
    br_.Skip(1);                 // marker
    const int height = static_cast<int>(br_.Read(13));
    br_.Skip(1);                 // marker
    ok &= br_.ReadBit() == 0;    // interlaced
    ok &= br_.ReadBit() == 1;    // obmc_disable
    ok &= br_.ReadBit() == 0;    // sprite_enable
    ok &= br_.ReadBit() == 0;    // not_8_bit
    const int quantType = static_cast<int>(br_.ReadBit());
    if (quantType) {
        ok &= br_.ReadBit() == 0; // load_intra_quant_mat
        ok &= br_.ReadBit() == 0; // load_nonintra_quant_mat
    }
    ok &= br_.ReadBit() == 1;    // complexity_estimation_disable
    br_.Skip(1);                 // resync_marker_disable
    ok &= br_.ReadBit() == 0;    // data_partitioned
    ok &= br_.ReadBit() == 0;    // scalability
    if (br_.Exhausted())
        return VolResult::Truncated;
    br_.SeekByte(br_.AlignedBytePosition());

    ok &= width > 0 && height > 0 && width <= profile_.decoderMaxWidth && height <= profile_.decoderMaxHeight;
    if (!ok)
        return VolResult::Refused;
    timeResolution_ = resolution;
    timeBits_ = BitsFor(resolution);
    quantType_ = quantType;
    upscale_ = false;
    SetGeometry(width, height);
    return VolResult::Accepted;
}

bool Decoder::ParseHeaders(DECODER& record)
{
    if (!profile_.postFilter)
        record.postFilter = 1; // the motion module keeps the flag set and never reads it
    const uint8_t* d = br_.Data();
    const size_t n = br_.Size();
    size_t pos = 0;
    for (;;) {
        if (pos + 4 > n || d[pos] != 0 || d[pos + 1] != 0 || d[pos + 2] != 1)
            return false;
        const uint8_t code = d[pos + 3];
        br_.SeekByte(pos + 4);
        if (code == 0xB6) {
            br_.SeekByte(pos);
            return true;
        }
        if (code == 0xB0) { // visual object sequence: profile and level
            br_.Skip(8);
        } else if (code == 0xB5) {
            if (!ParseVisualObject())
                return false;
        } else if (code <= 0x1F) { // video object
        } else if (code >= 0x20 && code <= 0x2F) {
            const VolResult r = ParseVol();
            if (r == VolResult::Truncated)
                return false;
            refused_ = r == VolResult::Refused;
            if (refused_)
                return false;
        } else if (code == 0xB2 || code == 0xB3) {
            // User data runs to the next start code; a group-of-VOP header carries only a
            // time code, which this decoder does not use.
            if (!SkipToNextStartCode(pos + 4))
                return false;
        } else {
            return false;
        }
        if (br_.Exhausted())
            return false;
        pos = br_.AlignedBytePosition();
    }
}

// ---------------------------------------------------------------------------------------
// One call

int Decoder::Decode(DECODER& record, uint8_t* output, const uint8_t* input, int* length)
{
    const int size = *length;
    *length = 0;
    auto finish = [&](bool ok) {
        record.width = width_;
        record.height = height_;
        record.upscaleOutput = upscale_ ? 1 : 0;
        if (!ok)
            *length = 4;
        return ok ? 0 : 1;
    };
    if (!output || !input || size < 0)
        return finish(false);
    br_.Reset(input, static_cast<size_t>(size));

    const bool headers = record.expectHeaders != 0;
    if (headers) {
        if (!ParseHeaders(record) || refused_)
            return finish(false);
    } else if (size >= 4 && input[0] == 0 && input[1] == 0 && input[2] == 1 && input[3] == 0xB3) {
        // A group-of-VOP header in front of the picture is passed over.
        if (!SkipToNextStartCode(4))
            return finish(false);
    }

    // A failed picture leaves the reference as it was; the next picture overwrites every
    // macroblock of the other buffer again.
    touched_ = true;
    const VopResult result = DecodeVop();
    if (result == VopResult::Failed)
        return finish(false);

    // Trailing stuffing: the rest of a partly read byte, or a whole stuffing byte when the
    // data ended on a byte boundary.
    const size_t bits = br_.BitPosition();
    size_t end = (bits + 7) / 8;
    if (bits % 8 == 0 && bits > 0 && input[bits / 8 - 1] != 0)
        end = std::min(end + 1, static_cast<size_t>(size));

    if (result == VopResult::Decoded) {
        PadCurrent();
        cur_ = 1 - cur_; // the new picture becomes the reference
    }
    if (headers)
        record.expectHeaders = 0;
    const bool filter = profile_.postFilter && record.postFilter != 0;
    WriteOutput(record, output, result == VopResult::Decoded ? vopType_ : VopType::B, filter);
    *length = static_cast<int>(end);
    return finish(true);
}

Decoder::VopResult Decoder::DecodeVop()
{
    if (br_.Read(32) != 0x000001B6)
        return VopResult::Failed;
    vopType_ = static_cast<VopType>(br_.Read(2));
    while (br_.ReadBit()) // modulo_time_base
        if (br_.Exhausted())
            return VopResult::Failed;
    br_.Skip(1); // marker
    br_.Skip(timeBits_);
    br_.Skip(1); // marker
    const bool coded = br_.ReadBit() != 0;
    if (br_.Exhausted())
        return VopResult::Failed;
    if (!coded)
        return VopResult::Repeat; // nothing changed since the previous picture

    const bool isP = vopType_ == VopType::P;
    rounding_ = isP ? static_cast<int>(br_.ReadBit()) : 0;
    br_.Skip(3); // intra_dc_vlc_thr: DC is always coded on its own
    vopQuant_ = static_cast<int>(br_.Read(5));
    if (isP)
        fcode_ = static_cast<int>(br_.Read(3));
    if (br_.Exhausted())
        return VopResult::Failed;
    if (vopType_ != VopType::I && !isP)
        return VopResult::Repeat; // B- and S-VOPs are not decoded: show the previous picture
    // A zero quantiser or forward code cannot be decoded (and would divide by zero).
    if (vopQuant_ == 0 || (isP && fcode_ == 0))
        return VopResult::Failed;

    quant_ = vopQuant_;
    std::memset(block_, 0, sizeof block_); // a failed call may have left coefficients behind
    const VlcTable& mcbpcTable = vlc_.mcbpcIntra;
    for (int my = 0; my < mbRows_; ++my) {
        for (int mx = 0; mx < mbCols_; ++mx) {
            bool ok;
            if (isP) {
                ok = DecodeMacroblockP(mx, my);
            } else {
                int mcbpc;
                do {
                    if (!mcbpcTable.Decode(br_, mcbpc) || br_.Exhausted())
                        return VopResult::Failed;
                } while (mcbpc == kMcbpcStuffing);
                const bool acPred = br_.ReadBit() != 0;
                int cbpy;
                if (!vlc_.cbpy.Decode(br_, cbpy))
                    return VopResult::Failed;
                if (mcbpc >> 2 == 4) {
                    static constexpr int kDquant[4] = {-1, -2, 1, 2};
                    quant_ = std::clamp(quant_ + kDquant[br_.Read(2)], 1, 31);
                }
                motion_.get()[my * mbCols_ + mx] = MotionInfo{};
                ok = DecodeIntraMacroblock(mx, my, mcbpc & 3, cbpy, acPred);
            }
            if (!ok || br_.Exhausted())
                return VopResult::Failed;
        }
    }
    return VopResult::Decoded;
}

// ---------------------------------------------------------------------------------------
// Pictures

// The reference holds every decoded macroblock, also the rows and columns past the picture
// edge when the size is not a multiple of 16: the encoder predicts from that same area, and
// the border repeats its edge pixels.
void Decoder::PadCurrent()
{
    PadBorders(Cur(0), stride_, mbCols_ * 16, mbRows_ * 16, kLumaBorder);
    PadBorders(Cur(1), cstride_, mbCols_ * 8, mbRows_ * 8, kChromaBorder);
    PadBorders(Cur(2), cstride_, mbCols_ * 8, mbRows_ * 8, kChromaBorder);
}

void Decoder::WriteOutput(DECODER& record, uint8_t* output, VopType type, bool filter)
{
    (void)record;
    // The picture just decoded (or the repeated one) is the reference now.
    const int w = width_, h = height_, cw = w / 2, ch = h / 2;
    const uint8_t* y = Ref(0);
    int yStride = stride_;
    if (filter) {
        // The filter improves the displayed picture only; the reference keeps what the
        // encoder predicted from.
        int s = g_deblockStrength.load();
        int qp = s;
        if (type == VopType::I) {
            qp = s + 5;
        } else if (type == VopType::P) {
            s = (vopQuant_ + 4 * s) / 5;
            g_deblockStrength.store(s);
            qp = s;
        }
        // The picture not serving as reference is free until the next call rewrites it.
        uint8_t* f = Cur(0);
        for (int r = 0; r < h; ++r)
            std::memcpy(f + r * w, y + r * yStride, static_cast<size_t>(w));
        Deblock(f, w, h, qp);
        y = f;
        yStride = w;
    }
    if (!upscale_) {
        uint8_t* out = output;
        for (int r = 0; r < h; ++r, out += w)
            std::memcpy(out, y + r * yStride, static_cast<size_t>(w));
        for (const uint8_t* plane : {Ref(1), Ref(2)})
            for (int r = 0; r < ch; ++r, out += cw)
                std::memcpy(out, plane + r * cstride_, static_cast<size_t>(cw));
        return;
    }
    uint8_t* out = output;
    Enlarge2x(y, yStride, w, h, out, enlargeRows_.get());
    out += static_cast<size_t>(4) * w * h;
    for (const uint8_t* plane : {Ref(1), Ref(2)}) {
        Enlarge2x(plane, cstride_, cw, ch, out, enlargeRows_.get());
        out += static_cast<size_t>(4) * cw * ch;
    }
}

} // namespace kv::mpeg4
