// Redrawing the digital I/O window (type 11, off-screen): a full redraw of
// its client area and the refresh after one input lamp changed, beside a
// blit of the same client area, the least any redraw costs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "device/kobface.h"
#include "platform/resource/resource.h"
#include "platform/window/window.h"
#include "support/ratio_report.h"
#include "vi/basevi.h"
#include "vi/digio/digvi.h"

namespace {

// The window of type 11 on the models alone (no line, no worker).
struct DigWindow {
    DigWindow() {
        platform::UseOffscreenWindows(true);
        if (!platform::UseDefaultResourceModule()) {
            return;
        }
        face.CreateAllDevices();
        window = dynamic_cast<CDigVI*>(face.LoadInstrumentWindow(11));
        if (window) {
            window->Init();
            window->Wnd()->UpdateNow();
        }
    }
    ~DigWindow() {
        if (window) {
            window->Wnd()->Destroy();
            window->Delete();
        }
    }
    platform::Rect Client() const {
        const platform::Size s = window->Wnd()->ClientSize();
        return {0, 0, s.cx, s.cy};
    }
    CKobface face;
    CDigVI* window = nullptr;
};

DigWindow& Window() {
    static DigWindow w;
    return w;
}

CDigVI* WindowOrSkip(benchmark::State& state) {
    if (!Window().window) {
        state.SkipWithError("no digital I/O window (panel set missing?)");
    }
    return Window().window;
}

void BM_FullRedraw(benchmark::State& state) {
    CDigVI* w = WindowOrSkip(state);
    if (!w) {
        return;
    }
    for (auto _ : state) {
        w->Wnd()->Invalidate(nullptr, true);
        w->Wnd()->UpdateNow();
    }
}

void BM_OneLampRefresh(benchmark::State& state) {
    CDigVI* w = WindowOrSkip(state);
    if (!w) {
        return;
    }
    for (auto _ : state) {
        // What the worker's notification does after input 3 changed.
        w->m_wInputs = static_cast<uint16_t>(w->m_wInputs ^ 0x0008);
        w->Update(kNotifyChangesSent, 0);
    }
}

void BM_ClientAreaBlit(benchmark::State& state) {
    CDigVI* w = WindowOrSkip(state);
    if (!w) {
        return;
    }
    std::unique_ptr<platform::Gfx> dc = w->Wnd()->ClientGfx();
    std::unique_ptr<platform::Gfx> buffer = dc->CreateBuffer(Window().Client());
    for (auto _ : state) {
        dc->CopyBuffer(*buffer);
    }
}

} // namespace

BENCHMARK(BM_ClientAreaBlit);
BENCHMARK(BM_FullRedraw);
BENCHMARK(BM_OneLampRefresh);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (Window().window) {
        const platform::Rect c = Window().Client();
        std::printf("digital I/O window, client area %d x %d:\n", c.Width(), c.Height());
    }
    reporter.PrintRatios(
        {{"BM_FullRedraw", "BM_ClientAreaBlit"}, {"BM_OneLampRefresh", "BM_ClientAreaBlit"}},
        "redraw against one blit");
    benchmark::Shutdown();
    return 0;
}
