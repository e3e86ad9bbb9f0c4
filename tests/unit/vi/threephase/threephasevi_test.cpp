// The three-phase generator's windows against the simulated box (phase 1
// wired to input B), on off-screen windows and the real panels.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <utility>

#include "device/kobface.h"
#include "device/stream.h"
#include "framework/exception.h"
#include "instruments/threephase/threephase.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/analog.h"
#include "sim/inprocess.h"
#include "tests/support/sim_window.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"
#include "vi/controls/seg7.h"
#include "vi/threephase/threephasevi.h"

namespace {

// The highest row of the display where a trace of colour c shows, as a
// fraction of full scale above the centre line.
double PeakOf(CBaseVI& w, platform::Color c) {
    const platform::Rect r = w.FindHotspot(kIdP3Display)->m_rcArea;
    const platform::Pixels p = w.Wnd()->Snapshot();
    const int32_t mid = r.top + (r.bottom - r.top) / 2, half = (r.bottom - r.top) / 2 - 4;
    for (int32_t y = r.top + 1; y < r.bottom - 1; ++y)
        for (int32_t x = r.left + 1; x < r.right - 1; ++x)
            if (Near(p.At(x, y), c, 40))
                return static_cast<double>(mid - y) / half;
    return -2.0;
}

class ThreePhaseVITest : public SimWindowTest {};

TEST_F(ThreePhaseVITest, ClicksReachTheBoxAndTheDisplayDrawsThePhases) {
    CBaseVI& w = Open(48);
    const uint32_t amp1 = P3DisplayId(P3Quantity::Amplitude1),
                   amp2 = P3DisplayId(P3Quantity::Amplitude2);
    EXPECT_LT(PeakOf(w, kP3PhaseColours[0]), -1.0); // dim and flat while off
    Click(w, amp1 + 3, 5);                          // L1 +10 five times: 50 %
    Click(w, amp2 + 3, 10);                         // L2 at full scale
    Click(w, P3DisplayId(P3Quantity::Phase2) + 3);  // angle of L2: 130
    Click(w, P3DisplayId(P3Quantity::Frequency) + 1);
    Click(w, kIdP3Power);
    EXPECT_TRUE(PumpUntil([&] {
        return BoxLogged("0x45 three-phase amplitudes [7F FF 00]") &&
               BoxLogged("0x47 three-phase phases [00 E6 00 78]") &&
               BoxLogged("0x44 three-phase frequency [02]") && BoxLogged("0x40 three-phase on");
    }));
    // The box plays phase 1 on input B: 50 % of 10 V at 2 Hz.
    const kobsim::Signal b = m_box.TheBox().AnalogInputs().GetSignal('B');
    EXPECT_NEAR(b.amplitude, 5.0, 0.05);
    EXPECT_EQ(b.frequency, 2.0);
    // L1 peaks at half scale, L2 at full scale, L3 (0 %) stays on the centre.
    EXPECT_NEAR(PeakOf(w, kP3PhaseColours[0]), 0.5, 0.05);
    EXPECT_NEAR(PeakOf(w, kP3PhaseColours[1]), 1.0, 0.05);
    EXPECT_NEAR(PeakOf(w, kP3PhaseColours[2]), 0.0, 0.05);
}

TEST_F(ThreePhaseVITest, SteppingStaysInRangeAndEachWindowSetsItsMode) {
    using Q = P3Quantity;
    struct Case {
        uint32_t type;
        Relaxed<uint32_t>& setting;
        uint32_t start, command, after;
    } cases[] = {
        {48, g_nP3Frequency, 150, P3DisplayId(Q::Frequency) + 1, 150},
        {42, g_nP3Frequency, 5, P3DisplayId(Q::Frequency) + 4, 1},
        {48, g_nP3Phase3, uint32_t(-10), P3DisplayId(Q::Phase3) + 3, 0}, // wraps at 360
        {42, g_nP3Clock, 30, P3DisplayId(Q::Clock) + 3, 32},             // on a model 2 box
    };
    g_byModel = 2; // set while no worker runs
    for (const Case& c : cases) {
        c.setting = c.start;
        Open(c.type).OnCommand(c.command);
        EXPECT_EQ(uint32_t{c.setting}, c.after) << c.command;
        m_face.CloseAllWindows();
        m_face.ForceStopWorker(); // its last pass writes back what it sent
    }
    // The DC supplies play a positive level in DC mode, switched per output.
    g_nP3Function = 0;
    g_abP3PhaseOn[2] = 0;
    Click(Open(41), kIdP3PhaseSwitch + 2);
    EXPECT_TRUE(PumpUntil([] { return g_abP3PhaseOn[2] != 0; }));
    EXPECT_EQ(std::tuple(uint8_t{g_bP3DcMode}, uint32_t{g_nP3Function}), std::tuple(1, 4u));
    m_face.CloseAllWindows();
    // The motor reversed: output 2 drives it at the same speed, output 1 is off.
    g_anP3Amplitude[0] = 40;
    g_abP3PhaseOn[0] = 0;
    g_abP3PhaseOn[1] = 0;
    Open(43).OnCommand(kIdP3Reverse);
    const auto a = [](int i) { return uint32_t{g_anP3Amplitude[i]}; };
    const auto on = [](int i) { return uint8_t{g_abP3PhaseOn[i]}; };
    EXPECT_EQ(std::tuple(a(0), a(1), a(2), on(0), on(1), on(2)), std::tuple(0, 40, 0, 0, 1, 0));
    m_face.ForceStopWorker();
    g_byModel = 1;
}

TEST_F(ThreePhaseVITest, NullModelAndDamagedWorkspaces) {
    // Without a generator every control is inert and the window shows the
    // settings as they are.
    CKobDevice* gen = std::exchange(m_face.m_p3PhaseGen, nullptr);
    g_anP3Amplitude[0] = 7;
    for (uint32_t type : {41u, 42u, 43u, 48u}) {
        CBaseVI* w = m_face.LoadInstrumentWindow(type);
        ASSERT_NE(w, nullptr) << type;
        w->Init();
        for (uint32_t id = kIdP3Stepper; id <= kIdP3Display; ++id)
            w->OnCommand(id);
        EXPECT_EQ(g_anP3Amplitude[0], 7u) << type;
        auto* d = dynamic_cast<CHotSeg7*>(w->FindHotspot(P3DisplayId(P3Quantity::Amplitude1)));
        EXPECT_TRUE(!d || d->Text() == "  7") << type;
        w->PollDevices(nullptr);
        EXPECT_FALSE(w->PollDevices(nullptr)) << type; // nothing changed since
        w->Wnd()->Destroy();
        w->Delete();
    }
    m_face.m_p3PhaseGen = gen;

    // A workspace round trip brings the window and the settings back; a
    // window part of an unknown version opens nothing.
    Open(48).OnCommand(P3DisplayId(P3Quantity::Amplitude2) + 3);
    std::vector<uint8_t> bytes;
    {
        CArchive ar(bytes);
        m_face.SerializeWorkspace(ar);
    }
    g_anP3Amplitude[1] = 0;
    CArchive in(bytes.data(), bytes.size());
    m_face.SerializeWorkspace(in);
    ASSERT_NE(m_face.FindWindowOfType(48), nullptr);
    EXPECT_EQ(g_anP3Amplitude[1], 10u);
    bytes[bytes.size() - 8] = 2; // the window part's version, before the end mark
    CArchive bad(bytes.data(), bytes.size());
    EXPECT_THROW(m_face.SerializeWorkspace(bad), CArchiveException);
    EXPECT_EQ(m_face.FindWindowOfType(48), nullptr);
}

} // namespace
