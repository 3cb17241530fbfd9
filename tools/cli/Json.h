// Minimal JSON for the command-line tool's --json mode: one object per line, written by JsonObject
// and read back by JsonFields (a station reads its children's lines).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

std::string JsonString(std::string_view utf8);

// Builds one object: JsonObject().Add("type", "log").Add("n", 3).Text()
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, int64_t value);
    JsonObject& Add(std::string_view key, double value);
    JsonObject& Add(std::string_view key, bool value);
    std::string Text() const { return "{" + m_body + "}"; }

private:
    void Key(std::string_view key);
    std::string m_body;
};

// Reads one line holding a flat object of strings, numbers and booleans, as JsonObject writes them.
// Anything else (arrays, nested objects, null, trailing text) is not such a line.
class JsonFields {
public:
    // False, leaving no fields, when `line` is not such an object.
    bool Parse(std::string_view line);

    bool Has(std::string_view key) const { return m_fields.find(key) != m_fields.end(); }
    // The value under `key`; empty, 0 or false when it is missing or of another kind.
    std::string String(std::string_view key) const;
    double Number(std::string_view key) const;
    // A number written with a fraction or exponent is cut toward zero.
    int64_t Integer(std::string_view key) const;
    bool Boolean(std::string_view key) const;

private:
    struct Value {
        enum class Kind { String, Number, Boolean } kind = Kind::String;
        std::string text;
        double number = 0;
        int64_t integer = 0;
        bool boolean = false;
    };
    const Value* Find(std::string_view key, Value::Kind kind) const;

    std::map<std::string, Value, std::less<>> m_fields;
};
