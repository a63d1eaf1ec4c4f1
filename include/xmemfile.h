// CxFile over a memory buffer that grows in 4096-byte steps.
#ifndef KV_XMEMFILE_H
#define KV_XMEMFILE_H

#include "xfile.h"

class KV_IMAGE_API CxMemFile : public CxFile {
public:
    // Over a caller's buffer of size bytes (the buffer stays the caller's: it is written in
    // place while writes fit, and copied into an owned buffer when they do not). A null
    // buffer starts an owned, empty file.
    explicit CxMemFile(std::uint8_t* buffer = nullptr, std::uint32_t size = 0);
    ~CxMemFile() override;

    // Fails when a buffer exists; otherwise starts an owned empty buffer.
    bool Open();
    // The buffer; with detach the caller takes it over (release it with std::free or
    // CxImage::FreeMemory), without it this object keeps freeing it.
    std::uint8_t* GetBuffer(bool detach = true);

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
    bool Grow(std::size_t needed);

    std::uint8_t* m_pBuffer;
    std::uint32_t m_Size;        // logical size
    bool m_bFreeOnClose;         // the buffer is owned
    long m_Position;
    std::uint32_t m_Edge;        // allocated capacity
};

#endif
