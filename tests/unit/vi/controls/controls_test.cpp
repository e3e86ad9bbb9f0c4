// How the controls react to presses, share their strips and show values.
#include <gtest/gtest.h>

#include "instruments/meter/meter.h"
#include "instruments/relays/relays.h"
#include "support/fake_window.h"
#include "vi/controls/buttons.h"
#include "vi/controls/displays.h"
#include "vi/controls/gauge.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"

namespace {

struct Controls : testing::Test {
    FakeVI vi;
    FakeGfx dc;

    // A press at the simulated time 10000, held for holdMs.
    bool Press(CHotspot& c, uint32_t holdMs, uint32_t leaveAfterMs = UINT32_MAX) {
        g_simNow = 10000;
        vi.wnd->releaseAt = g_simNow + holdMs;
        vi.wnd->leaveAt = leaveAfterMs == UINT32_MAX ? UINT32_MAX : g_simNow + leaveAfterMs;
        return c.OnClick(dc, &vi);
    }
    template <class T> T& Add(uint32_t id, platform::Rect rc = {0, 0, 20, 20}) {
        T* c = new T;
        c->m_nId = id;
        c->m_rcArea = rc;
        vi.m_Hotspots.emplace_back(c);
        return *c;
    }
};

TEST_F(Controls, HeldRepeatButtonSpeedsUpToEveryTenMilliseconds) {
    auto& b = Add<CHotButton>(4036);
    Press(b, 1050);
    const auto& posted = vi.wnd->posted;
    ASSERT_GE(posted.size(), 8u);
    const uint32_t expected[] = {0, 400, 700, 900, 1000};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_NEAR(posted[i].second - 10000.0, expected[i], 5) << "command " << i;
    for (size_t i = std::size(expected); i < posted.size(); ++i)
        EXPECT_NEAR(posted[i].second - posted[i - 1].second, 10, 1) << "command " << i;
    EXPECT_EQ(posted.back().first, 4036u);
    EXPECT_FALSE(vi.wnd->captured);
    EXPECT_EQ(dc.images->front(), 1); // down on the press, up after it
    EXPECT_EQ(dc.images->back(), 0);
}

TEST_F(Controls, SingleShotButtonPostsOnlyWhenReleasedOverIt) {
    auto& b = Add<CHotButton>(4100);
    b.m_bRepeat = 0;
    Press(b, 300, 100); // dragged off after 100 ms
    EXPECT_TRUE(vi.wnd->posted.empty());
    EXPECT_EQ(dc.images->back(), 0);
    Press(b, 300);
    ASSERT_EQ(vi.wnd->posted.size(), 1u);
    EXPECT_GE(vi.wnd->posted[0].second, 10300u);
}

TEST_F(Controls, CheckBoxClickedTwiceEndsUncheckedWithTwoCommands) {
    auto& c = Add<CHotCheck>(4023);
    EXPECT_TRUE(Press(c, 20));
    EXPECT_EQ(c.m_bChecked, 1);
    EXPECT_EQ(dc.images->back(), 2);
    EXPECT_TRUE(Press(c, 20));
    EXPECT_EQ(c.m_bChecked, 0);
    EXPECT_EQ(vi.wnd->posted.size(), 2u);
}

TEST_F(Controls, RadioGroupEndsAtTheFirstOtherControl) {
    auto& lone = Add<CHotRadio>(3044);
    Add<CHotLabel>(1);
    auto& a = Add<CHotRadio>(3000);
    auto& b = Add<CHotRadio>(3001);
    auto& c = Add<CHotRadio>(3002);
    lone.m_bChecked = a.m_bChecked = c.m_bChecked = 1;
    b.m_strText = u"Word";
    EXPECT_TRUE(Press(b, 20));
    ASSERT_EQ(vi.wnd->posted.size(), 1u);
    SelectRadioInGroup(vi, b, dc);
    EXPECT_EQ(std::vector<int>({lone.m_bChecked, a.m_bChecked, b.m_bChecked, c.m_bChecked}),
              std::vector<int>({1, 0, 1, 0}));
    EXPECT_TRUE(Press(b, 20)); // already selected
    EXPECT_EQ(vi.wnd->posted.size(), 1u);
    EXPECT_EQ(b.m_rcArea.right, b.m_szImage.cx + 4 + 4 * 6); // image, gap, text
    // Clicks redraw the marks only: a label drawn over itself turns bold.
    EXPECT_EQ(*dc.texts, 0);
    b.Draw(dc, false);
    EXPECT_EQ(*dc.texts, 1);
}

TEST_F(Controls, DisabledPowerButtonShowsItsFifthImageAndIgnoresClicks) {
    CHotPowerButton p;
    p.m_rcArea = {0, 0, 20, 20};
    p.Enable(false);
    p.Draw(dc, false);
    EXPECT_EQ(dc.images->back(), 4);
    EXPECT_FALSE(Press(p, 20));
    EXPECT_EQ(p.m_bOn, 0);
    p.Enable(true);
    EXPECT_TRUE(Press(p, 20));
    EXPECT_EQ(p.m_bOn, 1);
    ASSERT_EQ(vi.wnd->sent.size(), 1u); // sent, not posted
    EXPECT_EQ(vi.wnd->sent[0].first, p.m_nId);
    EXPECT_TRUE(vi.wnd->posted.empty());
}

TEST_F(Controls, ButtonsShareAStripThatOutlivesEachOfThem) {
    g_nLoads = 0;
    auto first = std::make_unique<CHotButton>();
    auto second = std::make_unique<CHotButton>();
    EXPECT_EQ(g_nLoads, 1);
    EXPECT_EQ(g_ImageCache.Users(5120), 2u);
    first.reset();
    EXPECT_EQ(g_ImageCache.Users(5120), 1u);
    second->Draw(dc, false);
    EXPECT_EQ(dc.images->size(), 1u);
    second.reset();
    EXPECT_EQ(g_ImageCache.Users(5120), 0u);
}

TEST_F(Controls, SevenSegmentTexts) {
    // Images drawn, +100 with the decimal point.
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"12.5", {1, 102, 5, 16}},   {"-F,a", {17, 115, 10, 16}}, {".7x", {116, 7, 16, 16}},
        {"0..1", {100, 116, 1, 16}}, {"98765", {9, 8, 7, 6}},
    };
    for (const auto& [text, images] : cases) {
        CHotSeg7 s;
        s.SetText(text);
        FakeGfx g;
        s.Draw(g, false);
        std::vector<int> got(g.images->begin(), g.images->end());
        for (size_t i = 0; i < g.fills->size(); ++i) // a point: a fill inside its digit
            got[static_cast<size_t>((*g.fills)[i].left / s.m_szImage.cx)] += 100;
        EXPECT_EQ(got, images) << text;
    }
    CHotSeg7 s;
    s.SetValue(-42);
    EXPECT_EQ(s.Text(), " -42");
    s.Draw(dc, false);
    s.SetValue(-43);
    const size_t before = dc.images->size();
    s.Draw(dc, true);
    ASSERT_EQ(dc.images->size(), before + 1); // only the changed digit
    EXPECT_EQ(dc.images->back(), 3);
    s.SetBlinking(true);
    s.Draw(dc, false);
    EXPECT_EQ(dc.images->back(), 17);
    s.Draw(dc, false);
    EXPECT_EQ(dc.images->back(), 16);
}

