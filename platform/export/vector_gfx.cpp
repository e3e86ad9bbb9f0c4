// A context that records the drawing as SVG elements or PDF operators. Both
// share the Gfx semantics of the cairo backend: lines run through pixel
// centres with butt ends, fills cover whole pixels.
#include "platform/export/vector_gfx.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "framework/wstr.h"
#include "platform/export/std_fonts.h"

namespace platform {

namespace {

constexpr int32_t kMaxSide = 32767;
// Larger image parts are not drawn: no panel bitmap comes near this.
constexpr int64_t kMaxImagePixels = int64_t(1) << 22;
// Control point distance of a quarter ellipse drawn as a Bezier curve.
constexpr double kKappa = 0.5522847498;

bool Same(const std::optional<Rect>& a, const std::optional<Rect>& b) {
    if (!a || !b)
        return !a && !b;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

// Three decimals at most, no exponent, no "-0": the same in every locale.
std::string Num(double v) {
    char buf[48];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    std::string s(buf, r.ptr);
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

struct PointF {
    double x;
    double y;
};

// The visible pixels of an image part, row by row, and the colour that is
// left out (when one is).
struct ImagePart {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Color> pixels;
    std::optional<Color> key;
};

class VectorGfx : public Gfx {
public:
    explicit VectorGfx(Size size) : page_{0, 0, size.cx, size.cy} {}

    // The finished document.
    virtual std::string Finish() = 0;

    Rect ClipBox() const override { return page_; }

    void FillRect(const Rect& r, Color c) override {
        if (r.IsEmpty())
            return;
        Begin();
        EmitRect(r, nullptr, c);
    }

    void FrameRect(const Rect& r, Color c, int32_t width) override {
        if (width <= 0 || r.IsEmpty())
            return;
        if (2 * int64_t(width) >= r.Width() || 2 * int64_t(width) >= r.Height())
            return FillRect(r, c);
        Begin();
        const Rect hole = r.Inflated(-width);
        EmitRect(r, &hole, c);
    }

    void Line(Point from, Point to, Color c, int32_t width) override {
        width = std::max(width, int32_t(1));
        const PointF a{from.x + 0.5, from.y + 0.5}, b{to.x + 0.5, to.y + 0.5};
        // A trace is one line after the other: they go out as one path.
        const bool continues = !stroke_.empty() && strokeColour_ == c && strokeWidth_ == width &&
                               stroke_.back().x == a.x && stroke_.back().y == a.y &&
                               Same(open_, wanted_);
        if (!continues) {
            Begin();
            stroke_ = {a};
            strokeColour_ = c;
            strokeWidth_ = width;
        }
        stroke_.push_back(b);
    }

    void Polygon(const Point* points, size_t count, Color fill) override {
        if (!points || count == 0)
            return;
        Begin();
        std::vector<PointF> p;
        p.reserve(count);
        for (size_t i = 0; i < count; ++i)
            p.push_back({points[i].x + 0.5, points[i].y + 0.5});
        EmitPolygon(p, fill);
    }

    void Ellipse(const Rect& r, Color fill) override {
        if (r.IsEmpty())
            return;
        Begin();
        EmitEllipse(r, fill);
    }

    void DrawImage(const Image& image, const Rect& src, Point dst, Transparency t) override {
        const Size s = image.GetSize();
        const Rect part{std::max(src.left, 0), std::max(src.top, 0), std::min(src.right, s.cx),
                        std::min(src.bottom, s.cy)};
        if (part.IsEmpty() || int64_t(part.Width()) * part.Height() > kMaxImagePixels)
            return;
        ImagePart img;
        img.width = part.Width();
        img.height = part.Height();
        img.pixels.reserve(size_t(img.width) * size_t(img.height));
        for (int32_t y = part.top; y < part.bottom; ++y)
            for (int32_t x = part.left; x < part.right; ++x)
                img.pixels.push_back(image.Pixel(x, y) & 0xFFFFFF);
        if (t != Transparency::None)
            img.key = t == Transparency::Magenta ? kMagenta : image.Pixel(0, 0) & 0xFFFFFF;
        Begin();
        EmitImage(img, {dst.x + part.left - src.left, dst.y + part.top - src.top});
    }

    Size TextExtent(const std::u16string& text, const FontSpec& font) override {
        const StdFont f = MapFont(font);
        return {static_cast<int32_t>(std::ceil(TextWidth(ToWinAnsi(text), f))),
                static_cast<int32_t>(std::ceil((kStdAscent + kStdDescent) * f.size))};
    }

    void Text(Point p, const std::u16string& text, const FontSpec& font, Color c) override {
        if (text.empty())
            return;
        Begin();
        const StdFont f = MapFont(font);
        const double ascent = kStdAscent * f.size;
        const double baseline = std::round(p.y + ascent);
        EmitText({double(p.x), baseline}, text, f, c);
        if (!font.underline && !font.strikeOut)
            return;
        const auto width = static_cast<int32_t>(std::ceil(TextWidth(ToWinAnsi(text), f)));
        const auto thick = static_cast<int32_t>(std::max(1.0, std::floor(ascent / 12)));
        const auto base = static_cast<int32_t>(baseline);
        if (font.underline)
            EmitRect({p.x, base + 1, p.x + width, base + 1 + thick}, nullptr, c);
        if (font.strikeOut) {
            const auto y = static_cast<int32_t>(std::round(baseline - ascent / 3));
            EmitRect({p.x, y, p.x + width, y + thick}, nullptr, c);
        }
    }

    // Buffers draw straight into the document, limited to their area.
    std::unique_ptr<Gfx> CreateBuffer(const Rect& area) override;
    void CopyBuffer(Gfx&) override {}

    // What a buffer draws is limited to its area while it draws.
    class Limit {
    public:
        Limit(VectorGfx& doc, const Rect& area) : doc_(doc), old_(doc.wanted_) {
            doc.wanted_ = area;
        }
        ~Limit() { doc_.wanted_ = old_; }
        Limit(const Limit&) = delete;
        Limit& operator=(const Limit&) = delete;

    private:
        VectorGfx& doc_;
        std::optional<Rect> old_;
    };

protected:
    // Everything drawn so far is out, within the clip that is wanted now.
    void Begin() {
        if (stroke_.size() > 1)
            EmitStroke(stroke_, strokeColour_, strokeWidth_);
        stroke_.clear();
        if (Same(open_, wanted_))
            return;
        if (open_)
            CloseClip();
        open_ = wanted_;
        if (open_)
            OpenClip(*open_);
    }
    // Before the document is finished.
    void End() {
        wanted_.reset();
        Begin();
    }

    virtual void OpenClip(const Rect& r) = 0;
    virtual void CloseClip() = 0;
    // A filled rectangle; with a hole, the frame around it.
    virtual void EmitRect(const Rect& r, const Rect* hole, Color c) = 0;
    virtual void EmitStroke(const std::vector<PointF>& points, Color c, int32_t width) = 0;
    virtual void EmitPolygon(const std::vector<PointF>& points, Color c) = 0;
    virtual void EmitEllipse(const Rect& r, Color c) = 0;
    virtual void EmitText(PointF baseline, const std::u16string& text, const StdFont& font,
                          Color c) = 0;
    virtual void EmitImage(const ImagePart& image, Point at) = 0;

    Rect page_;

private:
    std::optional<Rect> wanted_;
    std::optional<Rect> open_;
    std::vector<PointF> stroke_;
    Color strokeColour_ = 0;
    int32_t strokeWidth_ = 1;
};

class BufferGfx final : public Gfx {
public:
    // An empty area still gets a context (a clip of no size: nothing shows).
    BufferGfx(VectorGfx& doc, const Rect& area)
        : doc_(doc), area_{area.left, area.top, std::max(area.left, area.right),
                           std::max(area.top, area.bottom)} {}

    Rect ClipBox() const override { return area_; }
    void FillRect(const Rect& r, Color c) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.FillRect(r, c);
    }
    void FrameRect(const Rect& r, Color c, int32_t width) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.FrameRect(r, c, width);
    }
    void Line(Point from, Point to, Color c, int32_t width) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.Line(from, to, c, width);
    }
    void Polygon(const Point* points, size_t count, Color fill) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.Polygon(points, count, fill);
    }
    void Ellipse(const Rect& r, Color fill) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.Ellipse(r, fill);
    }
    void DrawImage(const Image& image, const Rect& src, Point dst, Transparency t) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.DrawImage(image, src, dst, t);
    }
    Size TextExtent(const std::u16string& text, const FontSpec& font) override {
        return doc_.TextExtent(text, font);
    }
    void Text(Point p, const std::u16string& text, const FontSpec& font, Color c) override {
        VectorGfx::Limit l(doc_, area_);
        doc_.Text(p, text, font, c);
    }
    std::unique_ptr<Gfx> CreateBuffer(const Rect& area) override {
        return std::make_unique<BufferGfx>(
            doc_, Rect{std::max(area.left, area_.left), std::max(area.top, area_.top),
                       std::min(area.right, area_.right), std::min(area.bottom, area_.bottom)});
    }
    void CopyBuffer(Gfx&) override {}

