// Scans a JPEG's marker sections before decoding and parses EXIF data, to take the picture
// resolution from it.
#pragma once

#include "xfile.h"

#include <cstddef>
#include <cstdint>

namespace kv {

struct ExifInfo {
    char cameraMake[32];
    char cameraModel[40];
    char dateTime[20];
    std::int32_t orientation;       // 1..8, 0 when undefined
    float exposureTime;
    float apertureFNumber;
    float focalLength;
    std::int32_t flashUsed;
    std::int32_t isoEquivalent;
    float xResolution;
    float yResolution;
    float resolutionUnit;           // factor that turns the resolution into dots per inch
    std::int32_t height;            // from the frame header
    std::int32_t width;
    bool isColor;
    std::int32_t process;           // frame marker code
    std::uint32_t thumbnailOffset;  // within the TIFF data
    std::uint32_t thumbnailSize;
    char comments[1001];
    bool isExif;
};

class ExifReader {
public:
    static constexpr int kMaxSections = 20;
    static constexpr std::size_t kMaxComment = 1000;

    ExifReader(CxFile* file, ExifInfo* record);

    // Scans from the stream's current position, which is restored afterwards. True when
    // valid EXIF data was found.
    bool Decode();

    const char* GetLastError() const { return m_lastError; }

    // Parses one APP1 section (its two length bytes first). Public for tests.
    bool ProcessExif(const std::uint8_t* section, std::size_t length);

private:
    bool ScanSections();
    bool ProcessDirectory(std::size_t dirOffset, int nesting);
    void ProcessComment(const std::uint8_t* data, std::size_t length);
    void ProcessFrame(const std::uint8_t* section, std::size_t length, int marker);
    void SetError(const char* text);

    std::uint16_t Get16(const std::uint8_t* p) const;
    std::uint32_t Get32(const std::uint8_t* p) const;
    double ConvertAnyFormat(const std::uint8_t* value, int format) const;

    CxFile* m_file;
    ExifInfo* m_info;
    bool m_motorola = false;
    bool m_commentSeen = false;
    const std::uint8_t* m_tiff = nullptr; // TIFF header inside the current section
    std::size_t m_tiffLength = 0;
    char m_lastError[256] = {};
};

} // namespace kv
