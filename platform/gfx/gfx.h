// Drawing: the device context the instrument windows and their controls draw
// into. One interface for every backend (GDI on Windows, cairo on Linux for
// X11 windows and for off-screen pictures); nothing above platform/ knows
// which one runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

struct Size {
    int32_t cx = 0;
    int32_t cy = 0;
};

// Left and top inside, right and bottom outside, as in the panels.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool Intersects(const Rect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    Rect Inflated(int32_t d) const { return {left - d, top - d, right + d, bottom + d}; }
    Rect Offset(int32_t dx, int32_t dy) const {
        return {left + dx, top + dy, right + dx, bottom + dy};
    }
};

// Colours as the panels store them: 0x00BBGGRR.
using Color = uint32_t;
inline constexpr Color Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<Color>(r) | static_cast<Color>(g) << 8 | static_cast<Color>(b) << 16;
}
inline constexpr Color kMagenta = 0xFF00FF; // the transparent colour of image strips

// The font record of a panel.
struct FontSpec {
    int32_t height = -9; // negative: character height in pixels
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 400;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    std::u16string face = u"Tahoma";
};

// A bitmap held in memory.
class Image {
public:
    virtual ~Image() = default;
    virtual Size GetSize() const = 0;
    // The colour of one pixel (0 outside the image).
    virtual Color Pixel(int32_t x, int32_t y) const = 0;
};

// Bitmap resource id of the current resource module; null when it has none.
std::shared_ptr<Image> LoadBitmapResource(uint16_t id);
// An image file (BMP on Windows; PNG or BMP on Linux); null when it cannot be read.
std::shared_ptr<Image> LoadImageFile(const std::u16string& path);

// How an image is copied: as it is, without its magenta pixels, or without
// the pixels of the colour at its top-left corner.
enum class Transparency { None, Magenta, TopLeftPixel };

// A device context. Coordinates are client coordinates of the window (or of
// the picture) it draws on.
class Gfx {
public:
    virtual ~Gfx() = default;

    // The part that needs drawing (the whole area when nothing limits it).
    virtual Rect ClipBox() const = 0;
    virtual void FillRect(const Rect& r, Color c) = 0;
    // A rectangle's outline of the given pen width, inside r.
    virtual void FrameRect(const Rect& r, Color c, int32_t width = 1) = 0;
    virtual void Line(Point from, Point to, Color c, int32_t width = 1) = 0;
    // A filled polygon (also its outline in the same colour).
    virtual void Polygon(const Point* points, size_t count, Color fill) = 0;
    virtual void Ellipse(const Rect& r, Color fill) = 0;
    // Copies the part src of image to dst (top-left corner), 1:1.
    virtual void DrawImage(const Image& image, const Rect& src, Point dst,
                           Transparency t = Transparency::None) = 0;
    virtual Size TextExtent(const std::u16string& text, const FontSpec& font) = 0;
    // Text with its top-left corner at p, background left as it is.
    virtual void Text(Point p, const std::u16string& text, const FontSpec& font, Color c) = 0;

    // An off-screen buffer covering area (same coordinates as this context),
    // and the copy of such a buffer back onto its area.
    virtual std::unique_ptr<Gfx> CreateBuffer(const Rect& area) = 0;
    virtual void CopyBuffer(Gfx& buffer) = 0;
};

// Pixels of a picture, row by row, 0x00BBGGRR each.
struct Pixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Color> data;

    Color At(int32_t x, int32_t y) const {
        return x < 0 || y < 0 || x >= width || y >= height
                   ? 0
                   : data[static_cast<size_t>(y) * static_cast<size_t>(width) +
                          static_cast<size_t>(x)];
    }
};

// A context that draws into a picture of its own (off-screen windows, PNG
// export, tests).
class PictureGfx : public Gfx {
public:
    virtual Pixels Read() const = 0;
};
std::unique_ptr<PictureGfx> CreatePicture(int32_t width, int32_t height);

// Writes pixels as a PNG file; false (nothing half-written left) on failure.
bool WritePng(const Pixels& pixels, const std::u16string& path);

} // namespace platform
