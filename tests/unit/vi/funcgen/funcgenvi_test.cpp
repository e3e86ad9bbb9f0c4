// The function generator windows against the simulated box, on off-screen
// windows and the real panels.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "device/kobface.h"
#include "device/stream.h"
#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "sim/inprocess.h"
#include "tests/support/sim_window.h"
#include "vi/controls/displays.h"
#include "vi/controls/hotspot.h"
#include "vi/controls/seg7.h"
#include "vi/funcgen/funcgenvi.h"

namespace {

class FuncGenVITest : public SimWindowTest {
protected:
    // The window thread answers until the box has logged a line with text.
    bool BoxLogs(const std::string& text) {
        return PumpUntil([&] {
            const auto log = m_box.TheBox().Log();
            return std::any_of(log.begin(), log.end(),
                               [&](const std::string& l) { return l.find(text) != l.npos; });
        });
    }
};

TEST_F(FuncGenVITest, ClicksSetFrequencyAndWaveformOnTheBoxAndTheWindowShowsThem) {
    CBaseVI& w = Open(31);
    // Radio buttons: the mark's colour at the centre of the button image.
    auto mark = [&](uint32_t id) {
        const platform::Rect r = w.FindHotspot(id)->m_rcArea;
        return w.Wnd()->Snapshot().At(r.left + 7, r.top + 7);
    };
    const platform::Color on = mark(kIdFGenWave), off = mark(kIdFGenWave + 1);
    const platform::Rect power = w.FindHotspot(kIdFGenPower)->m_rcArea;
    const double dark = Share(w.Wnd()->Snapshot(), power, 0x20D020, 40);

    for (uint32_t id : {kIdFGenRange + 2, kIdFGenFreqUp, kIdFGenWave + 1, kIdFGenPower}) {
        // One click at a time: its release comes before the next press.
        const platform::Rect r = w.FindHotspot(id)->m_rcArea;
        w.Wnd()->InjectClick({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, 20);
        for (const uint32_t start = platform::TickCount(); platform::TickCount() - start < 60;) {
            platform::PumpMessages();
            platform::SleepMs(2);
        }
    }
    // The 1 kHz range starts at 10 Hz, one step up is 11 Hz.
    EXPECT_TRUE(BoxLogs("function generator frequency 11 Hz"));
    EXPECT_TRUE(BoxLogs("function generator waveform 1 "));
    EXPECT_TRUE(BoxLogs("function generator on"));

    EXPECT_EQ(dynamic_cast<CHotSeg7*>(w.FindHotspot(kIdFGenFreqDisplay))->Text(), "      11");
    EXPECT_TRUE(Near(mark(kIdFGenWave + 1), on, 24));
    EXPECT_TRUE(Near(mark(kIdFGenWave), off, 24));
    EXPECT_TRUE(Near(mark(kIdFGenRange + 2), on, 24));
    EXPECT_GT(Share(w.Wnd()->Snapshot(), power, 0x20D020, 40), dark + 0.05); // lit
}

TEST_F(FuncGenVITest, FormulaKeysShowTheCompilersPlaceAndSendPlaysTheTable) {
    auto& w = dynamic_cast<CFuncGenFormVI&>(Open(33));
    auto text = [&](uint32_t id) {
        return dynamic_cast<CHotLabel*>(w.FindHotspot(kTagLabel, id))->m_strText;
    };
    w.OnCommand(5341);                  // clear
    for (uint32_t key : {5320u, 5311u}) // SIN( X
        w.OnCommand(key);
    EXPECT_EQ(w.EditText(), u"SIN(X");
    EXPECT_EQ(text(kIdFGenFormulaMark), u"     ^"); // where ")" is missing
    EXPECT_NE(text(kIdFGenFormulaStatus).find(u"6"), std::u16string::npos);
    w.OnCommand(5318); // )
    EXPECT_EQ(text(kIdFGenFormulaMark), u"");
    w.OnCommand(5342);
    EXPECT_TRUE(BoxLogs("function generator table 8192 samples"));
    EXPECT_EQ(FGenFormula(), u"SIN(X)");
    for (int i = 0; i < 3; ++i) // delete takes ")", X, then "SIN(" at once
        w.OnCommand(5340);
    EXPECT_EQ(w.EditText(), u"");
}

// A window without its model shows the settings and changes none; its
// workspace part is refused when it is not one this program wrote.
TEST_F(FuncGenVITest, NullModelAndBadWorkspaceRecords) {
    CKobface bare; // no generator created
    for (uint32_t type : {31u, 33u, 35u, 36u}) {
        CBaseVI* w = bare.LoadInstrumentWindow(type);
        ASSERT_NE(w, nullptr) << type;
        ASSERT_TRUE(w->Init());
        const FuncGenView before = FuncGenView::Current();
        for (uint32_t id : {kIdFGenPower, kIdFGenRange + 3, kIdFGenAmpUp, kIdFGenWave + 2,
                            kIdFGenWidthUp, 5311u, 5342u})
            w->OnCommand(id);
        EXPECT_FALSE(w->PollDevices(nullptr));
        EXPECT_EQ(FuncGenView::Current(), before) << type;
        EXPECT_TRUE(w->FindHotspot(kIdFGenPower)->m_dwFlags & kHsDisabled);
        w->Wnd()->Destroy();
        w->Delete();
    }

    // What the formula window stores, it reads back.
    auto& form = dynamic_cast<CFuncGenFormVI&>(Open(33));
    form.SetEditText(u"cos(x)");
    std::vector<uint8_t> stored;
    {
        CArchive out(stored);
        form.Serialize(out);
    }
    form.SetEditText(u"");
    CArchive back(stored.data(), stored.size());
    back.SetObjectSchema(4);
    form.Serialize(back);
    EXPECT_EQ(form.EditText(), u"COS(X)");

    const std::u16string tooLong(CFuncGenFormVI::kMaxFormula + 1, u'X');
    struct Case {
        uint32_t schema, version;
        std::u16string text;
        bool refused;
    } cases[] = {
        {3, 1, u"X", false}, // workspaces before version 4 have no part
        {4, 2, u"X", true},
        {4, 1, tooLong, true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        {
            CArchive out(bytes);
            out << c.version << WString(c.text);
        }
        CArchive in(bytes.data(), bytes.size());
        in.SetObjectSchema(c.schema);
        bool refused = false;
        try {
            form.Serialize(in);
        } catch (const CArchiveException&) {
            refused = true;
        }
        EXPECT_EQ(refused, c.refused) << c.version;
        EXPECT_EQ(form.EditText(), u"COS(X)") << c.version;
    }
}

} // namespace
