// What the two Linux window backends share: the message loop of a window
// thread (posted tasks, timed input, painting, waking from other threads)
// and a window base that keeps the client picture in memory and paints it
// through the handler.
#pragma once

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/window/window.h"

// Xlib's own types, so that its macros stay out of the shared code.
struct _XDisplay;
union _XEvent;

namespace platform {

class WindowBase;

// Events from outside the loop's own queue (the X server's connection).
class EventSource {
public:
    virtual ~EventSource() = default;
    virtual int Fd() const = 0;
    // Sends what is buffered; true when events wait to be dispatched.
    virtual bool FlushAndCheck() = 0;
    virtual void Dispatch() = 0;
};

// The message queue of one window thread.
class MessageLoop {
public:
    using Task = std::function<void(WindowBase*)>; // null when the window is gone

    MessageLoop();
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    static std::shared_ptr<MessageLoop> ForThisThread();

    // From any thread.
    void Post(uint64_t window, Task task);
    // From the loop's thread: input due at tick count due.
    void PostInput(uint32_t due, uint64_t window, Task task);

    uint64_t Register(WindowBase* window);
    void Unregister(uint64_t id);
    bool HasWindows();
    WindowBase* Find(uint64_t id);

    bool Pump();
    void Run();
    void Quit() { quit_ = true; }

    EventSource* Source() const { return source_.get(); }
    void SetSource(std::unique_ptr<EventSource> source) { source_ = std::move(source); }
    // The display could not be opened on this thread: do not try again.
    bool noDisplay = false;
    // The left button of the injected input (off-screen windows).
    bool leftDown = false;

private:
    struct Item {
        uint64_t seq;
        uint32_t due;
        uint64_t window;
        Task task;
    };
    bool RunOne(uint64_t limit);
    void Wait();

    std::mutex mutex_;
    std::deque<Item> tasks_;
    std::deque<Item> input_;
    std::map<uint64_t, WindowBase*> windows_;
    uint64_t nextSeq_ = 1;
    uint64_t nextId_ = 1;
    int wake_[2] = {-1, -1};
    bool quit_ = false;
    std::unique_ptr<EventSource> source_;
};

// A window whose client area is a picture in memory; the backends show it.
class WindowBase : public Window {
public:
    WindowBase(WindowHandler& handler, WindowStyle style, Window* parent,
               std::shared_ptr<MessageLoop> loop);
    ~WindowBase() override;

    bool IsAlive() const override { return alive_; }
    void Destroy() override;
    void Close() override { Destroy(); }
    void SetTitle(const std::u16string& title) override;
    std::u16string Title() const override { return title_; }
    void SetClientSize(int32_t width, int32_t height) override;
    Size ClientSize() const override { return client_; }
    Rect OuterRect() const override;
    void Move(int32_t x, int32_t y) override;
    void CenterOnParent() override;
    void Show(ShowMode mode) override;
    bool IsVisible() const override { return visible_; }
    void Invalidate(const Rect* r, bool erase) override;
    void UpdateNow() override;
    std::unique_ptr<Gfx> ClientGfx() override;
    void PostCommand(uint32_t id) override;
    void SendCommand(uint32_t id) override;
    bool SendNotify(uintptr_t code, intptr_t param, uint32_t timeoutMs) override;
    Pixels Snapshot() override;

    // Paints what is invalid and shows what was drawn (the loop, when idle).
    void Refresh();
    // The client area changed size from outside (the window manager).
    void ClientResized(int32_t width, int32_t height);

protected:
    // Frame and caption around the client area, for the outer rectangle.
    Size Decoration() const;
    virtual Size ScreenSize() const = 0;
    // Shows the drawn part r of the picture on the screen.
    virtual void Present(const Rect& r) = 0;
    virtual void NativeDestroy() = 0;
    virtual void NativeTitle() {}
    virtual void NativeSize() {}
    virtual void NativeMove() {}
    virtual void NativeShow(ShowMode) {}

    WindowHandler& handler_;
    WindowStyle style_;
    Window* parent_;
    std::shared_ptr<MessageLoop> loop_;
    uint64_t id_;
    std::atomic<bool> alive_{true};
    bool destroying_ = false;
    std::u16string title_;
    Size client_;
    Point pos_{10, 10};
    bool visible_ = false;
    cairo_surface_t* picture_ = nullptr;
    Rect invalid_;
    Rect drawn_;
};

// The X11 backend; null when no display can be opened on this thread.
std::unique_ptr<Window> CreateX11Window(WindowHandler& handler, WindowStyle style, Window* parent);
std::unique_ptr<Window> CreateOffscreenWindow(WindowHandler& handler, WindowStyle style,
                                              Window* parent);
bool X11Available();

// The CLIPBOARD selection as one display connection owns it: a hidden window
// of that connection offers a picture as "image/png" until another client
// takes the selection (clipboard_x11.cpp).
class X11Clipboard {
public:
    explicit X11Clipboard(_XDisplay* dpy);
    ~X11Clipboard();
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    // Takes the selection for the PNG; false when the server gave it to
    // another client meanwhile.
    bool Offer(std::vector<uint8_t> png);
    bool Holds() const;
    // Answers requests for the selection and carries on the transfers in
    // pieces; false when the event is none of the clipboard's.
    bool Handle(const _XEvent& e);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Puts the pixels on the clipboard of this thread's X display; false when
// the thread's windows are not on one.
bool X11CopyToClipboard(const Pixels& pixels);
// This thread's display still offers a picture on the clipboard.
bool X11ClipboardHeld();

} // namespace platform
