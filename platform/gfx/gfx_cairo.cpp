// Drawing with cairo: the contexts of the Linux windows and pictures, images
// from PNG and BMP files and from the resource folder, PNG export.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <new>

#include "framework/wstr.h"
#include "platform/gfx/cairo_gfx.h"
#include "platform/resource/resource.h"

namespace platform {

namespace {

// Files larger than this are not images we draw.
constexpr size_t kMaxImageFile = 64u << 20;
constexpr int32_t kMaxSide = 32767;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxFontPixels = 2048;

Color FromCairo(uint32_t p) {
    uint32_t a = p >> 24;
    uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (a != 0 && a != 0xFF) { // premultiplied
        r = r * 255 / a;
        g = g * 255 / a;
        b = b * 255 / a;
    }
    return r | g << 8 | b << 16;
}

uint32_t ToCairo(Color c) {
    return 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

void SetColor(cairo_t* cr, Color c) {
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0);
}

uint32_t* Row(cairo_surface_t* s, int32_t y) {
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                       static_cast<ptrdiff_t>(y) *
                                           cairo_image_surface_get_stride(s));
}

bool Usable(cairo_surface_t* s) {
    return s && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
}

// An image on a 32-bit image surface, with its colour-keyed copies made on
// first use (strips are shared between windows, hence the lock).
class CairoImage final : public Image {
public:
    explicit CairoImage(cairo_surface_t* s) : surface_(s) {}
    ~CairoImage() override {
        for (auto& k : keyed_) {
            cairo_surface_destroy(k.second);
        }
        cairo_surface_destroy(surface_);
    }
    CairoImage(const CairoImage&) = delete;
    CairoImage& operator=(const CairoImage&) = delete;

    Size GetSize() const override {
        return {cairo_image_surface_get_width(surface_), cairo_image_surface_get_height(surface_)};
    }
    Color Pixel(int32_t x, int32_t y) const override {
        Size s = GetSize();
        if (x < 0 || y < 0 || x >= s.cx || y >= s.cy) {
            return 0;
        }
        return FromCairo(Row(surface_, y)[x]);
    }

    cairo_surface_t* Surface(Transparency t) const {
        if (t == Transparency::None) {
            return surface_;
        }
        Color key = t == Transparency::Magenta ? kMagenta : Pixel(0, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = keyed_.find(key);
        if (it != keyed_.end()) {
            return it->second;
        }
        Size s = GetSize();
        cairo_surface_t* k = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, s.cx, s.cy);
        for (int32_t y = 0; y < s.cy; ++y) {
            const uint32_t* from = Row(surface_, y);
            uint32_t* to = Row(k, y);
            for (int32_t x = 0; x < s.cx; ++x) {
                to[x] = FromCairo(from[x]) == key ? 0 : from[x];
            }
        }
        cairo_surface_mark_dirty(k);
        keyed_[key] = k;
        return k;
    }

private:
    cairo_surface_t* surface_;
    mutable std::mutex mutex_;
    mutable std::map<Color, cairo_surface_t*> keyed_;
};

// Any image as a surface of ours (images from elsewhere are copied).
std::shared_ptr<const CairoImage> AsCairo(const Image& image) {
    if (auto* own = dynamic_cast<const CairoImage*>(&image)) {
        return std::shared_ptr<const CairoImage>(std::shared_ptr<void>(), own);
    }
    Size s = image.GetSize();
    cairo_surface_t* copy = CreateRgbSurface(s.cx, s.cy);
    if (!copy) {
        return nullptr;
    }
    for (int32_t y = 0; y < s.cy; ++y) {
        for (int32_t x = 0; x < s.cx; ++x) {
            Row(copy, y)[x] = ToCairo(image.Pixel(x, y));
        }
    }
    cairo_surface_mark_dirty(copy);
    return std::make_shared<CairoImage>(copy);
}

std::shared_ptr<Image> WrapSurface(cairo_surface_t* s) {
    return s ? std::make_shared<CairoImage>(s) : nullptr;
}

std::string Utf8(const std::u16string& s) {
    return Narrow(s);
}

class CairoGfx final : public PictureGfx {
public:
    CairoGfx(cairo_surface_t* target, Point origin, Rect clip)
        : surface_(cairo_surface_reference(target)), cr_(cairo_create(target)), origin_(origin),
          clip_(clip) {
        cairo_translate(cr_, -origin.x, -origin.y);
        cairo_rectangle(cr_, clip.left, clip.top, clip.Width(), clip.Height());
        cairo_clip(cr_);
        cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
    }
    ~CairoGfx() override {
        cairo_destroy(cr_);
        cairo_surface_flush(surface_);
        cairo_surface_destroy(surface_);
    }
    CairoGfx(const CairoGfx&) = delete;
    CairoGfx& operator=(const CairoGfx&) = delete;

