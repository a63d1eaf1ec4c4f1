// Abstract byte stream the image codecs read from and write to.
#ifndef KV_XFILE_H
#define KV_XFILE_H

#include "ximage_types.h"

#include <cstddef>
#include <cstdint>

class KV_IMAGE_API CxFile {
public:
    CxFile() = default;
    CxFile(const CxFile&) = delete;
    CxFile& operator=(const CxFile&) = delete;
    virtual ~CxFile();

    virtual bool Close() = 0;
    // Both return the number of whole items transferred.
    virtual std::size_t Read(void* buffer, std::size_t size, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t size, std::size_t count) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(long offset, int origin) = 0;
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual long Error() = 0;
    // One-byte Write unless a stream does better.
    virtual bool PutC(unsigned char c);
    // The next byte, or -1 at the end.
    virtual long GetC() = 0;
};

#endif
