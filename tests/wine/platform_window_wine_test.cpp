// The Windows backends of the instrument windows on a virtual display: real
// windows and their messages, GDI drawing read back from pictures, PNG files,
// and a resource module (KobPanels.dll of the tests, beside this program).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

#include "platform/gfx/gfx.h"
#include "platform/resource/resource.h"
#include "platform/window/window.h"
#include "support/bytes.h"
#include "support/temp_profile.h"

using namespace platform;

namespace {

struct Recorder : WindowHandler {
    Window* window = nullptr;
    DWORD thread = GetCurrentThreadId();
    std::vector<uint32_t> commands;
    std::vector<std::pair<uintptr_t, intptr_t>> notes;
    bool offThread = false;
    std::vector<Point> presses;
    Point heldAt{-1, -1};
    bool released = false;

    void OnPaint(Gfx& dc) override { dc.FillRect({0, 0, 4000, 4000}, Rgb(0, 0, 200)); }
    void OnLButtonDown(Point p) override {
        presses.push_back(p);
        // A control tracking its press: pump until the button goes up.
        while (PumpMessages() && window->LeftButtonDown()) {
            heldAt = window->CursorPos();
        }
        released = !window->LeftButtonDown();
    }
    bool OnSetCursor(Point) override { return false; }
    bool OnCommand(uint32_t id) override {
        offThread |= GetCurrentThreadId() != thread;
        commands.push_back(id);
        if (id == 99) {
            window->Destroy();
        }
        return true;
    }
    void OnCommNotify(uintptr_t code, intptr_t param) override {
        offThread |= GetCurrentThreadId() != thread;
        notes.emplace_back(code, param);
    }
    void OnDestroy() override {}
};

struct Opened {
    Recorder handler;
    std::unique_ptr<Window> window;
    HWND hwnd = nullptr;
    explicit Opened(WindowStyle style = WindowStyle::Fixed) {
        window = Window::Create(handler, style, nullptr);
        handler.window = window.get();
        if (window) {
            window->SetTitle(u"panel under test");
            hwnd = FindWindowW(L"KobInstrumentWindow", L"panel under test");
        }
    }
};

void PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        PumpMessages();
        Sleep(5);
    }
}

bool Near(Color a, Color b) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 8) {
            return false;
        }
    }
    return true;
}

