// CxFile over a buffered stdio stream.
#ifndef KV_XIOFILE_H
#define KV_XIOFILE_H

#include "xfile.h"

#include <cstdio>

class KV_IMAGE_API CxIOFile : public CxFile {
public:
    // A stream handed in stays the caller's (never closed here); without one the object
    // owns whatever Open opens and closes it on Close or destruction.
    explicit CxIOFile(std::FILE* fp = nullptr);
    ~CxIOFile() override;

    // Fails when a stream is already held.
    bool Open(const char* filename, const char* mode);

    bool Close() override;
    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

protected:
    std::FILE* m_fp;
    bool m_bCloseFile;
};

#endif