private:
    VectorGfx& doc_;
    Rect area_;
};

std::unique_ptr<Gfx> VectorGfx::CreateBuffer(const Rect& area) {
    return std::make_unique<BufferGfx>(*this, area);
}

// ---- SVG -------------------------------------------------------------------

std::string Hex(Color c) {
    static const char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (int shift : {0, 8, 16}) {
        const unsigned v = c >> shift & 0xFF;
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

// Text as XML character data: markup characters escaped, characters XML
// cannot carry (controls, lone surrogates) shown as U+FFFD.
std::string XmlText(const std::u16string& text) {
    std::u16string clean;
    clean.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pair) {
            clean += c;
            clean += text[++i];
        } else if ((c < 0x20 && c != u'\t') || (c >= 0xD800 && c < 0xE000) || c >= 0xFFFE) {
            clean += u'\uFFFD';
        } else {
            clean += c;
        }
    }
    std::string out;
    for (const char ch : Narrow(clean)) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += ch;
        }
    }
    return out;
}

uint32_t Crc32(const std::string& bytes, size_t from) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < bytes.size(); ++i)
        c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Be32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(v >> shift & 0xFF);
}

// An RGBA PNG, its pixels deflated as stored blocks: no compressor needed,
// and the panels' small bitmaps stay small anyway.
std::string EncodePng(const ImagePart& img) {
    std::string raw;
    raw.reserve(size_t(img.height) * (1 + 4 * size_t(img.width)));
    for (int32_t y = 0; y < img.height; ++y) {
        raw += '\0'; // no filter
        for (int32_t x = 0; x < img.width; ++x) {
            const Color c = img.pixels[size_t(y) * size_t(img.width) + size_t(x)];
            raw += static_cast<char>(c & 0xFF);
            raw += static_cast<char>(c >> 8 & 0xFF);
            raw += static_cast<char>(c >> 16 & 0xFF);
            raw += static_cast<char>(img.key && c == *img.key ? 0 : 0xFF);
        }
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (const char ch : raw) {
        a = (a + static_cast<unsigned char>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
        for (const uint16_t v : {uint16_t(n), uint16_t(~n)}) {
            z += static_cast<char>(v & 0xFF);
            z += static_cast<char>(v >> 8);
        }
        z.append(raw, at, n);
    }
    Be32(z, b << 16 | a);
    std::string png = "\x89PNG\r\n\x1A\n";
    const auto chunk = [&png](const char* type, const std::string& data) {
        Be32(png, static_cast<uint32_t>(data.size()));
        const size_t start = png.size();
        png += type;
        png += data;
        Be32(png, Crc32(png, start));
    };
    std::string head;
    Be32(head, static_cast<uint32_t>(img.width));
    Be32(head, static_cast<uint32_t>(img.height));
    head += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA
    chunk("IHDR", head);
    chunk("IDAT", z);
    chunk("IEND", {});
    return png;
}

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

class SvgGfx final : public VectorGfx {
public:
    using VectorGfx::VectorGfx;

    std::string Finish() override {
        End();
        const std::string w = std::to_string(page_.right), h = std::to_string(page_.bottom);
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" "
               "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" width=\"" +
               w + "pt\" height=\"" + h + "pt\" viewBox=\"0 0 " + w + " " + h + "\">\n" + body_ +
               "</svg>\n";
    }

protected:
    void OpenClip(const Rect& r) override {
        const std::string id = "clip" + std::to_string(++clips_);
        body_ += "<clipPath id=\"" + id + "\">" + RectElement(r, "") +
                 "</clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
    }
    void CloseClip() override { body_ += "</g>\n"; }

    void EmitRect(const Rect& r, const Rect* hole, Color c) override {
        if (!hole) {
            body_ += RectElement(r, " fill=\"" + Hex(c) + "\"") + "\n";
            return;
        }
        body_ += "<path fill-rule=\"evenodd\" fill=\"" + Hex(c) + "\" d=\"" + Box(r) + " " +
                 Box(*hole) + "\"/>\n";
    }

    void EmitStroke(const std::vector<PointF>& points, Color c, int32_t width) override {
        body_ += "<polyline fill=\"none\" stroke=\"" + Hex(c) + "\" stroke-width=\"" +
                 std::to_string(width) + "\" points=\"" + Points(points) + "\"/>\n";
    }

    void EmitPolygon(const std::vector<PointF>& points, Color c) override {
        body_ += "<polygon fill=\"" + Hex(c) + "\" stroke=\"" + Hex(c) +
                 "\" stroke-width=\"1\" points=\"" + Points(points) + "\"/>\n";
    }

    void EmitEllipse(const Rect& r, Color c) override {
        body_ += "<ellipse cx=\"" + Num(r.left + r.Width() / 2.0) + "\" cy=\"" +
                 Num(r.top + r.Height() / 2.0) + "\" rx=\"" + Num(r.Width() / 2.0) + "\" ry=\"" +
                 Num(r.Height() / 2.0) + "\" fill=\"" + Hex(c) + "\"/>\n";
    }

    void EmitText(PointF at, const std::u16string& text, const StdFont& font, Color c) override {
        body_ += "<text xml:space=\"preserve\" x=\"" + Num(at.x) + "\" y=\"" + Num(at.y) +
                 "\" font-family=\"" + SvgFamily(font.family) + "\" font-size=\"" + Num(font.size) +
                 "\"" + (font.bold ? " font-weight=\"bold\"" : "") +
                 (font.italic ? " font-style=\"italic\"" : "") + " fill=\"" + Hex(c) + "\">" +
                 XmlText(text) + "</text>\n";
    }

    void EmitImage(const ImagePart& image, Point at) override {
        body_ += "<image x=\"" + std::to_string(at.x) + "\" y=\"" + std::to_string(at.y) +
                 "\" width=\"" + std::to_string(image.width) + "\" height=\"" +
                 std::to_string(image.height) + "\" xlink:href=\"data:image/png;base64," +
                 Base64(EncodePng(image)) + "\"/>\n";
    }

private:
    static std::string RectElement(const Rect& r, const std::string& attributes) {
        return "<rect x=\"" + std::to_string(r.left) + "\" y=\"" + std::to_string(r.top) +
               "\" width=\"" + std::to_string(r.Width()) + "\" height=\"" +
               std::to_string(r.Height()) + "\"" + attributes + "/>";
    }
    static std::string Box(const Rect& r) {
        return "M" + std::to_string(r.left) + " " + std::to_string(r.top) + "H" +
               std::to_string(r.right) + "V" + std::to_string(r.bottom) + "H" +
               std::to_string(r.left) + "Z";
    }
    static std::string Points(const std::vector<PointF>& points) {
        std::string s;
        for (const PointF& p : points)
            s += (s.empty() ? "" : " ") + Num(p.x) + "," + Num(p.y);
        return s;
    }

    std::string body_;
    int clips_ = 0;
};

// ---- PDF -------------------------------------------------------------------

std::string PdfColour(Color c, const char* op) {
    return Num((c & 0xFF) / 255.0) + " " + Num((c >> 8 & 0xFF) / 255.0) + " " +
           Num((c >> 16 & 0xFF) / 255.0) + " " + op + "\n";
}

// A string literal: parentheses and backslashes escaped, bytes beyond ASCII
// as octal, so the content stream stays text.
std::string PdfString(const std::string& winAnsi) {
    std::string out = "(";
    for (const char ch : winAnsi) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            out += '\\';
            for (int shift : {6, 3, 0})
                out += static_cast<char>('0' + (c >> shift & 7));
        } else {
            out += ch;
        }
    }
    return out + ")";
}

