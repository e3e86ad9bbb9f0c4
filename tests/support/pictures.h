// Pictures compared by regions with a tolerance, never byte for byte.
#pragma once

#include <cstdlib>

#include "platform/gfx/gfx.h"

// The share (0..1) of the pixels of r that lie within tol of colour c in
// every channel.
inline double Share(const platform::Pixels& p, const platform::Rect& r, platform::Color c,
                    int tol = 8) {
    int near = 0, all = 0;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x, ++all) {
            platform::Color v = p.At(x, y);
            bool ok = true;
            for (int shift = 0; shift < 24; shift += 8) {
                ok = ok && std::abs(static_cast<int>((v >> shift) & 0xFF) -
                                    static_cast<int>((c >> shift) & 0xFF)) <= tol;
            }
            near += ok;
        }
    }
    return all ? static_cast<double>(near) / all : 0.0;
}
