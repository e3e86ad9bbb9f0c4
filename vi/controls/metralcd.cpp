#include "vi/controls/metralcd.h"

#include <algorithm>

namespace {

constexpr uint8_t kSegA = 0x01, kSegB = 0x02, kSegC = 0x04, kSegD = 0x08, kSegE = 0x10,
                  kSegF = 0x20, kSegG = 0x40;
constexpr uint8_t kPlusBar = 0x80; // the vertical bar of "+"
constexpr uint8_t kDigitSegments[10] = {
    kSegA | kSegB | kSegC | kSegD | kSegE | kSegF,         // 0
    kSegB | kSegC,                                         // 1
    kSegA | kSegB | kSegD | kSegE | kSegG,                 // 2
    kSegA | kSegB | kSegC | kSegD | kSegG,                 // 3
    kSegB | kSegC | kSegF | kSegG,                         // 4
    kSegA | kSegC | kSegD | kSegF | kSegG,                 // 5
    kSegA | kSegC | kSegD | kSegE | kSegF | kSegG,         // 6
    kSegA | kSegB | kSegC,                                 // 7
    kSegA | kSegB | kSegC | kSegD | kSegE | kSegF | kSegG, // 8
    kSegA | kSegB | kSegC | kSegD | kSegF | kSegG,         // 9
};
constexpr uint32_t kMinDigitHeight = 8;
constexpr uint32_t kMaxDigitHeight = 400;
constexpr int32_t kMargin = 8;
constexpr int32_t kUnitWidth = 64; // room for "kOhm" beside the digits

bool IsPoint(char16_t c) {
    return c == u'.' || c == u',';
}

// Halfway between two colours, for the segments that are not lit.
platform::Color Mix(platform::Color a, platform::Color b, int weightA) {
    platform::Color out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>(a >> shift & 0xFF);
        const int cb = static_cast<int>(b >> shift & 0xFF);
        out |= static_cast<platform::Color>((ca * weightA + cb * (8 - weightA)) / 8) << shift;
    }
    return out;
}

} // namespace

CHotMetraLcd::CHotMetraLcd() {
    m_nTag = kTagMetraLcd;
    m_dwFlags = kHsVisible | kHsPassive;
}

void CHotMetraLcd::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [face, ink, height] = SerializeWords<3>(ar, {m_crFace, m_crInk, m_nDigitHeight});
    if (ar.IsStoring())
        return;
    if (height < kMinDigitHeight || height > kMaxDigitHeight)
        ThrowBadControlData();
    m_crFace = face;
    m_crInk = ink;
    m_nDigitHeight = height;
    m_bDrawn = false;
}

bool CHotMetraLcd::SetReading(const std::u16string& digits, const std::u16string& mode,
                              const std::u16string& unit, const std::u16string& note) {
    if (digits == m_strDigits && mode == m_strMode && unit == m_strUnit && note == m_strNote)
        return false;
    m_strDigits = digits;
    m_strMode = mode;
    m_strUnit = unit;
    m_strNote = note;
    m_bDrawn = false;
    return true;
}

uint8_t CHotMetraLcd::Segments(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return kDigitSegments[c - u'0'];
    switch (c) {
    case u'-':
        return kSegG;
    case u'+':
        return kSegG | kPlusBar;
    case u'L':
    case u':': // a digit the meter could not show: its overload mark
        return kSegD | kSegE | kSegF;
    default:
        return 0;
    }
}

void CHotMetraLcd::DrawDigit(platform::Gfx& dc, platform::Point at, uint8_t segments,
                             platform::Color ink, platform::Color faint) const {
    const int32_t h = static_cast<int32_t>(m_nDigitHeight);
    const int32_t w = h * 11 / 20;
    const int32_t t = std::max(2, h / 9);
    const int32_t mid = at.y + h / 2;
    const int32_t x = at.x, y = at.y;
    const platform::Rect bars[7] = {
        {x + t, y, x + w - t, y + t},                     // a
        {x + w - t, y + t, x + w, mid},                   // b
        {x + w - t, mid + 1, x + w, y + h - t},           // c
        {x + t, y + h - t, x + w - t, y + h},             // d
        {x, mid + 1, x + t, y + h - t},                   // e
        {x, y + t, x + t, mid},                           // f
        {x + t, mid - t / 2, x + w - t, mid - t / 2 + t}, // g
    };
    for (int s = 0; s < 7; ++s)
        dc.FillRect(bars[s], (segments >> s) & 1 ? ink : faint);
    if (segments & kPlusBar)
        dc.FillRect({x + (w - t) / 2, y + h / 4, x + (w + t) / 2, y + h * 3 / 4}, ink);
}

void CHotMetraLcd::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    if (onlyIfChanged && m_bDrawn)
        return;
    m_bDrawn = true;
    const platform::Rect r = m_rcArea;
    const platform::Color faint = Mix(m_crFace, m_crInk, 7);
    dc.FillRect(r, m_crFace);
    dc.FrameRect(r, Mix(m_crFace, m_crInk, 3), 2);

    platform::FontSpec small;
    small.height = -13;
    small.weight = 700;
    const std::u16string& top = m_strNote.empty() ? m_strMode : m_strNote;
    dc.Text({r.left + kMargin, r.top + kMargin - 2}, top, small, m_crInk);

    // The digits right-aligned before the unit, the point between two cells.
    const int32_t h = static_cast<int32_t>(m_nDigitHeight);
    const int32_t cell = h * 11 / 20 + h / 5;
    const int32_t y = r.bottom - kMargin - h;
    size_t cells = 0;
    for (char16_t c : m_strDigits)
        cells += IsPoint(c) ? 0 : 1;
    int32_t x = r.right - kMargin - kUnitWidth - static_cast<int32_t>(cells) * cell;
    for (size_t i = 0; i < m_strDigits.size(); ++i) {
        const char16_t c = m_strDigits[i];
        if (IsPoint(c)) {
            const int32_t t = std::max(2, h / 9);
            const int32_t px = x - h / 10 - t / 2;
            dc.FillRect({px, y + h - t, px + t, y + h}, m_crInk);
            continue;
        }
        DrawDigit(dc, {x, y}, Segments(c), m_crInk, faint);
        x += cell;
    }

    platform::FontSpec unit;
    unit.height = -std::max(12, h * 2 / 5);
    unit.weight = 700;
    const platform::Size ext = dc.TextExtent(m_strUnit, unit);
    dc.Text({r.right - kMargin - kUnitWidth + 6, y + h - ext.cy}, m_strUnit, unit, m_crInk);
}
