// The CLIPBOARD selection of an X display (ICCCM): a hidden window owns it
// and answers each request with the picture as "image/png", its list of
// targets or the time it was taken. A picture larger than the server lets
// one request carry goes in pieces (INCR): the next piece each time the
// requestor deletes the last one, a piece of length 0 at the end.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/thread/thread.h"
#include "platform/window/window_posix.h"

// After our own headers: Xlib defines None, Bool and the like as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform {

namespace {

// A requestor that stops taking pieces for this long is given up.
constexpr uint32_t kIdleTransferMs = 10000;
// Pieces stay far below what a request may carry (in 4-byte units).
constexpr long kMaxPieceUnits = 65536;

using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

struct Transfer {
    ::Window requestor;
    Atom property;
    Bytes data;
    size_t sent;
    uint32_t lastMs;
};

// Whether server time a lies before b (the clock wraps after 49 days).
bool Before(Time a, Time b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)) < 0;
}

} // namespace

struct X11Clipboard::State {
    explicit State(Display* d)
        : dpy(d), clipboard(XInternAtom(d, "CLIPBOARD", 0)), targets(XInternAtom(d, "TARGETS", 0)),
          timestamp(XInternAtom(d, "TIMESTAMP", 0)), png(XInternAtom(d, "image/png", 0)),
          incr(XInternAtom(d, "INCR", 0)), clock(XInternAtom(d, "KOB_CLIPBOARD_CLOCK", 0)) {}

    // What one ChangeProperty request may carry, less its header.
    size_t PieceSize() const {
        long units = XExtendedMaxRequestSize(dpy);
        if (units <= 0) {
            units = XMaxRequestSize(dpy);
        }
        return static_cast<size_t>(std::min(units, kMaxPieceUnits)) * 4 - 100;
    }

    // The server's time now: that of a zero-length change of a property of
    // the owner window, whose notification a round trip brings in.
    Time ServerTime() {
        unsigned char nothing = 0;
        XChangeProperty(dpy, owner, clock, XA_INTEGER, 8, PropModeAppend, &nothing, 0);
        XSync(dpy, 0);
        Time t = CurrentTime;
        XEvent e;
        while (XCheckTypedWindowEvent(dpy, owner, PropertyNotify, &e)) {
            t = e.xproperty.time;
        }
        return t;
    }

    bool Serve(const XSelectionRequestEvent& r) {
        if (!data || r.selection != clipboard ||
            (r.time != CurrentTime && since != CurrentTime && Before(r.time, since))) {
            return false;
        }
        // Clients older than ICCCM name no property: the target stands for it.
        const Atom property = r.property != 0 ? r.property : r.target;
        if (r.target == targets) {
            Atom list[] = {targets, timestamp, png};
            XChangeProperty(dpy, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(list), 3);
        } else if (r.target == timestamp) {
            long t = static_cast<long>(since);
            XChangeProperty(dpy, r.requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&t), 1);
        } else if (r.target != png) {
            return false;
        } else if (data->size() <= PieceSize()) {
            XChangeProperty(dpy, r.requestor, property, png, 8, PropModeReplace, data->data(),
                            static_cast<int>(data->size()));
        } else {
            Drop(r.requestor, property);
            // Watched before the requestor can see the announcement.
            XSelectInput(dpy, r.requestor, PropertyChangeMask | StructureNotifyMask);
            long size = static_cast<long>(data->size());
            XChangeProperty(dpy, r.requestor, property, incr, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&size), 1);
            transfers.push_back({r.requestor, property, data, 0, TickCount()});
        }
        return true;
    }

    void Answer(const XSelectionRequestEvent& r, bool served) {
        XEvent e{};
        XSelectionEvent& n = e.xselection;
        n.type = SelectionNotify;
        n.display = dpy;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.property = served ? (r.property != 0 ? r.property : r.target) : 0;
        n.time = r.time;
        XSendEvent(dpy, r.requestor, 0, NoEventMask, &e);
        XFlush(dpy);
    }

    // The requestor deleted the last piece: the next one, or the end.
    void Next(Transfer& t) {
        const size_t n = std::min(PieceSize(), t.data->size() - t.sent);
        XChangeProperty(dpy, t.requestor, t.property, png, 8, PropModeReplace,
                        t.data->data() + t.sent, static_cast<int>(n));
        XFlush(dpy);
        t.sent += n;
        t.lastMs = TickCount();
        if (n == 0) {
            Drop(t.requestor, t.property);
        }
    }

    // Ends the transfers to requestor (to property, or all of them when 0).
    void Drop(::Window requestor, Atom property) {
        std::erase_if(transfers, [&](const Transfer& t) {
            return t.requestor == requestor && (property == 0 || t.property == property);
        });
        if (!Watched(requestor)) {
            XSelectInput(dpy, requestor, NoEventMask);
        }
    }

    bool Watched(::Window w) const {
        return std::any_of(transfers.begin(), transfers.end(),
                           [w](const Transfer& t) { return t.requestor == w; });
    }

    void DropIdle() {
        const uint32_t now = TickCount();
        std::vector<::Window> idle;
        for (const Transfer& t : transfers) {
            if (now - t.lastMs > kIdleTransferMs) {
                idle.push_back(t.requestor);
            }
        }
        for (::Window w : idle) {
            Drop(w, 0);
        }
    }

    Display* dpy;
    const Atom clipboard, targets, timestamp, png, incr, clock;
    ::Window owner = 0;
    Time since = CurrentTime;
    Bytes data;
    std::vector<Transfer> transfers;
};

