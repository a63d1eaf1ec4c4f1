// The MPEG-4 decoder behind decoder_create / decoder_decode / decoder_destroy.
//
// One Decoder per DECODER record. Every buffer is allocated once, for the module's largest
// picture, when the decoder is created; decoding allocates nothing.
#pragma once

#include "core/module_profile.h"
#include "video/mpeg4/bit_reader.h"
#include "video/mpeg4/idct.h"
#include "video/mpeg4/vlc.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

struct DECODER;

namespace kv::mpeg4 {

// What later blocks predict from: the reconstructed DC and the quantised levels of the first
// row (positions 1-7) and first column (positions 8, 16, ... 56) after prediction.
struct BlockPrediction {
    int32_t dc;
    int16_t row[7];
    int16_t col[7];
};

struct MacroblockInfo {
    uint8_t intra;
    uint8_t quant;
    BlockPrediction block[6];
};

struct MotionVector {
    int16_t x, y;
};

// The four block vectors of a macroblock (all four equal for one-vector macroblocks; zero
// for intra and not-coded macroblocks).
struct MotionInfo {
    MotionVector mv[4];
};

enum class VopType { I = 0, P = 1, B = 2, S = 3 };

// Border around the reference pictures: wide enough that motion compensation never tests
// picture edges.
inline constexpr int kLumaBorder = 32;
inline constexpr int kChromaBorder = 16;

// Plain buffer that stays put: allocated once, zero-filled, never resized. calloc lets the
// system hand out zero pages lazily, so creating a decoder for a large maximum stays cheap.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
struct Buffer {
    static_assert(std::is_trivial_v<T>);
    std::unique_ptr<T, FreeDeleter> data;
    size_t size = 0;
    bool Allocate(size_t count)
    {
        data.reset(static_cast<T*>(std::calloc(count, sizeof(T))));
        size = data ? count : 0;
        return data != nullptr;
    }
    T* get() const { return data.get(); }
};

class Decoder {
public:
    // nullptr when any allocation fails.
    static std::unique_ptr<Decoder> Create(const ModuleProfile& profile);

    // One access unit; 0 on success, 1 on failure (see include/mpeg4dec.h).
    int Decode(DECODER& record, uint8_t* output, const uint8_t* input, int* length);

    // Back to the state of a new decoder, pictures included, without allocating: what one
    // stream leaves behind cannot reach the next.
    void Reset();

    const ModuleProfile& Profile() const { return profile_; }
    int TimeIncrementBits() const { return timeBits_; }
    int QuantType() const { return quantType_; }
    int MacroblockColumns() const { return mbCols_; }
    int MacroblockRows() const { return mbRows_; }
    // Last decoded picture with its border: plane 0 Y, 1 U, 2 V. (x, y) may reach into the
    // border.
    int ReferencePixel(int plane, int x, int y) const;

private:
    explicit Decoder(const ModuleProfile& profile);
    bool AllocateBuffers();
    void SetGeometry(int width, int height);

    // Headers
    bool ParseHeaders(DECODER& record);
    enum class VolResult { Accepted, Refused, Truncated };
    VolResult ParseVol();
    bool ParseVisualObject();
    bool SkipToNextStartCode(size_t from);

    // Pictures
    enum class VopResult { Decoded, Repeat, Failed };
    VopResult DecodeVop();
    bool DecodeIntraMacroblock(int mx, int my, int cbpc, int cbpy, bool acPred);
    bool DecodeMacroblockP(int mx, int my);
    bool DecodeIntraBlock(int mx, int my, int b, bool coded, bool acPred, uint8_t* dst, int stride);
    bool DecodeInterBlock(uint8_t* dst, int stride);
    enum class Dequant { Levels, Plain, Matrix };
    template <Dequant D>
    bool DecodeCoefficients(bool intra, const uint8_t* scan, int start, int q);
    bool DecodeVector(MotionVector pred, MotionVector& out);
    MotionVector PredictVector(int mx, int my, int block) const;
    void PredictMacroblock(int mx, int my, bool fourVectors);
    void SetInterWeights(int q);
    void DequantiseIntra(int q, int dcScaler);
    void MismatchControl(int sum);
    // The block holds its first coefficient and a last one of 1 and nothing else: what the
    // mismatch control leaves of a block of the first method that held only its first.
    bool IsDcAndLastOne() const { return nonZero_ == (1 | uint64_t{1} << 63) && block_[63] == 1; }
    void ClearBlock();

    void CopyFromReference(int mx, int my);
    void PadCurrent();
    // Top-left picture sample of plane 0 (Y), 1 (U) or 2 (V) of the picture being decoded
    // and of the reference; both share the layout below.
    uint8_t* Cur(int plane) const { return Origin(cur_, plane); }
    const uint8_t* Ref(int plane) const { return Origin(1 - cur_, plane); }
    uint8_t* Origin(int picture, int plane) const
    {
        return plane == 0 ? planes_[picture][0].get() + kLumaBorder * stride_ + kLumaBorder
                          : planes_[picture][plane].get() + kChromaBorder * cstride_ + kChromaBorder;
    }
    void WriteOutput(DECODER& record, uint8_t* output, VopType type, bool filter);

    const ModuleProfile& profile_;
    BlockOps ops_;
    BitReader br_;
    const VlcTables& vlc_;

    // Stream configuration
    int width_ = 0, height_ = 0;
    bool upscale_ = true;
    bool refused_ = false; // the last VOL seen was refused: no picture may be decoded
    bool touched_ = false; // pictures or macroblock records were written since creation or Reset
    int timeResolution_ = 0;
    int timeBits_ = 1;
    int quantType_ = 0;

    // Geometry derived from width_ and height_
    int mbCols_ = 0, mbRows_ = 0;
    // Row strides of the luma and chroma planes: the macroblock area plus a border of 32
    // (luma) or 16 (chroma) samples on each side.
    int stride_ = 0, cstride_ = 0;

    // Current VOP
    VopType vopType_ = VopType::I;
    int rounding_ = 0;
    int vopQuant_ = 1;
    int quant_ = 1;
    int fcode_ = 1;

    // Block scratch: coefficients in raster order and which of them are non-zero.
    alignas(32) int32_t block_[64] = {};
    uint64_t nonZero_ = 0;
    int32_t coefSum_ = 0; // sum of the coefficients an inter block of the first method stored
    // The first method's inter weights W_inter[i] x Q for the quantiser weightsQuant_.
    int32_t weights_[64] = {};
    int weightsQuant_ = 0;

    // Two pictures, each Y, U, V with borders: one is decoded while the other is the
    // reference; they trade places after every decoded picture.
    Buffer<uint8_t> planes_[2][3];
    int cur_ = 0;
    Buffer<uint8_t> enlargeRows_; // four widened rows for the 2x enlargement
    Buffer<MacroblockInfo> mbInfo_;
    Buffer<MotionInfo> motion_;
};

// The deblocking strength shared by every decoder of the module.
int DeblockStrengthForTesting();
void SetDeblockStrengthForTesting(int s);

} // namespace kv::mpeg4

// The record's hidden part.
struct DecoderState {
    std::unique_ptr<kv::mpeg4::Decoder> decoder;
};

namespace kv {
// A decoder for an explicit module profile (decoder_create uses the active one); nullptr when
// an allocation fails. Free with decoder_destroy.
DECODER* CreateDecoder(const ModuleProfile& profile);
// Returns a record from CreateDecoder to the state it had when created.
void ResetDecoder(DECODER& record);
} // namespace kv
