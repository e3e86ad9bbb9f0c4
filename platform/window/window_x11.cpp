// Windows on an X display: Xlib for the window and its input, cairo to show
// the client picture, XTest for injected clicks. One display connection per
// window thread, so each thread's loop sees only its own windows' events.
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "framework/wstr.h"
#include "platform/gfx/cairo_gfx.h"
#include "platform/resource/resource_files.h"
#include "platform/thread/thread.h"
#include "platform/window/window_posix.h"

// After our own headers: Xlib defines None, Bool and the like as macros.
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
// X.h names a query class so; ours is the cursor shape of window.h.
#undef CursorShape

namespace platform {

namespace {

class X11Window;

// A failed request (a window that went away meanwhile) is not fatal.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

class X11Display final : public EventSource {
public:
    explicit X11Display(Display* dpy)
        : protocols(XInternAtom(dpy, "WM_PROTOCOLS", 0)),
          deleteWindow(XInternAtom(dpy, "WM_DELETE_WINDOW", 0)),
          wmState(XInternAtom(dpy, "WM_STATE", 0)), netWmName(XInternAtom(dpy, "_NET_WM_NAME", 0)),
          utf8(XInternAtom(dpy, "UTF8_STRING", 0)), dpy_(dpy) {
        int ev, err, major, minor;
        xtest = XTestQueryExtension(dpy, &ev, &err, &major, &minor) != 0;
    }
    ~X11Display() override {
        clipboard_.reset();
        for (Cursor c : {arrow_, hand_}) {
            if (c) {
                XFreeCursor(dpy_, c);
            }
        }
        XCloseDisplay(dpy_);
    }
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    int Fd() const override { return ConnectionNumber(dpy_); }
    bool FlushAndCheck() override {
        XFlush(dpy_);
        return XPending(dpy_) > 0;
    }
    void Dispatch() override;

    Display* Dpy() const { return dpy_; }
    X11Clipboard& Clipboard() {
        if (!clipboard_) {
            clipboard_ = std::make_unique<X11Clipboard>(dpy_);
        }
        return *clipboard_;
    }
    bool HoldsClipboard() const { return clipboard_ && clipboard_->Holds(); }
    Cursor Arrow() {
        if (!arrow_) {
            arrow_ = XCreateFontCursor(dpy_, XC_left_ptr);
        }
        return arrow_;
    }
    // Cursor 5000 of the resource folder, else the hand of the cursor font.
    Cursor Hand() {
        if (!hand_) {
            hand_ = LoadResourceCursor();
        }
        if (!hand_) {
            hand_ = XCreateFontCursor(dpy_, XC_hand2);
        }
        return hand_;
    }

    std::map<::Window, X11Window*> windows;
    const Atom protocols, deleteWindow, wmState, netWmName, utf8;
    bool xtest = false;

private:
    Cursor LoadResourceCursor() {
        auto png = LoadResourceFile("cursor/5000.png");
        cairo_surface_t* s = png ? DecodePng(png->data(), png->size()) : nullptr;
        if (!s) {
            return 0;
        }
        int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        int hx = 0, hy = 0;
        if (auto spot = LoadResourceFile("cursor/5000.hotspot")) {
            std::istringstream in(std::string(spot->begin(), spot->end()));
            in >> hx >> hy;
        }
        XcursorImage* image = XcursorImageCreate(w, h);
        Cursor c = 0;
        if (image) {
            image->xhot = static_cast<XcursorDim>(hx >= 0 && hx < w ? hx : 0);
            image->yhot = static_cast<XcursorDim>(hy >= 0 && hy < h ? hy : 0);
            bool opaque = cairo_image_surface_get_format(s) == CAIRO_FORMAT_RGB24;
            for (int y = 0; y < h; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(
                    cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
                for (int x = 0; x < w; ++x) {
                    image->pixels[y * w + x] = opaque ? row[x] | 0xFF000000u : row[x];
                }
            }
            c = XcursorImageLoadCursor(dpy_, image);
            XcursorImageDestroy(image);
        }
        cairo_surface_destroy(s);
        return c;
    }

    Display* dpy_;
    Cursor arrow_ = 0;
    Cursor hand_ = 0;
    std::unique_ptr<X11Clipboard> clipboard_;
};

class X11Window final : public WindowBase {
public:
    X11Window(WindowHandler& handler, WindowStyle style, Window* parent,
              std::shared_ptr<MessageLoop> loop, X11Display& x)
        : WindowBase(handler, style, parent, std::move(loop)), x_(x) {
        Display* d = x_.Dpy();
        int screen = DefaultScreen(d);
        XSetWindowAttributes a{};
        a.background_pixmap = 0; // the picture covers everything: no clearing
        a.bit_gravity = NorthWestGravity;
        a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       EnterWindowMask | StructureNotifyMask | KeyPressMask | PropertyChangeMask;
        win_ = XCreateWindow(d, RootWindow(d, screen), pos_.x, pos_.y,
                             static_cast<unsigned>(client_.cx), static_cast<unsigned>(client_.cy),
                             0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixmap | CWBitGravity | CWEventMask, &a);
        Atom protocols[] = {x_.deleteWindow};
        XSetWMProtocols(d, win_, protocols, 1);
        if (auto* owner = dynamic_cast<X11Window*>(parent)) {
            XSetTransientForHint(d, win_, owner->win_);
        }
        surface_ =
            cairo_xlib_surface_create(d, win_, DefaultVisual(d, screen), client_.cx, client_.cy);
        x_.windows[win_] = this;
        SetHints();
    }
    ~X11Window() override { Destroy(); }

