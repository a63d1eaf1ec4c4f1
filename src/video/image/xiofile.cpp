#include "xiofile.h"

CxIOFile::CxIOFile(std::FILE* fp) : m_fp(fp), m_bCloseFile(fp == nullptr) {}

CxIOFile::~CxIOFile()
{
    Close();
}

bool CxIOFile::Open(const char* filename, const char* mode)
{
    if (m_fp || !filename || !mode)
        return false;
    m_fp = std::fopen(filename, mode);
    if (!m_fp)
        return false;
    m_bCloseFile = true;
    return true;
}

bool CxIOFile::Close()
{
    int result = 0;
    if (m_fp && m_bCloseFile) {
        result = std::fclose(m_fp);
        m_fp = nullptr;
    }
    return result == 0;
}

std::size_t CxIOFile::Read(void* buffer, std::size_t size, std::size_t count)
{
    if (!m_fp || !buffer || size == 0)
        return 0;
    return std::fread(buffer, size, count, m_fp);
}

std::size_t CxIOFile::Write(const void* buffer, std::size_t size, std::size_t count)
{
    if (!m_fp || !buffer || size == 0)
        return 0;
    return std::fwrite(buffer, size, count, m_fp);
}

bool CxIOFile::Seek(long offset, int origin)
{
    if (!m_fp)
        return false;
    return std::fseek(m_fp, offset, origin) == 0;
}

long CxIOFile::Tell()
{
    if (!m_fp)
        return -1;
    return std::ftell(m_fp);
}

long CxIOFile::Size()
{
    if (!m_fp)
        return -1;
    const long position = std::ftell(m_fp);
    std::fseek(m_fp, 0, SEEK_END);
    const long size = std::ftell(m_fp);
    std::fseek(m_fp, position, SEEK_SET);
    return size;
}

bool CxIOFile::Flush()
{
    if (!m_fp)
        return false;
    return std::fflush(m_fp) == 0;
}

bool CxIOFile::Eof()
{
    if (!m_fp)
        return true;
    return std::feof(m_fp) != 0;
}

long CxIOFile::Error()
{
    if (!m_fp)
        return -1;
    return std::ferror(m_fp);
}

bool CxIOFile::PutC(unsigned char c)
{
    if (!m_fp)
        return false;
    return std::fputc(c, m_fp) == c;
}

long CxIOFile::GetC()
{
    if (!m_fp)
        return EOF;
    return std::getc(m_fp);
}
