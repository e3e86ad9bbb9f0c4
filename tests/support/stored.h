// Stored settings for tests: the bytes an object stores, and loading them
// (or only their first n) back.
#pragma once

#include <algorithm>
#include <cstddef>

#include "framework/archive.h"
#include "support/bytes.h"

template <class T> Bytes Stored(T& object) {
    Bytes out;
    CArchive ar(out);
    object.Serialize(ar);
    return out;
}

// What is left of the data after loading.
template <class T> size_t Load(T& object, const Bytes& data, size_t n = ~size_t{0}) {
    CArchive ar(data.data(), std::min(n, data.size()));
    object.Serialize(ar);
    return ar.Remaining();
}
