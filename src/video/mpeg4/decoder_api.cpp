// The exported C interface: decoder_create, decoder_decode, decoder_destroy.
#include "mpeg4dec.h"

#include "video/mpeg4/decoder.h"

#include <new>

namespace kv {

DECODER* CreateDecoder(const ModuleProfile& profile)
{
    auto* record = new (std::nothrow) DECODER{};
    if (!record)
        return nullptr;
    auto* state = new (std::nothrow) DecoderState{};
    if (!state) {
        delete record;
        return nullptr;
    }
    state->decoder = mpeg4::Decoder::Create(profile);
    if (!state->decoder) {
        delete state;
        delete record;
        return nullptr;
    }
    record->state = state;
    ResetDecoder(*record);
    return record;
}

void ResetDecoder(DECODER& record)
{
    mpeg4::Decoder& decoder = *record.state->decoder;
    decoder.Reset();
    record.width = decoder.Profile().decoderMaxWidth;
    record.height = decoder.Profile().decoderMaxHeight;
    record.upscaleOutput = 1;
    record.postFilter = 1;
    record.expectHeaders = 1;
}

} // namespace kv

extern "C" {

KV_MPEG4_API intptr_t decoder_create(void)
{
    return reinterpret_cast<intptr_t>(kv::CreateDecoder(kv::ActiveProfile()));
}

KV_MPEG4_API int decoder_decode(DECODER* decoder, unsigned char* output, const unsigned char* input, int* length)
{
    if (!length)
        return 1;
    if (!decoder || !decoder->state || !decoder->state->decoder) {
        *length = 4;
        return 1;
    }
    return decoder->state->decoder->Decode(*decoder, output, input, length);
}

KV_MPEG4_API int decoder_destroy(DECODER* decoder)
{
    if (!decoder)
        return -1;
    delete decoder->state;
    delete decoder;
    return 0;
}

} // extern "C"
