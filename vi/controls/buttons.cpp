#include "vi/controls/buttons.h"

#include "platform/window/window.h"
#include "vi/basevi.h"

CHotButton::CHotButton() : CHotButton(5120) {}

CHotButton::CHotButton(uint32_t bitmap) : m_nBitmap(bitmap), m_Strip(bitmap, 2) {
    m_nTag = kTagButton;
    m_szImage = m_Strip.ImageSize();
}

bool CHotButton::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    m_Repeat = CRepeatTimer();
    const bool inside = TrackPress(dc, wnd);
    if (inside && !m_bRepeat)
        wnd->Wnd()->PostCommand(m_nId);
    return true;
}

void CHotButton::OnHeld(CBaseVI* wnd) {
    if (m_bRepeat && m_Repeat.Due(HotspotTicks()))
        wnd->Wnd()->PostCommand(m_nId);
}

void CHotButton::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, repeat] = SerializeWords<2>(ar, {m_nBitmap, m_bRepeat});
    if (ar.IsLoading()) {
        m_bRepeat = repeat;
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 2);
    }
}

void CHotButton::Draw(platform::Gfx& dc, bool) {
    m_Strip.Draw(dc, m_bPressed ? 1 : 0, {m_rcArea.left, m_rcArea.top});
}

CHotMenu::CHotMenu() : CHotButton(5260), m_nMenu(6000) {
    m_nTag = kTagMenu;
    m_nId = 6000;
    m_bRepeat = 0;
    m_Font.face = u"Courier New";
    m_Font.height = -11;
    m_Font.weight = 700;
}

bool CHotMenu::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (TrackPress(dc, wnd)) {
        wnd->Wnd()->PostCommand(m_nId);
        return true;
    }
    return false;
}

void CHotMenu::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, menu] = SerializeWords<2>(ar, {m_nBitmap, m_nMenu});
    if (ar.IsLoading()) {
        // A menu of its own id unless the panel names another.
        m_nMenu = menu ? menu : m_nId;
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 2);
    }
}

void CHotMenu::SetValue(uint32_t value, const WString& text) {
    m_nValue = value;
    m_strValue = text;
}

void CHotMenu::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    CHotButton::Draw(dc, onlyIfChanged);
    if (m_strValue.empty())
        return;
    const platform::Size ext = dc.TextExtent(m_strValue, m_Font);
    const int32_t shift = m_bPressed ? 1 : 0;
    dc.Text({m_rcArea.left + (m_rcArea.Width() - ext.cx) / 2 + shift,
             m_rcArea.top + (m_rcArea.Height() - ext.cy) / 2 + shift},
            m_strValue, m_Font, 0);
}