    Rect ClipBox() const override { return clip_; }

    void FillRect(const Rect& r, Color c) override {
        if (r.IsEmpty()) {
            return;
        }
        SetColor(cr_, c);
        cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
        cairo_fill(cr_);
    }

    void FrameRect(const Rect& r, Color c, int32_t width) override {
        int32_t w = std::max(1, std::min({width, (r.Width() + 1) / 2, (r.Height() + 1) / 2}));
        FillRect({r.left, r.top, r.right, r.top + w}, c);
        FillRect({r.left, r.bottom - w, r.right, r.bottom}, c);
        FillRect({r.left, r.top + w, r.left + w, r.bottom - w}, c);
        FillRect({r.right - w, r.top + w, r.right, r.bottom - w}, c);
    }

    void Line(Point from, Point to, Color c, int32_t width) override {
        SetColor(cr_, c);
        cairo_set_line_width(cr_, std::max(1, width));
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
        cairo_move_to(cr_, from.x + 0.5, from.y + 0.5);
        cairo_line_to(cr_, to.x + 0.5, to.y + 0.5);
        cairo_stroke(cr_);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
    }

    void Polygon(const Point* points, size_t count, Color fill) override {
        if (!points || count == 0) {
            return;
        }
        SetColor(cr_, fill);
        cairo_new_path(cr_);
        for (size_t i = 0; i < count; ++i) {
            cairo_line_to(cr_, points[i].x + 0.5, points[i].y + 0.5);
        }
        cairo_close_path(cr_);
        cairo_fill_preserve(cr_);
        cairo_set_line_width(cr_, 1);
        cairo_stroke(cr_);
    }

    void Ellipse(const Rect& r, Color fill) override {
        if (r.IsEmpty()) {
            return;
        }
        SetColor(cr_, fill);
        cairo_save(cr_);
        cairo_translate(cr_, r.left + r.Width() / 2.0, r.top + r.Height() / 2.0);
        cairo_scale(cr_, r.Width() / 2.0, r.Height() / 2.0);
        cairo_arc(cr_, 0, 0, 1, 0, 2 * kPi);
        cairo_restore(cr_);
        cairo_fill(cr_);
    }

    void DrawImage(const Image& image, const Rect& src, Point dst, Transparency t) override {
        auto img = AsCairo(image);
        if (!img) {
            return;
        }
        Size s = img->GetSize();
        Rect part{std::max(src.left, 0), std::max(src.top, 0), std::min(src.right, s.cx),
                  std::min(src.bottom, s.cy)};
        if (part.IsEmpty()) {
            return;
        }
        dst.x += part.left - src.left;
        dst.y += part.top - src.top;
        cairo_set_source_surface(cr_, img->Surface(t), dst.x - part.left, dst.y - part.top);
        cairo_rectangle(cr_, dst.x, dst.y, part.Width(), part.Height());
        cairo_fill(cr_);
    }

    Size TextExtent(const std::u16string& text, const FontSpec& font) override {
        cairo_save(cr_);
        cairo_font_extents_t fe = SelectFont(font);
        cairo_text_extents_t te;
        cairo_text_extents(cr_, Utf8(text).c_str(), &te);
        cairo_restore(cr_);
        return {static_cast<int32_t>(std::ceil(te.x_advance)),
                static_cast<int32_t>(std::ceil(fe.ascent + fe.descent))};
    }

    void Text(Point p, const std::u16string& text, const FontSpec& font, Color c) override {
        cairo_save(cr_);
        cairo_font_extents_t fe = SelectFont(font);
        cairo_font_options_t* fo = cairo_font_options_create();
        cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
        cairo_set_font_options(cr_, fo);
        cairo_font_options_destroy(fo);
        std::string s = Utf8(text);
        cairo_text_extents_t te;
        cairo_text_extents(cr_, s.c_str(), &te);
        double baseline = std::round(p.y + fe.ascent);
        SetColor(cr_, c);
        cairo_move_to(cr_, p.x, baseline);
        cairo_show_text(cr_, s.c_str());
        double thick = std::max(1.0, std::floor(fe.ascent / 12));
        if (font.underline) {
            cairo_rectangle(cr_, p.x, baseline + 1, te.x_advance, thick);
        }
        if (font.strikeOut) {
            cairo_rectangle(cr_, p.x, std::round(baseline - fe.ascent / 3), te.x_advance, thick);
        }
        cairo_fill(cr_);
        cairo_restore(cr_);
    }

