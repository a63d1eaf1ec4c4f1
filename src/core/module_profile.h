// The differences between the viewer module (Kavaro) and the motion-setup module (Mensilo).
//
// Both modules compile the stream client and the imaging code from the same sources; each
// copy behaves according to its own profile. The profile is an ordinary value, so one test
// program can exercise both variants side by side; each shared object answers
// ActiveProfile() with its own constant.
#pragma once

#include <cstddef>

namespace kv {

enum class ModuleKind { Kavaro, Mensilo };

// New fields go at the end with a default, and both constants below name every field.
struct ModuleProfile {
    ModuleKind kind;
    const char* name;

    // MPEG-4 decoder
    int decoderMaxWidth;
    int decoderMaxHeight;
    bool lowPrecisionIdct;    // Mensilo's IDCT constants
    bool postFilter;          // deblocking of the first picture after create

    // Stream client
    bool hasAudio;                  // audio chunks/streams are played at all
    bool htmlTestOnFirstBlock;      // MJPG: look for 401/503 pages in the first block
    bool asfPaddingMotionLevels;    // ASF padding prefix read as motion levels (else text)
    const char* asfPacketReadError; // message for a failed ASF packet read
    bool recording;                 // CPlayer may record the raw stream
    bool logPlayerExceptions;       // CPlayerException text + URL goes to the log
    bool writesLog;                 // DebugMessage writes anything at all

    // One-shot HTTP requests
    std::size_t requestChunkSize;   // bytes per body read
    bool requestPictureFlag;        // Request() can decode the body as a JPEG snapshot

    // Imaging
    bool hasImageEncoders;          // CxImage::Encode available

    // Picture display
    int displayX;                   // where pictures are drawn in the control window
    int displayY;
    bool mjpegDisplayZooms;         // the Motion-JPEG worker applies its zoom percent too
    int mpeg4DrawEvery;             // draw every n-th decoded MPEG-4 picture of a run
    bool mpeg4PostsDisplayOpened;   // the MPEG-4 worker posts WM_DISPLAY_OPENED when opened
    int asfKeepFactorSmall;         // N once the first picture is at most 400 pixels wide
    int asfKeepFactorLarge;         // N once the first picture is wider
};

inline constexpr ModuleProfile kKavaroProfile{
    .kind = ModuleKind::Kavaro,
    .name = "Kavaro",
    .decoderMaxWidth = 1024,
    .decoderMaxHeight = 768,
    .lowPrecisionIdct = false,
    .postFilter = true,
    .hasAudio = true,
    .htmlTestOnFirstBlock = true,
    .asfPaddingMotionLevels = false,
    .asfPacketReadError = "data reading error.",
    .recording = true,
    .logPlayerExceptions = true,
    .writesLog = true,
    .requestChunkSize = 8191,
    .requestPictureFlag = false,
    .hasImageEncoders = true,
    .displayX = 225,
    .displayY = 35,
    .mjpegDisplayZooms = false,
    .mpeg4DrawEvery = 1,
    .mpeg4PostsDisplayOpened = true,
    .asfKeepFactorSmall = 36,
    .asfKeepFactorLarge = 12,
};

inline constexpr ModuleProfile kMensiloProfile{
    .kind = ModuleKind::Mensilo,
    .name = "Mensilo",
    .decoderMaxWidth = 640,
    .decoderMaxHeight = 480,
    .lowPrecisionIdct = true,
    .postFilter = false,
    .hasAudio = false,
    .htmlTestOnFirstBlock = false,
    .asfPaddingMotionLevels = true,
    .asfPacketReadError = "data reading error4.",
    .recording = false,
    .logPlayerExceptions = false,
    .writesLog = false,
    .requestChunkSize = 255999,
    .requestPictureFlag = true,
    .hasImageEncoders = false,
    .displayX = 0,
    .displayY = 0,
    .mjpegDisplayZooms = true,
    .mpeg4DrawEvery = 3,
    .mpeg4PostsDisplayOpened = false,
    .asfKeepFactorSmall = 18,
    .asfKeepFactorLarge = 6,
};

// The profile of the module this code was linked into. Each shared object defines it with
// its own constant; the test library lets tests switch it.
const ModuleProfile& ActiveProfile();

// Test library only: choose the profile ActiveProfile() answers. Not present in the modules.
void SetActiveProfileForTesting(const ModuleProfile& profile);

} // namespace kv
