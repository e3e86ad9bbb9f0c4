// The Windows backends of the instrument windows on a virtual display: real
// windows and their messages, GDI drawing read back from pictures, PNG files,
// and a resource module (KobPanels.dll of the tests, beside this program).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>

#include "platform/gfx/gfx.h"
#include "platform/resource/resource.h"
#include "platform/window/window.h"
#include "support/bytes.h"
#include "support/pictures.h"
#include "support/temp_profile.h"

using namespace platform;

namespace {

// A window and its handler, which records what reaches it and on which thread.
struct Opened : WindowHandler {
    DWORD thread = GetCurrentThreadId();
    bool offThread = false, released = false;
    std::vector<uint32_t> commands;
    std::vector<std::pair<uintptr_t, intptr_t>> notes;
    std::vector<std::pair<int, int>> presses;
    std::pair<int, int> heldAt{-1, -1};
    std::unique_ptr<Window> window;
    HWND hwnd = nullptr;

    explicit Opened(WindowStyle style = WindowStyle::Fixed)
        : window(Window::Create(*this, style, nullptr)) {
        if (window) {
            window->SetTitle(u"panel under test");
            hwnd = FindWindowW(L"KobInstrumentWindow", L"panel under test");
        }
    }
    void OnPaint(Gfx& dc) override { dc.FillRect({0, 0, 4000, 4000}, Rgb(0, 0, 200)); }
    void OnLButtonDown(Point p) override {
        presses.emplace_back(p.x, p.y);
        // A control tracking its press: pump until the button goes up.
        while (PumpMessages() && window->LeftButtonDown()) {
            heldAt = {window->CursorPos().x, window->CursorPos().y};
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

void PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        PumpMessages();
        Sleep(5);
    }
}

TEST(Win32Window, StylesExactClientAreaAndSnapshot) {
    const std::pair<WindowStyle, LONG> cases[] = {
        {WindowStyle::Fixed, 0x02CA0000},
        {WindowStyle::Sizeable, 0x02CA0000 | WS_THICKFRAME | WS_MAXIMIZEBOX}};
    for (auto [style, bits] : cases) {
        Opened w(style);
        ASSERT_TRUE(w.hwnd);
        EXPECT_EQ(GetWindowLongW(w.hwnd, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), bits);
        EXPECT_EQ(GetWindowLongW(w.hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        EXPECT_FALSE(w.window->IsVisible());
        w.window->SetClientSize(300, 200);
        EXPECT_EQ(std::pair(w.window->ClientSize().cx, w.window->ClientSize().cy),
                  std::pair(300, 200));
        Pixels p = w.window->Snapshot(); // the client area as painted
        ASSERT_EQ(std::pair(p.width, p.height), std::pair(300, 200));
        EXPECT_EQ(Share(p, {0, 0, 300, 200}, Rgb(0, 0, 200)), 1.0);
        EXPECT_EQ(w.window->OuterRect().left, 10);
        EXPECT_GT(w.window->OuterRect().Width(), 300);
        EXPECT_EQ(w.window->Title(), u"panel under test");
        // Minimising hides the panel.
        w.window->Show(ShowMode::ShowNormal);
        SendMessageW(w.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_FALSE(w.window->IsVisible());
        EXPECT_FALSE(IsIconic(w.hwnd));
    }
}

TEST(Win32Window, CommandsNotificationsAndClicksArriveOnTheWindowThread) {
    Opened w;
    ASSERT_TRUE(w.window);
    auto sendFromAnotherThread = [&](uintptr_t code, intptr_t param, uint32_t ms) {
        return std::async(std::launch::async,
                          [=, &w] { return w.window->SendNotify(code, param, ms); });
    };
    w.window->PostCommand(10011);
    auto sent = sendFromAnotherThread(5, -3, 5000);
    PumpUntil([&] { return w.notes.size() == 1 && w.commands.size() == 1; });
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(w.commands, std::vector<uint32_t>{10011});
    EXPECT_EQ(w.notes, (std::vector<std::pair<uintptr_t, intptr_t>>{{5, -3}}));
    EXPECT_FALSE(w.offThread);
    // This thread waits for the sender and pumps nothing: the send gives up.
    EXPECT_FALSE(sendFromAnotherThread(6, 0, 200).get());

    // An injected click is held where it went down, then released.
    w.window->InjectClick({30, 40}, 60);
    PumpUntil([&] { return w.released; });
    EXPECT_EQ(w.presses, (std::vector<std::pair<int, int>>{{30, 40}}));
    EXPECT_EQ(w.heldAt, std::pair(30, 40));
    EXPECT_TRUE(w.released);

    w.window->Destroy();
    EXPECT_FALSE(w.window->IsAlive());
    EXPECT_FALSE(sendFromAnotherThread(7, 0, 200).get());
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

TEST(Win32Resources, PanelBytesAndStringsInTheChosenLanguage) {
    ASSERT_TRUE(UseDefaultResourceModule());
    EXPECT_EQ(LoadResourceData(kPanelResourceType, 11), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(LoadResourceData(kPanelResourceType, 12));
    EXPECT_FALSE(SetResourceModule(u"no-such-module.dll"));
    EXPECT_EQ(LoadResourceData(kPanelResourceType, 11)->size(), 4u); // the old module stays

    using Case = std::tuple<const char*, uint32_t, std::u16string>;
    TempProfile profile;
    for (const auto& [lang, id, text] :
         {Case{"1031", 5019, u"Ressource belegt:"},
          Case{"2055", 5019, u"Ressource belegt:"}, // Swiss German reads German
          Case{"1031", 5020, u"the digital port"},  // missing in German: English
          Case{"1033", 5019, u"Resource in use:"}, Case{"1036", 5019, u"Resource in use:"},
          Case{"1033", 5021, u""}}) {
        profile.Set("Settings", "LangID", lang);
        EXPECT_EQ(LoadResourceString(id), text) << lang << " " << id;
    }
}

// The strip drawn as it is and with magenta see-through, and read back from a
// BMP file: the resource's DIB behind a 14-byte file header.
TEST(Win32Resources, StripDrawnWithMagentaTransparencyAndReadFromAFile) {
    ASSERT_TRUE(UseDefaultResourceModule());
    auto strip = LoadBitmapResource(5120);
    auto dib = LoadResourceData(kBitmapResourceType, 5120);
    ASSERT_TRUE(strip && dib);
    EXPECT_EQ(std::pair(strip->GetSize().cx, strip->GetSize().cy), std::pair(4, 2));
    const Color green = Rgb(0, 160, 0), r = Rgb(255, 0, 0), b = Rgb(0, 0, 255),
                wh = Rgb(255, 255, 255), k = 0;
    // Magenta shows as it is, or lets the green beneath show through.
    for (auto [t, m] : {std::pair{Transparency::None, kMagenta}, {Transparency::Magenta, green}}) {
        const Color expected[2][4] = {{m, r, m, b}, {wh, m, k, m}};
        auto pic = CreatePicture(8, 4);
        ASSERT_TRUE(pic);
        pic->FillRect({0, 0, 8, 4}, green);
        pic->DrawImage(*strip, {0, 0, 4, 2}, {2, 1}, t);
        Pixels p = pic->Read();
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                EXPECT_TRUE(Near(p.At(x + 2, y + 1), expected[y][x])) << x << "," << y;
            }
        }
        EXPECT_EQ(Share(p, {0, 0, 2, 4}, green) + Share(p, {6, 0, 8, 4}, green), 2.0);
    }

    Bytes file = Cat({{'B', 'M'}, Le32(uint32_t(14 + dib->size())), Le32(0), Le32(14 + 40), *dib});
    std::string path = platform::TempDirectory() + "kob-strip-test.bmp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    auto image = LoadImageFile(std::u16string(path.begin(), path.end()));
    std::remove(path.c_str());
    ASSERT_TRUE(image);
    for (auto [x, y, colour] : {std::tuple{1, 0, r}, {3, 0, b}, {0, 1, wh}}) {
        EXPECT_TRUE(Near(image->Pixel(x, y), colour)) << x << "," << y;
    }
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
    const Color white = Rgb(255, 255, 255), blue = Rgb(0, 0, 255), red = Rgb(255, 0, 0);
    for (auto [x, y, c] :
         {std::tuple{9, 9, white}, {29, 11, blue}, {21, 21, red}, {30, 30, white}}) {
        EXPECT_TRUE(Near(p.At(x, y), c)) << x << "," << y;
    }
}

TEST(Win32Gfx, PngFileOrNothing) {
    Pixels p{3, 2, std::vector<Color>(6, Rgb(1, 2, 3))};
    std::string path = platform::TempDirectory() + "kob-png-test.png";
    std::u16string wpath(path.begin(), path.end());
    ASSERT_TRUE(WritePng(p, wpath));
    Bytes bytes(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
    std::remove(path.c_str());
    ASSERT_GT(bytes.size(), 24u);
    // The signature, then the header chunk with width and height.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 24), Cat({{0x89, 'P', 'N', 'G', 13, 10, 26, 10},
                                                             {0, 0, 0, 13, 'I', 'H', 'D', 'R'},
                                                             {0, 0, 0, 3, 0, 0, 0, 2}}));

    std::u16string missing = wpath.substr(0, wpath.size() - 4) + u"-missing\\x.png";
    EXPECT_FALSE(WritePng(p, missing));
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>((missing + u".part").c_str())),
              INVALID_FILE_ATTRIBUTES);
    p.data.pop_back();
    EXPECT_FALSE(WritePng(p, wpath));
}

} // namespace