class PdfGfx final : public VectorGfx {
public:
    using VectorGfx::VectorGfx;

    std::string Finish() override {
        End();
        std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
        std::vector<size_t> offsets;
        const auto object = [&](const std::string& body) {
            offsets.push_back(out.size());
            out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
        };
        // 1 catalog, 2 pages, 3 the page, 4 its content, then fonts and images.
        const size_t firstFont = 5, firstImage = firstFont + fonts_.size();
        std::string resources = "/Font <<";
        for (size_t i = 0; i < fonts_.size(); ++i)
            resources += " /F" + std::to_string(i) + " " + Ref(firstFont + i);
        resources += " >> /XObject <<";
        for (size_t i = 0; i < images_.size(); ++i)
            resources += " /Im" + std::to_string(i) + " " + Ref(firstImage + i);
        resources += " >>";
        object("<< /Type /Catalog /Pages 2 0 R >>");
        object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(page_.right) + " " +
               std::to_string(page_.bottom) + "] /Resources << " + resources +
               " >> /Contents 4 0 R >>");
        object(Stream("", content_));
        for (const std::string& f : fonts_)
            object("<< /Type /Font /Subtype /Type1 /BaseFont /" + f +
                   " /Encoding /WinAnsiEncoding >>");
        for (const std::string& image : images_)
            object(image);
        const size_t xref = out.size();
        out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
        for (const size_t at : offsets) {
            const std::string n = std::to_string(at);
            out += std::string(10 - std::min<size_t>(n.size(), 10), '0') + n + " 00000 n \n";
        }
        out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
               " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

protected:
    void OpenClip(const Rect& r) override { content_ += "q " + Box(r) + " W n\n"; }
    void CloseClip() override { content_ += "Q\n"; }

