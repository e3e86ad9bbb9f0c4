// Instrument windows without a screen: a platform window that keeps what it
// is told and calls its handler at once, made for every instrument window.
#pragma once

#include <atomic>
#include <memory>

#include "platform/window/window.h"
#include "vi/basevi.h"

class FakeWindow : public platform::Window {
public:
    // Frame and caption of the fake desktop; the screen is 1024 x 768.
    static constexpr int32_t kFrame = 3, kCaption = 19;

    FakeWindow(platform::WindowHandler& h, Window* parent) : m_handler(h), m_pParent(parent) {}
    bool IsAlive() const override { return m_bAlive; }
    void Destroy() override {
        if (m_bAlive.exchange(false)) {
            m_handler.OnDestroy();
            m_handler.OnPostDestroy();
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
    std::unique_ptr<platform::Gfx> ClientGfx() override { return nullptr; }
    void SetCapture(bool) override {}
    platform::Point CursorPos() const override { return {}; }
    bool LeftButtonDown() const override { return false; }
    void SetCursor(platform::CursorShape) override {}
    void PostCommand(uint32_t id) override { m_handler.OnCommand(id); }
    void SendCommand(uint32_t id) override { m_handler.OnCommand(id); }
    bool SendNotify(uintptr_t, intptr_t, uint32_t) override { return m_bAlive; }
    platform::Pixels Snapshot() override { return {}; }
    void InjectClick(platform::Point p, uint32_t) override { m_handler.OnLButtonDown(p); }

    int raised = 0;

private:
    platform::WindowHandler& m_handler;
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
            return std::make_unique<FakeWindow>(h, parent);
        };
    }
    ~FakeWindows() { g_pfnMakeViWindow = m_prev; }
    ViWindowMaker m_prev = g_pfnMakeViWindow;
};
