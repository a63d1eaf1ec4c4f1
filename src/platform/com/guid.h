// Class, interface, library and category identifiers, spelled in the registry as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hexadecimal).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::com {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

namespace detail {
constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `count` hex digits at text[pos]; -1 when one is not a digit.
constexpr std::int64_t HexField(std::string_view text, std::size_t pos, std::size_t count)
{
    std::int64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = HexDigit(text[pos + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}
} // namespace detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces, in either case.
constexpr std::optional<Guid> ParseGuid(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    Guid guid;
    const auto d1 = detail::HexField(text, 0, 8);
    const auto d2 = detail::HexField(text, 9, 4);
    const auto d3 = detail::HexField(text, 14, 4);
    if (d1 < 0 || d2 < 0 || d3 < 0)
        return std::nullopt;
    guid.data1 = static_cast<std::uint32_t>(d1);
    guid.data2 = static_cast<std::uint16_t>(d2);
    guid.data3 = static_cast<std::uint16_t>(d3);
    constexpr std::size_t kBytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto byte = detail::HexField(text, kBytePos[i], 2);
        if (byte < 0)
            return std::nullopt;
        guid.data4[i] = static_cast<std::uint8_t>(byte);
    }
    return guid;
}

// A fixed identifier written in the source; a malformed literal does not compile.
consteval Guid MakeGuid(std::string_view text)
{
    const auto guid = ParseGuid(text);
    if (!guid)
        throw "malformed identifier";
    return *guid;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string ToString(const Guid& guid);

} // namespace kv::com
