// One JSON object on one line, what --json prints for scripts.
#pragma once

#include <span>
#include <string>
#include <string_view>

class JsonObject {
public:
    JsonObject& Number(std::string_view key, double value);
    JsonObject& Integer(std::string_view key, long long value);
    JsonObject& Bool(std::string_view key, bool value);
    JsonObject& String(std::string_view key, std::string_view value);
    JsonObject& Numbers(std::string_view key, std::span<const double> values);
    JsonObject& Object(std::string_view key, const JsonObject& inner);
    std::string Text() const;
    // The object and a newline on standard output.
    void Print() const;

private:
    void Key(std::string_view key);
    std::string m_body;
};

// Doubles in the shortest form that reads back to the same value; NaN and
// infinities, which JSON cannot carry, as null.
std::string ShortestDouble(double value);
