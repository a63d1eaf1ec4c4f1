#include "xmemfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr std::size_t kGrowStep = 4096;
}

CxMemFile::CxMemFile(std::uint8_t* buffer, std::uint32_t size)
    : m_pBuffer(buffer), m_Size(buffer ? size : 0), m_bFreeOnClose(buffer == nullptr), m_Position(0),
      m_Edge(buffer ? size : 0)
{
}

CxMemFile::~CxMemFile()
{
    Close();
}

bool CxMemFile::Close()
{
    if (m_pBuffer && m_bFreeOnClose) {
        std::free(m_pBuffer);
        m_pBuffer = nullptr;
        m_Size = 0;
        m_Edge = 0;
        m_Position = 0;
    }
    return true;
}

bool CxMemFile::Open()
{
    if (m_pBuffer)
        return false;
    m_Position = 0;
    m_Size = 0;
    m_Edge = 0;
    m_bFreeOnClose = true;
    return Grow(1);
}

std::uint8_t* CxMemFile::GetBuffer(bool detach)
{
    m_bFreeOnClose = !detach;
    return m_pBuffer;
}

std::size_t CxMemFile::Read(void* buffer, std::size_t size, std::size_t count)
{
    if (!buffer || !m_pBuffer || size == 0 || m_Position < 0)
        return 0;
    if (static_cast<std::uint64_t>(m_Position) >= m_Size)
        return 0;
    const std::size_t available = m_Size - static_cast<std::size_t>(m_Position);
    std::size_t wanted = count > std::numeric_limits<std::size_t>::max() / size ? std::numeric_limits<std::size_t>::max()
                                                                               : size * count;
    const std::size_t bytes = wanted < available ? wanted : available;
    std::memcpy(buffer, m_pBuffer + m_Position, bytes);
    m_Position += static_cast<long>(bytes);
    return bytes / size;
}

// Makes room for needed bytes. A buffer that belongs to the caller is never reallocated:
// its content moves into a new owned buffer.
bool CxMemFile::Grow(std::size_t needed)
{
    if (m_pBuffer && needed <= m_Edge)
        return true;
    if (needed > std::numeric_limits<std::uint32_t>::max() - kGrowStep)
        return false;
    const std::size_t capacity = (needed + kGrowStep - 1) / kGrowStep * kGrowStep;
    std::uint8_t* grown = nullptr;
    if (m_pBuffer && m_bFreeOnClose) {
        grown = static_cast<std::uint8_t*>(std::realloc(m_pBuffer, capacity));
        if (!grown)
            return false;
    } else {
        grown = static_cast<std::uint8_t*>(std::malloc(capacity));
        if (!grown)
            return false;
        if (m_pBuffer && m_Size)
            std::memcpy(grown, m_pBuffer, m_Size);
    }
    m_pBuffer = grown;
    m_Edge = static_cast<std::uint32_t>(capacity);
    m_bFreeOnClose = true;
    return true;
}

std::size_t CxMemFile::Write(const void* buffer, std::size_t size, std::size_t count)
{
    if (!buffer || size == 0 || m_Position < 0)
        return 0;
    if (count > std::numeric_limits<std::uint32_t>::max() / size)
        return 0;
    const std::size_t bytes = size * count;
    const std::size_t end = static_cast<std::size_t>(m_Position) + bytes;
    if (end > std::numeric_limits<std::uint32_t>::max() || end > static_cast<std::size_t>(std::numeric_limits<long>::max()))
        return 0;
    if (!Grow(end))
        return 0;
    // A seek past the end leaves a gap; keep it zeroed rather than stale.
    if (static_cast<std::size_t>(m_Position) > m_Size)
        std::memset(m_pBuffer + m_Size, 0, static_cast<std::size_t>(m_Position) - m_Size);
    if (bytes)
        std::memcpy(m_pBuffer + m_Position, buffer, bytes);
    m_Position = static_cast<long>(end);
    if (end > m_Size)
        m_Size = static_cast<std::uint32_t>(end);
    return count;
}

bool CxMemFile::Seek(long offset, int origin)
{
    long base = 0;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = m_Position; break;
    case SEEK_END: base = static_cast<long>(m_Size); break;
    default: return false;
    }
    if ((offset < 0 && base < -offset) ||
        (offset > 0 && base > std::numeric_limits<long>::max() - offset))
        return false;
    m_Position = base + offset;
    return true;
}

long CxMemFile::Tell()
{
    if (!m_pBuffer)
        return -1;
    return m_Position;
}

long CxMemFile::Size()
{
    if (!m_pBuffer)
        return -1;
    return static_cast<long>(m_Size);
}

bool CxMemFile::Flush()
{
    return m_pBuffer != nullptr;
}

bool CxMemFile::Eof()
{
    if (!m_pBuffer)
        return true;
    return m_Position >= static_cast<long>(m_Size);
}

long CxMemFile::Error()
{
    return static_cast<long>(m_Size) < m_Position ? 1 : 0;
}

bool CxMemFile::PutC(unsigned char c)
{
    return Write(&c, 1, 1) == 1;
}

long CxMemFile::GetC()
{
    if (!m_pBuffer || Eof())
        return -1;
    return m_pBuffer[m_Position++];
}
