#include "video/image/exif_reader.h"
#include "video/image/saturating_cast.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kv {
namespace {

constexpr int kSof0 = 0xC0, kSof15 = 0xCF;
constexpr int kDht = 0xC4, kJpg = 0xC8, kDac = 0xCC;
constexpr int kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1, kCom = 0xFE;

constexpr int kBytesPerFormat[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int kNumFormats = 12;

enum Format {
    kUByte = 1, kString = 2, kUShort = 3, kULong = 4, kURational = 5, kSByte = 6, kUndefined = 7,
    kSShort = 8, kSLong = 9, kSRational = 10, kSingle = 11, kDouble = 12
};

enum Tag {
    kTagMake = 0x010F, kTagModel = 0x0110, kTagOrientation = 0x0112, kTagXResolution = 0x011A,
    kTagYResolution = 0x011B, kTagResolutionUnit = 0x0128, kTagDateTime = 0x0132,
    kTagThumbnailOffset = 0x0201, kTagThumbnailLength = 0x0202, kTagExposureTime = 0x829A,
    kTagFNumber = 0x829D, kTagExifOffset = 0x8769, kTagIso = 0x8827, kTagDateTimeOriginal = 0x9003,
    kTagFlash = 0x9209, kTagFocalLength = 0x920A, kTagInteropOffset = 0xA005
};

// Directories may link to each other; deeper links than any real file uses are ignored.
constexpr int kMaxNesting = 4;

void CopyText(char* dest, std::size_t destSize, const std::uint8_t* src, std::size_t length)
{
    const std::size_t n = length < destSize - 1 ? length : destSize - 1;
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

} // namespace

ExifReader::ExifReader(CxFile* file, ExifInfo* record) : m_file(file), m_info(record) {}

void ExifReader::SetError(const char* text)
{
    std::snprintf(m_lastError, sizeof(m_lastError), "%s", text);
}

std::uint16_t ExifReader::Get16(const std::uint8_t* p) const
{
    return m_motorola ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : static_cast<std::uint16_t>((p[1] << 8) | p[0]);
}

std::uint32_t ExifReader::Get32(const std::uint8_t* p) const
{
    if (m_motorola)
        return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
               (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
    return (static_cast<std::uint32_t>(p[3]) << 24) | (static_cast<std::uint32_t>(p[2]) << 16) |
           (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
}

double ExifReader::ConvertAnyFormat(const std::uint8_t* value, int format) const
{
    switch (format) {
    case kSByte: return static_cast<std::int8_t>(value[0]);
    case kUByte: return value[0];
    case kUShort: return Get16(value);
    case kULong: return Get32(value);
    case kURational: {
        const std::uint32_t den = Get32(value + 4);
        return den == 0 ? 0.0 : static_cast<double>(Get32(value)) / den;
    }
    case kSRational: {
        const auto den = static_cast<std::int32_t>(Get32(value + 4));
        return den == 0 ? 0.0 : static_cast<double>(static_cast<std::int32_t>(Get32(value))) / den;
    }
    case kSShort: return static_cast<std::int16_t>(Get16(value));
    case kSLong: return static_cast<std::int32_t>(Get32(value));
    case kSingle: {
        const std::uint32_t bits = Get32(value);
        float f;
        std::memcpy(&f, &bits, sizeof(f));
        return f;
    }
    case kDouble: {
        std::uint64_t bits = m_motorola ? (static_cast<std::uint64_t>(Get32(value)) << 32) | Get32(value + 4)
                                        : (static_cast<std::uint64_t>(Get32(value + 4)) << 32) | Get32(value);
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        return d;
    }
    default: return 0.0;
    }
}

bool ExifReader::Decode()
{
    if (!m_file || !m_info)
        return false;
    const long position = m_file->Tell();
    m_commentSeen = false;
    const bool valid = ScanSections();
    m_file->Seek(position, SEEK_SET);
    return valid;
}

bool ExifReader::ScanSections()
{
    if (m_file->GetC() != 0xFF || m_file->GetC() != 0xD8)
        return false;

    bool exifFound = false;
    for (int sections = 0;; ++sections) {
        if (sections >= kMaxSections) {
            SetError("Too many sections in jpg file");
            return false;
        }
        long marker = 0;
        for (int a = 0;; ++a) {
            marker = m_file->GetC();
            if (marker != 0xFF)
                break;
            if (a >= 6) {
                std::printf("too many padding bytes\n");
                return false;
            }
        }
        const long high = m_file->GetC();
        const long low = m_file->GetC();
        if (marker < 0 || high < 0 || low < 0) {
            SetError("Premature end of file?");
            return false;
        }
        const std::size_t length = static_cast<std::size_t>((high << 8) | low);
        if (length < 2) {
            SetError("invalid marker");
            return false;
        }
        std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[length]);
        if (!data) {
            SetError("Could not allocate memory");
            return false;
        }
        data[0] = static_cast<std::uint8_t>(high);
        data[1] = static_cast<std::uint8_t>(low);
        if (m_file->Read(data.get() + 2, 1, length - 2) != length - 2) {
            SetError("Premature end of file?");
            return false;
        }

        switch (marker) {
        case kSos:
            return exifFound;
        case kEoi:
            std::printf("No image in jpeg!\n");
            return false;
        case kCom:
            if (!m_commentSeen) {
                ProcessComment(data.get() + 2, length - 2);
                m_commentSeen = true;
            }
            break;
        case kApp1:
            if (length >= 6 && std::memcmp(data.get() + 2, "Exif", 4) == 0) {
                if (!ProcessExif(data.get(), length))
                    return false;
                exifFound = true;
            }
            break;
        case kApp0:
            break;
        default:
            if (marker >= kSof0 && marker <= kSof15 && marker != kDht && marker != kJpg && marker != kDac)
                ProcessFrame(data.get(), length, static_cast<int>(marker));
            break;
        }
    }
}

void ExifReader::ProcessComment(const std::uint8_t* data, std::size_t length)
{
    if (length > kMaxComment)
        length = kMaxComment;
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t ch = data[i];
        if (ch == '\r' && i + 1 < length && data[i + 1] == '\n') {
            ++i; // the pair is dropped
            continue;
        }
        if ((ch >= 32 && ch != 127) || ch == '\n' || ch == '\t')
            m_info->comments[n++] = static_cast<char>(ch);
        else
            m_info->comments[n++] = '?';
    }
    m_info->comments[n] = '\0';
}

void ExifReader::ProcessFrame(const std::uint8_t* section, std::size_t length, int marker)
{
    m_info->process = marker;
    if (length < 8)
        return;
    m_info->height = (section[3] << 8) | section[4];
    m_info->width = (section[5] << 8) | section[6];
    m_info->isColor = section[7] == 3;
}

bool ExifReader::ProcessExif(const std::uint8_t* section, std::size_t length)
{
    m_info->isExif = false;
    if (length < 8 || std::memcmp(section + 2, "Exif", 4) != 0 || section[6] != 0 || section[7] != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (length < 16) {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (section[8] == 'I' && section[9] == 'I') {
        m_motorola = false;
    } else if (section[8] == 'M' && section[9] == 'M') {
        m_motorola = true;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    m_tiff = section + 8;
    m_tiffLength = length - 8;
    if (Get16(m_tiff + 2) != 0x2A) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    const std::uint32_t firstOffset = Get32(m_tiff + 4);
    if (!ProcessDirectory(8, 0))
        return false;
    if (firstOffset > 8 && !ProcessDirectory(firstOffset, 0))
        return false;
    m_info->isExif = true;
    return true;
}

bool ExifReader::ProcessDirectory(std::size_t dirOffset, int nesting)
{
    if (nesting > kMaxNesting)
        return true;
    if (dirOffset + 2 > m_tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }
    const std::uint8_t* dir = m_tiff + dirOffset;
    const std::size_t entries = Get16(dir);
    if (dirOffset + 2 + 12 * entries > m_tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }
    for (std::size_t e = 0; e < entries; ++e) {
        const std::uint8_t* entry = dir + 2 + 12 * e;
        const int tag = Get16(entry);
        const int format = Get16(entry + 2);
        const std::uint32_t components = Get32(entry + 4);
        if (format < 1 || format > kNumFormats) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        const std::uint64_t byteCount = static_cast<std::uint64_t>(components) * kBytesPerFormat[format];
        const std::uint8_t* value = entry + 8;
        if (byteCount > 4) {
            const std::uint32_t offset = Get32(entry + 8);
            if (static_cast<std::uint64_t>(offset) + byteCount > m_tiffLength) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            value = m_tiff + offset;
        }
        // A value is read only when the entry holds at least one whole item.
        const bool hasValue = components > 0;
        const std::size_t textLength = static_cast<std::size_t>(byteCount);

        switch (tag) {
        case kTagMake:
            if (format == kString)
                CopyText(m_info->cameraMake, sizeof(m_info->cameraMake), value, textLength);
            break;
        case kTagModel:
            if (format == kString)
                CopyText(m_info->cameraModel, sizeof(m_info->cameraModel), value, textLength);
            break;
        case kTagDateTime:
        case kTagDateTimeOriginal:
            if (format == kString)
                CopyText(m_info->dateTime, sizeof(m_info->dateTime), value, textLength);
            break;
        case kTagOrientation:
            if (hasValue) {
                m_info->orientation = kv::image::SaturatingCast<std::int32_t>(ConvertAnyFormat(value, format));
                if (m_info->orientation < 1 || m_info->orientation > 8) {
                    SetError("Undefined rotation value");
                    m_info->orientation = 0;
                }
            }
            break;
        case kTagXResolution:
            if (hasValue)
                m_info->xResolution = static_cast<float>(ConvertAnyFormat(value, format));
            break;
        case kTagYResolution:
            if (hasValue)
                m_info->yResolution = static_cast<float>(ConvertAnyFormat(value, format));
            break;
        case kTagResolutionUnit:
            if (hasValue) {
                switch (kv::image::SaturatingCast<int>(ConvertAnyFormat(value, format))) {
                case 1:
                case 2: m_info->resolutionUnit = 1.0f; break;
                case 3: m_info->resolutionUnit = 0.3937007874f; break;
                case 4: m_info->resolutionUnit = 0.03937007874f; break;
                case 5: m_info->resolutionUnit = 0.00003937007874f; break;
                default: break;
                }
            }
            break;
        case kTagExposureTime:
            if (hasValue)
                m_info->exposureTime = static_cast<float>(ConvertAnyFormat(value, format));
            break;
        case kTagFNumber:
            if (hasValue)
                m_info->apertureFNumber = static_cast<float>(ConvertAnyFormat(value, format));
            break;
        case kTagFocalLength:
            if (hasValue)
                m_info->focalLength = static_cast<float>(ConvertAnyFormat(value, format));
            break;
        case kTagFlash:
            if (hasValue)
                m_info->flashUsed = kv::image::SaturatingCast<std::int32_t>(ConvertAnyFormat(value, format));
            break;
        case kTagIso:
            if (hasValue)
                m_info->isoEquivalent = kv::image::SaturatingCast<std::int32_t>(ConvertAnyFormat(value, format));
            break;
        case kTagThumbnailOffset:
            if (hasValue)
                m_info->thumbnailOffset = kv::image::SaturatingCast<std::uint32_t>(ConvertAnyFormat(value, format));
            break;
        case kTagThumbnailLength:
            if (hasValue)
                m_info->thumbnailSize = kv::image::SaturatingCast<std::uint32_t>(ConvertAnyFormat(value, format));
            break;
        case kTagExifOffset:
        case kTagInteropOffset: {
            if (!hasValue || byteCount < 4)
                break;
            const std::uint32_t subdir = Get32(value);
            if (subdir >= m_tiffLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            if (!ProcessDirectory(subdir, nesting + 1))
                return false;
            break;
        }
        default:
            break;
        }
    }
    return true;
}

} // namespace kv
