#include "sim/handheld.h"

#include <cstdlib>
#include <vector>

#include "sim/box.h"

namespace kobsim {

namespace {

// The digits of the value, left to right, padded with zeros or cut to n.
std::vector<uint8_t> Digits(const std::string& value, size_t n) {
    std::vector<uint8_t> d;
    for (char c : value) {
        if (c >= '0' && c <= '9' && d.size() < n) {
            d.push_back(static_cast<uint8_t>(c - '0'));
        }
    }
    d.resize(n, 0);
    return d;
}

bool Negative(const std::string& value) {
    return !value.empty() && value[0] == '-';
}

// Families 2 and 3: characters, the rightmost first; ';' shows a blank,
// ':' an "L".
Bytes Characters(const HandheldReading& r, size_t n) {
    Bytes out(n);
    if (r.over) {
        const std::string over = std::string(n - 2, ';') + "0:";
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<uint8_t>(over[n - 1 - i]);
        }
        return out;
    }
    std::vector<uint8_t> d = Digits(r.value, n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>('0' + d[n - 1 - i]);
    }
    return out;
}

} // namespace

bool ParseHandheldReading(const std::string& text, HandheldReading& reading, std::string& error) {
    const std::vector<std::string> parts = SplitFields(text);
    auto byte = [](const std::string& s, uint8_t& out) {
        char* end = nullptr;
        long v = std::strtol(s.c_str(), &end, 0);
        out = static_cast<uint8_t>(v);
        return !s.empty() && !*end && v >= 0 && v <= 255;
    };
    HandheldReading r;
    if (parts.size() < 3 || parts.size() > 4 || !byte(parts[0], r.mode) ||
        !byte(parts[1], r.range) ||
        parts[2].find_first_not_of("+-.0123456789") != std::string::npos ||
        (parts.size() == 4 && parts[3] != "over")) {
        error = "expected MODE:RANGE:VALUE[:over], such as 1:1:1.2345";
        return false;
    }
    r.value = parts[2];
    r.over = parts.size() == 4;
    reading = r;
    return true;
}

Handheld::Handheld(Box& box) {
    box.AddCommand(0x50, "hand-held read (family 1)", 0,
                   [this](uint8_t, const Bytes&, Bytes& reply) {
                       std::lock_guard<std::mutex> lock(m_mutex);
                       reply = Record(1);
                   });
    box.AddCommand(0x51, "hand-held read", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply = Record(m_nFamily == 1 ? 2 : m_nFamily);
    });
}

void Handheld::SetFamily(int family) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nFamily = family;
}

void Handheld::SetReading(const std::optional<HandheldReading>& reading) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reading = reading;
}

Bytes Handheld::Record(int family) const {
    const bool have = m_reading && family == m_nFamily;
    if (family == 1) {
        Bytes r(9, 0);
        if (have) {
            const HandheldReading& h = *m_reading;
            r[0] = 1;
            r[1] = h.mode;
            r[2] = static_cast<uint8_t>((h.range & 7) | (Negative(h.value) ? 0x08 : 0));
            std::vector<uint8_t> d = Digits(h.value, 6);
            for (size_t i = 0; i < 6; ++i) {
                r[8 - i] = d[i]; // the first digit shown is the last byte
            }
            if (h.over) {
                r[8] = 0x0A;
            }
        }
        return r;
    }
    Bytes r(10, 0);
    r[0] = 0xFF;
    if (have) {
        const HandheldReading& h = *m_reading;
        r[1] = h.mode;
        if (family == 2) {
            r[0] = 8;
            r[4] = static_cast<uint8_t>((h.range & 3) | (Negative(h.value) ? 0x04 : 0));
            Bytes c = Characters(h, 4);
            std::copy(c.begin(), c.end(), r.begin() + 6);
        } else {
            r[0] = 13;
            r[4] = static_cast<uint8_t>((h.range & 7) | (Negative(h.value) ? 0x08 : 0));
            Bytes c = Characters(h, 5);
            std::copy(c.begin(), c.end(), r.begin() + 5);
        }
    }
    return r;
}

} // namespace kobsim
