// The cairo device context shared by the Linux window backends: drawing on
// any cairo surface, limited to a clip rectangle.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/gfx.h"

namespace platform {

// A context drawing on target (not owned; kept alive by a reference) whose
// pixel (0, 0) is the client point origin, limited to clip.
std::unique_ptr<PictureGfx> CreateCairoGfx(cairo_surface_t* target, Point origin, Rect clip);

// An RGB24 image surface of that size, black; null when the size is not
// drawable.
cairo_surface_t* CreateRgbSurface(int32_t width, int32_t height);
// The pixels of an RGB24 image surface.
Pixels ReadSurface(cairo_surface_t* surface);

// A PNG held in memory as a cairo image surface; null when it is not one.
cairo_surface_t* DecodePng(const unsigned char* data, size_t size);
// Pixels as a PNG in memory; empty when they cannot be encoded.
std::vector<uint8_t> EncodePng(const Pixels& pixels);

} // namespace platform
