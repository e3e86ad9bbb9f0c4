// Building archive bytes by hand for the archive tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "framework/archive.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes W(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

inline Bytes D(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

inline Bytes Ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The tag of a class seen for the first time: FFFF, schema, name length, name.
inline Bytes NewClass(const std::string& name, uint16_t schema) {
    return Cat({W(0xFFFF), W(schema), W(static_cast<uint16_t>(name.size())), Ascii(name)});
}

inline Bytes Store(const std::function<void(CArchive&)>& write) {
    Bytes out;
    CArchive ar(out);
    write(ar);
    return out;
}

// The cause of the archive exception that reading data raises, or nothing
// when it reads without one.
inline std::optional<CArchiveException::Cause> CauseOf(const Bytes& data,
                                                       const std::function<void(CArchive&)>& read) {
    CArchive ar(data.data(), data.size());
    try {
        read(ar);
    } catch (const CArchiveException& e) {
        return e.m_cause;
    }
    return std::nullopt;
}
