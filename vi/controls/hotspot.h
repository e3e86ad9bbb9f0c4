// The base of the panel controls: light-weight objects, not child windows,
// that a window keeps in its list, draws and asks about clicks.
#pragma once

#include <cstdint>

#include "framework/archive.h"
#include "framework/wstr.h"
#include "platform/gfx/gfx.h"

class CBaseVI;

// Control class tags as the panels store them.
enum HotspotTag : uint32_t {
    kTagEndOfList = 32808,
    kTagLabel = 32809,
    kTagBitmap = 32810,
    kTagStatus = 32811,
    kTagPowerButton = 32813,
    kTagSeg7 = 32814,
    kTagButton = 32816,
    kTagDigSeg7 = 32817,
    kTagRadio = 32818,
    kTag3PhDisp = 32819,
    kTagCheck = 32820,
    kTagFrame = 32822,
    kTagRelays = 32823,
    kTagLCD = 32824,
    kTagKnob = 32825,
    kTagMeterLcd = 32826,
    kTagMenu = 32827,
    kTagGauge = 32828,
    kTagMetraLcd = 32829,
    kTagLcdMatrix = 32830,
    kTagGauge1 = 32831,
    kTagCustom = 32850,
};

// Flag bits of m_dwFlags.
inline constexpr uint32_t kHsVisible = 0x01;
inline constexpr uint32_t kHsPassive = 0x02;
inline constexpr uint32_t kHsGrowHit = 0x04;
inline constexpr uint32_t kHsDisabled = 0x08;
inline constexpr uint32_t kHsGroupStart = 0x10;

class CHotspot {
public:
    CHotspot() = default;
    virtual ~CHotspot() = default;
    CHotspot(const CHotspot&) = delete;
    CHotspot& operator=(const CHotspot&) = delete;

    virtual bool OnClick(platform::Gfx& dc, CBaseVI* wnd);
    virtual void Serialize(CArchive& ar);
    virtual WString GetDescription() const;
    virtual void OnLoaded() {}
    virtual bool HitTest(int32_t x, int32_t y) const;
    virtual void RecalcSize();
    virtual bool Slot7() { return false; }
    virtual uint32_t Slot8(int32_t x, int32_t y) {
        (void)x;
        (void)y;
        return 0;
    }
    virtual bool SetPosition(int32_t x, int32_t y);
    virtual void Draw(platform::Gfx& dc, bool onlyIfChanged) = 0;

    // Marks the rectangle grown by 5 pixels for repainting.
    void Invalidate(CBaseVI* wnd, bool erase) const;
    void Enable(bool on);

    platform::Rect m_rcArea;
    platform::Size m_szImage;
    uint32_t m_nTag = 0;
    uint32_t m_nId = 0;
    uint32_t m_dwFlags = kHsVisible;

    // Toggles (check box, radio button) answer these; other controls have
    // no checked state. The menu button shows the value the window sets.
    virtual bool IsChecked() const { return false; }
    virtual void SetChecked(bool on) { (void)on; }
    virtual void SetMenuValue(uint32_t value) { (void)value; }
};

// Makes the control of a panel tag, or null for a tag no control answers.
CHotspot* CreateHotspotForTag(uint32_t tag, CBaseVI* wnd);

// Hit tests ignore the visible flag.
extern bool g_bDesignMode;
// Selects the font record format of the panels being read.
extern bool g_bNewPanelFormat;
