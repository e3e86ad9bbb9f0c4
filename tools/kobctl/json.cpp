#include "tools/kobctl/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
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
            if (byte < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", byte);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

} // namespace

std::string ShortestDouble(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

void JsonObject::Key(std::string_view key) {
    if (!m_body.empty()) {
        m_body += ',';
    }
    AppendQuoted(m_body, key);
    m_body += ':';
}

JsonObject& JsonObject::Number(std::string_view key, double value) {
    Key(key);
    m_body += ShortestDouble(value);
    return *this;
}

JsonObject& JsonObject::Integer(std::string_view key, long long value) {
    Key(key);
    m_body += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    Key(key);
    m_body += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::String(std::string_view key, std::string_view value) {
    Key(key);
    AppendQuoted(m_body, value);
    return *this;
}

JsonObject& JsonObject::Numbers(std::string_view key, std::span<const double> values) {
    Key(key);
    m_body += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) {
            m_body += ',';
        }
        m_body += ShortestDouble(values[i]);
    }
    m_body += ']';
    return *this;
}

JsonObject& JsonObject::Object(std::string_view key, const JsonObject& inner) {
    Key(key);
    m_body += inner.Text();
    return *this;
}

std::string JsonObject::Text() const {
    return "{" + m_body + "}";
}

void JsonObject::Print() const {
    std::printf("%s\n", Text().c_str());
    std::fflush(stdout);
}
