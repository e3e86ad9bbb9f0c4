#include "vi/controls/hotspot.h"

#include "vi/basevi.h"

bool g_bDesignMode = false;
bool g_bNewPanelFormat = false;

bool CHotspot::OnClick(platform::Gfx&, CBaseVI*) {
    return false;
}

void CHotspot::Serialize(CArchive& ar) {
    int32_t rc[4] = {m_rcArea.left, m_rcArea.top, m_rcArea.right, m_rcArea.bottom};
    if (ar.IsStoring()) {
        for (int32_t v : rc)
            ar << v;
        ar << m_nId << m_dwFlags;
    } else {
        for (int32_t& v : rc)
            ar >> v;
        m_rcArea = {rc[0], rc[1], rc[2], rc[3]};
        ar >> m_nId >> m_dwFlags;
    }
}

WString CHotspot::GetDescription() const {
    return {};
}

bool CHotspot::HitTest(int32_t x, int32_t y) const {
    if (!(m_dwFlags & kHsVisible) && !g_bDesignMode)
        return false;
    const platform::Rect r = (m_dwFlags & kHsGrowHit) ? m_rcArea.Inflated(5) : m_rcArea;
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void CHotspot::RecalcSize() {
    m_rcArea.right = m_rcArea.left + m_szImage.cx;
    m_rcArea.bottom = m_rcArea.top + m_szImage.cy;
}

bool CHotspot::SetPosition(int32_t x, int32_t y) {
    m_rcArea = {x, y, x + 10, y + 10};
    return true;
}

void CHotspot::Invalidate(CBaseVI* wnd, bool erase) const {
    if (wnd && wnd->IsWindow()) {
        const platform::Rect r = m_rcArea.Inflated(5);
        wnd->Wnd()->Invalidate(&r, erase);
    }
}

void CHotspot::Enable(bool on) {
    if (on)
        m_dwFlags &= ~kHsDisabled;
    else
        m_dwFlags |= kHsDisabled;
}

CHotspot* CreateHotspotForTag(uint32_t, CBaseVI*) {
    return nullptr;
}
