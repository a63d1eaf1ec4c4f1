// Fuzzes the MPEG-4 decoder with configuration headers and pictures.
//
// Input: one option byte, then an elementary stream. The stream is cut into access units the
// way a player hands them over (headers with the first picture, then one VOP each) and fed to
// a decoder. The option byte picks the IDCT precision (bit 0), whether the post-filter runs
// on every picture (bit 1), and (rarely: bits 2-7 exactly 000111) the viewer's maximum
// picture size, 1024x768, instead of 48x32. The small maximum keeps runs fast (a stream
// without a VOL header is enlarged from the maximum size) and makes size refusals common;
// with the large one only streams with a VOL header and only their first two access units
// are decoded; without a VOL header only the first three units are.
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
            profile.decoderMaxWidth = 48;
            profile.decoderMaxHeight = 32;
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

    const bool large = (options & 0xFC) == 0x1C;
    const int index = (options & 3) | (large ? 4 : 0);
    Variant& v = VariantFor(index);
    DECODER* d = v.decoder.get();
    if (!d)
        return 0;
    kv::ResetDecoder(*d);
    kv::mpeg4::SetDeblockStrengthForTesting(0);

    // The first unit runs to the second VOP start code, each later one to the next.
    std::vector<size_t> cuts{0};
    bool seenVop = false;
    bool volBeforeVop = false;
    const size_t maxUnits = large ? 2 : 16;
    for (size_t i = 0; i + 3 < size && cuts.size() < maxUnits; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (data[i + 3] == 0xB6) {
                if (seenVop)
                    cuts.push_back(i);
                seenVop = true;
            } else if (!seenVop && (data[i + 3] & 0xF0) == 0x20) {
                volBeforeVop = true;
            }
        }
    }
    // Enlarging the viewer's maximum size without a VOL header would cost a hundred small
    // runs; the small maximum covers that path.
    if (large && !volBeforeVop)
        return 0;
    cuts.push_back(size);
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
        if (large && d->upscaleOutput && k > 0)
            break; // the first unit's VOL header was not accepted: nothing would follow but enlargements
        int length = static_cast<int>(cuts[k + 1] - cuts[k]);
        const int rc = decoder_decode(d, v.output.data(), data + cuts[k], &length);
        if (rc != 0 && (rc != 1 || length != 4))
            __builtin_trap(); // a failure must say so through both results
        if (rc == 0 && (length < 0 || length > static_cast<int>(cuts[k + 1] - cuts[k])))
            __builtin_trap();
        if (!(options & 2))
            d->postFilter = 0;
        // Without a VOL header every picture is enlarged from the maximum size, which costs
        // far more than decoding it; three such pictures cover that path.
        if (d->upscaleOutput && k >= 2)
            break;
    }
    return 0;
}