    void EmitRect(const Rect& r, const Rect* hole, Color c) override {
        content_ += PdfColour(c, "rg") + Box(r) + (hole ? " " + Box(*hole) + " f*\n" : " f\n");
    }

    void EmitStroke(const std::vector<PointF>& points, Color c, int32_t width) override {
        content_ +=
            PdfColour(c, "RG") + std::to_string(width) + " w 0 J 0 j\n" + Path(points) + "S\n";
    }

    void EmitPolygon(const std::vector<PointF>& points, Color c) override {
        content_ += PdfColour(c, "rg") + PdfColour(c, "RG") + "1 w 0 j\n" + Path(points) + "h B\n";
    }

    void EmitEllipse(const Rect& r, Color c) override {
        const double cx = r.left + r.Width() / 2.0, cy = Y(r.top + r.Height() / 2.0);
        const double rx = r.Width() / 2.0, ry = r.Height() / 2.0;
        const double kx = rx * kKappa, ky = ry * kKappa;
        const auto curve = [](double x1, double y1, double x2, double y2, double x3, double y3) {
            return Num(x1) + " " + Num(y1) + " " + Num(x2) + " " + Num(y2) + " " + Num(x3) + " " +
                   Num(y3) + " c\n";
        };
        content_ += PdfColour(c, "rg") + Num(cx + rx) + " " + Num(cy) + " m\n" +
                    curve(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry) +
                    curve(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy) +
                    curve(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry) +
                    curve(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy) + "f\n";
    }

