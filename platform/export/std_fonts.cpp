#include "platform/export/std_fonts.h"

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

constexpr double kMaxFontPixels = 2048;

// Advance widths (1/1000 em) of the characters 32-255 of Windows-1252 in
// Helvetica and Times; the oblique and italic cuts are measured upright.
// clang-format off
constexpr uint16_t kSans[224] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584, 0,
    556, 0, 222, 556, 333, 1000, 556, 556, 333, 1000, 667, 333, 1000, 0, 611, 0,
    0, 222, 222, 333, 333, 350, 556, 1000, 333, 1000, 500, 333, 944, 0, 500, 667,
    278, 333, 556, 556, 556, 556, 260, 556, 333, 737, 370, 556, 584, 333, 737, 333,
    400, 584, 333, 333, 333, 556, 537, 278, 333, 333, 365, 556, 834, 834, 834, 611,
    667, 667, 667, 667, 667, 667, 1000, 722, 667, 667, 667, 667, 278, 278, 278, 278,
    722, 722, 778, 778, 778, 778, 778, 584, 778, 722, 722, 722, 722, 667, 667, 611,
    556, 556, 556, 556, 556, 556, 889, 500, 556, 556, 556, 556, 278, 278, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 584, 611, 556, 556, 556, 556, 500, 556, 500,
};
constexpr uint16_t kSansBold[224] = {
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 333, 333, 584, 584, 584, 611,
    975, 722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 333, 278, 333, 584, 556,
    333, 556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611,
    611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500, 389, 280, 389, 584, 0,
    556, 0, 278, 556, 500, 1000, 556, 556, 333, 1000, 667, 333, 1000, 0, 611, 0,
    0, 278, 278, 500, 500, 350, 556, 1000, 333, 1000, 556, 333, 944, 0, 500, 667,
    278, 333, 556, 556, 556, 556, 280, 556, 333, 737, 370, 556, 584, 333, 737, 333,
    400, 584, 333, 333, 333, 611, 556, 278, 333, 333, 365, 556, 834, 834, 834, 611,
    722, 722, 722, 722, 722, 722, 1000, 722, 667, 667, 667, 667, 278, 278, 278, 278,
    722, 722, 778, 778, 778, 778, 778, 584, 778, 722, 722, 722, 722, 667, 667, 611,
    556, 556, 556, 556, 556, 556, 889, 556, 556, 556, 556, 556, 278, 278, 278, 278,
    611, 611, 611, 611, 611, 611, 611, 584, 611, 611, 611, 611, 611, 556, 611, 556,
};
constexpr uint16_t kSerif[224] = {
    250, 333, 408, 500, 500, 833, 778, 180, 333, 333, 500, 564, 250, 333, 250, 278,
    500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 278, 278, 564, 564, 564, 444,
    921, 722, 667, 667, 722, 611, 556, 722, 722, 333, 389, 722, 611, 889, 722, 722,
    556, 722, 667, 556, 611, 722, 722, 944, 722, 722, 611, 333, 278, 333, 469, 500,
    333, 444, 500, 444, 500, 444, 333, 500, 500, 278, 278, 500, 278, 778, 500, 500,
    500, 500, 333, 389, 278, 500, 500, 722, 500, 500, 444, 480, 200, 480, 541, 0,
    500, 0, 333, 500, 444, 1000, 500, 500, 333, 1000, 556, 333, 889, 0, 611, 0,
    0, 333, 333, 444, 444, 350, 500, 1000, 333, 980, 389, 333, 722, 0, 444, 722,
    250, 333, 500, 500, 500, 500, 200, 500, 333, 760, 276, 500, 564, 333, 760, 333,
    400, 564, 300, 300, 333, 500, 453, 250, 333, 300, 310, 500, 750, 750, 750, 444,
    722, 722, 722, 722, 722, 722, 889, 667, 611, 611, 611, 611, 333, 333, 333, 333,
    722, 722, 722, 722, 722, 722, 722, 564, 722, 722, 722, 722, 722, 722, 556, 500,
    444, 444, 444, 444, 444, 444, 667, 444, 444, 444, 444, 444, 278, 278, 278, 278,
    500, 500, 500, 500, 500, 500, 500, 564, 500, 500, 500, 500, 500, 500, 500, 500,
};
constexpr uint16_t kSerifBold[224] = {
    250, 333, 555, 500, 500, 1000, 833, 278, 333, 333, 500, 570, 250, 333, 250, 278,
    500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 333, 333, 570, 570, 570, 500,
    930, 722, 667, 722, 722, 667, 611, 778, 778, 389, 500, 778, 667, 944, 722, 778,
    611, 778, 722, 556, 667, 722, 722, 1000, 722, 722, 667, 333, 278, 333, 581, 500,
    333, 500, 556, 444, 556, 444, 333, 500, 556, 278, 333, 556, 278, 833, 556, 500,
    556, 556, 444, 389, 333, 556, 500, 722, 500, 500, 444, 394, 220, 394, 520, 0,
    500, 0, 333, 500, 500, 1000, 500, 500, 333, 1000, 556, 333, 1000, 0, 667, 0,
    0, 333, 333, 500, 500, 350, 500, 1000, 333, 1000, 389, 333, 722, 0, 444, 722,
    250, 333, 500, 500, 500, 500, 220, 500, 333, 747, 300, 500, 570, 333, 747, 333,
    400, 570, 300, 300, 333, 556, 540, 250, 333, 300, 330, 500, 750, 750, 750, 500,
    722, 722, 722, 722, 722, 722, 1000, 722, 667, 667, 667, 667, 389, 389, 389, 389,
    722, 722, 778, 778, 778, 778, 778, 570, 778, 722, 722, 722, 722, 722, 611, 556,
    500, 500, 500, 500, 500, 500, 722, 444, 444, 444, 444, 444, 278, 278, 278, 278,
    500, 556, 500, 500, 500, 500, 500, 570, 500, 556, 556, 556, 556, 500, 556, 500,
};
// clang-format on

