// Top-level windows for the instrument panels: client area, painting,
// mouse input with capture, the cursor, commands posted or sent to the
// window's thread, the worker's bounded blocking notification, and pumping
// pending messages while a control tracks a press.
// Backends: Win32 windows; on Linux X11 windows when a display is
// available, else off-screen windows (pictures in memory, injected input).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gfx/gfx.h"

namespace platform {

// What a window tells its owner (the instrument window object). Every call
// arrives on the thread that created the window.
class WindowHandler {
public:
    virtual ~WindowHandler() = default;
    virtual void OnPaint(Gfx& dc) = 0;
    virtual void OnLButtonDown(Point p) = 0;
    // The pointer is over the client area at p; true when the handler set
    // the cursor itself.
    virtual bool OnSetCursor(Point p) = 0;
    // A command (WM_COMMAND) posted or sent to the window; true when handled.
    virtual bool OnCommand(uint32_t id) = 0;
    // The worker's notification (WM_COMMNOTIFY).
    virtual void OnCommNotify(uintptr_t code, intptr_t param) = 0;
    // The user asked for help (F1).
    virtual void OnHelp() {}
    // The client area changed size (only resizable windows).
    virtual void OnSize(int32_t clientWidth, int32_t clientHeight) {
        (void)clientWidth;
        (void)clientHeight;
    }
    // Smallest outer size the user may drag the window to; 0 means no limit.
    virtual Size MinTrackSize() { return {}; }
    // The window is being destroyed; the handler may not use it afterwards
    // except through IsAlive.
    virtual void OnDestroy() = 0;
    // The window is gone. Called last: the platform does not touch the
    // window object afterwards, so the handler may now let another thread
    // delete it.
    virtual void OnPostDestroy() {}
};

enum class WindowStyle {
    Fixed,    // caption, system menu, minimise box
    Sizeable, // adds the thick frame and the maximise box
};

enum class CursorShape {
    Arrow,
    Hand, // cursor 5000 of the resource module: over a clickable control
};

enum class ShowMode { Hide, Show, ShowNormal };

class Window {
public:
    // A hidden window with an empty caption at (10, 10)-(100, 100); parent
    // may be null (the desktop). Null when it cannot be created.
    static std::unique_ptr<Window> Create(WindowHandler& handler, WindowStyle style,
                                          Window* parent);

    virtual ~Window() = default; // destroys the window if it still exists

    // The window still exists (its handle is a window).
    virtual bool IsAlive() const = 0;
    // Destroys it (OnDestroy runs first); a dead window stays dead.
    virtual void Destroy() = 0;
    // Asks it to close as the system menu's Close does (the default: destroy).
    virtual void Close() = 0;

    virtual void SetTitle(const std::u16string& title) = 0;
    virtual std::u16string Title() const = 0;
    // Resizes so that the client area is exactly width x height; no move.
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    virtual Size ClientSize() const = 0;
    // The outer rectangle in screen coordinates (the normal position when
    // minimised or hidden).
    virtual Rect OuterRect() const = 0;
    virtual void Move(int32_t x, int32_t y) = 0;
    // Centres on the parent (on the screen without one).
    virtual void CenterOnParent() = 0;
    virtual void Show(ShowMode mode) = 0;
    virtual bool IsVisible() const = 0;
    virtual void BringToTop() = 0;

    // Marks the client area (or r) for repainting.
    virtual void Invalidate(const Rect* r, bool erase) = 0;
    // Repaints what is marked, now.
    virtual void UpdateNow() = 0;
    // A context on the client area for drawing outside OnPaint.
    virtual std::unique_ptr<Gfx> ClientGfx() = 0;

    virtual void SetCapture(bool on) = 0;
    // The pointer position in client coordinates.
    virtual Point CursorPos() const = 0;
    // The left button is down now (asynchronous state).
    virtual bool LeftButtonDown() const = 0;
    virtual void SetCursor(CursorShape shape) = 0;

    // A command to OnCommand on the window's thread: queued, or at once
    // (sent; from the window's own thread only).
    virtual void PostCommand(uint32_t id) = 0;
    virtual void SendCommand(uint32_t id) = 0;
    // From any thread: OnCommNotify on the window's thread, waiting for it at
    // most timeoutMs; false when the window is gone or the time ran out.
    virtual bool SendNotify(uintptr_t code, intptr_t param, uint32_t timeoutMs) = 0;

    // The client area as it would be painted now.
    virtual Pixels Snapshot() = 0;

    // Input as a user gives it, through the backend's own input path: a press
    // of the left button at p (client coordinates), then its release after
    // holdMs of the message loop's time. Used by tests and kobpanel --click.
    virtual void InjectClick(Point p, uint32_t holdMs) = 0;
};

// Processes the pending messages of this thread's windows; false when the
// message loop has been told to end (a quit message was seen).
bool PumpMessages();
// Runs the message loop until PostQuit or until no window of this thread is
// left.
void RunMessageLoop();
void PostQuit();

// System metrics used for cascading windows.
int32_t DialogFrameWidth(); // SM_CXDLGFRAME
int32_t CaptionHeight();    // SM_CYCAPTION

// Linux: windows are off-screen even when a display is available (kobpanel
// --png, tests). Without effect on Windows.
void UseOffscreenWindows(bool on);
bool OffscreenWindows();

} // namespace platform