    std::unique_ptr<Gfx> CreateBuffer(const Rect& area) override {
        cairo_surface_t* s =
            CreateRgbSurface(std::max(area.Width(), 1), std::max(area.Height(), 1));
        if (!s) {
            return nullptr;
        }
        // The buffer starts as a copy of what it will cover.
        cairo_t* cr = cairo_create(s);
        cairo_set_source_surface(cr, surface_, origin_.x - area.left, origin_.y - area.top);
        cairo_paint(cr);
        cairo_destroy(cr);
        auto buffer = std::make_unique<CairoGfx>(s, Point{area.left, area.top}, area);
        cairo_surface_destroy(s);
        return buffer;
    }

    void CopyBuffer(Gfx& buffer) override {
        auto* b = dynamic_cast<CairoGfx*>(&buffer);
        if (!b || b == this) {
            return;
        }
        cairo_surface_flush(b->surface_);
        cairo_save(cr_);
        cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr_, b->surface_, b->origin_.x, b->origin_.y);
        cairo_rectangle(cr_, b->clip_.left, b->clip_.top, b->clip_.Width(), b->clip_.Height());
        cairo_fill(cr_);
        cairo_restore(cr_);
    }

    Pixels Read() const override {
        cairo_surface_flush(surface_);
        return ReadSurface(surface_);
    }

private:
    // Windows' font record: a negative height is the character height, a
    // positive one the cell height; weight 600 and above is bold.
    cairo_font_extents_t SelectFont(const FontSpec& font) {
        // cairo keeps the faces it found for the process; they go at exit.
        static std::once_flag once;
        std::call_once(once, [] {
            std::atexit([] {
                cairo_debug_reset_static_data();
                FcFini();
            });
        });
        cairo_select_font_face(cr_, Utf8(font.face.empty() ? u"Tahoma" : font.face).c_str(),
                               font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                               font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD
                                                  : CAIRO_FONT_WEIGHT_NORMAL);
        // A damaged font record may ask for any height: no panel text is
        // taller than a screen, and cairo keeps no font it cannot scale.
        const auto fit = [](double px) { return std::clamp(px, 1.0, kMaxFontPixels); };
        const double size = fit(font.height < 0 ? -static_cast<double>(font.height) : 12.0);
        cairo_set_font_size(cr_, size);
        cairo_font_extents_t fe;
        cairo_font_extents(cr_, &fe);
        if (font.height > 0 && fe.ascent + fe.descent > 0) {
            cairo_set_font_size(cr_, fit(size * font.height / (fe.ascent + fe.descent)));
            cairo_font_extents(cr_, &fe);
        }
        return fe;
    }

    cairo_surface_t* surface_;
    cairo_t* cr_;
    Point origin_;
    Rect clip_;
};

struct MemoryReader {
    const unsigned char* data;
    size_t left;
};

cairo_status_t ReadMemory(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<MemoryReader*>(closure);
    if (length > r->left) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(out, r->data, length);
    r->data += length;
    r->left -= length;
    return CAIRO_STATUS_SUCCESS;
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | b[at + static_cast<size_t>(i)];
    }
    return v;
}

// Uncompressed Windows bitmaps of 1, 4, 8, 24 or 32 bits per pixel.
cairo_surface_t* DecodeBmp(const std::vector<uint8_t>& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        return nullptr;
    }
    uint32_t offBits = Le(b, 10, 4), infoSize = Le(b, 14, 4);
    int32_t width = static_cast<int32_t>(Le(b, 18, 4));
    int32_t rawHeight = static_cast<int32_t>(Le(b, 22, 4));
    uint32_t bits = Le(b, 28, 2), compression = Le(b, 30, 4), colours = Le(b, 46, 4);
    bool topDown = rawHeight < 0;
    int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    bool paletted = bits == 1 || bits == 4 || bits == 8;
    if (infoSize < 40 || width <= 0 || width > kMaxSide || height <= 0 || height > kMaxSide ||
        !(paletted || bits == 24 || bits == 32) || !(compression == 0 || compression == 3)) {
        return nullptr;
    }
    if (colours == 0 || colours > (1u << (paletted ? bits : 0))) {
        colours = paletted ? 1u << bits : 0;
    }
    size_t palette = 14 + static_cast<size_t>(infoSize);
    size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    if (palette + colours * 4 > b.size() || offBits > b.size() ||
        stride * static_cast<size_t>(height) > b.size() - offBits) {
        return nullptr;
    }
    cairo_surface_t* s = CreateRgbSurface(width, static_cast<int32_t>(height));
    if (!s) {
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y) {
        size_t row = offBits + stride * static_cast<size_t>(topDown ? y : height - 1 - y);
        uint32_t* to = Row(s, y);
        for (int32_t x = 0; x < width; ++x) {
            size_t bit = static_cast<size_t>(x) * bits;
            size_t at = row + bit / 8;
            if (paletted) {
                uint32_t index = b[at] >> (8 - bits - bit % 8) & ((1u << bits) - 1);
                at = index < colours ? palette + index * 4 : palette;
            }
            to[x] = 0xFF000000u | Le(b, at, 3);
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buf, buf + in.gcount());
        if (bytes.size() > kMaxImageFile) {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace

cairo_surface_t* CreateRgbSurface(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return nullptr;
    }
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (!Usable(s)) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

Pixels ReadSurface(cairo_surface_t* surface) {
    Pixels p;
    p.width = cairo_image_surface_get_width(surface);
    p.height = cairo_image_surface_get_height(surface);
    p.data.reserve(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    for (int32_t y = 0; y < p.height; ++y) {
        const uint32_t* row = Row(surface, y);
        for (int32_t x = 0; x < p.width; ++x) {
            p.data.push_back(FromCairo(row[x] | 0xFF000000u));
        }
    }
    return p;
}

cairo_surface_t* DecodePng(const unsigned char* data, size_t size) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
        return nullptr;
    }
    MemoryReader reader{data, size};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadMemory, &reader);
    if (!Usable(s)) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_format_t f = cairo_image_surface_get_format(s);
    if (f == CAIRO_FORMAT_ARGB32 || f == CAIRO_FORMAT_RGB24) {
        return s;
    }
    // Grey or deep PNGs: drawn once onto the usual format.
    cairo_surface_t* c = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(s), cairo_image_surface_get_height(s));
    cairo_t* cr = cairo_create(c);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    cairo_surface_flush(c);
    return c;
}