TEST_F(Controls, WordDisplayModesAndRadixes) {
    const std::tuple<uint32_t, uint32_t, uint16_t, const char*> cases[] = {
        {0, 0, 0x12AB, " 12  ab"}, {1, 0, 0x12AB, "   12ab"}, {2, 0, 0x12AB, " 12    "},
        {3, 0, 0x12AB, " ab    "}, {0, 1, 0x0105, "001 005"}, {1, 1, 65535, "  65535"},
        {1, 2, 0xFFFF, " 177777"}, {0, 2, 0xFF08, "377 010"}, {4, 0, 0x1234, "       "},
    };
    for (const auto& [mode, radix, value, text] : cases) {
        CHotDigSeg7 d;
        d.SetValue(value);
        d.SetMode(mode);
        ASSERT_TRUE(d.SetRadix(radix));
        EXPECT_EQ(d.Text(), text) << mode << "/" << radix;
    }
    CHotDigSeg7 d;
    EXPECT_FALSE(d.SetRadix(3));
}

TEST_F(Controls, GaugeNeedleTip) {
    CHotGauge gauge(&vi);
    gauge.m_rcArea = {10, 20, 0, 0};
    gauge.RecalcSize(); // 100 x 60 face: pivot (60, 80), needle 46, tip 55
    const std::tuple<uint32_t, double, int, int> cases[] = {
        {8, 0.0, 13, 53},   // scale start: -120 degrees
        {8, 50.0, 115, 80}, // scale end: -270 degrees
        {8, -25.0, 74, 27}, // half way, sign dropped
        {0, 0.05, 74, 27},  // 50 mV of 100 mV
        {3, 7.0, 115, 80},  // beyond the end
    };
    for (const auto& [range, value, x, y] : cases) {
        ASSERT_TRUE(gauge.SetRange(range));
        platform::Point p[3];
        gauge.Needle(value, p);
        EXPECT_EQ(std::pair(p[0].x, p[0].y), std::pair(x, y)) << range << " " << value;
    }
    EXPECT_FALSE(gauge.SetRange(9));
    g_MeterA.v[kMeterRms] = 50.0;
    gauge.SetRange(5);
    gauge.Draw(dc, false);
    ASSERT_EQ(dc.polygons->size(), 1u);
    EXPECT_EQ(dc.polygons->back()[0].x, 115);
    EXPECT_EQ(dc.images->back(), 3); // label of range 5
    g_MeterA = {};
}

TEST_F(Controls, RelayContactsFollowTheRelayByte) {
    CHotRelays breakContact, makeContact;
    breakContact.m_nContact = 2;
    makeContact.m_nContact = 10;
    g_byRelays = 0x04;
    breakContact.Draw(dc, true);
    makeContact.Draw(dc, true);
    makeContact.Draw(dc, true); // unchanged: not drawn again
    EXPECT_EQ(*dc.images, std::vector<int32_t>({0, 1}));
    g_byRelays = 0;
    makeContact.Draw(dc, true);
    EXPECT_EQ(dc.images->back(), 0);
}

TEST_F(Controls, FrameIsHitOnlyNearItsBorderAndMissingBitmapIsGrey) {
    CHotFrame f;
    f.m_rcArea = {0, 0, 100, 100};
    f.m_dwFlags |= kHsVisible;
    const std::tuple<int, int, bool> points[] = {
        {-4, 50, true}, {9, 50, true}, {10, 50, false}, {50, 50, false}, {95, 95, true}};
    for (auto [x, y, hit] : points)
        EXPECT_EQ(f.HitTest(x, y), hit) << x << "," << y;

    CHotBitmap b;
    b.m_rcArea = {3, 4, 30, 40};
    b.m_Strip.Attach(9999, 1); // missing
    b.Draw(dc, false);
    ASSERT_EQ(dc.fills->size(), 1u);
    EXPECT_EQ(dc.fills->back().right, 30);
    EXPECT_TRUE(dc.images->empty());
}

} // namespace