TEST(Win32Window, StylesAndExactClientArea) {
    struct Case {
        WindowStyle style;
        LONG styleBits;
    } cases[] = {
        {WindowStyle::Fixed, 0x02CA0000},
        {WindowStyle::Sizeable, 0x02CA0000 | WS_THICKFRAME | WS_MAXIMIZEBOX},
    };
    for (const Case& c : cases) {
        Opened w(c.style);
        ASSERT_TRUE(w.hwnd);
        EXPECT_EQ(GetWindowLongW(w.hwnd, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), c.styleBits);
        EXPECT_EQ(GetWindowLongW(w.hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        EXPECT_FALSE(w.window->IsVisible());
        w.window->SetClientSize(300, 200);
        Size s = w.window->ClientSize();
        EXPECT_EQ(s.cx, 300);
        EXPECT_EQ(s.cy, 200);
        Rect outer = w.window->OuterRect();
        EXPECT_EQ(outer.left, 10);
        EXPECT_GT(outer.Width(), 300);
        EXPECT_EQ(w.window->Title(), u"panel under test");
        // Minimising hides the panel.
        w.window->Show(ShowMode::ShowNormal);
        SendMessageW(w.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_FALSE(w.window->IsVisible());
        EXPECT_FALSE(IsIconic(w.hwnd));
    }
}

TEST(Win32Window, CommandsAndNotificationsArriveOnTheWindowThread) {
    Opened w;
    ASSERT_TRUE(w.window);
    w.window->PostCommand(10011);
    auto sent = std::async(std::launch::async, [&] { return w.window->SendNotify(5, -3, 5000); });
    PumpUntil([&] { return w.handler.notes.size() == 1 && w.handler.commands.size() == 1; });
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(w.handler.commands, std::vector<uint32_t>{10011});
    ASSERT_EQ(w.handler.notes.size(), 1u);
    EXPECT_EQ(w.handler.notes[0], (std::pair<uintptr_t, intptr_t>(5, -3)));
    EXPECT_FALSE(w.handler.offThread);

    // This thread waits for the sender and pumps nothing: the send gives up.
    EXPECT_FALSE(
        std::async(std::launch::async, [&] { return w.window->SendNotify(6, 0, 200); }).get());

    w.window->Destroy();
    EXPECT_FALSE(w.window->IsAlive());
    EXPECT_FALSE(
        std::async(std::launch::async, [&] { return w.window->SendNotify(7, 0, 200); }).get());
}

TEST(Win32Window, InjectedClickIsHeldThenReleased) {
    Opened w;
    ASSERT_TRUE(w.window);
    w.window->InjectClick({30, 40}, 60);
    PumpUntil([&] { return w.handler.released; });
    ASSERT_EQ(w.handler.presses.size(), 1u);
    EXPECT_EQ(w.handler.presses[0].x, 30);
    EXPECT_EQ(w.handler.presses[0].y, 40);
    EXPECT_EQ(w.handler.heldAt.x, 30);
    EXPECT_EQ(w.handler.heldAt.y, 40);
    EXPECT_TRUE(w.handler.released);
}

TEST(Win32Window, MessageLoopEndsWithTheLastWindowAndOnQuit) {
    Opened w;
    ASSERT_TRUE(w.window);
    w.window->PostCommand(99); // the handler destroys its window
    RunMessageLoop();
    EXPECT_FALSE(w.window->IsAlive());

    PostQuit();
    EXPECT_FALSE(PumpMessages());
    EXPECT_FALSE(PumpMessages()); // the quit stays for the loop outside
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Win32Window, SnapshotIsTheClientAreaAsPainted) {
    Opened w;
    ASSERT_TRUE(w.window);
    w.window->SetClientSize(150, 40);
    Pixels p = w.window->Snapshot();
    ASSERT_EQ(p.width, 150);
    ASSERT_EQ(p.height, 40);
    EXPECT_TRUE(Near(p.At(0, 0), Rgb(0, 0, 200)));
    EXPECT_TRUE(Near(p.At(149, 39), Rgb(0, 0, 200)));
}

class Win32Resources : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(UseDefaultResourceModule()); }
};

TEST_F(Win32Resources, PanelBytesAndRefusedModules) {
    EXPECT_EQ(LoadResourceData(kPanelResourceType, 11), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(LoadResourceData(kPanelResourceType, 12));
    EXPECT_FALSE(SetResourceModule(u"no-such-module.dll"));
    EXPECT_TRUE(HasResourceModule());
    EXPECT_EQ(LoadResourceData(kPanelResourceType, 11)->size(), 4u);
}

TEST_F(Win32Resources, StringsInTheChosenLanguage) {
    struct Case {
        const char* langId;
        uint32_t id;
        std::u16string text;
    } cases[] = {
        {"1031", 5019, u"Ressource belegt:"},
        {"2055", 5019, u"Ressource belegt:"}, // Swiss German reads German
        {"1031", 5020, u"the digital port"},  // missing in German: English
        {"1033", 5019, u"Resource in use:"},
        {"1036", 5019, u"Resource in use:"},
        {"1033", 5021, u""},
    };
    TempProfile profile;
    for (const Case& c : cases) {
        profile.Set("Settings", "LangID", c.langId);
        EXPECT_EQ(LoadResourceString(c.id), c.text) << c.langId << " " << c.id;
    }
}

TEST_F(Win32Resources, StripDrawnWithMagentaTransparency) {
    auto strip = LoadBitmapResource(5120);
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->GetSize().cx, 4);
    EXPECT_EQ(strip->GetSize().cy, 2);
    const Color green = Rgb(0, 160, 0);
    const Color m = kMagenta;
    const Color r = Rgb(255, 0, 0);
    const Color b = Rgb(0, 0, 255);
    const Color wh = Rgb(255, 255, 255);
    const Color k = 0;
    struct Case {
        Transparency t;
        Color expected[2][4];
    } cases[] = {
        {Transparency::None, {{m, r, m, b}, {wh, m, k, m}}},
        {Transparency::Magenta, {{green, r, green, b}, {wh, green, k, green}}},
    };
    for (const Case& c : cases) {
        auto pic = CreatePicture(8, 4);
        ASSERT_TRUE(pic);
        pic->FillRect({0, 0, 8, 4}, green);
        pic->DrawImage(*strip, {0, 0, 4, 2}, {2, 1}, c.t);
        Pixels p = pic->Read();
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                EXPECT_TRUE(Near(p.At(x + 2, y + 1), c.expected[y][x])) << x << "," << y;
            }
        }
        EXPECT_TRUE(Near(p.At(1, 1), green));
        EXPECT_TRUE(Near(p.At(6, 2), green));
    }
}

