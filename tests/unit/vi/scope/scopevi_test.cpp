// The oscilloscope window against the simulated box, whose function
// generator output is wired to input A.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "device/kobface.h"
#include "device/stream.h"
#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/scope/scope.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/box.h"
#include "sim/inprocess.h"
#include "support/pictures.h"
#include "support/pump.h"
#include "support/silent_ui.h"
#include "vi/controls/hotspot.h"
#include "vi/scope/scopevi.h"

namespace {

// Crossings of the screen's middle line by trace A, read from the picture:
// the trace's mean height in each column, compared with the middle.
int CrossingsInPicture(const platform::Pixels& p, const platform::Rect& screen) {
    const int32_t mid = (screen.top + screen.bottom) / 2;
    int crossings = 0, side = 0;
    for (int32_t x = screen.left + 1; x < screen.right - 1; ++x) {
        int64_t sum = 0, n = 0;
        for (int32_t y = screen.top; y < screen.bottom; ++y)
            if (Near(p.At(x, y), kTraceColour[0], 40)) {
                sum += y;
                ++n;
            }
        if (n == 0)
            continue;
        const int now = sum / n < mid - 3 ? 1 : sum / n > mid + 3 ? -1 : 0;
        if (now && side && now != side)
            ++crossings;
        if (now)
            side = now;
    }
    return crossings;
}

class ScopeVITest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UseOffscreenWindows(true);
        m_pOldUi = platform::SetUiHandler(&m_ui);
        ASSERT_TRUE(platform::UseDefaultResourceModule());
        m_box.AttachSerial(200);
        m_face.SetStream(new CStreamCOM);
        ASSERT_TRUE(m_face.m_pStream->Open());
        ASSERT_TRUE(m_face.Identify());
    }
    void TearDown() override {
        m_face.CloseAllWindows();
        m_face.ForceStopWorker();
        platform::SetUiHandler(m_pOldUi);
    }
    CScopeVI& Open() {
        EXPECT_TRUE(m_face.OnCommand(10051));
        auto* w = dynamic_cast<CScopeVI*>(m_face.FindWindowOfType(51));
        EXPECT_NE(w, nullptr);
        return *w;
    }
    void Click(CScopeVI& w, uint32_t id) {
        const platform::Rect r = w.FindHotspot(id)->m_rcArea;
        w.Wnd()->InjectClick({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, 20);
    }
    kobsim::InProcessBox m_box;
    CKobface m_face;
    SilentUi m_ui;
    platform::UiHandler* m_pOldUi = nullptr;
};

TEST_F(ScopeVITest, GeneratorSineAtOneKilohertzShowsTenPeriodsAtOneMillisecondPerDivision) {
    m_face.CreateAllDevices();
    static_cast<CFuncGen*>(m_face.m_pFuncGen)->Config(1, 1000, 100, 0, kFGenSine);
    auto& scope = *static_cast<CScope*>(m_face.m_pScope);
    scope.SetTimeBase(8); // 0.5 ms/div, then one click up
    scope.SetRangeA(5);   // 1 V/div
    scope.SetTriggerSource(1);
    CScopeVI& w = Open();
    Click(w, 5402);
    const auto timing = [&] {
        for (const std::string& line : m_box.TheBox().Log())
            if (line.find("scope timing") != std::string::npos &&
                line.find("[00 03 E8 03 21]") != std::string::npos) // prescale 1000, 801 values
                return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil(timing));
    const platform::Rect screen = ChartScreen(w.Chart()->m_rcArea);
    int crossings = 0;
    ASSERT_TRUE(PumpUntil([&] {
        if (w.Record().secondsPerDiv != 0.001)
            return false;
        crossings = CrossingsInPicture(w.Wnd()->Snapshot(), screen);
        return crossings >= 18;
    })) << crossings;
    EXPECT_LE(crossings, 22);

    // The CSV holds the record shown: 801 values, 1 ms/div over 10 divisions.
    const std::string path = testing::TempDir() + "scopevi_test.csv";
    ASSERT_TRUE(w.ExportRecord(Widen(path)));
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "t_s,a_V,b_V");
    size_t rows = 0, matching = 0;
    double t = 0, a = 0, b = 0;
    char c1 = 0, c2 = 0;
    while (in >> t >> c1 >> a >> c2 >> b) {
        matching += t == w.Record().Seconds(rows) && a == w.Record().Volts(0, rows);
        ++rows;
    }
    EXPECT_EQ(rows, 801u);
    EXPECT_EQ(matching, rows);
    EXPECT_DOUBLE_EQ(t, 0.01);
    std::remove(path.c_str());
}

// What the window does without a scope model, and with workspace records
// it must refuse or repair.
TEST_F(ScopeVITest, NullModelAndBadWorkspaceRecords) {
    CScopeVI& bare = Open(); // no models created: the window has no scope
    for (uint32_t id = 5401; id <= 5434; ++id)
        bare.OnCommand(id);
    EXPECT_FALSE(bare.PollDevices(m_face.m_pStream));
    EXPECT_EQ(g_nScopeWindows.load(), 1);
    m_face.CloseAllWindows();
    EXPECT_TRUE(PumpUntil([] { return g_nScopeWindows.load() == 0; }));
    m_face.ForceStopWorker(); // its last pass must end before the models change

    m_face.CreateAllDevices();
    CScopeVI& w = Open();
    std::vector<uint8_t> saved;
    {
        CArchive ar(saved);
        m_face.SerializeWorkspace(ar);
    }
    // The window's part ends the file: version, cursor, width, height, then
    // the end mark.
    const size_t part = saved.size() - 20;
    const auto patch = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> bytes = saved;
        for (int i = 0; i < 4; ++i)
            bytes[part + at + i] = static_cast<uint8_t>(v >> (8 * i));
        return bytes;
    };
    (void)w;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool opens;
        int32_t cursor, width;
    } cases[] = {
        {"as saved", saved, true, -1, 730},
        {"newer window part", patch(0, 2), false, 0, 0},
        {"cursor on the chart", patch(4, 100), true, 100, 730},
        {"cursor beyond it", patch(4, 9000), true, -1, 730},
        {"wider", patch(8, 900), true, -1, 900},
        {"narrower than the panel", patch(8, 300), true, -1, 730},
        {"wider than any screen", patch(8, 100000), true, -1, 730},
    };
    for (const Case& c : cases) {
        m_face.CloseAllWindows();
        CArchive in(c.bytes.data(), c.bytes.size());
        bool threw = false;
        try {
            m_face.SerializeWorkspace(in);
        } catch (const CArchiveException&) {
            threw = true;
        }
        auto* opened = dynamic_cast<CScopeVI*>(m_face.FindWindowOfType(51));
        EXPECT_EQ(opened != nullptr, c.opens) << c.what;
        EXPECT_EQ(threw, !c.opens) << c.what;
        if (!opened)
            continue;
        EXPECT_EQ(opened->Chart()->m_nCursorX, c.cursor) << c.what;
        EXPECT_EQ(opened->Wnd()->ClientSize().cx, c.width) << c.what;
    }
}

} // namespace
