#include "vi/controls/press.h"

#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "vi/basevi.h"

namespace {
TickSource g_pfnTicks = platform::TickCount;
} // namespace

TickSource SetTickSource(TickSource source) {
    TickSource old = g_pfnTicks;
    g_pfnTicks = source ? source : platform::TickCount;
    return old;
}

uint32_t HotspotTicks() {
    return g_pfnTicks();
}

CHotPressable::~CHotPressable() {
    if (m_pDeleted)
        *m_pDeleted = true;
}

bool CHotPressable::TrackPress(platform::Gfx& dc, CBaseVI* wnd) {
    platform::Window* w = wnd ? wnd->Wnd() : nullptr;
    if (!w)
        return false;
    bool deleted = false;
    m_pDeleted = &deleted;
    m_bPressed = 1;
    Draw(dc, true);
    w->SetCapture(true);
    bool inside = false;
    for (;;) {
        if (!platform::PumpMessages()) {
            // Leave the quit for the loop that pumps after us.
            platform::PostQuit();
            break;
        }
        // Closing the window while the button is held deletes its controls.
        if (deleted)
            return false;
        if (!m_rcArea.Contains(w->CursorPos()))
            break;
        OnHeld(wnd);
        if (!w->LeftButtonDown()) {
            inside = true;
            break;
        }
    }
    m_pDeleted = nullptr;
    m_bPressed = 0;
    Draw(dc, true);
    w->SetCapture(false);
    return inside;
}

bool CRepeatTimer::Due(uint32_t now) {
    // Differences, not sums, so that the tick count may wrap.
    if (m_bStarted && now - m_dwLast <= m_nInterval)
        return false;
    m_bStarted = true;
    m_nInterval = m_nInterval > 110 ? m_nInterval - 100 : 10;
    m_dwLast = now;
    return true;
}