TEST_F(Win32Resources, BitmapFileReadsLikeTheResource) {
    auto dib = LoadResourceData(kBitmapResourceType, 5120);
    ASSERT_TRUE(dib);
    // A BMP file: the resource's DIB behind a 14-byte file header.
    Bytes file = Cat({{'B', 'M'}, Le32(uint32_t(14 + dib->size())), Le32(0), Le32(14 + 40), *dib});
    std::string path = platform::TempDirectory() + "kob-strip-test.bmp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    auto image = LoadImageFile(std::u16string(path.begin(), path.end()));
    std::remove(path.c_str());
    ASSERT_TRUE(image);
    EXPECT_TRUE(Near(image->Pixel(1, 0), Rgb(255, 0, 0)));
    EXPECT_TRUE(Near(image->Pixel(3, 0), Rgb(0, 0, 255)));
    EXPECT_TRUE(Near(image->Pixel(0, 1), Rgb(255, 255, 255)));
    EXPECT_FALSE(LoadImageFile(u"no-such-picture.bmp"));
}

TEST(Win32Gfx, BufferKeepsTheCoordinatesOfItsArea) {
    auto pic = CreatePicture(40, 40);
    ASSERT_TRUE(pic);
    pic->FillRect({0, 0, 40, 40}, Rgb(255, 255, 255));
    auto buffer = pic->CreateBuffer({10, 10, 30, 30});
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->ClipBox().left, 10);
    buffer->FillRect({10, 10, 30, 30}, Rgb(0, 0, 255));
    buffer->FillRect({20, 20, 24, 24}, Rgb(255, 0, 0));
    buffer->Text({12, 12}, u"W", FontSpec{}, 0);
    EXPECT_GT(buffer->TextExtent(u"WW", FontSpec{}).cx, buffer->TextExtent(u"W", FontSpec{}).cx);
    pic->CopyBuffer(*buffer);
    Pixels p = pic->Read();
    EXPECT_TRUE(Near(p.At(9, 9), Rgb(255, 255, 255)));
    EXPECT_TRUE(Near(p.At(29, 11), Rgb(0, 0, 255)));
    EXPECT_TRUE(Near(p.At(21, 21), Rgb(255, 0, 0)));
    EXPECT_TRUE(Near(p.At(30, 30), Rgb(255, 255, 255)));
}

TEST(Win32Gfx, PngFileOrNothing) {
    Pixels p{3, 2, std::vector<Color>(6, Rgb(1, 2, 3))};
    std::string path = platform::TempDirectory() + "kob-png-test.png";
    std::u16string wpath(path.begin(), path.end());
    ASSERT_TRUE(WritePng(p, wpath));
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    std::remove(path.c_str());
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 8),
              (std::vector<unsigned char>{0x89, 'P', 'N', 'G', 13, 10, 26, 10}));
    EXPECT_EQ(bytes[19], 3); // IHDR width
    EXPECT_EQ(bytes[23], 2); // IHDR height

    std::u16string missing = wpath.substr(0, wpath.size() - 4) + u"-missing\\x.png";
    EXPECT_FALSE(WritePng(p, missing));
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>((missing + u".part").c_str())),
              INVALID_FILE_ATTRIBUTES);
    p.data.pop_back();
    EXPECT_FALSE(WritePng(p, wpath));
}

} // namespace
