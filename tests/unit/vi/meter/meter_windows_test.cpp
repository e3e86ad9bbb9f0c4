// The meter windows against the simulated box (a known voltage on its
// inputs), on off-screen windows and the real panels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "device/kobface.h"
#include "device/stream.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/analog.h"
#include "sim/inprocess.h"
#include "support/pictures.h"
#include "tests/support/pump.h"
#include "vi/controls/gauge1.h"
#include "vi/controls/meterlcd.h"
#include "vi/meter/metervi.h"

namespace {

// The number a display shows, NaN when it shows none.
double Shown(CBaseVI& w) {
    auto* lcd = dynamic_cast<CHotMeterLcd*>(w.FindHotspot(kIdMeterLcd));
    const std::string text(lcd->m_strValue.begin(), lcd->m_strValue.end());
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != text.c_str() ? v : std::nan("");
}

class MeterWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UseOffscreenWindows(true);
        ASSERT_TRUE(platform::UseDefaultResourceModule());
        kobsim::Signal dc;
        std::string error;
        ASSERT_TRUE(kobsim::ParseSignal("dc:3", dc, error));
        m_box.TheBox().AnalogInputs().SetSignal('A', dc);
        m_box.AttachSerial(200);
        m_face.SetStream(new CStreamCOM);
        ASSERT_TRUE(m_face.m_pStream->Open());
        ASSERT_TRUE(m_face.Identify());
        g_nRangeA = 5; // 5 V full scale
        g_nRangeB = 5;
        g_nCouplingA = 0;
        g_nCouplingB = 0;
        g_dShunt1 = 10.0;
    }
    void TearDown() override {
        m_face.CloseAllWindows();
        m_face.ForceStopWorker();
    }
    CBaseVI* Open(uint32_t type) {
        m_face.OnCommand(10000 + type);
        return m_face.FindWindowOfType(type);
    }
    kobsim::InProcessBox m_box{kobsim::BoxConfig{2, false, 105, "", true}};
    CKobface m_face;
};

TEST_F(MeterWindowTest, GaugeAndDisplayShowTheInputVoltageAndARangeClickGoesOnTheWire) {
    m_face.CreateAllDevices();
    CBaseVI& w = *Open(61);
    ASSERT_TRUE(PumpUntil([&] { return std::fabs(Shown(w) - 3.0) < 0.03; })) << Shown(w);

    // The needle of 3 V on the 5 V scale is drawn, none where 0 V would be:
    // looked for half way from the pivot to each tip.
    auto* gauge = dynamic_cast<CHotGauge*>(w.FindHotspot(kIdMeterGauge));
    auto onNeedle = [&](double volts) {
        platform::Point p[3];
        gauge->Needle(volts, p);
        const platform::Point pivot{(p[1].x + p[2].x) / 2, (p[1].y + p[2].y) / 2};
        const platform::Rect r{pivot.x + (p[0].x - pivot.x) / 2 - 1,
                               pivot.y + (p[0].y - pivot.y) / 2 - 1, 0, 0};
        return Share(w.Wnd()->Snapshot(), {r.left, r.top, r.left + 3, r.top + 3}, 0, 60);
    };
    EXPECT_TRUE(PumpUntil([&] { return onNeedle(3.0) > 0.3; }));
    EXPECT_LT(onNeedle(0.0), 0.1);
    // The display shows dark digits on its light face.
    const platform::Rect lcd = w.FindHotspot(kIdMeterLcd)->m_rcArea;
    EXPECT_GT(Share(w.Wnd()->Snapshot(), lcd, platform::Rgb(0x18, 0x20, 0x18), 40), 0.03);

    // One row up: 10 V full scale for A, B stays at 5 V.
    const platform::Rect up = w.FindHotspot(kIdRangeUp)->m_rcArea;
    w.Wnd()->InjectClick({(up.left + up.right) / 2, (up.top + up.bottom) / 2}, 20);
    auto sent = [&] {
        const std::vector<std::string> log = m_box.TheBox().Log();
        return std::any_of(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("0x60", 0) == 0 && l.find("[05 06]") != std::string::npos;
        });
    };
    EXPECT_TRUE(PumpUntil(sent));
    EXPECT_EQ(gauge->m_nRange, 6u);
    EXPECT_TRUE(PumpUntil([&] { return std::fabs(Shown(w) - 3.0) < 0.05; })) << Shown(w);
}

TEST_F(MeterWindowTest, WithoutAMeterTheWindowsOpenShowNoReadingAndLeaveTheInputsAlone) {
    for (uint32_t type = 61; type <= 69; ++type) {
        CBaseVI* w = Open(type);
        ASSERT_NE(w, nullptr) << type;
        for (uint32_t id = 5600; id < 5650; ++id)
            w->OnCommand(id);
        EXPECT_EQ(g_nRangeA, 5u) << type;
        EXPECT_EQ(g_nCouplingA, 0u) << type;
        EXPECT_TRUE(std::isnan(Shown(*w))) << type;
        m_face.CloseAllWindows();
    }
}

TEST_F(MeterWindowTest, WorkspaceKeepsTheChoicesAndRefusesDamagedOnes) {
    m_face.CreateAllDevices();
    CBaseVI* w = Open(63);
    w->OnCommand(kIdReading + 1); // RMS
    w->OnCommand(kIdShunt + 1);   // 1 ohm
    std::vector<uint8_t> saved;
    {
        CArchive ar(saved);
        m_face.SerializeWorkspace(ar);
    }
    // The window's part ends the file before the end mark: version,
    // reading, reference.
    const size_t reading = saved.size() - 12, reference = saved.size() - 8;
    struct Case {
        size_t at;
        uint8_t value;
        bool opens;
    } cases[] = {
        {reading, 1, true}, {reading, 2, false}, {reference, 1, true}, {reference, 2, false}};
    for (const Case& c : cases) {
        m_face.CloseAllWindows();
        g_dShunt1 = 10.0;
        std::vector<uint8_t> bytes = saved;
        bytes[c.at] = c.value;
        CArchive in(bytes.data(), bytes.size());
        if (c.opens) {
            m_face.SerializeWorkspace(in);
            auto* meter = dynamic_cast<CMeterBaseVI*>(m_face.FindWindowOfType(63));
            ASSERT_NE(meter, nullptr);
            EXPECT_EQ(meter->ReadingIndex(), kMeterRms);
            EXPECT_EQ(static_cast<double>(g_dShunt1), 1.0);
        } else {
            EXPECT_THROW(m_face.SerializeWorkspace(in), CArchiveException) << c.at;
            EXPECT_EQ(m_face.FindWindowOfType(63), nullptr);
        }
    }
}

} // namespace
