// The hand-held meter window against the simulated box's hand-held meter,
// with the window's clock injected.
#include <algorithm>
#include <atomic>

#include "instruments/handheld/handheld.h"
#include "sim/handheld.h"
#include "support/sim_window.h"
#include "vi/controls/metralcd.h"
#include "vi/controls/press.h"
#include "vi/metrahit/metrahitvi.h"

namespace {

std::atomic<uint32_t> g_now{1000};

class MetraHitVITest : public SimWindowTest {};

constexpr uint32_t kDisplay = 7001, kLamp = 7002;
constexpr platform::Color kInk = 0x182018, kLampRed = 0x1A1AFF;

TEST_F(MetraHitVITest, ShowsTheReadingWithModeAndUnitThenThatNoneArrive) {
    m_box.TheBox().HandheldMeter().SetFamily(2);
    m_box.TheBox().HandheldMeter().SetReading(kobsim::HandheldReading{2, 1, "-1.234", false});
    SetTickSource([] { return g_now.load(); }); // for the rest of the program
    CBaseVI& w = Open(71);
    auto& lcd = *dynamic_cast<CHotMetraLcd*>(w.FindHotspot(kDisplay));
    ASSERT_TRUE(PumpUntil([&] { return lcd.m_strDigits == u"-1.234"; }))
        << Narrow(lcd.m_strDigits) << "/" << Narrow(lcd.m_strNote);
    EXPECT_EQ(lcd.m_strMode, u"DC");
    EXPECT_EQ(lcd.m_strUnit, u"V");
    const platform::Rect r = lcd.m_rcArea;
    const platform::Rect digits{r.left + 8, r.bottom - 52, r.right - 8, r.bottom - 8};
    const platform::Pixels shown = w.Wnd()->Snapshot();
    EXPECT_GT(Share(shown, digits, kInk, 30), 0.05);
    const double lampLit = ShareIn(w, kLamp, kLampRed);

    // The meter falls silent: still shown for 3000 ms, then blanked.
    m_box.TheBox().HandheldMeter().SetReading(std::nullopt);
    g_now += CMetraHitVI::kNoReadingMs;
    platform::SleepMs(300);
    platform::PumpMessages();
    EXPECT_EQ(lcd.m_strDigits, u"-1.234");
    g_now += 1;
    ASSERT_TRUE(PumpUntil([&] { return lcd.m_strDigits.empty(); }));
    EXPECT_EQ(lcd.m_strNote + lcd.m_strMode, platform::LoadResourceString(5650));
    const platform::Pixels silent = w.Wnd()->Snapshot();
    EXPECT_EQ(Share(silent, digits, kInk, 30), 0.0);
    EXPECT_LT(ShareIn(w, kLamp, kLampRed), lampLit);

    // Closing the window takes the meter back from the box.
    w.Wnd()->Close();
    EXPECT_TRUE(PumpUntil([&] {
        const std::vector<int> held = m_box.TheBox().Announced();
        return std::find(held.begin(), held.end(), 8) == held.end();
    }));
}

} // namespace
