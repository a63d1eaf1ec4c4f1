// One received HTTP request as camsim logs it, and its JSON-line form.
//
// camsim writes one JSON object per line; the test client parses the same lines back. Bytes
// outside printable ASCII are written as \u00XX escapes (one escape per byte), so bodies and
// headers round-trip exactly even when they are not text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace camsim {

struct RequestRecord {
    std::int64_t id = 0;          // 1, 2, ... in order of arrival
    std::int64_t timeMs = 0;      // milliseconds since camsim started
    std::string method;           // "GET", "POST", ...
    std::string target;           // request target as received: path plus "?query"
    std::string path;             // target before "?"
    std::string query;            // target after the first "?" (empty when none)
    std::string version;          // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;  // in order received
    std::string body;
    std::string user;             // user name from the Basic credentials ("" when none)
    std::string password;         // password from the Basic credentials

    // Value of the first header with this name (case-insensitive); "" when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

std::string ToJsonLine(const RequestRecord& record);  // without the line end
std::optional<RequestRecord> FromJsonLine(std::string_view line);

// JSON string body (without the quotes) for arbitrary bytes, as described above.
std::string JsonEscape(std::string_view bytes);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Base64 decoding for Basic credentials; nullopt on malformed input.
std::optional<std::string> Base64Decode(std::string_view text);
std::string Base64Encode(std::string_view bytes);

} // namespace camsim
