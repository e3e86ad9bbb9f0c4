#include "vi/controls/meterlcd.h"

namespace {

constexpr int32_t kMargin = 8;
constexpr platform::Color kBezel = platform::Rgb(0x38, 0x3C, 0x38);

} // namespace

CHotMeterLcd::CHotMeterLcd()
    : m_crFace(platform::Rgb(0xC6, 0xD6, 0xAA)), m_crText(platform::Rgb(0x18, 0x20, 0x18)) {
    m_nTag = kTagMeterLcd;
    m_dwFlags = kHsVisible | kHsPassive;
    m_Font.face = u"Courier New";
    m_Font.height = -28;
    m_Font.weight = 700;
    m_strValue = u"----";
}

void CHotMeterLcd::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    if (ar.IsStoring())
        ar << m_crFace << m_crText;
    else
        ar >> m_crFace >> m_crText;
    SerializeFont(ar, m_Font);
}

bool CHotMeterLcd::SetText(const WString& value, const WString& unit) {
    if (value == m_strValue && unit == m_strUnit)
        return false;
    m_strValue = value;
    m_strUnit = unit;
    return true;
}

void CHotMeterLcd::Draw(platform::Gfx& dc, bool) {
    std::unique_ptr<platform::Gfx> buffer = dc.CreateBuffer(m_rcArea);
    platform::Gfx& g = buffer ? *buffer : dc;
    g.FillRect(m_rcArea, m_crFace);
    g.FrameRect(m_rcArea, kBezel, 2);
    // The unit in a smaller font at the right, the reading right-aligned
    // before it, both on the middle line.
    platform::FontSpec unitFont;
    // In 64 bits: the height comes from the panel file and may be anything.
    const int64_t smaller = int64_t{m_Font.height} * 3 / 5;
    unitFont.height = smaller < -9 ? static_cast<int32_t>(smaller) : -9;
    unitFont.weight = 700;
    const platform::Size unit = g.TextExtent(m_strUnit, unitFont);
    const platform::Size value = g.TextExtent(m_strValue, m_Font);
    const int32_t mid = (m_rcArea.top + m_rcArea.bottom) / 2;
    const int32_t unitX = m_rcArea.right - kMargin - unit.cx;
    g.Text({unitX, mid + value.cy / 2 - unit.cy}, m_strUnit, unitFont, m_crText);
    g.Text({unitX - kMargin / 2 - value.cx, mid - value.cy / 2}, m_strValue, m_Font, m_crText);
    if (buffer)
        dc.CopyBuffer(*buffer);
}
