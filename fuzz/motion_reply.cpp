// Motion-settings reply reader over arbitrary bytes.
// Input: byte 0 bit 0 picks the area reply (0) or the view reply (1); the rest is the reply.
// Beyond not crashing: a record read from any reply, written as a save body and read back,
// comes back unchanged (the body carries every key once, before any other text).
#include "motion/protocol/motion_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace kv::motion;

void CheckArea(std::string_view reply)
{
    AreaSettings read;
    ReadAreaReply(reply, read);
    AreaSettings back;
    ReadAreaReply(SaveAreasBody(read), back);
    if (back.res != kSavedResolution)
        std::abort();
    for (std::size_t i = 0; i < read.windows.size(); ++i) {
        const DetectionWindow& a = read.windows[i];
        const DetectionWindow& b = back.windows[i];
        if (a.enabled != b.enabled || a.threshold != b.threshold || a.sensitivity != b.sensitivity ||
            RectOf(a) != RectOf(b) || b.level != 0)
            std::abort();
    }
}

void CheckView(std::string_view reply)
{
    ViewSettings read;
    ReadViewReply(reply, read);
    ViewSettings back;
    ReadViewReply(SaveViewBody(read), back);
    if (read.enabled != back.enabled || RectOf(read) != RectOf(back))
        std::abort();
    const AreaRect rounded = RoundViewRect(RectOf(read));
    if (rounded.x1 % 16 != 0 || rounded.x2 % 16 != 0 || rounded.y1 % 8 != 0 || rounded.y2 % 8 != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1)
        CheckView(reply);
    else
        CheckArea(reply);
    IsAccepted(reply);
    AsksForAuthorization(reply);
    IsForbidden(reply);
    return 0;
}
