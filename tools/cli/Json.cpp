#include "tools/cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (!m_body.empty())
        m_body += ",";
    m_body += JsonString(key) + ":";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    m_body += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value) {
    Key(key);
    m_body += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value) {
    Key(key);
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", value);
    m_body += text;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    m_body += value ? "true" : "false";
    return *this;
}

namespace {

// A cursor over one line; every reader leaves it after what it read, or returns false.
struct Reader {
    std::string_view text;
    size_t at = 0;

    void SkipSpace() {
        while (at < text.size() &&
               (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
    }
    bool Take(char c) {
        SkipSpace();
        if (at >= text.size() || text[at] != c)
            return false;
        ++at;
        return true;
    }
    bool Hex4(uint32_t& value) {
        if (text.size() - at < 4)
            return false;
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + 4, value, 16);
        if (error != std::errc() || end != first + 4)
            return false;
        at += 4;
        return true;
    }
    static void AppendUtf8(std::string& out, uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        out.clear();
        while (at < text.size()) {
            const char c = text[at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                return false;
            const char escape = text[at++];
            switch (escape) {
                case '"':
                case '\\':
                case '/':
                    out += escape;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    uint32_t code = 0;
                    if (!Hex4(code))
                        return false;
                    // A character beyond the first plane comes as a surrogate pair; half a pair is
                    // not text.
                    if (code >= 0xD800 && code < 0xDC00) {
                        uint32_t low = 0;
                        if (text.substr(at, 2) != "\\u")
                            return false;
                        at += 2;
                        if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return false;
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return false;
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text.substr(at, word.size()) != word)
            return false;
        at += word.size();
        return true;
    }
};

}  // namespace

bool JsonFields::Parse(std::string_view line) {
    m_fields.clear();
    Reader reader{line};
    std::map<std::string, Value, std::less<>> fields;
    if (!reader.Take('{'))
        return false;
    bool first = true;
    while (!reader.Take('}')) {
        if (!first && !reader.Take(','))
            return false;
        first = false;
        std::string key;
        if (!reader.String(key) || !reader.Take(':'))
            return false;
        reader.SkipSpace();
        if (reader.at >= line.size())
            return false;
        Value value;
        const char c = line[reader.at];
        if (c == '"') {
            if (!reader.String(value.text))
                return false;
        } else if (c == 't' || c == 'f') {
            value.kind = Value::Kind::Boolean;
            value.boolean = c == 't';
            if (!reader.Word(value.boolean ? "true" : "false"))
                return false;
        } else {
            value.kind = Value::Kind::Number;
            const char* begin = line.data() + reader.at;
            const char* end = line.data() + line.size();
            const auto [after, error] = std::from_chars(begin, end, value.number);
            if (error != std::errc() || !std::isfinite(value.number))
                return false;
            const auto [integerEnd, integerError] = std::from_chars(begin, after, value.integer);
            // Beyond what int64_t holds, the cast would be undefined.
            constexpr double kIntegerLimit = 9.2e18;
            if (integerError != std::errc() || integerEnd != after)
                value.integer =
                    std::fabs(value.number) < kIntegerLimit ? static_cast<int64_t>(value.number) : 0;
            reader.at = static_cast<size_t>(after - line.data());
        }
        fields.insert_or_assign(std::move(key), std::move(value));
    }
    reader.SkipSpace();
    if (reader.at != line.size())
        return false;
    m_fields = std::move(fields);
    return true;
}

const JsonFields::Value* JsonFields::Find(std::string_view key, Value::Kind kind) const {
    const auto found = m_fields.find(key);
    return found != m_fields.end() && found->second.kind == kind ? &found->second : nullptr;
}

std::string JsonFields::String(std::string_view key) const {
    const Value* value = Find(key, Value::Kind::String);
    return value ? value->text : std::string();
}

double JsonFields::Number(std::string_view key) const {
    const Value* value = Find(key, Value::Kind::Number);
    return value ? value->number : 0;
}

int64_t JsonFields::Integer(std::string_view key) const {
    const Value* value = Find(key, Value::Kind::Number);
    return value ? value->integer : 0;
}

bool JsonFields::Boolean(std::string_view key) const {
    const Value* value = Find(key, Value::Kind::Boolean);
    return value && value->boolean;
}
