// The command-line tool's --json mode, one object per line, on nlohmann/json: JsonObject writes a
// line, JsonFields reads one back (a station reads its children's lines). Neither throws: text that
// is not UTF-8 is written with U+FFFD in place of the bad bytes, and a line that is not a flat object
// is refused.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

std::string JsonString(std::string_view utf8);

// "2026-12-07T20:16:48Z" in UTC; with `milliseconds`, "2026-12-07T20:16:48.125Z".
std::string UtcTimeText(std::chrono::system_clock::time_point when, bool milliseconds = false);

// Builds one object, keys in the order added: JsonObject().Add("type", "log").Add("n", 3).Text()
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, int64_t value);
    // Written to a tenth: durations and rates, not measurements to the last digit.
    JsonObject& Add(std::string_view key, double value);
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const std::vector<JsonObject>& items);
    // An event of --json output: its "type", and the time it happened, to the millisecond.
    JsonObject& Event(std::string_view type);
    std::string Text() const;

private:
    nlohmann::ordered_json m_object = nlohmann::ordered_json::object();
};

// Reads one line holding a flat object of strings, numbers and booleans, as JsonObject writes them.
// Anything else (arrays, nested objects, null, trailing text) is not such a line.
class JsonFields {
public:
    // False, leaving no fields, when `line` is not such an object.
    bool Parse(std::string_view line);

    bool Has(std::string_view key) const { return m_object.contains(key); }
    // The value under `key`; empty, 0 or false when it is missing or of another kind.
    std::string String(std::string_view key) const;
    double Number(std::string_view key) const;
    // A number written with a fraction or exponent is cut toward zero.
    int64_t Integer(std::string_view key) const;
    bool Boolean(std::string_view key) const;

private:
    const nlohmann::json* Find(std::string_view key) const;

    nlohmann::json m_object = nlohmann::json::object();
};
