#include "request_record.h"

#include <cctype>
#include <charconv>

namespace camsim {

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string RequestRecord::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoreCase(key, name))
            return value;
    }
    return {};
}

bool RequestRecord::HasHeader(std::string_view name) const
{
    for (const auto& header : headers) {
        if (EqualsIgnoreCase(header.first, name))
            return true;
    }
    return false;
}

std::string JsonEscape(std::string_view bytes)
{
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += ch;
        } else if (byte >= 0x20 && byte < 0x7f) {
            out += ch;
        } else {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

namespace {

void AppendField(std::string& out, std::string_view name, std::string_view value)
{
    out += '"';
    out += name;
    out += "\":\"";
    out += JsonEscape(value);
    out += "\",";
}

// A small reader for exactly the shape ToJsonLine writes (and tolerant of spaces).
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    void SkipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool Eat(char ch)
    {
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ch) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Peek(char ch)
    {
        SkipSpace();
        return m_pos < m_text.size() && m_text[m_pos] == ch;
    }
    std::optional<std::string> String()
    {
        if (!Eat('"'))
            return std::nullopt;
        std::string out;
        while (m_pos < m_text.size()) {
            const char ch = m_text[m_pos++];
            if (ch == '"')
                return out;
            if (ch != '\\') {
                out += ch;
                continue;
            }
            if (m_pos >= m_text.size())
                return std::nullopt;
            const char esc = m_text[m_pos++];
            switch (esc) {
            case '"': case '\\': case '/': out += esc; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (m_pos + 4 > m_text.size())
                    return std::nullopt;
                unsigned value = 0;
                const auto* first = m_text.data() + m_pos;
                auto [ptr, ec] = std::from_chars(first, first + 4, value, 16);
                if (ec != std::errc() || ptr != first + 4 || value > 0xff)
                    return std::nullopt;  // only byte escapes are ever written
                out += static_cast<char>(value);
                m_pos += 4;
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::optional<std::int64_t> Number()
    {
        SkipSpace();
        std::int64_t value = 0;
        auto [ptr, ec] = std::from_chars(m_text.data() + m_pos, m_text.data() + m_text.size(), value);
        if (ec != std::errc())
            return std::nullopt;
        m_pos = static_cast<std::size_t>(ptr - m_text.data());
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

std::string ToJsonLine(const RequestRecord& r)
{
    std::string out = "{\"id\":" + std::to_string(r.id) + ",\"time_ms\":" + std::to_string(r.timeMs) + ",";
    AppendField(out, "method", r.method);
    AppendField(out, "target", r.target);
    AppendField(out, "path", r.path);
    AppendField(out, "query", r.query);
    AppendField(out, "version", r.version);
    AppendField(out, "user", r.user);
    AppendField(out, "password", r.password);
    out += "\"headers\":[";
    for (std::size_t i = 0; i < r.headers.size(); ++i) {
        if (i)
            out += ',';
        out += "[\"" + JsonEscape(r.headers[i].first) + "\",\"" + JsonEscape(r.headers[i].second) + "\"]";
    }
    out += "],\"body\":\"" + JsonEscape(r.body) + "\"}";
    return out;
}

std::optional<RequestRecord> FromJsonLine(std::string_view line)
{
    Reader in(line);
    RequestRecord r;
    if (!in.Eat('{'))
        return std::nullopt;
    if (in.Eat('}'))
        return r;
    do {
        auto key = in.String();
        if (!key || !in.Eat(':'))
            return std::nullopt;
        if (*key == "id" || *key == "time_ms") {
            auto number = in.Number();
            if (!number)
                return std::nullopt;
            (*key == "id" ? r.id : r.timeMs) = *number;
        } else if (*key == "headers") {
            if (!in.Eat('['))
                return std::nullopt;
            if (!in.Eat(']')) {
                do {
                    if (!in.Eat('['))
                        return std::nullopt;
                    auto name = in.String();
                    if (!name || !in.Eat(','))
                        return std::nullopt;
                    auto value = in.String();
                    if (!value || !in.Eat(']'))
                        return std::nullopt;
                    r.headers.emplace_back(std::move(*name), std::move(*value));
                } while (in.Eat(','));
                if (!in.Eat(']'))
                    return std::nullopt;
            }
        } else {
            auto value = in.String();
            if (!value)
                return std::nullopt;
            if (*key == "method") r.method = std::move(*value);
            else if (*key == "target") r.target = std::move(*value);
            else if (*key == "path") r.path = std::move(*value);
            else if (*key == "query") r.query = std::move(*value);
            else if (*key == "version") r.version = std::move(*value);
            else if (*key == "user") r.user = std::move(*value);
            else if (*key == "password") r.password = std::move(*value);
            else if (*key == "body") r.body = std::move(*value);
            // unknown string fields are ignored so the format can grow
        }
    } while (in.Eat(','));
    if (!in.Eat('}'))
        return std::nullopt;
    return r;
}

std::optional<std::string> Base64Decode(std::string_view text)
{
    auto value = [](char ch) -> int {
        if (ch >= 'A' && ch <= 'Z') return ch - 'A';
        if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
        if (ch >= '0' && ch <= '9') return ch - '0' + 52;
        if (ch == '+') return 62;
        if (ch == '/') return 63;
        return -1;
    };
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char ch : text) {
        const int v = value(ch);
        if (v < 0)
            return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xff);
        }
    }
    return out;
}

std::string Base64Encode(std::string_view bytes)
{
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

} // namespace camsim
