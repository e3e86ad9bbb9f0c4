#include "vi/controls/toggles.h"

#include <algorithm>

#include "platform/window/window.h"
#include "vi/basevi.h"

namespace {

int32_t StateImage(bool on, bool pressed) {
    return (on ? 2 : 0) + (pressed ? 1 : 0);
}

} // namespace

CHotToggle::CHotToggle(uint32_t tag, uint32_t bitmap) : m_nBitmap(bitmap), m_Strip(bitmap, 4) {
    m_nTag = tag;
    m_szImage = m_Strip.ImageSize();
}

void CHotToggle::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, checked] = SerializeWords<2>(ar, {m_nBitmap, m_bChecked});
    if (ar.IsLoading()) {
        m_bChecked = checked ? 1 : 0;
        SwitchStrip(m_Strip, m_nBitmap, bitmap, 4);
    }
}

void CHotToggle::Draw(platform::Gfx& dc, bool) {
    m_Strip.Draw(dc, StateImage(m_bChecked, m_bPressed), {m_rcArea.left, m_rcArea.top});
}

bool CHotToggle::SetChecked(bool on) {
    const bool changed = on != (m_bChecked != 0);
    m_bChecked = on ? 1 : 0;
    return changed;
}

CHotCheck::CHotCheck() : CHotToggle(kTagCheck, 5130) {}

bool CHotCheck::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (!TrackPress(dc, wnd))
        return false;
    m_bChecked = !m_bChecked;
    Draw(dc, false);
    wnd->Wnd()->PostCommand(m_nId);
    return true;
}

CHotRadio::CHotRadio() : CHotToggle(kTagRadio, 5132) {
    m_Font.face = u"Tahoma";
    m_Font.height = -9;
}

bool CHotRadio::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (!TrackPress(dc, wnd))
        return false;
    if (!m_bChecked) {
        m_bChecked = 1;
        wnd->Wnd()->PostCommand(m_nId);
    }
    Draw(dc, true);
    return true;
}

void CHotRadio::Serialize(CArchive& ar) {
    CHotToggle::Serialize(ar);
    SerializeFont(ar, m_Font);
    if (ar.IsStoring())
        ar << m_strText;
    else
        ar >> m_strText;
}

void CHotRadio::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    CHotToggle::Draw(dc, onlyIfChanged);
    const platform::Size ext =
        m_strText.empty() ? platform::Size{} : dc.TextExtent(m_strText, m_Font);
    const int32_t gap = m_strText.empty() ? 0 : 4;
    // The label only with the panel behind it: drawn again over itself, its
    // smoothed edges would darken into bold.
    if (!m_strText.empty() && !onlyIfChanged)
        dc.Text({m_rcArea.left + m_szImage.cx + gap, m_rcArea.top + (m_szImage.cy - ext.cy) / 2},
                m_strText, m_Font, m_crText);
    m_rcArea.right = m_rcArea.left + m_szImage.cx + gap + ext.cx;
    m_rcArea.bottom = m_rcArea.top + std::max(m_szImage.cy, ext.cy);
}

void SelectRadioInGroup(CBaseVI& wnd, CHotRadio& radio, platform::Gfx& dc) {
    auto& list = wnd.m_Hotspots;
    size_t at = 0;
    while (at < list.size() && list[at].get() != &radio)
        ++at;
    if (at == list.size())
        return;
    auto clear = [&](size_t i) {
        auto* other = dynamic_cast<CHotRadio*>(list[i].get());
        if (!other || other->m_nTag != kTagRadio)
            return false;
        other->m_bChecked = 0;
        other->Draw(dc, true);
        return true;
    };
    for (size_t i = at + 1; i < list.size() && clear(i); ++i) {
    }
    for (size_t i = at; i-- > 0 && clear(i);) {
    }
    radio.m_bChecked = 1;
    radio.Draw(dc, true);
}

CHotSwitch::CHotSwitch(uint32_t tag, uint32_t bitmap, int32_t images)
    : m_nBitmap(bitmap), m_Strip(bitmap, images), m_nImages(images) {
    m_nTag = tag;
    m_szImage = m_Strip.ImageSize();
}

bool CHotSwitch::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (!TrackPress(dc, wnd))
        return false;
    m_bOn = !m_bOn;
    Draw(dc, false);
    wnd->Wnd()->SendCommand(m_nId);
    return true;
}

void CHotSwitch::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [bitmap, on] = SerializeWords<2>(ar, {m_nBitmap, m_bOn});
    if (ar.IsLoading()) {
        m_bOn = on ? 1 : 0;
        SwitchStrip(m_Strip, m_nBitmap, bitmap, m_nImages);
    }
}

void CHotSwitch::Draw(platform::Gfx& dc, bool) {
    m_Strip.Draw(dc, StateImage(m_bOn, m_bPressed), {m_rcArea.left, m_rcArea.top});
}

CHotPowerButton::CHotPowerButton() : CHotSwitch(kTagPowerButton, 5141, 5) {}

bool CHotPowerButton::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (m_dwFlags & kHsDisabled)
        return false;
    return CHotSwitch::OnClick(dc, wnd);
}

void CHotPowerButton::Draw(platform::Gfx& dc, bool onlyIfChanged) {
    if (m_dwFlags & kHsDisabled)
        m_Strip.Draw(dc, 4, {m_rcArea.left, m_rcArea.top});
    else
        CHotSwitch::Draw(dc, onlyIfChanged);
}
