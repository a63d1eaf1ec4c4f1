#include "motion/protocol/motion_text.h"

#include <cstdint>
#include <limits>

namespace kv::motion {

namespace {

constexpr std::string_view kWindowFields[kWindowFieldCount] = {"EN", "THD", "SENS", "X1", "Y1", "X2", "Y2"};

std::int32_t* WindowField(DetectionWindow& w, int field)
{
    std::int32_t* fields[kWindowFieldCount] = {&w.enabled, &w.threshold, &w.sensitivity, &w.x1,
                                               &w.y1,      &w.x2,        &w.y2};
    return fields[field];
}

std::int32_t WindowField(const DetectionWindow& w, int field)
{
    return *WindowField(const_cast<DetectionWindow&>(w), field);
}

bool IsBlank(char c)
{
    // What the C library counts as white space; a CR cannot occur inside a value.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f';
}

void AppendLine(std::string& body, std::string_view key, std::int32_t value)
{
    body += key;
    body += std::to_string(value);
    body += "\r\n";
}

void Take(std::string_view reply, std::string_view key, std::int32_t& field)
{
    if (const auto value = ReplyValue(reply, key))
        field = *value;
}

} // namespace

MotionAddresses MotionAddresses::FromBase(std::string_view base)
{
    const std::string b(base);
    return {b + "/ocxparser.cgi", b + "/snap.jpg", b + "/img/mjpeg.cgi", b + "/img/video.asf"};
}

std::optional<std::int32_t> ReplyValue(std::string_view reply, std::string_view key)
{
    if (key.empty())
        return std::nullopt;
    const auto at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = reply.substr(at + key.size());
    const auto end = rest.find('\r');
    if (end == std::string_view::npos)
        return std::nullopt;
    const std::string_view text = rest.substr(0, end);

    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Accumulated as a magnitude one past the largest int32 so that -2147483648 fits.
    constexpr std::int64_t kLimit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    if (negative)
        return static_cast<std::int32_t>(-magnitude);
    return static_cast<std::int32_t>(magnitude == kLimit ? kLimit - 1 : magnitude);
}

std::string WindowKey(int window, int field)
{
    std::string key = "AREA";
    key += static_cast<char>('0' + window);
    key += kWindowFields[field];
    key += ": ";
    return key;
}

void ReadAreaReply(std::string_view reply, AreaSettings& settings)
{
    Take(reply, "RES: ", settings.res);
    for (int n = 0; n < kWindowCount; ++n) {
        DetectionWindow& window = settings.windows[static_cast<std::size_t>(n)];
        for (int f = 0; f < kWindowFieldCount; ++f)
            Take(reply, WindowKey(n, f), *WindowField(window, f));
    }
}

void ReadViewReply(std::string_view reply, ViewSettings& settings)
{
    Take(reply, "VIEWEN: ", settings.enabled);
    Take(reply, "VIEWAREAX1: ", settings.x1);
    Take(reply, "VIEWAREAY1: ", settings.y1);
    Take(reply, "VIEWAREAX2: ", settings.x2);
    Take(reply, "VIEWAREAY2: ", settings.y2);
}

std::string SaveAreasBody(const AreaSettings& settings)
{
    std::string body = "COMMAND: MOT_SAVE_AREA\r\n";
    AppendLine(body, "RES: ", kSavedResolution);
    for (int n = 0; n < kWindowCount; ++n) {
        const DetectionWindow& window = settings.windows[static_cast<std::size_t>(n)];
        for (int f = 0; f < kWindowFieldCount; ++f)
            AppendLine(body, WindowKey(n, f), WindowField(window, f));
    }
    body += "\r\n";
    return body;
}

std::string SaveViewBody(const ViewSettings& settings)
{
    std::string body = "COMMAND: MOT_SAVE_VIEW\r\n";
    AppendLine(body, "RES: ", kSavedResolution);
    AppendLine(body, "VIEWEN: ", settings.enabled);
    AppendLine(body, "VIEWAREAX1: ", settings.x1);
    AppendLine(body, "VIEWAREAY1: ", settings.y1);
    AppendLine(body, "VIEWAREAX2: ", settings.x2);
    AppendLine(body, "VIEWAREAY2: ", settings.y2);
    body += "\r\n";
    return body;
}

std::int32_t RoundToMultiple(std::int32_t value, std::int32_t step)
{
    if (step <= 0)
        return value;
    const std::int64_t v = value;
    std::int64_t remainder = v % step;
    if (remainder < 0)
        remainder += step;
    std::int64_t rounded = v - remainder;
    if (remainder * 2 >= step)
        rounded += step;
    if (rounded > std::numeric_limits<std::int32_t>::max())
        rounded -= step;
    if (rounded < std::numeric_limits<std::int32_t>::min())
        rounded += step;
    return static_cast<std::int32_t>(rounded);
}

AreaRect RoundViewRect(const AreaRect& rect)
{
    return {RoundToMultiple(rect.x1, 16), RoundToMultiple(rect.y1, 8), RoundToMultiple(rect.x2, 16),
            RoundToMultiple(rect.y2, 8)};
}

int ZoomPercentForResolution(std::int32_t res)
{
    return res == 1 ? 400 : res == 2 ? 200 : 100;
}

} // namespace kv::motion
