// Pressable controls: the press is tracked inside the click while the
// window's message loop keeps running, so other windows stay responsive.
#pragma once

#include <cstdint>

#include "vi/controls/hotspot.h"

// Milliseconds for the auto-repeat; tests put a simulated clock here.
using TickSource = uint32_t (*)();
// Replaces the tick source (platform::TickCount at start); returns the old one.
TickSource SetTickSource(TickSource source);
uint32_t HotspotTicks();

class CHotPressable : public CHotspot {
public:
    ~CHotPressable() override;

    uint8_t m_bPressed = 0;

protected:
    // Press, capture and follow the pointer until the button is released;
    // true when it was released over the control. False at once without a
    // window, and when the control was deleted while messages were pumped
    // (then the caller must not touch it again: see Deleted).
    bool TrackPress(platform::Gfx& dc, CBaseVI* wnd);
    // Work done on every pass while the button is held inside.
    virtual void OnHeld(CBaseVI* wnd) { (void)wnd; }

private:
    bool* m_pDeleted = nullptr; // set by the destructor during TrackPress
};

// Auto-repeat: the first pass fires, then 400, 300, 200 and 100 ms apart,
// then every 10 ms.
class CRepeatTimer {
public:
    bool Due(uint32_t now);

private:
    bool m_bStarted = false;
    uint32_t m_dwLast = 0;
    uint32_t m_nInterval = 500;
};
