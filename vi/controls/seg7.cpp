#include "vi/controls/seg7.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kImageBlank = 16;
constexpr int32_t kImageMinus = 17;
constexpr uint32_t kMaxDigits = 64;
constexpr uint32_t kRadixes[] = {16, 10, 8};

int32_t DigitImage(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return c == '-' ? kImageMinus : kImageBlank;
}

// value in radix, lower case, padded with "0" to width.
std::string Digits(uint32_t value, uint32_t radix, size_t width) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdef"[value % radix]);
        value /= radix;
    } while (value);
    if (s.size() < width)
        s.insert(0, width - s.size(), '0');
    return s;
}

// Puts s into text so that it ends at position end (1-based).
void PlaceEndingAt(std::string& text, const std::string& s, size_t end) {
    text.replace(end - s.size(), s.size(), s);
}

} // namespace

CHotSeg7::CHotSeg7() : m_Strip(5146, 18) {
    m_nTag = kTagSeg7;
    m_dwFlags = kHsVisible | kHsPassive;
    m_szImage = m_Strip.ImageSize();
}

void CHotSeg7::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [digits] = SerializeWords<1>(ar, {m_nDigits});
    if (ar.IsStoring())
        return;
    if (digits > kMaxDigits)
        ThrowBadControlData();
    m_nDigits = digits;
    m_Shown.clear();
}

void CHotSeg7::RecalcSize() {
    m_rcArea.right = m_rcArea.left + static_cast<int32_t>(m_nDigits) * m_szImage.cx;
    m_rcArea.bottom = m_rcArea.top + m_szImage.cy;
}

void CHotSeg7::SetText(std::string_view text) {
    m_strText.assign(text);
}

void CHotSeg7::SetValue(int32_t value) {
    char buf[kMaxDigits + 16];
    std::snprintf(buf, sizeof buf, "%*d", static_cast<int>(m_nDigits), value);
    SetText(buf);
}

CHotSeg7::Cell CHotSeg7::CellAt(size_t digit) const {
    size_t n = 0;
    for (size_t i = 0; i < m_strText.size(); ++i) {
        const char c = m_strText[i];
        const bool point = c == '.' || c == ',';
        // A point belongs to the character before it, unless there is none.
        if (point && i > 0 && m_strText[i - 1] != '.' && m_strText[i - 1] != ',')
            continue;
        if (n++ == digit) {
            Cell cell{point ? kImageBlank : DigitImage(c), point};
            const char next = i + 1 < m_strText.size() ? m_strText[i + 1] : 0;
            cell.point = cell.point || (!point && (next == '.' || next == ','));
            return cell;
        }
    }
    return {};
}

void CHotSeg7::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    const platform::Size s = m_szImage;
    const platform::Image* strip = m_Strip.Image();
    if (m_bBlink)
        m_bBlinkPhase = !m_bBlinkPhase;
    m_Shown.resize(m_nDigits, Cell{-1, false});
    for (uint32_t d = 0; d < m_nDigits; ++d) {
        Cell cell = m_bBlink ? Cell{m_bBlinkPhase ? kImageMinus : kImageBlank, false} : CellAt(d);
        if (onlyIfChanged && cell == m_Shown[d])
            continue;
        m_Shown[d] = cell;
        const platform::Point at{m_rcArea.left + static_cast<int32_t>(d) * s.cx, m_rcArea.top};
        m_Strip.Draw(dc, cell.image, at, platform::Transparency::None);
        if (cell.point && strip) {
            // In the colour of the segments that image 8 lights.
            const platform::Color lit = strip->Pixel(8 * s.cx + s.cx / 2, s.cy / 2);
            const int32_t dot = std::max(2, s.cx / 8);
            dc.FillRect(
                {at.x + s.cx - dot - 1, at.y + s.cy - dot - 1, at.x + s.cx - 1, at.y + s.cy - 1},
                lit);
        }
    }
}

CHotDigSeg7::CHotDigSeg7() {
    m_nTag = kTagDigSeg7;
    m_nDigits = 7;
    Format();
}

void CHotDigSeg7::Serialize(CArchive& ar) {
    CHotSeg7::Serialize(ar);
    const auto [mode, radix] = SerializeWords<2>(ar, {m_nMode, m_nRadix});
    if (ar.IsStoring())
        return;
    if (radix >= std::size(kRadixes))
        ThrowBadControlData();
    m_nMode = mode;
    m_nRadix = radix;
    Format();
}

void CHotDigSeg7::SetValue(int32_t value) {
    m_wValue = static_cast<uint16_t>(value);
    Format();
}

void CHotDigSeg7::SetMode(uint32_t mode) {
    m_nMode = mode;
    Format();
}

bool CHotDigSeg7::SetRadix(uint32_t index) {
    if (index >= std::size(kRadixes))
        return false;
    m_nRadix = index;
    Format();
    return true;
}

void CHotDigSeg7::Format() {
    const uint32_t radix = kRadixes[m_nRadix];
    const size_t byteWidth = radix == 16 ? 2 : 3;
    const size_t wordWidth = radix == 16 ? 4 : 5;
    const std::string high = Digits(m_wValue >> 8, radix, byteWidth);
    const std::string low = Digits(m_wValue & 0xFF, radix, byteWidth);
    std::string text(7, ' ');
    switch (m_nMode) {
    case 0:
        PlaceEndingAt(text, high, 3);
        PlaceEndingAt(text, low, 7);
        break;
    case 1:
        PlaceEndingAt(text, Digits(m_wValue, radix, wordWidth), 7);
        break;
    case 2:
        PlaceEndingAt(text, high, 3);
        break;
    case 3:
        PlaceEndingAt(text, low, 3);
        break;
    default:
        break;
    }
    SetText(text);
}
