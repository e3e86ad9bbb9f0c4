#include "vi/controls/displays.h"

#include <algorithm>

#include "instruments/relays/relays.h"

namespace {

constexpr uint32_t kNoId = 0xFFFFFFFFu;
constexpr uint32_t kDisplayFlags = kHsVisible | kHsPassive;

} // namespace

CHotLabel::CHotLabel() {
    m_nTag = kTagLabel;
    m_nId = kNoId;
    m_dwFlags = kDisplayFlags;
    m_Font.face = u"Tahoma";
    m_Font.height = -9;
}

void CHotLabel::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    SerializeFont(ar, m_Font);
    if (ar.IsStoring())
        ar << m_crText << m_strText;
    else
        ar >> m_crText >> m_strText;
}

void CHotLabel::Draw(platform::Gfx& dc, bool) {
    const platform::Size ext = dc.TextExtent(m_strText, m_Font);
    dc.Text({m_rcArea.left, m_rcArea.top}, m_strText, m_Font, m_crText);
    m_szImage = ext;
    RecalcSize();
}

CHotBitmap::CHotBitmap() : m_Strip(5500, 1) {
    m_nTag = kTagBitmap;
    m_nId = kNoId;
    m_dwFlags = kDisplayFlags;
    m_szImage = m_Strip.ImageSize();
}

void CHotBitmap::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap] = SerializeWords<1>(ar, {m_nBitmap});
    if (ar.IsLoading()) {
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 1);
        if (m_Strip.IsLoaded())
            RecalcSize();
    }
}

void CHotBitmap::Draw(platform::Gfx& dc, bool) {
    if (m_Strip.IsLoaded())
        m_Strip.Draw(dc, 0, {m_rcArea.left, m_rcArea.top}, platform::Transparency::TopLeftPixel);
    else
        dc.FillRect(m_rcArea, 0xC0C0C0);
}

CHotLamp::CHotLamp(uint32_t tag, uint32_t bitmap) : m_nBitmap(bitmap), m_Strip(bitmap, 2) {
    m_nTag = tag;
    m_szImage = m_Strip.ImageSize();
}

void CHotLamp::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    const int32_t image = IsLit() ? 1 : 0;
    if (onlyIfChanged && image == m_nShown)
        return;
    m_nShown = image;
    m_Strip.Draw(dc, image, {m_rcArea.left, m_rcArea.top});
}

CHotStatus::CHotStatus() : CHotLamp(kTagStatus, 5143) {
    m_dwFlags = kDisplayFlags;
}

void CHotStatus::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap] = SerializeWords<1>(ar, {m_nBitmap});
    if (ar.IsLoading())
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 2);
}

bool CHotStatus::SetOn(bool on) {
    const bool changed = on != m_bOn;
    m_bOn = on;
    return changed;
}

CHotRelays::CHotRelays() : CHotLamp(kTagRelays, 5144) {
    m_nId = kNoId;
    m_dwFlags = kHsVisible | kHsPassive;
}

void CHotRelays::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_nContact;
        return;
    }
    uint8_t contact = 0;
    ar >> contact;
    if (contact > 15)
        ThrowBadControlData();
    m_nContact = contact;
}

bool CHotRelays::IsLit() const {
    const bool relayOn = (g_byRelays >> (m_nContact & 7)) & 1;
    return m_nContact < 8 ? !relayOn : relayOn;
}

CHotKnob::CHotKnob() : m_Strip(5200, 5) {
    m_nTag = kTagKnob;
    m_dwFlags = kDisplayFlags;
    m_szImage = m_Strip.ImageSize();
}

void CHotKnob::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, positions, current] =
        SerializeWords<3>(ar, {m_nBitmap, m_nPositions, m_nCurrent});
    if (ar.IsStoring())
        return;
    // The positions cut the strip: at least one, no more than a strip can hold.
    if (positions == 0 || positions > 256 || current >= positions)
        ThrowBadControlData();
    if (positions != m_nPositions)
        m_Strip.Detach();
    m_nPositions = positions;
    m_nCurrent = current;
    SwitchStrip(m_Strip, m_nBitmap, bitmap, static_cast<int32_t>(positions));
}

bool CHotKnob::SetCurrent(uint32_t position) {
    if (position >= m_nPositions)
        return false;
    m_nCurrent = position;
    return true;
}

void CHotKnob::Draw(platform::Gfx& dc, bool) {
    m_Strip.Draw(dc, static_cast<int32_t>(m_nCurrent), {m_rcArea.left, m_rcArea.top});
}

CHotFrame::CHotFrame() {
    m_nTag = kTagFrame;
    m_nId = kNoId;
    m_dwFlags = kHsPassive | kHsGrowHit;
}

void CHotFrame::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    m_aValues = SerializeWords(ar, m_aValues);
}

bool CHotFrame::HitTest(int32_t x, int32_t y) const {
    return CHotspot::HitTest(x, y) && !m_rcArea.Inflated(-10).Contains({x, y});
}

void CHotFrame::Draw(platform::Gfx& dc, bool) {
    if (m_aValues[0] == 1)
        dc.FillRect(m_rcArea, m_aValues[9]);
    const int32_t width = static_cast<int32_t>(std::clamp<uint32_t>(m_aValues[5], 1, 10));
    dc.FrameRect(m_rcArea, m_aValues[7], width);
    dc.FrameRect(m_rcArea.Inflated(-width), m_aValues[8], 1);
}

CHotLCD::CHotLCD() : m_Strip(5153, 256) {
    m_nTag = kTagLCD;
    m_dwFlags = kDisplayFlags;
    m_szImage = m_Strip.ImageSize();
    m_Dots.assign(m_nColumns * (m_nRows / 8), 0);
}

void CHotLCD::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, columns, rows] = SerializeWords<3>(ar, {m_nBitmap, m_nColumns, m_nRows});
    if (ar.IsStoring())
        return;
    // Bounded so that a damaged panel cannot ask for a huge dot memory.
    if (columns > 1024 || rows > 1024)
        ThrowBadControlData();
    if (bitmap != m_nBitmap)
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 2);
    m_nColumns = columns;
    m_nRows = rows;
    m_Dots.assign(m_nColumns * (m_nRows / 8), 0);
}

void CHotLCD::RecalcSize() {
    m_rcArea.right = m_rcArea.left + static_cast<int32_t>(m_nColumns) * m_szImage.cx;
    m_rcArea.bottom = m_rcArea.top + static_cast<int32_t>(m_nRows) * m_szImage.cy / 8;
}

void CHotLCD::Draw(platform::Gfx& dc, bool) {
    const platform::Size s = m_szImage;
    const int32_t last = m_Strip.Count() - 1;
    for (uint32_t page = 0; page < m_nRows / 8; ++page)
        for (uint32_t col = 0; col < m_nColumns; ++col) {
            // A strip with fewer images than byte values shows its last
            // image for every byte beyond it.
            const int32_t image = std::min<int32_t>(m_Dots[page * m_nColumns + col], last);
            m_Strip.Draw(dc, image,
                         {m_rcArea.left + static_cast<int32_t>(col) * s.cx,
                          m_rcArea.top + static_cast<int32_t>(page) * s.cy},
                         platform::Transparency::None);
        }
}
