// Building archive bytes by hand for the archive tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/archive.h"
#include "support/bytes.h"

inline Bytes Ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The tag of a class seen for the first time: FFFF, schema, name length, name.
inline Bytes NewClass(const std::string& name, uint16_t schema) {
    return Cat({Le16(0xFFFF), Le16(schema), Le16(static_cast<uint16_t>(name.size())), Ascii(name)});
}

inline Bytes Store(const std::function<void(CArchive&)>& write) {
    Bytes out;
    CArchive ar(out);
    write(ar);
    return out;
}
