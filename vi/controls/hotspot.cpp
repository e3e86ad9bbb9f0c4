#include "vi/controls/hotspot.h"

#include <cstdio>
#include <cstring>

#include "platform/resource/resource.h"
#include "platform/window/window.h"
#include "vi/basevi.h"
#include "vi/controls/buttons.h"
#include "vi/controls/displays.h"
#include "vi/controls/gauge.h"
#include "vi/controls/gauge1.h"
#include "vi/controls/hot3phdisp.h"
#include "vi/controls/meterlcd.h"
#include "vi/controls/metralcd.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"

namespace {
constexpr int32_t kMaxCoordinate = 1 << 24;
} // namespace

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
        for (int32_t& v : rc) {
            ar >> v;
            // Far beyond any screen: a damaged panel, refused before the
            // hit tests and sizes compute with it.
            if (v < -kMaxCoordinate || v > kMaxCoordinate)
                ThrowBadControlData();
        }
        m_rcArea = {rc[0], rc[1], rc[2], rc[3]};
        ar >> m_nId >> m_dwFlags;
    }
}

WString CHotspot::GetDescription() const {
    char head[24];
    std::snprintf(head, sizeof head, "%d - ", static_cast<int>(static_cast<int32_t>(m_nId)));
    return Widen(head) + platform::LoadResourceString(m_nTag);
}

bool CHotspot::HitTest(int32_t x, int32_t y) const {
    if (!(m_dwFlags & kHsVisible) && !g_bDesignMode)
        return false;
    const platform::Rect r = (m_dwFlags & kHsGrowHit) ? m_rcArea.Inflated(5) : m_rcArea;
    return r.Contains({x, y});
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

void CHotspot::SwitchStrip(CStripRef& strip, uint32_t& current, uint32_t bitmap, int32_t count) {
    if (bitmap == current && strip.IsLoaded())
        return;
    current = bitmap;
    strip.Attach(bitmap, count);
    m_szImage = strip.ImageSize();
}

void SerializeFont(CArchive& ar, platform::FontSpec& font) {
    int32_t* const words[] = {&font.height, &font.width, &font.escapement, &font.orientation,
                              &font.weight};
    uint8_t* const bytes[] = {&font.italic,  &font.underline,     &font.strikeOut,
                              &font.charSet, &font.outPrecision,  &font.clipPrecision,
                              &font.quality, &font.pitchAndFamily};
    if (ar.IsStoring()) {
        for (int32_t* w : words)
            ar << *w;
        for (uint8_t* b : bytes)
            ar << *b;
        if (g_bNewPanelFormat) {
            ar << font.face;
        } else {
            char face[32] = {};
            for (size_t i = 0; i < font.face.size() && i < sizeof face - 1; ++i)
                face[i] = font.face[i] < 0x100 ? static_cast<char>(font.face[i]) : '?';
            ar.Write(face, sizeof face);
        }
        return;
    }
    for (int32_t* w : words)
        ar >> *w;
    for (uint8_t* b : bytes)
        ar >> *b;
    if (g_bNewPanelFormat) {
        ar >> font.face;
    } else {
        unsigned char face[32];
        ar.Read(face, sizeof face);
        // 8-bit text, ended by its first zero byte or by the field's end.
        font.face.clear();
        for (unsigned char c : face) {
            if (c == 0)
                break;
            font.face.push_back(static_cast<char16_t>(c));
        }
    }
}

void ThrowBadControlData() {
    ThrowArchiveException(CArchiveException::generic);
}

namespace {

template <class T> CHotspot* Make(CBaseVI*) {
    return new T;
}
template <class T> CHotspot* MakeWithWindow(CBaseVI* wnd) {
    return new T(wnd);
}

struct Factory {
    uint32_t tag;
    CHotspot* (*make)(CBaseVI*);
};

// Tags without an entry (32812, 32815, 32821, the dot-matrix display,
// unknown ones) make no control.
constexpr Factory kFactory[] = {
    {kTagLabel, Make<CHotLabel>},
    {kTagBitmap, Make<CHotBitmap>},
    {kTagStatus, Make<CHotStatus>},
    {kTagPowerButton, Make<CHotPowerButton>},
    {kTagSeg7, Make<CHotSeg7>},
    {kTagButton, Make<CHotButton>},
    {kTagDigSeg7, Make<CHotDigSeg7>},
    {kTagRadio, Make<CHotRadio>},
    {kTagCheck, Make<CHotCheck>},
    {kTagFrame, Make<CHotFrame>},
    {kTagRelays, Make<CHotRelays>},
    {kTagLCD, Make<CHotLCD>},
    {kTagKnob, Make<CHotKnob>},
    {kTagMenu, Make<CHotMenu>},
    {kTagGauge, MakeWithWindow<CHotGauge>},
    {kTag3PhDisp, Make<CHot3PhDisp>},
    {kTagMeterLcd, Make<CHotMeterLcd>},
    {kTagGauge1, MakeWithWindow<CHotGauge1>},
    {kTagMetraLcd, Make<CHotMetraLcd>},
};

} // namespace

CHotspot* CreateHotspotForTag(uint32_t tag, CBaseVI* wnd) {
    for (const Factory& f : kFactory)
        if (f.tag == tag)
            return f.make(wnd);
    return nullptr;
}
