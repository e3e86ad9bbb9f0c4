// A picture copied on a thread with X11 windows (run under xvfb-run), as
// another client on the display gets it, until that client takes the clipboard.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>

#include "platform/export/export.h"
#include "platform/gfx/cairo_gfx.h"
#include "platform/window/window_posix.h"
#include "support/pump.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

using namespace platform;

namespace {

using Bytes = std::vector<unsigned char>;

struct Requestor {
    Display* d = XOpenDisplay(nullptr);
    ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom property = XInternAtom(d, "KOB_TEST", 0);

    Requestor() { XSelectInput(d, w, PropertyChangeMask); }
    ~Requestor() { XCloseDisplay(d); }
    Atom Intern(const char* name) { return XInternAtom(d, name, 0); }

    bool Wait(int type, XEvent& e) {
        for (int i = 0; i < 5000; ++i, SleepMs(1))
            if (XCheckTypedWindowEvent(d, w, type, &e))
                return true;
        return false;
    }
    std::pair<Atom, Bytes> Take() {
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* p = nullptr;
        XGetWindowProperty(d, w, property, 0, 1L << 24, 1, AnyPropertyType, &type, &format, &n,
                           &after, &p);
        Bytes bytes(p, p + (p ? n * (format == 32 ? sizeof(long) : format / 8u) : 0));
        XFree(p);
        return {type, bytes};
    }
    // What the owner hands over (pieces joined); type None when it refuses.
    std::pair<Atom, Bytes> Convert(const char* target) {
        XConvertSelection(d, Intern("CLIPBOARD"), Intern(target), property, w, CurrentTime);
        XEvent e;
        if (!Wait(SelectionNotify, e) || e.xselection.property == 0)
            return {};
        while (XCheckTypedWindowEvent(d, w, PropertyNotify, &e)) { // the changes so far
        }
        auto reply = Take();
        if (reply.first != Intern("INCR"))
            return reply;
        std::pair<Atom, Bytes> all;
        while (all.second.size() < (1u << 26) && Wait(PropertyNotify, e)) { // ends if they do not
            if (e.xproperty.state != PropertyNewValue)
                continue;
            auto piece = Take();
            if (piece.second.empty())
                return all;
            all.first = piece.first;
            all.second.insert(all.second.end(), piece.second.begin(), piece.second.end());
        }
        return {};
    }
};

Pixels Picture(int32_t w, int32_t h) {
    std::mt19937 random(7);
    Pixels p{w, h, {}};
    while (p.data.size() < static_cast<size_t>(w * h))
        p.data.push_back(random() & 0xFFFFFF);
    return p;
}

} // namespace

TEST(X11Clipboard, ServedToAnotherClientUntilItTakesTheClipboard) {
    UseOffscreenWindows(true);
    EXPECT_FALSE(CopyToClipboard(Picture(8, 8))) << "off-screen windows have no clipboard";
    UseOffscreenWindows(false);
    if (OffscreenWindows())
        GTEST_SKIP() << "no X display can be opened (run under xvfb-run)";
    // Noise: the larger PNG goes in pieces.
    for (const Pixels& picture : {Picture(40, 30), Picture(400, 300)}) {
        ASSERT_TRUE(CopyToClipboard(picture));
        auto reader = std::async(std::launch::async, [&picture] {
            Requestor r;
            Atom offered[] = {r.Intern("TARGETS"), r.Intern("TIMESTAMP"), r.Intern("image/png")};
            auto* list = reinterpret_cast<unsigned char*>(offered);
            EXPECT_EQ(r.Convert("TARGETS"),
                      std::pair(Atom{XA_ATOM}, Bytes(list, list + sizeof offered)));
            EXPECT_EQ(r.Convert("STRING").first, Atom{0}) << "text is not offered";
            auto [type, png] = r.Convert("image/png");
            EXPECT_EQ(type, r.Intern("image/png"));
            cairo_surface_t* s = DecodePng(png.data(), png.size());
            ASSERT_TRUE(s);
            EXPECT_TRUE(ReadSurface(s).data == picture.data);
            cairo_surface_destroy(s);
        });
        ASSERT_TRUE(PumpUntil(
            [&] { return reader.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    }
    EXPECT_TRUE(X11ClipboardHeld());
    Requestor other;
    XSetSelectionOwner(other.d, other.Intern("CLIPBOARD"), other.w, CurrentTime);
    XSync(other.d, 0);
    EXPECT_TRUE(PumpUntil([] { return !X11ClipboardHeld(); }));
}
