// Whatever a panel resource holds, loading it gives a window with the
// controls read so far or no window and one message; the window draws,
// answers hit tests and, once destroyed, gives back every resource it
// claimed.
//
// The input is the panel resource (type 301) of each window type below.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "device/kobface.h"
#include "fuzz/vi/offscreen.h"
#include "platform/gfx/gfx.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"

namespace {

// The digital I/O window and a plain one (a type no window class claims).
constexpr uint32_t kTypes[] = {11, 15};
// Drawing covers at most this much of a panel: enough for every control
// of a real one, and no picture of a damaged size.
constexpr int32_t kDrawnSide = 640;

const uint8_t* g_data = nullptr;
size_t g_size = 0;

bool NothingClaimed() {
    for (uint32_t w : g_adwInUse) {
        if (w != 0) {
            return false;
        }
    }
    return true;
}

void Exercise(CBaseVI& w) {
    w.Init();
    const platform::Size client = w.Wnd()->ClientSize();
    if (client.cx != static_cast<int32_t>(w.m_nClientWidth) ||
        client.cy != static_cast<int32_t>(w.m_nClientHeight)) {
        std::abort();
    }
    std::unique_ptr<platform::PictureGfx> picture =
        platform::CreatePicture(std::min(client.cx, kDrawnSide), std::min(client.cy, kDrawnSide));
    if (picture) {
        w.Draw(*picture);
    }
    for (const auto& h : w.m_Hotspots) {
        const platform::Rect& r = h->m_rcArea;
        const auto mid = [](int32_t a, int32_t b) {
            return static_cast<int32_t>((int64_t{a} + b) / 2);
        };
        (void)w.HotspotAt({mid(r.left, r.right), mid(r.top, r.bottom)});
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        (void)UseOffscreenPanels(); // without the panel set controls draw no bitmaps
        g_pfnLoadPanel = [](uint16_t) {
            return std::make_optional(std::vector<uint8_t>(g_data, g_data + g_size));
        };
        return true;
    }();
    (void)ready;
    g_data = data;
    g_size = size;
    CKobface kobface;
    kobface.CreateAllDevices(); // no line: the models only
    for (uint32_t type : kTypes) {
        if (CBaseVI* w = kobface.LoadInstrumentWindow(type)) {
            Exercise(*w);
            w->Wnd()->Destroy();
            w->Delete();
        }
        if (!NothingClaimed()) {
            std::abort(); // a closed window left its resources taken
        }
    }
    return 0;
}
