// The calibration window against the simulated box, whose function
// generator output is wired to input A; and what the window does without
// its models or with a damaged workspace part.
#include <cmath>

#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/meter/meter.h"
#include "support/calibrate_window.h"
#include "vi/calibrate/calibratevi.h"
#include "vi/controls/seg7.h"

namespace {

constexpr uint32_t kPower = 7101, kAmpUp10 = 7132, kRangeDown = 7161;
constexpr uint32_t kSet = 7141, kMeasured = 7142;
constexpr platform::Color kLitSegment = 0x2030FF;

class CalibrateVITest : public SimWindowTest {};

TEST_F(CalibrateVITest, SetsADirectVoltageAndShowsTheInputMeasuringIt) {
    g_nRangeA = 8; // 50 V full scale
    CBaseVI& w = Open(60);
    auto& cal = dynamic_cast<CCalibrateVI&>(w);
    const double dark = ShareIn(w, kMeasured, kLitSegment);
    for (int i = 0; i < 5; ++i)
        Click(w, kAmpUp10); // 50 % of the 10 V output
    Click(w, kPower);
    Click(w, kRangeDown);
    Click(w, kRangeDown); // 10 V full scale
    auto& set = *dynamic_cast<CHotSeg7*>(w.FindHotspot(kSet));
    EXPECT_TRUE(PumpWindowsUntil([&] { return set.Text() == "   5.000"; })) << set.Text();

    // 50 % is the amplitude byte 127: the box plays 127/255 of 10 V on input A.
    EXPECT_TRUE(PumpWindowsUntil([&] {
        return cal.m_bMeasured && g_nRangeA == 6 && std::fabs(cal.m_dMeasured - 4.98) < 0.05;
    }));
    EXPECT_TRUE(PumpWindowsUntil([&] { return ShareIn(w, kMeasured, kLitSegment) > 1.5 * dark; }));
    g_byFGenEnable = 0;
}

// Null models: the window opens, its controls change nothing and the input
// displays show dashes; damaged parts of a workspace are refused.
TEST(CalibrateVIAlone, CopesWithoutModelsAndRefusesBadWorkspaceParts) {
    platform::UseOffscreenWindows(true);
    ASSERT_TRUE(platform::UseDefaultResourceModule());
    CKobface face; // nothing created, not connected
    CBaseVI* w = face.LoadInstrumentWindow(60);
    ASSERT_NE(w, nullptr);
    w->Init();
    const uint32_t amplitude = g_nFGenAmplitude;
    for (uint32_t id : {7101u, 7111u, 7121u, 7130u, 7132u, 7151u, 7160u, 7161u})
        w->OnCommand(id);
    EXPECT_EQ(static_cast<uint32_t>(g_nFGenAmplitude), amplitude);
    EXPECT_FALSE(w->PollDevices(nullptr));
    EXPECT_EQ(dynamic_cast<CHotSeg7*>(w->FindHotspot(kMeasured))->Text(), "-------");

    struct Case {
        uint32_t schema;
        std::vector<uint8_t> part;
        bool refused;
        uint32_t channel;
    } cases[] = {
        {4, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0}, // channel A
        {4, {1, 0, 0, 0, 2, 0, 0, 0}, true, 0},  // no channel 2
        {4, {1, 0, 0, 0}, true, 0},              // cut short
        {3, {}, false, 0},                       // older workspaces carry no part
    };
    auto& cal = dynamic_cast<CCalibrateVI&>(*w);
    for (const Case& c : cases) {
        cal.m_nChannel = 1;
        CArchive ar(c.part.data(), c.part.size());
        ar.SetObjectSchema(c.schema);
        bool refused = false;
        try {
            w->Serialize(ar);
        } catch (const CArchiveException&) {
            refused = true;
        }
        EXPECT_EQ(refused, c.refused) << c.part.size();
        EXPECT_EQ(cal.m_nChannel, c.refused || c.schema < 4 ? 1u : c.channel);
    }
    w->Wnd()->Destroy();
    w->Delete();
}

} // namespace