    void Handle(const XEvent& e);

    void BringToTop() override {
        XRaiseWindow(x_.Dpy(), win_);
        XFlush(x_.Dpy());
    }
    void SetCapture(bool on) override {
        if (on) {
            XGrabPointer(x_.Dpy(), win_, 0, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                         GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
        } else {
            XUngrabPointer(x_.Dpy(), CurrentTime);
        }
        XFlush(x_.Dpy());
    }
    Point CursorPos() const override { return Query().first; }
    bool LeftButtonDown() const override { return (Query().second & Button1Mask) != 0; }
    void SetCursor(CursorShape shape) override {
        XDefineCursor(x_.Dpy(), win_, shape == CursorShape::Hand ? x_.Hand() : x_.Arrow());
    }

    // Through the server's input path: the press when the loop is next
    // pumped, the release hold ms later.
    void InjectClick(Point p, uint32_t holdMs) override {
        X11Display* x = &x_; // owned by the loop that runs these
        uint32_t now = TickCount();
        loop_->PostInput(now, id_, [x, p](WindowBase* w) {
            auto* self = static_cast<X11Window*>(w);
            if (!self || !x->xtest) {
                if (self) {
                    self->handler_.OnLButtonDown(p);
                }
                return;
            }
            Display* d = x->Dpy();
            int rx = 0, ry = 0;
            ::Window child;
            XTranslateCoordinates(d, self->win_, DefaultRootWindow(d), p.x, p.y, &rx, &ry, &child);
            XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
            XTestFakeButtonEvent(d, 1, 1, CurrentTime);
            XSync(d, 0);
        });
        loop_->PostInput(now + holdMs, id_, [x](WindowBase*) {
            if (x->xtest) {
                XTestFakeButtonEvent(x->Dpy(), 1, 0, CurrentTime);
                XSync(x->Dpy(), 0);
            }
        });
    }

protected:
    Size ScreenSize() const override {
        Display* d = x_.Dpy();
        return {DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
    }
    void Present(const Rect& r) override {
        cairo_surface_flush(picture_);
        cairo_t* cr = cairo_create(surface_);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, picture_, 0, 0);
        cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface_);
        XFlush(x_.Dpy());
    }
    void NativeDestroy() override {
        cairo_surface_destroy(surface_);
        surface_ = nullptr;
        x_.windows.erase(win_);
        XDestroyWindow(x_.Dpy(), win_);
        XFlush(x_.Dpy());
    }
    void NativeTitle() override {
        std::string utf8 = Narrow(title_);
        XStoreName(x_.Dpy(), win_, utf8.c_str());
        XChangeProperty(x_.Dpy(), win_, x_.netWmName, x_.utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()),
                        static_cast<int>(utf8.size()));
    }
    void NativeSize() override {
        XResizeWindow(x_.Dpy(), win_, static_cast<unsigned>(std::max(client_.cx, 1)),
                      static_cast<unsigned>(std::max(client_.cy, 1)));
        cairo_xlib_surface_set_size(surface_, std::max(client_.cx, 1), std::max(client_.cy, 1));
        SetHints();
    }
    void NativeMove() override { XMoveWindow(x_.Dpy(), win_, pos_.x, pos_.y); }
    void NativeShow(ShowMode mode) override {
        Display* d = x_.Dpy();
        if (mode == ShowMode::Hide) {
            XWithdrawWindow(d, win_, DefaultScreen(d));
        } else {
            SetHints();
            XMapWindow(d, win_);
        }
        XSync(d, 0);
    }

private:
    std::pair<Point, unsigned> Query() const {
        ::Window root, child;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned mask = 0;
        XQueryPointer(x_.Dpy(), win_, &root, &child, &rx, &ry, &wx, &wy, &mask);
        return {{wx, wy}, mask};
    }

