// Windows without a screen. FakeWindow keeps what it is told, records the
// commands it gets on a simulated clock and hands them on to its handler at
// once; FakeWindows makes one for every instrument window, FakeVI is a window
// of controls with fake strips. Recorder notes what reaches a real window.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "vi/basevi.h"
#include "vi/controls/image_cache.h"
#include "vi/controls/press.h"

// The simulated clock: one millisecond passes each time the pointer is read.
inline uint32_t g_simNow = 0;

struct FakeImage : platform::Image {
    platform::Size size;
    explicit FakeImage(platform::Size s) : size(s) {}
    platform::Size GetSize() const override { return size; }
    platform::Color Pixel(int32_t, int32_t) const override { return 0x0000FF; }
};

inline int g_nLoads = 0;
// Bitmap 9999 is missing; the gauge face is 100 x 60; others 5760 x 24.
inline std::shared_ptr<platform::Image> FakeLoader(uint16_t id) {
    if (id == 9999)
        return nullptr;
    ++g_nLoads;
    return std::make_shared<FakeImage>(id == 5270 ? platform::Size{100, 60}
                                                  : platform::Size{5760, 24});
}

struct FakeGfx : platform::Gfx {
    // Strip image indexes drawn (source left / source width), polygons, fills.
    std::shared_ptr<std::vector<int32_t>> images = std::make_shared<std::vector<int32_t>>();
    std::shared_ptr<std::vector<std::vector<platform::Point>>> polygons =
        std::make_shared<std::vector<std::vector<platform::Point>>>();
    std::shared_ptr<std::vector<platform::Rect>> fills =
        std::make_shared<std::vector<platform::Rect>>();
    std::shared_ptr<int> texts = std::make_shared<int>(0);

    platform::Rect ClipBox() const override { return {0, 0, 1000, 1000}; }
    void FillRect(const platform::Rect& r, platform::Color) override { fills->push_back(r); }
    void FrameRect(const platform::Rect&, platform::Color, int32_t) override {}
    void Line(platform::Point, platform::Point, platform::Color, int32_t) override {}
    void Polygon(const platform::Point* p, size_t n, platform::Color) override {
        polygons->emplace_back(p, p + n);
    }
    void Ellipse(const platform::Rect&, platform::Color) override {}
    void DrawImage(const platform::Image&, const platform::Rect& src, platform::Point,
                   platform::Transparency) override {
        images->push_back(src.left / src.Width());
    }
    platform::Size TextExtent(const std::u16string& t, const platform::FontSpec&) override {
        return {static_cast<int32_t>(t.size()) * 6, 11};
    }
    void Text(platform::Point, const std::u16string&, const platform::FontSpec&,
              platform::Color) override {
        ++*texts;
    }
    std::unique_ptr<platform::Gfx> CreateBuffer(const platform::Rect&) override {
        return std::make_unique<FakeGfx>(*this);
    }
    void CopyBuffer(platform::Gfx&) override {}
};

// The pointer stays at `pointer` until leaveAt, then moves far away; the
// left button is down until releaseAt.
struct FakeWindow : platform::Window {
    // Frame and caption of the fake desktop; the screen is 1024 x 768.
    static constexpr int32_t kFrame = 3, kCaption = 19;

    explicit FakeWindow(platform::WindowHandler* h = nullptr, Window* parent = nullptr)
        : m_pHandler(h), m_pParent(parent) {}
    bool IsAlive() const override { return m_bAlive; }
    void Destroy() override {
        if (m_bAlive.exchange(false) && m_pHandler) {
            m_pHandler->OnDestroy();
            m_pHandler->OnPostDestroy();
        }
    }
    void Close() override { Destroy(); }
    void SetTitle(const std::u16string& title) override { m_title = title; }
    std::u16string Title() const override { return m_title; }
    void SetClientSize(int32_t w, int32_t h) override {
        m_client = {w, h};
        m_outer.right = m_outer.left + w + 2 * kFrame;
        m_outer.bottom = m_outer.top + h + 2 * kFrame + kCaption;
    }
    platform::Size ClientSize() const override { return m_client; }
    platform::Rect OuterRect() const override { return m_outer; }
    void Move(int32_t x, int32_t y) override {
        m_outer = m_outer.Offset(x - m_outer.left, y - m_outer.top);
    }
    void CenterOnParent() override {
        const platform::Rect p =
            m_pParent ? m_pParent->OuterRect() : platform::Rect{0, 0, 1024, 768};
        Move(p.left + (p.Width() - m_outer.Width()) / 2,
             p.top + (p.Height() - m_outer.Height()) / 2);
    }
    void Show(platform::ShowMode mode) override { m_bVisible = mode != platform::ShowMode::Hide; }
    bool IsVisible() const override { return m_bVisible; }
    void BringToTop() override { ++raised; }
    void Invalidate(const platform::Rect*, bool) override {}
    void UpdateNow() override {}
    std::unique_ptr<platform::Gfx> ClientGfx() override { return std::make_unique<FakeGfx>(); }
    void SetCapture(bool on) override { captured = on; }
    platform::Point CursorPos() const override {
        ++g_simNow;
        return g_simNow < leaveAt ? pointer : platform::Point{-100, -100};
    }
    bool LeftButtonDown() const override { return g_simNow < releaseAt; }
    void SetCursor(platform::CursorShape) override {}
    void PostCommand(uint32_t id) override { Command(posted, {id, g_simNow}); }
    void SendCommand(uint32_t id) override { Command(sent, {id, g_simNow}); }
    bool SendNotify(uintptr_t, intptr_t, uint32_t) override { return m_bAlive && m_pHandler; }
    platform::Pixels Snapshot() override { return {}; }
    void InjectClick(platform::Point p, uint32_t) override {
        if (m_pHandler) {
            m_pHandler->OnLButtonDown(p);
        }
    }

