// CxImage's Decode and Encode entry points: the codec is chosen by format code and works on
// its own object, so a failed decode never leaves a half-built picture in the target.
#include "ximage.h"

#include "core/module_profile.h"
#include "video/image/bmp_codec.h"
#include "video/image/jpeg_codec.h"
#include "xiofile.h"
#include "xmemfile.h"

#include <cstdio>
#include <cstring>

namespace {

template <class Codec>
bool DecodeWith(CxImage& target, CxFile* file, char* lastError, std::size_t lastErrorSize)
{
    Codec codec;
    codec.CopySettings(target);
    if (codec.Read(file))
        return target.TakeOver(codec);
    std::snprintf(lastError, lastErrorSize, "%s", codec.GetLastError());
    return false;
}

} // namespace

bool CxImage::EncodeSafeCheck(CxFile* file)
{
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    if (!pDib) {
        SetLastError("null image!!!");
        return false;
    }
    return true;
}

bool CxImage::Decode(const std::uint8_t* buffer, std::uint32_t size, std::uint32_t imagetype)
{
    // Only read through this file: the buffer is never written or freed here.
    CxMemFile file(const_cast<std::uint8_t*>(buffer), buffer ? size : 0);
    return Decode(&file, imagetype);
}

bool CxImage::Decode(const char* path, std::uint32_t imagetype)
{
    CxIOFile file;
    if (!path || !file.Open(path, "rb")) {
        SetLastError("Decode: can't open file");
        return false;
    }
    return Decode(&file, imagetype);
}

bool CxImage::Decode(CxFile* file, std::uint32_t imagetype)
{
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    switch (imagetype) {
    case CXIMAGE_FORMAT_BMP:
        return DecodeWith<kv::BmpCodec>(*this, file, info.szLastError, sizeof(info.szLastError));
    case CXIMAGE_FORMAT_JPG:
        return DecodeWith<kv::JpegCodec>(*this, file, info.szLastError, sizeof(info.szLastError));
    case CXIMAGE_FORMAT_UNKNOWN: {
        const long position = file->Tell();
        char previousError[sizeof(info.szLastError)];
        std::memcpy(previousError, info.szLastError, sizeof(previousError));
        if (DecodeWith<kv::BmpCodec>(*this, file, info.szLastError, sizeof(info.szLastError)))
            return true;
        // Not a BMP: that message is not the caller's concern when the JPEG attempt follows.
        std::memcpy(info.szLastError, previousError, sizeof(previousError));
        file->Seek(position, SEEK_SET);
        if (DecodeWith<kv::JpegCodec>(*this, file, info.szLastError, sizeof(info.szLastError)))
            return true;
        file->Seek(position, SEEK_SET);
        break;
    }
    default:
        break;
    }
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

bool CxImage::Encode(const char* path, std::uint32_t imagetype)
{
    // Checked before the file is opened so that a module without encoders creates nothing.
    if (!kv::ActiveProfile().hasImageEncoders) {
        SetLastError("Encode: not available in this module");
        return false;
    }
    if (!path)
        return false;
    std::FILE* fp = std::fopen(path, "wb");
    if (!fp)
        return false;
    bool ok = false;
    {
        CxIOFile file(fp);
        ok = Encode(&file, imagetype);
    }
    if (std::fclose(fp) != 0 && ok) {
        SetLastError("Encode: error closing the file");
        ok = false;
    }
    return ok;
}

bool CxImage::Encode(CxFile* file, std::uint32_t imagetype)
{
    if (!kv::ActiveProfile().hasImageEncoders) {
        SetLastError("Encode: not available in this module");
        return false;
    }
    switch (imagetype) {
    case CXIMAGE_FORMAT_BMP: {
        kv::BmpCodec codec;
        codec.ShareFrom(*this);
        if (codec.Write(file))
            return true;
        SetLastError(codec.GetLastError());
        return false;
    }
    case CXIMAGE_FORMAT_JPG: {
        kv::JpegCodec codec;
        codec.ShareFrom(*this);
        if (codec.Write(file))
            return true;
        SetLastError(codec.GetLastError());
        return false;
    }
    default:
        SetLastError("Encode: Unknown format");
        return false;
    }
}

bool CxImage::Encode(std::uint8_t*& buffer, std::int32_t& size, std::uint32_t imagetype)
{
    buffer = nullptr;
    size = 0;
    CxMemFile file;
    if (!file.Open()) {
        SetLastError("Encode: can't allocate memory");
        return false;
    }
    if (!Encode(&file, imagetype))
        return false;
    size = static_cast<std::int32_t>(file.Size());
    buffer = file.GetBuffer(true);
    return true;
}