    // The window manager keeps fixed windows at their size and sizeable ones
    // above their smallest size.
    void SetHints() {
        XSizeHints* h = XAllocSizeHints();
        if (!h) {
            return;
        }
        h->flags = PMinSize | PPosition;
        h->x = pos_.x;
        h->y = pos_.y;
        if (style_ == WindowStyle::Fixed) {
            h->flags |= PMaxSize;
            h->min_width = h->max_width = std::max(client_.cx, 1);
            h->min_height = h->max_height = std::max(client_.cy, 1);
        } else {
            Size m = handler_.MinTrackSize();
            Size d = Decoration();
            h->min_width = std::max(m.cx - d.cx, 1);
            h->min_height = std::max(m.cy - d.cy, 1);
        }
        XSetWMNormalHints(x_.Dpy(), win_, h);
        XFree(h);
    }

    bool Iconic() {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool iconic = false;
        if (XGetWindowProperty(x_.Dpy(), win_, x_.wmState, 0, 2, 0, x_.wmState, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32 && count > 0) {
            iconic = reinterpret_cast<long*>(data)[0] == IconicState;
        }
        if (data) {
            XFree(data);
        }
        return iconic;
    }

    X11Display& x_;
    ::Window win_ = 0;
    cairo_surface_t* surface_ = nullptr;
};

void X11Window::Handle(const XEvent& e) {
    switch (e.type) {
    case Expose: {
        Rect r{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
               e.xexpose.y + e.xexpose.height};
        Invalidate(&r, false);
        break;
    }
    case ConfigureNotify:
        if (e.xconfigure.width != client_.cx || e.xconfigure.height != client_.cy) {
            cairo_xlib_surface_set_size(surface_, e.xconfigure.width, e.xconfigure.height);
            ClientResized(e.xconfigure.width, e.xconfigure.height);
        }
        break;
    case ButtonPress:
        if (e.xbutton.button == Button1) {
            handler_.OnLButtonDown({e.xbutton.x, e.xbutton.y});
        }
        break;
    case MotionNotify:
    case EnterNotify: {
        Point p = e.type == MotionNotify ? Point{e.xmotion.x, e.xmotion.y}
                                         : Point{e.xcrossing.x, e.xcrossing.y};
        if (!handler_.OnSetCursor(p)) {
            SetCursor(CursorShape::Arrow);
        }
        break;
    }
    case KeyPress: {
        XKeyEvent key = e.xkey;
        if (XLookupKeysym(&key, 0) == XK_F1) {
            handler_.OnHelp();
        }
        break;
    }
    case ClientMessage:
        if (e.xclient.message_type == x_.protocols &&
            static_cast<Atom>(e.xclient.data.l[0]) == x_.deleteWindow) {
            Close();
        }
        break;
    case PropertyNotify:
        // Minimised instrument windows are hidden instead.
        if (e.xproperty.atom == x_.wmState && visible_ && Iconic()) {
            Show(ShowMode::Hide);
        }
        break;
    default:
        break;
    }
}

void X11Display::Dispatch() {
    while (XPending(dpy_) > 0) {
        XEvent e;
        XNextEvent(dpy_, &e);
        if (clipboard_ && clipboard_->Handle(e)) {
            continue;
        }
        auto it = windows.find(e.xany.window);
        if (it != windows.end()) {
            it->second->Handle(e);
        }
    }
}

X11Display* ThreadDisplay() {
    auto loop = MessageLoop::ForThisThread();
    if (auto* x = dynamic_cast<X11Display*>(loop->Source())) {
        return x;
    }
    const char* name = std::getenv("DISPLAY");
    if (loop->noDisplay || !name || !*name) {
        return nullptr;
    }
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(IgnoreError);
    });
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        loop->noDisplay = true;
        return nullptr;
    }
    auto x = std::make_unique<X11Display>(d);
    X11Display* raw = x.get();
    loop->SetSource(std::move(x));
    return raw;
}

} // namespace

std::unique_ptr<Window> CreateX11Window(WindowHandler& handler, WindowStyle style, Window* parent) {
    X11Display* x = ThreadDisplay();
    if (!x) {
        return nullptr;
    }
    return std::make_unique<X11Window>(handler, style, parent, MessageLoop::ForThisThread(), *x);
}

bool X11Available() {
    return ThreadDisplay() != nullptr;
}

bool X11CopyToClipboard(const Pixels& pixels) {
    // Only the display this thread's windows are already on: off-screen
    // windows have no clipboard.
    auto* x = dynamic_cast<X11Display*>(MessageLoop::ForThisThread()->Source());
    if (!x || OffscreenWindows()) {
        return false;
    }
    std::vector<uint8_t> png = EncodePng(pixels);
    return !png.empty() && x->Clipboard().Offer(std::move(png));
}

bool X11ClipboardHeld() {
    auto* x = dynamic_cast<X11Display*>(MessageLoop::ForThisThread()->Source());
    return x && x->HoldsClipboard();
}

} // namespace platform
