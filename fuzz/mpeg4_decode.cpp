// Fuzzes the MPEG-4 decoder with configuration headers and pictures.
//
// Input: one option byte, then an elementary stream. The stream is cut into access units the
// way a player hands them over (headers with the first picture, then one VOP each) and fed to
// a decoder. The option byte picks the IDCT precision, whether the post-filter runs on every
// picture, and (rarely: bits 2-4 all set) the viewer's maximum picture size instead of a
// small one (small keeps runs fast and makes size refusals common).
//
// One decoder per option set lives for the whole process and is reset before each input, so
// a run costs no allocation of pictures and starts exactly as a new decoder would.
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct DecoderDeleter {
    void operator()(DECODER* d) const { decoder_destroy(d); }
};

struct Variant {
    std::unique_ptr<DECODER, DecoderDeleter> decoder;
    std::vector<uint8_t> output;
};

// Bit 0 low-precision IDCT, bit 1 post-filter, bit 2 the viewer's maximum size.
Variant& VariantFor(int index)
{
    static Variant variants[8];
    Variant& v = variants[index];
    if (!v.decoder) {
        kv::ModuleProfile profile = kv::kKavaroProfile;
        profile.lowPrecisionIdct = (index & 1) != 0;
        profile.postFilter = (index & 2) != 0;
        if (!(index & 4)) {
            profile.decoderMaxWidth = 176;
            profile.decoderMaxHeight = 144;
        }
        // The profile is copied into static storage: the decoder keeps a reference to it.
        static kv::ModuleProfile profiles[8];
        profiles[index] = profile;
        v.decoder.reset(kv::CreateDecoder(profiles[index]));
        v.output.resize(6u * static_cast<size_t>(profile.decoderMaxWidth) * static_cast<size_t>(profile.decoderMaxHeight));
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t options = data[0];
    ++data;
    --size;

    const int index = (options & 3) | ((options & 0x1C) == 0x1C ? 4 : 0);
    Variant& v = VariantFor(index);
    DECODER* d = v.decoder.get();
    if (!d)
        return 0;
    kv::ResetDecoder(*d);
    kv::mpeg4::SetDeblockStrengthForTesting(0);

    // The first unit runs to the second VOP start code, each later one to the next.
    std::vector<size_t> cuts{0};
    bool seenVop = false;
    for (size_t i = 0; i + 3 < size && cuts.size() < 16; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) {
            if (seenVop)
                cuts.push_back(i);
            seenVop = true;
        }
    }
    cuts.push_back(size);
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
        int length = static_cast<int>(cuts[k + 1] - cuts[k]);
        const int rc = decoder_decode(d, v.output.data(), data + cuts[k], &length);
        if (rc != 0 && (rc != 1 || length != 4))
            __builtin_trap(); // a failure must say so through both results
        if (rc == 0 && (length < 0 || length > static_cast<int>(cuts[k + 1] - cuts[k])))
            __builtin_trap();
        if (!(options & 2))
            d->postFilter = 0;
    }
    return 0;
}
