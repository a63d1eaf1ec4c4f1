#include "video/image/jpeg_stream_adapter.h"

#include <jerror.h>

namespace kv {
namespace {

// The callbacks below may leave through the library's error exit (longjmp): no object with
// a destructor lives in their frames.

JpegStreamAdapter* SourceOf(j_decompress_ptr cinfo)
{
    return reinterpret_cast<JpegStreamAdapter*>(cinfo->src);
}

JpegStreamAdapter* DestinationOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<JpegStreamAdapter*>(cinfo->dest);
}

void InitSource(j_decompress_ptr cinfo)
{
    SourceOf(cinfo)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    JpegStreamAdapter* adapter = SourceOf(cinfo);
    std::size_t count = adapter->file->Read(adapter->buffer, 1, JpegStreamAdapter::kBufferSize);
    if (count == 0) {
        if (adapter->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // Supply an end-of-image marker so a cut picture still finishes.
        adapter->buffer[0] = 0xFF;
        adapter->buffer[1] = JPEG_EOI;
        count = 2;
    }
    adapter->pub.source.next_input_byte = adapter->buffer;
    adapter->pub.source.bytes_in_buffer = count;
    adapter->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = &SourceOf(cinfo)->pub.source;
    std::size_t remaining = static_cast<std::size_t>(count);
    while (remaining > source->bytes_in_buffer) {
        remaining -= source->bytes_in_buffer;
        FillInputBuffer(cinfo);
    }
    source->next_input_byte += remaining;
    source->bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr) {}

void InitDestination(j_compress_ptr cinfo)
{
    JpegStreamAdapter* adapter = DestinationOf(cinfo);
    adapter->pub.destination.next_output_byte = adapter->buffer;
    adapter->pub.destination.free_in_buffer = JpegStreamAdapter::kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    JpegStreamAdapter* adapter = DestinationOf(cinfo);
    if (adapter->file->Write(adapter->buffer, 1, JpegStreamAdapter::kBufferSize) != JpegStreamAdapter::kBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    adapter->pub.destination.next_output_byte = adapter->buffer;
    adapter->pub.destination.free_in_buffer = JpegStreamAdapter::kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    JpegStreamAdapter* adapter = DestinationOf(cinfo);
    const std::size_t used = JpegStreamAdapter::kBufferSize - adapter->pub.destination.free_in_buffer;
    if (used > 0 && adapter->file->Write(adapter->buffer, 1, used) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    adapter->file->Flush();
    if (adapter->file->Error())
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

} // namespace

void JpegStreamAdapter::InstallSource(j_decompress_ptr cinfo, CxFile* stream, std::uint8_t* bytes)
{
    file = stream;
    buffer = bytes;
    startOfFile = true;
    pub.source.init_source = InitSource;
    pub.source.fill_input_buffer = FillInputBuffer;
    pub.source.skip_input_data = SkipInputData;
    pub.source.resync_to_restart = jpeg_resync_to_restart;
    pub.source.term_source = TermSource;
    pub.source.bytes_in_buffer = 0;
    pub.source.next_input_byte = nullptr;
    cinfo->src = &pub.source;
}

void JpegStreamAdapter::InstallDestination(j_compress_ptr cinfo, CxFile* stream, std::uint8_t* bytes)
{
    file = stream;
    buffer = bytes;
    startOfFile = false;
    pub.destination.init_destination = InitDestination;
    pub.destination.empty_output_buffer = EmptyOutputBuffer;
    pub.destination.term_destination = TermDestination;
    pub.destination.next_output_byte = nullptr;
    pub.destination.free_in_buffer = 0;
    cinfo->dest = &pub.destination;
}

} // namespace kv
