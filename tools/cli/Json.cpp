#include "tools/cli/Json.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace {

template <typename Json>
std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string JsonString(std::string_view utf8) {
    return Dump(nlohmann::json(utf8));
}

std::string UtcTimeText(std::chrono::system_clock::time_point when, bool milliseconds) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    // std::gmtime's result is per thread with glibc and mingw's C runtime alike.
    const std::tm* parts = std::gmtime(&seconds);
    char text[40] = "";
    if (!parts)
        return text;
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", parts);
    std::string out = text;
    if (milliseconds) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms < 0 ? ms + 1000 : ms));
        out += fraction;
    }
    return out + "Z";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    m_object[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value) {
    m_object[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value) {
    m_object[std::string(key)] = std::round(value * 10) / 10;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    m_object[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<JsonObject>& items) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const JsonObject& item : items)
        array.push_back(item.m_object);
    m_object[std::string(key)] = std::move(array);
    return *this;
}

JsonObject& JsonObject::Event(std::string_view type) {
    return Add("type", type).Add("time", UtcTimeText(std::chrono::system_clock::now(), true));
}

std::string JsonObject::Text() const {
    return Dump(m_object);
}

bool JsonFields::Parse(std::string_view line) {
    m_object = nlohmann::json::object();
    nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_object())  // a parse error gives a discarded value, which is no object either
        return false;
    for (const auto& [key, value] : parsed.items()) {
        if (!value.is_string() && !value.is_number() && !value.is_boolean())
            return false;
    }
    m_object = std::move(parsed);
    return true;
}

const nlohmann::json* JsonFields::Find(std::string_view key) const {
    const auto found = m_object.find(key);
    return found != m_object.end() ? &*found : nullptr;
}

std::string JsonFields::String(std::string_view key) const {
    const nlohmann::json* value = Find(key);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

double JsonFields::Number(std::string_view key) const {
    const nlohmann::json* value = Find(key);
    return value && value->is_number() ? value->get<double>() : 0;
}

int64_t JsonFields::Integer(std::string_view key) const {
    const nlohmann::json* value = Find(key);
    if (!value || !value->is_number())
        return 0;
    if (value->is_number_unsigned()) {
        const auto number = value->get<uint64_t>();
        return number <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                   ? static_cast<int64_t>(number)
                   : 0;
    }
    if (value->is_number_integer())
        return value->get<int64_t>();
    // Beyond what int64_t holds, the cast would be undefined.
    constexpr double kIntegerLimit = 9.2e18;
    const double number = value->get<double>();
    return std::fabs(number) < kIntegerLimit ? static_cast<int64_t>(number) : 0;
}

bool JsonFields::Boolean(std::string_view key) const {
    const nlohmann::json* value = Find(key);
    return value && value->is_boolean() && value->get<bool>();
}
