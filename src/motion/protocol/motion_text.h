// The motion-settings protocol as text: the camera addresses, the request bodies and the
// reading of replies. Nothing here sends anything; MotionSetup does the exchanges.
//
// Bodies are ASCII, every line ends with CR LF, numbers are plain decimal. Replies give each
// setting as its key (colon and one blank included) followed by the value and a CR.
#pragma once

#include "motion/protocol/motion_settings.h"

#include <optional>
#include <string>
#include <string_view>

namespace kv::motion {

inline constexpr std::string_view kReadAreaBody = "COMMAND: MOT_READ_AREA\r\n\r\n";
inline constexpr std::string_view kReadViewBody = "COMMAND: MOT_READ_VIEW\r\n\r\n";
inline constexpr std::string_view kReleaseBody = "COMMAND: MOT_OCX_FREE\r\n\r\n";

// Pages the camera answers instead of settings; only these opening texts count.
inline constexpr std::string_view kUnauthorizedMarker = "<HTML><HEAD><TITLE>401 Unautho";
inline constexpr std::string_view kForbiddenMarker = "<HTML><HEAD><TITLE>403 Forbidd";
// A save or release was accepted.
inline constexpr std::string_view kAcceptedMarker = "MOT: OK";

// Where a camera's base address ("http://host[:port]", no trailing slash) leads.
struct MotionAddresses {
    std::string settings;  // every protocol command
    std::string snapshot;  // the still picture of mode 2
    std::string mjpeg;     // Motion-JPEG live stream
    std::string mpeg4;     // MPEG-4 live stream

    static MotionAddresses FromBase(std::string_view base);
};

inline bool Contains(std::string_view text, std::string_view marker)
{
    return text.find(marker) != std::string_view::npos;
}
inline bool AsksForAuthorization(std::string_view reply) { return Contains(reply, kUnauthorizedMarker); }
inline bool IsForbidden(std::string_view reply) { return Contains(reply, kForbiddenMarker); }
inline bool IsAccepted(std::string_view reply) { return Contains(reply, kAcceptedMarker); }

// The value of the first occurrence of key: the text behind it up to the next CR, read as
// a decimal integer (leading blanks, an optional sign, the digits up to the first other
// character; 0 without digits; saturated at the 32-bit range). Nothing when the key is
// absent or no CR ends its value.
std::optional<std::int32_t> ReplyValue(std::string_view reply, std::string_view key);

// Reads a reply into a record. A key that the reply does not carry keeps the value the
// record already has, so a short reply cannot turn settings into zeros. The level fields are
// never touched. The area reply's "RES: " goes into res; the view reply's is ignored (the
// caller sets res to 3).
void ReadAreaReply(std::string_view reply, AreaSettings& settings);
void ReadViewReply(std::string_view reply, ViewSettings& settings);

// Keys of window n (0..3) in the order the bodies carry them: EN, THD, SENS, X1, Y1, X2, Y2.
std::string WindowKey(int window, int field);
inline constexpr int kWindowFieldCount = 7;

// The save bodies; both send "RES: 3" whatever the record holds.
std::string SaveAreasBody(const AreaSettings& settings);
std::string SaveViewBody(const ViewSettings& settings);

// Rounds to the nearest multiple of step, a remainder of half a step or more going up.
std::int32_t RoundToMultiple(std::int32_t value, std::int32_t step);
// The view area's rectangle as saved: x to multiples of 16, y to multiples of 8.
AreaRect RoundViewRect(const AreaRect& rect);

// Drawing scale of the live stream for a resolution code: 1 gives 400 %, 2 gives 200 %,
// anything else 100 %.
int ZoomPercentForResolution(std::int32_t res);

} // namespace kv::motion
