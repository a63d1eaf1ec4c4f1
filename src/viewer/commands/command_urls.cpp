#include "viewer/commands/command_urls.h"

#include <array>

namespace kv::viewer {

namespace {

constexpr std::array<std::string_view, 8> kDirections{
    "up", "up-right", "right", "down-right", "down", "down-left", "left", "up-left"};

std::string Compose(std::string_view url, std::string_view query)
{
    std::string composed;
    composed.reserve(url.size() + query.size());
    composed.append(url).append(query);
    return composed;
}

} // namespace

std::string_view MoveDirectionOf(int padButtonId)
{
    if (padButtonId < IDC_PT_UP || padButtonId > IDC_PT_UP_LEFT)
        return {};
    return kDirections[static_cast<std::size_t>(padButtonId - IDC_PT_UP)];
}

std::string MoveUrl(std::string_view ptzfUrl, std::string_view direction)
{
    return Compose(ptzfUrl, std::string("?Move=").append(direction).append(",10"));
}

std::string StopUrl(std::string_view ptzfUrl) { return Compose(ptzfUrl, "?Move=stop,motor"); }

std::string HomeUrl(std::string_view presetUrl) { return Compose(presetUrl, "?PresetCall=0,10"); }

std::string PresetCallUrl(std::string_view presetUrl, std::string_view number)
{
    return Compose(presetUrl, std::string("?PresetCall=").append(number).append(",10"));
}

std::string AreaZoomUrl(std::string_view ptzfUrl, int dx, int dy)
{
    return Compose(ptzfUrl, "?AreaZoom=" + std::to_string(dx) + "," + std::to_string(dy) + ",0,0");
}

std::string InquiryUrl(std::string_view ptzfUrl) { return Compose(ptzfUrl, "?Inquiry"); }

std::optional<std::string> PadPressUrl(int padButtonId, std::string_view ptzfUrl, std::string_view presetUrl)
{
    if (padButtonId == IDC_PT_HOME)
        return HomeUrl(presetUrl);
    const std::string_view direction = MoveDirectionOf(padButtonId);
    if (direction.empty())
        return std::nullopt;
    return MoveUrl(ptzfUrl, direction);
}

std::optional<std::string> PadReleaseUrl(int padButtonId, std::string_view ptzfUrl)
{
    if (MoveDirectionOf(padButtonId).empty())
        return std::nullopt;
    return StopUrl(ptzfUrl);
}

std::optional<std::string> PresetSelectionUrl(std::string_view presetUrl, std::span<const std::string> presetNumbers,
                                              int selectedIndex)
{
    if (selectedIndex < 0 || static_cast<std::size_t>(selectedIndex) >= presetNumbers.size())
        return std::nullopt;
    return PresetCallUrl(presetUrl, presetNumbers[static_cast<std::size_t>(selectedIndex)]);
}

} // namespace kv::viewer