    platform::Point pointer{5, 5};
    uint32_t leaveAt = UINT32_MAX;
    uint32_t releaseAt = 0;
    bool captured = false;
    int raised = 0;
    std::vector<std::pair<uint32_t, uint32_t>> posted, sent; // id, simulated time

private:
    void Command(std::vector<std::pair<uint32_t, uint32_t>>& list,
                 std::pair<uint32_t, uint32_t> c) {
        list.push_back(c);
        if (m_pHandler) {
            m_pHandler->OnCommand(c.first);
        }
    }
    platform::WindowHandler* m_pHandler;
    Window* m_pParent;
    std::atomic<bool> m_bAlive{true};
    std::u16string m_title;
    platform::Size m_client;
    platform::Rect m_outer{10, 10, 100, 100};
    bool m_bVisible = false;
};

// While it lives, instrument windows get fake platform windows.
struct FakeWindows {
    FakeWindows() {
        g_pfnMakeViWindow = [](platform::WindowHandler& h, platform::WindowStyle,
                               platform::Window* parent) -> std::unique_ptr<platform::Window> {
            return std::make_unique<FakeWindow>(&h, parent);
        };
    }
    ~FakeWindows() { g_pfnMakeViWindow = m_prev; }
    ViWindowMaker m_prev = g_pfnMakeViWindow;
};

// A window of controls with fake strips and the simulated clock for its lifetime.
struct FakeVI : CBaseVI {
    FakeWindow* wnd;
    CImageCache::Loader oldLoader = g_ImageCache.SetLoader(FakeLoader);
    TickSource oldTicks = SetTickSource([] { return g_simNow; });
    FakeVI() : wnd(new FakeWindow) { m_pWnd.reset(wnd); }
    ~FakeVI() override {
        g_ImageCache.SetLoader(oldLoader);
        SetTickSource(oldTicks);
    }
};

// A window handler that notes what reaches it, and on which thread.
struct Recorder : platform::WindowHandler {
    std::thread::id thread = std::this_thread::get_id();
    std::vector<std::string> events;
    platform::Rect lastClip;
    std::function<void(platform::Point)> onClick;
    std::function<void(uint32_t)> onCommand;

    void Note(const std::string& e) {
        events.push_back(std::this_thread::get_id() == thread ? e : e + " off-thread");
    }
    void OnPaint(platform::Gfx& dc) override {
        lastClip = dc.ClipBox();
        dc.FillRect(lastClip, platform::Rgb(0, 128, 255));
        Note("paint");
    }
    void OnLButtonDown(platform::Point p) override {
        Note("click " + std::to_string(p.x) + "," + std::to_string(p.y));
        if (onClick) {
            onClick(p);
        }
    }
    bool OnSetCursor(platform::Point) override { return false; }
    bool OnCommand(uint32_t id) override {
        Note("cmd " + std::to_string(id));
        if (onCommand) {
            onCommand(id);
        }
        return true;
    }
    void OnCommNotify(uintptr_t code, intptr_t param) override {
        Note("notify " + std::to_string(code) + "," + std::to_string(param));
    }
    void OnDestroy() override { Note("destroy"); }
    bool Saw(const std::string& e) const {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

// A press-tracking loop as the pressable controls run it: pumps while the
// button is held; how many passes saw it down, and where the pointer was.
struct PressLoop {
    int downPasses = 0;
    bool released = false;
    platform::Point pointer;

    void Run(platform::Window& w) {
        for (int pass = 0; pass < 5000 && platform::PumpMessages(); ++pass) {
            pointer = w.CursorPos();
            if (!w.LeftButtonDown()) {
                released = true;
                return;
            }
            ++downPasses;
            platform::SleepMs(1);
        }
    }
};