X11Clipboard::X11Clipboard(_XDisplay* dpy) : s_(std::make_unique<State>(dpy)) {}

X11Clipboard::~X11Clipboard() {
    if (s_->owner) {
        XDestroyWindow(s_->dpy, s_->owner);
    }
}

bool X11Clipboard::Offer(std::vector<uint8_t> png) {
    State& s = *s_;
    if (png.empty()) {
        return false;
    }
    if (!s.owner) {
        s.owner = XCreateSimpleWindow(s.dpy, DefaultRootWindow(s.dpy), -10, -10, 1, 1, 0, 0, 0);
        XSelectInput(s.dpy, s.owner, PropertyChangeMask);
    }
    const Time t = s.ServerTime();
    XSetSelectionOwner(s.dpy, s.clipboard, s.owner, t);
    if (XGetSelectionOwner(s.dpy, s.clipboard) != s.owner) {
        s.data.reset();
        return false;
    }
    s.since = t;
    s.data = std::make_shared<const std::vector<uint8_t>>(std::move(png));
    return true;
}

bool X11Clipboard::Holds() const {
    return s_->data != nullptr;
}

bool X11Clipboard::Handle(const XEvent& e) {
    State& s = *s_;
    s.DropIdle();
    if (!s.owner) {
        return false;
    }
    switch (e.type) {
    case SelectionRequest:
        if (e.xselectionrequest.owner != s.owner) {
            return false;
        }
        s.Answer(e.xselectionrequest, s.Serve(e.xselectionrequest));
        return true;
    case SelectionClear:
        if (e.xselectionclear.window != s.owner) {
            return false;
        }
        if (e.xselectionclear.selection == s.clipboard) {
            s.data.reset(); // transfers under way keep their own copy
        }
        return true;
    case PropertyNotify:
        if (e.xproperty.state == PropertyDelete) {
            auto it = std::find_if(s.transfers.begin(), s.transfers.end(), [&](const Transfer& t) {
                return t.requestor == e.xproperty.window && t.property == e.xproperty.atom;
            });
            if (it != s.transfers.end()) {
                s.Next(*it);
                return true;
            }
        }
        break;
    case DestroyNotify:
        if (s.Watched(e.xdestroywindow.window)) {
            s.Drop(e.xdestroywindow.window, 0);
            return true;
        }
        break;
    default:
        break;
    }
    return e.xany.window == s.owner || s.Watched(e.xany.window);
}

} // namespace platform
