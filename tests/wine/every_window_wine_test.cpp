// Every window type of kobpanel opens in a real Win32 window on the
// simulated box, paints its panel and answers a click on one control of
// each kind: a radio button joins its group's choice, a check box and the
// output switch change state, an arrow button returns.
#include <gtest/gtest.h>

#include "support/sim_window.h"
#include "tools/kobpanel/window_types.h"
#include "vi/controls/toggles.h"

namespace {

class EveryWindowTest : public SimWindowTest {};

// The first control with the tag that takes clicks (a radio button not yet
// chosen, since choosing it again changes nothing).
CHotspot* Clickable(CBaseVI& w, uint32_t tag) {
    for (const auto& h : w.m_Hotspots) {
        auto* t = dynamic_cast<CHotToggle*>(h.get());
        if (h->m_nTag == tag && !(h->m_dwFlags & (kHsDisabled | kHsPassive)) &&
            !(tag == kTagRadio && t && t->m_bChecked))
            return h.get();
    }
    return nullptr;
}

bool IsOn(CHotspot* h) {
    if (auto* t = dynamic_cast<CHotToggle*>(h))
        return t->m_bChecked;
    return dynamic_cast<CHotSwitch*>(h)->m_bOn;
}

TEST_F(EveryWindowTest, OpensPaintsAndAnswersAClickOnEachKindOfControl) {
    for (const WindowTypeName& type : kWindowTypes) {
        SCOPED_TRACE(type.name);
        CBaseVI& w = Open(type.type);
        ASSERT_TRUE(w.IsWindow());
        const platform::Pixels before = w.Wnd()->Snapshot();
        ASSERT_EQ(before.width, static_cast<int32_t>(w.m_nClientWidth));
        // A panel, not a blank area: its first pixel's colour is not all of it.
        EXPECT_LT(Share(before, {0, 0, before.width, before.height}, before.At(0, 0), 4), 0.95);
        for (uint32_t tag : {kTagButton, kTagRadio, kTagCheck, kTagPowerButton}) {
            CHotspot* h = Clickable(w, tag);
            if (!h)
                continue;
            const bool on = tag == kTagButton || IsOn(h);
            const platform::Rect r = h->m_rcArea;
            w.Wnd()->InjectClick({r.left + 6, r.top + 6}, 20);
            ASSERT_TRUE(PumpUntil([&] { return tag == kTagButton || IsOn(h) != on; })) << tag;
            if (tag != kTagRadio)
                continue;
            // Drawn chosen, and the only one chosen among its neighbours.
            const platform::Pixels after = w.Wnd()->Snapshot();
            int changed = 0;
            for (int32_t y = r.top; y < r.bottom; ++y)
                for (int32_t x = r.left; x < r.right; ++x)
                    changed += !Near(after.At(x, y), before.At(x, y), 16);
            EXPECT_GT(changed, 4);
            size_t at = 0, first = 0, last = 0, chosen = 0;
            while (w.m_Hotspots[at].get() != h)
                ++at;
            for (first = at; first > 0 && w.m_Hotspots[first - 1]->m_nTag == kTagRadio;)
                --first;
            for (last = at;
                 last + 1 < w.m_Hotspots.size() && w.m_Hotspots[last + 1]->m_nTag == kTagRadio;)
                ++last;
            for (size_t i = first; i <= last; ++i)
                chosen += IsOn(w.m_Hotspots[i].get());
            EXPECT_EQ(chosen, 1u);
        }
        m_face.CloseAllWindows();
    }
}

} // namespace
