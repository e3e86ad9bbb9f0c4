// A window and a drawing context that record what the controls do with
// them, on a simulated clock, and strips of known sizes.
#pragma once

#include <memory>
#include <vector>

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
              platform::Color) override {}
    std::unique_ptr<platform::Gfx> CreateBuffer(const platform::Rect&) override {
        return std::make_unique<FakeGfx>(*this);
    }
    void CopyBuffer(platform::Gfx&) override {}
};

// The pointer stays at `pointer` until leaveAt, then moves far away; the
// left button is down until releaseAt.
struct FakeWindow : platform::Window {
    platform::Point pointer{5, 5};
    uint32_t leaveAt = UINT32_MAX;
    uint32_t releaseAt = 0;
    bool captured = false;
    std::vector<std::pair<uint32_t, uint32_t>> posted; // id, simulated time
    std::vector<uint32_t> sent;

    bool IsAlive() const override { return true; }
    void Destroy() override {}
    void Close() override {}
    void SetTitle(const std::u16string&) override {}
    std::u16string Title() const override { return {}; }
    void SetClientSize(int32_t, int32_t) override {}
    platform::Size ClientSize() const override { return {}; }
    platform::Rect OuterRect() const override { return {}; }
    void Move(int32_t, int32_t) override {}
    void CenterOnParent() override {}
    void Show(platform::ShowMode) override {}
    bool IsVisible() const override { return true; }
    void BringToTop() override {}
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
    void PostCommand(uint32_t id) override { posted.emplace_back(id, g_simNow); }
    void SendCommand(uint32_t id) override { sent.push_back(id); }
    bool SendNotify(uintptr_t, intptr_t, uint32_t) override { return false; }
    platform::Pixels Snapshot() override { return {}; }
    void InjectClick(platform::Point, uint32_t) override {}
};

// A window with fake strips and the simulated clock for its lifetime.
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