std::unique_ptr<PictureGfx> CreateCairoGfx(cairo_surface_t* target, Point origin, Rect clip) {
    return std::make_unique<CairoGfx>(target, origin, clip);
}

std::unique_ptr<PictureGfx> CreatePicture(int32_t width, int32_t height) {
    cairo_surface_t* s = CreateRgbSurface(width, height);
    if (!s) {
        return nullptr;
    }
    auto gfx = std::make_unique<CairoGfx>(s, Point{}, Rect{0, 0, width, height});
    cairo_surface_destroy(s);
    return gfx;
}

std::shared_ptr<Image> LoadBitmapResource(uint16_t id) {
    auto data = LoadResourceData(kBitmapResourceType, id);
    return data ? WrapSurface(DecodePng(data->data(), data->size())) : nullptr;
}

std::shared_ptr<Image> LoadImageFile(const std::u16string& path) {
    auto bytes = ReadFileBytes(Utf8(path));
    if (!bytes) {
        return nullptr;
    }
    cairo_surface_t* s = DecodePng(bytes->data(), bytes->size());
    return WrapSurface(s ? s : DecodeBmp(*bytes));
}

std::vector<uint8_t> EncodePng(const Pixels& pixels) {
    std::vector<uint8_t> png;
    if (pixels.data.size() != static_cast<size_t>(std::max(pixels.width, 0)) *
                                  static_cast<size_t>(std::max(pixels.height, 0))) {
        return png;
    }
    cairo_surface_t* s = CreateRgbSurface(pixels.width, pixels.height);
    if (!s) {
        return png;
    }
    for (int32_t y = 0; y < pixels.height; ++y) {
        uint32_t* row = Row(s, y);
        for (int32_t x = 0; x < pixels.width; ++x) {
            row[x] = ToCairo(pixels.At(x, y));
        }
    }
    cairo_surface_mark_dirty(s);
    // Nothing may throw through cairo's C frames.
    auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        try {
            out->insert(out->end(), data, data + length);
        } catch (const std::bad_alloc&) {
            return CAIRO_STATUS_NO_MEMORY;
        }
        return CAIRO_STATUS_SUCCESS;
    };
    if (cairo_surface_write_to_png_stream(s, append, &png) != CAIRO_STATUS_SUCCESS) {
        png.clear();
    }
    cairo_surface_destroy(s);
    return png;
}

bool WritePng(const Pixels& pixels, const std::u16string& path) {
    const std::vector<uint8_t> png = EncodePng(pixels);
    if (png.empty()) {
        return false;
    }
    // Written beside the target and renamed, so a failure leaves no half file.
    std::string target = Utf8(path);
    std::string part = target + ".part";
    bool ok;
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        ok = out.write(reinterpret_cast<const char*>(png.data()),
                       static_cast<std::streamsize>(png.size()))
                 .flush()
                 .good();
    }
    ok = ok && std::rename(part.c_str(), target.c_str()) == 0;
    if (!ok) {
        std::remove(part.c_str());
    }
    return ok;
}

} // namespace platform
