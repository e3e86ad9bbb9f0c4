// The calibration window against the simulated box, whose function
// generator output is wired to input A; and what the window does without
// its models or with a damaged workspace part.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/meter/meter.h"
#include "support/sim_window.h"
#include "vi/calibrate/calibratevi.h"
#include "vi/controls/metralcd.h"
#include "vi/controls/seg7.h"

namespace {

constexpr uint32_t kPower = 7101, kAmpUp10 = 7132, kRangeDown = 7161;
constexpr uint32_t kSet = 7141, kMeasured = 7142;

class CalibrateVITest : public SimWindowTest {};

TEST_F(CalibrateVITest, SetsADirectVoltageAndShowsTheInputMeasuringIt) {
    g_nRangeA = 8; // 50 V full scale
    CBaseVI& w = Open(60);
    auto& cal = dynamic_cast<CCalibrateVI&>(w);
    // Clicked once the worker has sent the generator's first settings.
    ASSERT_TRUE(PumpUntil([&] { return cal.m_bMeasured.load(); }));
    for (int i = 0; i < 5; ++i)
        Click(w, kAmpUp10); // 50 % of the 10 V output
    Click(w, kPower);
    Click(w, kRangeDown);
    Click(w, kRangeDown); // 10 V full scale
    auto& set = *dynamic_cast<CHotSeg7*>(w.FindHotspot(kSet));
    EXPECT_TRUE(PumpUntil([&] { return set.Text() == "   5.000"; })) << set.Text();

    // 50 % is the amplitude byte 127: the box plays 127/255 of 10 V on input A.
    auto& shown = *dynamic_cast<CHotSeg7*>(w.FindHotspot(kMeasured));
    EXPECT_TRUE(PumpUntil([&] {
        return g_nRangeA == 6 &&
               std::fabs(std::strtod(shown.Text().c_str(), nullptr) - 4.98) < 0.05;
    })) << shown.Text();
    // Drawn alone, the display gives the same pixels as in the window.
    const platform::Rect r = shown.m_rcArea;
    std::unique_ptr<platform::PictureGfx> want = platform::CreatePicture(r.right, r.bottom);
    shown.Draw(*want, false);
    const platform::Pixels window = w.Wnd()->Snapshot(), expected = want->Read();
    int same = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x)
            same += Near(window.At(x, y), expected.At(x, y), 24);
    EXPECT_GT(same, r.Width() * r.Height() * 95 / 100);
}

// Without models (nothing created, not connected) the windows open, their
// controls change nothing and the displays say that nothing is measured.
TEST(CalibrateVIAlone, WindowsWithoutModels) {
    platform::UseOffscreenWindows(true);
    ASSERT_TRUE(platform::UseDefaultResourceModule());
    CKobface face;
    const uint32_t amplitude = g_nFGenAmplitude;
    for (uint32_t type : {60u, 70u}) {
        CBaseVI* w = face.LoadInstrumentWindow(type);
        ASSERT_NE(w, nullptr);
        w->Init();
        for (uint32_t id : {7101u, 7111u, 7121u, 7132u, 7151u, 7161u})
            w->OnCommand(id);
        EXPECT_FALSE(w->PollDevices(nullptr));
        w->OnRemove(&face);
        if (type == 60)
            EXPECT_EQ(dynamic_cast<CHotSeg7*>(w->FindHotspot(kMeasured))->Text(), "-------");
        else
            EXPECT_EQ(dynamic_cast<CHotMetraLcd*>(w->FindHotspot(7001))->m_strNote,
                      platform::LoadResourceString(5651));
        w->Wnd()->Destroy();
        w->Delete();
    }
    EXPECT_EQ(static_cast<uint32_t>(g_nFGenAmplitude), amplitude);
}

// The window's part of a workspace (the channel checked): a damaged part is
// refused and changes nothing; workspaces before version 4 carry none.
TEST_F(CalibrateVITest, WorkspacePartRefusedWhenDamaged) {
    auto& cal = dynamic_cast<CCalibrateVI&>(Open(60));
    const std::tuple<uint32_t, std::vector<uint8_t>, bool, uint32_t> cases[] = {
        {4, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {4, {1, 0, 0, 0, 2, 0, 0, 0}, true, 1},
        {3, {}, false, 1},
    };
    for (const auto& [schema, part, refused, channel] : cases) {
        cal.m_nChannel = 1;
        CArchive ar(part.data(), part.size());
        ar.SetObjectSchema(schema);
        if (refused)
            EXPECT_THROW(cal.Serialize(ar), CArchiveException);
        else
            cal.Serialize(ar);
        EXPECT_EQ(cal.m_nChannel, channel) << part.size();
    }
}

} // namespace
