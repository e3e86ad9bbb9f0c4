// Byte strings for wire and file tests: the box's words are big-endian,
// stored files are little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes Be16(uint16_t v) {
    return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

inline Bytes Le16(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

inline Bytes Le32(uint32_t v) {
    return Cat({Le16(static_cast<uint16_t>(v)), Le16(static_cast<uint16_t>(v >> 16))});
}

inline Bytes Le64(double d) {
    uint64_t u = 0;
    std::memcpy(&u, &d, sizeof u);
    return Cat({Le32(static_cast<uint32_t>(u)), Le32(static_cast<uint32_t>(u >> 32))});
}