    void EmitText(PointF at, const std::u16string& text, const StdFont& font, Color c) override {
        const std::string name = PdfBaseFont(font);
        auto it = std::find(fonts_.begin(), fonts_.end(), name);
        if (it == fonts_.end())
            it = fonts_.insert(fonts_.end(), name);
        content_ += "BT\n" + PdfColour(c, "rg") + "/F" + std::to_string(it - fonts_.begin()) + " " +
                    Num(font.size) + " Tf\n" + Num(at.x) + " " + Num(Y(at.y)) + " Td\n" +
                    PdfString(ToWinAnsi(text)) + " Tj\nET\n";
    }

    void EmitImage(const ImagePart& image, Point at) override {
        std::string rgb;
        rgb.reserve(image.pixels.size() * 3);
        for (const Color c : image.pixels) {
            rgb += static_cast<char>(c & 0xFF);
            rgb += static_cast<char>(c >> 8 & 0xFF);
            rgb += static_cast<char>(c >> 16 & 0xFF);
        }
        std::string dict = "/Type /XObject /Subtype /Image /Width " + std::to_string(image.width) +
                           " /Height " + std::to_string(image.height) +
                           " /ColorSpace /DeviceRGB /BitsPerComponent 8";
        if (image.key) {
            dict += " /Mask [";
            for (int shift : {0, 8, 16}) {
                const std::string v = std::to_string(*image.key >> shift & 0xFF);
                dict += v + " " + v + (shift < 16 ? " " : "]");
            }
        }
        // The strips of a panel are drawn again and again: one object each.
        const std::string object = Stream(dict, rgb);
        auto [it, added] = imageIndex_.emplace(object, images_.size());
        if (added)
            images_.push_back(object);
        content_ += "q " + std::to_string(image.width) + " 0 0 " + std::to_string(image.height) +
                    " " + std::to_string(at.x) + " " + Num(Y(at.y + image.height)) + " cm /Im" +
                    std::to_string(it->second) + " Do Q\n";
    }

private:
    // PDF's y axis points up from the bottom of the page.
    double Y(double y) const { return page_.bottom - y; }

