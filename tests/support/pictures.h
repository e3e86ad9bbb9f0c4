// Pictures compared by regions with a tolerance, never byte for byte.
#pragma once

#include <cstdlib>

#include "platform/gfx/gfx.h"

// Whether a lies within tol of b in every channel.
inline bool Near(platform::Color a, platform::Color b, int tol = 8) {
    auto off = [&](int shift) { return std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)); };
    return off(0) <= tol && off(8) <= tol && off(16) <= tol;
}

// The share (0..1) of the pixels of r that lie near colour c.
inline double Share(const platform::Pixels& p, const platform::Rect& r, platform::Color c,
                    int tol = 8) {
    int hits = 0, all = 0;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x, ++all) {
            hits += Near(p.At(x, y), c, tol);
        }
    }
    return all ? static_cast<double>(hits) / all : 0.0;
}
