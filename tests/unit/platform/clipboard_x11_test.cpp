// A picture copied on a thread with X11 windows (run under xvfb-run), as
// another client on the display sees it: the targets offered, the PNG (in
// pieces when large), refusals, and the copy given up to a new owner.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <future>
#include <optional>
#include <random>
#include <string>

#include "platform/export/export.h"
#include "platform/gfx/cairo_gfx.h"
#include "platform/window/window_posix.h"
#include "support/pump.h"

#include <X11/Xlib.h>

using namespace platform;

namespace {

// A reply to one request: its type's name and its bytes (pieces joined).
struct Reply {
    std::string type;
    std::vector<unsigned char> bytes;
};

bool WaitFor(Display* d, ::Window w, int type, XEvent& e) {
    for (int i = 0; i < 5000; ++i, SleepMs(1)) {
        if (XCheckTypedWindowEvent(d, w, type, &e)) {
            return true;
        }
    }
    return false;
}

Reply Take(Display* d, ::Window w, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* p = nullptr;
    XGetWindowProperty(d, w, property, 0, LONG_MAX / 4, 1, AnyPropertyType, &type, &format, &n,
                       &after, &p);
    Reply r;
    char* name = type ? XGetAtomName(d, type) : nullptr;
    r.type = name ? name : "";
    if (p) {
        r.bytes.assign(p, p + n * (format == 32 ? sizeof(long) : static_cast<size_t>(format / 8)));
        XFree(p);
    }
    if (name) {
        XFree(name);
    }
    return r;
}

// As a requestor does it; nullopt when the owner refuses or does not answer.
std::optional<Reply> Convert(Display* d, ::Window w, const char* target) {
    const Atom property = XInternAtom(d, "KOB_TEST", 0);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", 0), XInternAtom(d, target, 0), property, w,
                      CurrentTime);
    XEvent e;
    if (!WaitFor(d, w, SelectionNotify, e) || e.xselection.property == 0) {
        return std::nullopt;
    }
    XEvent stale; // the property's changes so far
    while (XCheckTypedWindowEvent(d, w, PropertyNotify, &stale)) {
    }
    Reply r = Take(d, w, property);
    if (r.type != "INCR") {
        return r;
    }
    Reply all; // bounded, should the pieces never end
    while (all.bytes.size() < (64u << 20) && WaitFor(d, w, PropertyNotify, e)) {
        if (e.xproperty.state == PropertyNewValue) {
            Reply piece = Take(d, w, property);
            if (piece.bytes.empty()) {
                return all;
            }
            all.type = piece.type;
            all.bytes.insert(all.bytes.end(), piece.bytes.begin(), piece.bytes.end());
        }
    }
    return std::nullopt;
}

Pixels Picture(int32_t w, int32_t h, bool noise) {
    Pixels p{w, h, std::vector<Color>(static_cast<size_t>(w * h))};
    std::mt19937 random(7);
    for (size_t i = 0; i < p.data.size(); ++i) {
        p.data[i] = noise ? random() & 0xFFFFFF : i % 7 < 3 ? Rgb(255, 255, 0) : Rgb(0, 0, 64);
    }
    return p;
}

} // namespace

TEST(X11Clipboard, AnotherClientReadsTheCopiedPicture) {
    UseOffscreenWindows(false);
    if (OffscreenWindows()) {
        GTEST_SKIP() << "no X display can be opened (run under xvfb-run)";
    }
    // The noise's PNG is larger than one request's piece.
    for (const Pixels& picture : {Picture(64, 48, false), Picture(400, 300, true)}) {
        ASSERT_TRUE(CopyToClipboard(picture));
        auto reader = std::async(std::launch::async, [] {
            Display* d = XOpenDisplay(nullptr);
            ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
            XSelectInput(d, w, PropertyChangeMask);
            std::vector<std::optional<Reply>> replies;
            for (const char* target : {"TARGETS", "image/png", "STRING"}) {
                replies.push_back(Convert(d, w, target));
            }
            std::vector<std::string> targets;
            if (replies[0] && replies[0]->type == "ATOM") {
                for (size_t i = 0; i < replies[0]->bytes.size(); i += sizeof(Atom)) {
                    char* name = XGetAtomName(d, *reinterpret_cast<Atom*>(&replies[0]->bytes[i]));
                    targets.push_back(name);
                    XFree(name);
                }
            }
            XCloseDisplay(d);
            return std::make_pair(targets, replies);
        });
        ASSERT_TRUE(PumpUntil(
            [&] { return reader.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        auto [targets, replies] = reader.get();
        EXPECT_EQ(targets, (std::vector<std::string>{"TARGETS", "TIMESTAMP", "image/png"}));
        ASSERT_TRUE(replies[1]);
        EXPECT_EQ(replies[1]->type, "image/png");
        cairo_surface_t* s = DecodePng(replies[1]->bytes.data(), replies[1]->bytes.size());
        ASSERT_TRUE(s);
        EXPECT_TRUE(ReadSurface(s).data == picture.data);
        cairo_surface_destroy(s);
        EXPECT_FALSE(replies[2]) << "text is not offered";
    }
}

TEST(X11Clipboard, TakenByAnotherClientTheCopyIsDropped) {
    UseOffscreenWindows(true);
    EXPECT_FALSE(CopyToClipboard(Picture(8, 8, false))) << "off-screen windows have no clipboard";
    UseOffscreenWindows(false);
    if (OffscreenWindows()) {
        GTEST_SKIP() << "no X display can be opened (run under xvfb-run)";
    }
    ASSERT_TRUE(CopyToClipboard(Picture(8, 8, false)));
    EXPECT_TRUE(X11ClipboardHeld());
    Display* d = XOpenDisplay(nullptr);
    ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", 0), w, CurrentTime);
    XSync(d, 0);
    EXPECT_TRUE(PumpUntil([] { return !X11ClipboardHeld(); }));
    XCloseDisplay(d);
}
