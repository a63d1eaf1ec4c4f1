// Fuzzes the MPEG-4 decoder with configuration headers and pictures.
//
// Input: one option byte, then an elementary stream. The stream is cut into access units the
// way a player hands them over (headers with the first picture, then one VOP each) and fed to
// a fresh decoder. The option byte picks the IDCT precision, whether the post-filter runs on
// every picture, and (rarely: bits 2-4 all set) the viewer's maximum picture size instead of
// a small one (small keeps runs fast and makes size refusals common).
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t options = data[0];
    ++data;
    --size;

    kv::ModuleProfile profile = kv::kKavaroProfile;
    profile.lowPrecisionIdct = options & 1;
    profile.postFilter = (options & 2) != 0;
    if ((options & 0x1C) != 0x1C) {
        profile.decoderMaxWidth = 176;
        profile.decoderMaxHeight = 144;
    }
    DECODER* d = kv::CreateDecoder(profile);
    if (!d)
        return 0;
    static std::vector<uint8_t> output;
    output.resize(6u * static_cast<size_t>(profile.decoderMaxWidth) * static_cast<size_t>(profile.decoderMaxHeight));

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
        const int rc = decoder_decode(d, output.data(), data + cuts[k], &length);
        if (rc != 0 && (rc != 1 || length != 4))
            __builtin_trap(); // a failure must say so through both results
        if (rc == 0 && (length < 0 || length > static_cast<int>(cuts[k + 1] - cuts[k])))
            __builtin_trap();
        if (!(options & 2))
            d->postFilter = 0;
    }
    decoder_destroy(d);
    return 0;
}