    std::string Box(const Rect& r) const {
        return std::to_string(r.left) + " " + Num(Y(r.bottom)) + " " + std::to_string(r.Width()) +
               " " + std::to_string(r.Height()) + " re";
    }
    std::string Path(const std::vector<PointF>& points) const {
        std::string s;
        for (size_t i = 0; i < points.size(); ++i)
            s += Num(points[i].x) + " " + Num(Y(points[i].y)) + (i ? " l\n" : " m\n");
        return s;
    }
    static std::string Ref(size_t object) { return std::to_string(object) + " 0 R"; }
    static std::string Stream(const std::string& dict, const std::string& data) {
        return "<< " + dict + (dict.empty() ? "" : " ") + "/Length " + std::to_string(data.size()) +
               " >>\nstream\n" + data + "\nendstream";
    }

    std::string content_;
    std::vector<std::string> fonts_;
    std::vector<std::string> images_;
    std::map<std::string, size_t> imageIndex_;
};

} // namespace

std::string DrawVectorDocument(DocumentKind kind, Size size, const DrawPicture& draw) {
    if (size.cx <= 0 || size.cy <= 0 || size.cx > kMaxSide || size.cy > kMaxSide || !draw)
        return {};
    std::unique_ptr<VectorGfx> dc;
    if (kind == DocumentKind::Svg)
        dc = std::make_unique<SvgGfx>(size);
    else
        dc = std::make_unique<PdfGfx>(size);
    draw(*dc);
    return dc->Finish();
}

} // namespace platform
