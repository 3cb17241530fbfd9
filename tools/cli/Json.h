// Minimal JSON output for the command-line tool's --json mode: one object per line.
#pragma once

#include <cstdint>
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
