// Instrument windows from crafted panels: what opens and what is refused,
// resource claims, sizes and cascading, and workspaces.
#include <gtest/gtest.h>

#include <map>

#include "device/kobface.h"
#include "framework/exception.h"
#include "support/bytes.h"
#include "support/fake_window.h"
#include "support/scripted_ui.h"
#include "vi/controls/hotspot.h"

namespace {

// The controls of these panels store a u32 id only.
struct TestControl : CHotspot {
    void Serialize(CArchive& ar) override { ar >> m_nId; }
    void Draw(platform::Gfx&, bool) override {}
};
struct TestVI : CBaseVI {
    CHotspot* CreateHotspot(uint32_t, uint32_t, uint32_t tag) override {
        return tag == kTagButton ? new TestControl : nullptr;
    }
    CHotspot* CreateCustomHotspot(uint32_t, uint32_t, const platform::Rect&) override {
        return new TestControl;
    }
};
struct TestKobface : CKobface {
    CBaseVI* CreateInstrumentWindow(uint32_t&) override { return new TestVI; }
};

// Tags: a button, a custom control, 40000 (no control), in a 300 x 200 panel.
Bytes Panel(std::vector<uint32_t> tags = {}, uint32_t needWord = 0, uint32_t need = 0,
            uint32_t width = 300, const WString& title = u"Digital I/O") {
    Bytes out;
    CArchive ar(out);
    ar << uint32_t{7};
    for (uint32_t i = 0; i < 10; ++i) {
        ar << (i == needWord ? need : 0u);
    }
    ar << width << uint32_t{200} << title << 0u << 2u << WString() << 0u;
    for (uint32_t tag : tags) {
        ar << tag;
        if (tag == kTagCustom) {
            ar << 40 << 10 << 60 << 30 << 0u << 0u;
        } else {
            ar << 1u;
        }
    }
    ar << uint32_t{kTagEndOfList};
    return out;
}
Bytes Cut(Bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
}

std::map<uint16_t, Bytes> g_panels;

struct Windows : ::testing::Test {
    Windows() {
        g_pfnLoadPanel = [](uint16_t type) -> std::optional<std::vector<uint8_t>> {
            auto it = g_panels.find(type);
            return it == g_panels.end() ? std::nullopt : std::make_optional(it->second);
        };
        for (uint16_t t = 11; t <= 14; ++t) {
            g_panels[t] = Panel();
        }
    }
    ~Windows() override {
        k.CloseAllWindows();
        k.ForceStopWorker();
    }
    CBaseVI* Open(uint32_t type, int32_t x = -1, int32_t y = -1) {
        return k.OpenInstrumentWindow(type, x, y);
    }
    FakeWindows fakes;
    ScriptedUi ui;
    TestKobface k;
};

} // namespace

TEST_F(Windows, PanelsOpenWithTheirControlsOrAreRefusedWithOneMessage) {
    const uint32_t b = kTagButton, c = kTagCustom;
    struct Case {
        const char* what;
        std::optional<Bytes> panel;
        int controls; // -1: no window
        size_t messages;
        std::u16string title = u"Digital I/O";
    } cases[] = {
        {"button, custom, button", Panel({b, c, b}), 3, 0},
        {"empty title", Panel({b}, 0, 0, 300, u""), 1, 0, u""},
        {"a tag no control answers ends the list", Panel({b, 40000, b}), 1, 0},
        {"no panel", std::nullopt, -1, 0},
        {"custom rectangle cut short", Cut(Panel({c}), 16), -1, 1},
        {"width beyond any screen", Panel({}, 0, 0, 0xFFFFFFFF), -1, 1},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        ui.messages.clear();
        g_panels.erase(15);
        if (t.panel) {
            g_panels[15] = *t.panel;
        }
        CBaseVI* w = Open(15);
        EXPECT_EQ(ui.messages.size(), t.messages);
        ASSERT_EQ(w != nullptr, t.controls >= 0);
        if (w) {
            EXPECT_EQ(w->m_Hotspots.size(), static_cast<size_t>(t.controls));
            EXPECT_EQ(w->Wnd()->Title(), t.title);
            EXPECT_EQ(w->Wnd()->ClientSize().cx, 300);
            EXPECT_EQ(w->Wnd()->ClientSize().cy, 200);
            w->Wnd()->Destroy();
        }
    }
}

TEST_F(Windows, NeedBitsAndCascadingPositions) {
    g_panels[11] = Panel({}, 2, 4);
    g_panels[12] = Panel({}, 2, 5);
    g_panels[13] = g_panels[14] = Panel({}, 9, 4); // the last two words never conflict
    CBaseVI* a = Open(11);
    EXPECT_EQ(Open(12), nullptr);
    EXPECT_EQ(ui.messages.size(), 1u);
    Open(13);
    const platform::Rect r = Open(14)->Wnd()->OuterRect(); // the third one
    const int32_t w = 300 + 2 * FakeWindow::kFrame, h = w - 100 + FakeWindow::kCaption;
    EXPECT_EQ(r.left, (1024 - w) / 2 + 2 * platform::DialogFrameWidth());
    EXPECT_EQ(r.top, (768 - h) / 2 + 2 * platform::CaptionHeight());
    k.OnCommand(10000 + 11); // open already: raised instead
    EXPECT_EQ(static_cast<FakeWindow*>(a->Wnd())->raised, 1);
    a->Wnd()->Destroy();
    EXPECT_EQ(Open(12, 50, 60)->Wnd()->OuterRect().left, 50);
    EXPECT_EQ(g_adwInUse[2], 5u);
}

TEST_F(Windows, WorkspaceReopensTheSameWindowsAndRefusesDamagedFiles) {
    Open(11, 20, 30);
    Open(12, 40, 50)->Wnd()->Show(platform::ShowMode::Hide);
    Bytes file;
    {
        CArchive ar(file);
        k.SerializeWorkspace(ar);
    }
    const Bytes head = Le32(0x4956544D), device = Cat({Le32(1), Bytes(8 * 4, 0)});
    auto entry = [](uint32_t type) { return Cat({Le32(type), Le32(5), Le32(6), {1}}); };
    using Seen = std::vector<std::tuple<uint32_t, int32_t, bool>>;
    struct Case {
        const char* what;
        Bytes file;
        Seen windows; // empty: refused
    } cases[] = {
        {"stored", file, {{11, 20, true}, {12, 40, false}}},
        {"version 2 shows all",
         Cat({head, Le32(2), device, Le32(13), Le32(5), Le32(6), Le32(0)}),
         {{13, 5, true}}},
        {"other magic", Cat({Le32(0x4956544E), Le32(4), device, Le32(0)}), {}},
        {"newer version", Cat({head, Le32(5), device, Le32(0)}), {}},
        {"cut inside a window", Cut(file, 6), {}},
        {"type twice", Cat({head, Le32(3), device, entry(13), entry(13), Le32(0)}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CArchive ar(c.file.data(), c.file.size());
        if (c.windows.empty()) {
            EXPECT_THROW(k.SerializeWorkspace(ar), CArchiveException);
        } else {
            k.SerializeWorkspace(ar);
        }
        Seen open;
        std::lock_guard<CCriticalSection> lock(k.m_csWindows);
        for (CBaseVI* w : k.m_Windows) {
            if (w->IsWindow()) {
                open.emplace_back(w->m_nType, w->Wnd()->OuterRect().left, w->Wnd()->IsVisible());
            }
        }
        EXPECT_EQ(open, c.windows);
        k.CloseAllWindows();
    }
}
