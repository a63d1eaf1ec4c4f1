// Byte-at-a-time reading from a CxFile through a 4096-byte buffer.
#pragma once

#include "xfile.h"

#include <cstddef>
#include <cstdint>

namespace kv {

class ByteReader {
public:
    explicit ByteReader(CxFile* file) : m_file(file) {}

    // The next byte, or -1 once the file has nothing more.
    int Get()
    {
        if (m_pos == m_end) {
            if (m_done || !m_file)
                return -1;
            m_end = m_file->Read(m_buffer, 1, sizeof(m_buffer));
            m_pos = 0;
            if (m_end == 0) {
                m_done = true;
                return -1;
            }
        }
        return m_buffer[m_pos++];
    }

private:
    CxFile* m_file;
    std::uint8_t m_buffer[4096];
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_done = false;
};

} // namespace kv