// Characters 0x80-0x9F of Windows-1252 (0 where the code is unused).
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool Has(const std::u16string& face, const char16_t* part) {
    const std::u16string p(part);
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    return std::search(face.begin(), face.end(), p.begin(), p.end(),
                       [&](char16_t a, char16_t b) { return lower(a) == b; }) != face.end();
}

StdFamily FamilyOf(const FontSpec& font) {
    constexpr uint8_t kFixedPitch = 1, kRomanFamily = 0x10, kModernFamily = 0x30;
    const std::u16string& f = font.face;
    for (const char16_t* mono : {u"courier", u"mono", u"consol", u"fixed", u"terminal"})
        if (Has(f, mono))
            return StdFamily::Mono;
    if (!Has(f, u"sans"))
        for (const char16_t* serif : {u"times", u"roman", u"serif", u"georgia", u"garamond"})
            if (Has(f, serif))
                return StdFamily::Serif;
    if (f.empty() &&
        ((font.pitchAndFamily & 3) == kFixedPitch || (font.pitchAndFamily & 0xF0) == kModernFamily))
        return StdFamily::Mono;
    if (f.empty() && (font.pitchAndFamily & 0xF0) == kRomanFamily)
        return StdFamily::Serif;
    return StdFamily::Sans;
}

} // namespace

StdFont MapFont(const FontSpec& font) {
    StdFont s;
    s.family = FamilyOf(font);
    s.bold = font.weight >= 600;
    s.italic = font.italic != 0;
    // A damaged font record may ask for any height: none is taller than a page.
    const double cell = kStdAscent + kStdDescent;
    const double em = font.height < 0   ? -static_cast<double>(font.height)
                      : font.height > 0 ? font.height / cell
                                        : 12.0;
    s.size = std::clamp(em, 1.0, kMaxFontPixels);
    return s;
}

const char* PdfBaseFont(const StdFont& font) {
    static const char* const names[3][4] = {
        {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique"},
        {"Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"},
        {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"}};
    return names[static_cast<int>(font.family)][(font.bold ? 1 : 0) + (font.italic ? 2 : 0)];
}

const char* SvgFamily(StdFamily family) {
    switch (family) {
    case StdFamily::Serif:
        return "Times, 'Times New Roman', serif";
    case StdFamily::Mono:
        return "Courier, 'Courier New', monospace";
    default:
        return "Helvetica, Arial, sans-serif";
    }
}

std::string ToWinAnsi(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        char byte = '?';
        if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] < 0xE000) {
            ++i;
        } else if (c != 0) {
            const auto* hit = std::find(std::begin(kHighControls), std::end(kHighControls), c);
            if (hit != std::end(kHighControls))
                byte = static_cast<char>(0x80 + (hit - std::begin(kHighControls)));
        }
        out.push_back(byte);
    }
    return out;
}

double TextWidth(const std::string& winAnsi, const StdFont& font) {
    const uint16_t* table = font.family == StdFamily::Serif ? (font.bold ? kSerifBold : kSerif)
                                                            : (font.bold ? kSansBold : kSans);
    double units = 0;
    for (const char ch : winAnsi) {
        const auto c = static_cast<unsigned char>(ch);
        if (font.family == StdFamily::Mono)
            units += 600;
        else if (c >= 32)
            units += table[c - 32];
    }
    return units * font.size / 1000;
}

} // namespace platform
