// The digital I/O window against the simulated box (outputs looped to the
// inputs), on off-screen windows and the real panels.
#include <gtest/gtest.h>

#include <functional>

#include "device/kobface.h"
#include "device/stream.h"
#include "instruments/digio/digio.h"
#include "instruments/relays/relays.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/digital.h"
#include "sim/inprocess.h"
#include "support/sim_window.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"
#include "vi/digio/digvi.h"

namespace {

platform::Color CentreColour(CBaseVI& w, uint32_t id) {
    const platform::Rect r = w.FindHotspot(id)->m_rcArea;
    return w.Wnd()->Snapshot().At((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

class DigVITest : public SimWindowTest {
protected:
    void SetUp() override {
        SimWindowTest::SetUp();
        g_wDigOut = 0;
        g_byRelays = 0;
    }
};

TEST_F(DigVITest, ClickOnAnOutputBitReachesTheBoxAndLightsItsInputLamp) {
    CBaseVI& w = Open(11);
    const platform::Color dark = CentreColour(w, 4003);
    ASSERT_EQ(dark, CentreColour(w, 4004));
    const platform::Rect box = w.FindHotspot(4023)->m_rcArea;
    w.Wnd()->InjectClick({(box.left + box.right) / 2, (box.top + box.bottom) / 2}, 20);
    EXPECT_TRUE(PumpUntil([&] { return m_box.TheBox().DigitalPort().Outputs() == 0x0008; }));
    EXPECT_TRUE(PumpUntil([&] { return CentreColour(w, 4003) != dark; }));
    EXPECT_EQ(CentreColour(w, 4004), dark);
}

TEST_F(DigVITest, InputsChangedWhileTheWindowIsBusyAreShownWhenItIsFreeAgain) {
    CBaseVI& w = Open(12);
    const platform::Color dark = CentreColour(w, 4001);
    g_wDigOut = 0x0002;
    m_face.m_pDigIO->SetChanged(1);
    // The window's thread does not answer: the worker's notification of the
    // new inputs runs out of time.
    platform::SleepMs(1500);
    EXPECT_TRUE(PumpUntil([&] { return CentreColour(w, 4001) != dark; }));
}

TEST_F(DigVITest, SteppingTheOutputWordInBothDisplayModes) {
    CBaseVI& w = Open(11);
    struct Case {
        uint32_t mode, cmd;
        uint16_t before, after;
    } cases[] = {
        {3000, 4036, 0x12FF, 0x1200}, {3001, 4036, 0x12FF, 0x1300}, {3000, 4039, 0x1200, 0x12FF},
        {3001, 4039, 0x1200, 0x11FF}, {3000, 4040, 0x0005, 0xFF05}, {3000, 4037, 0xFF05, 0x0005},
    };
    for (const Case& c : cases) {
        w.OnCommand(c.mode);
        g_wDigOut = c.before;
        w.OnCommand(c.cmd);
        EXPECT_EQ(static_cast<uint16_t>(g_wDigOut), c.after) << c.mode << " " << c.cmd;
    }
    // The ±256 steps are hidden while the whole word is shown.
    w.OnCommand(3001);
    EXPECT_FALSE(w.FindHotspot(4037)->m_dwFlags & kHsVisible);
    w.OnCommand(3000);
    EXPECT_TRUE(w.FindHotspot(4040)->m_dwFlags & kHsVisible);
    EXPECT_TRUE(PumpUntil([&] { return m_box.TheBox().DigitalPort().Outputs() == 0x0005; }));
}

TEST_F(DigVITest, RelayButtonsSetClearAndToggleOnTheBox) {
    CBaseVI& w = Open(22);
    for (uint32_t id : {4100u, 4101u, 4102u, 4110u, 4123u, 4116u})
        w.OnCommand(id);
    EXPECT_EQ(static_cast<uint8_t>(g_byRelays), 0x82); // 0 toggled off, 2 cleared, 7 toggled on
    EXPECT_TRUE(PumpUntil([&] { return m_box.TheBox().DigitalPort().Relays() == 0x82; }));
}

TEST_F(DigVITest, WorkspaceReopensTheWindowWithItsDisplaySettings) {
    CBaseVI& w = Open(11);
    w.OnCommand(3001); // outputs as one word
    w.OnCommand(3045); // inputs in decimal
    std::vector<uint8_t> bytes;
    {
        CArchive ar(bytes);
        m_face.SerializeWorkspace(ar);
    }
    m_face.CloseAllWindows();
    g_bOutWordMode = false; // the settings are module-wide: the file must bring them back
    g_nInRadix = 0;
    g_wDigOut = 0x00A5; // shown by the reopened window, not yet on the box
    CArchive in(bytes.data(), bytes.size());
    m_face.SerializeWorkspace(in);
    ASSERT_NE(m_face.FindWindowOfType(11), nullptr);
    EXPECT_TRUE(g_bOutWordMode);
    EXPECT_EQ(g_nInRadix, 1u);
    EXPECT_TRUE(PumpUntil([&] { return m_box.TheBox().DigitalPort().Outputs() == 0x00A5; }));
}

} // namespace
