// Instrument windows on Windows: real top-level windows of one class, whose
// window procedure hands the messages to the WindowHandler.
#include <windows.h>
#include <windowsx.h>

#include <atomic>
#include <mutex>

#include "platform/com/module_win32.h"
#include "platform/gfx/gfx_win32.h"
#include "platform/resource/resource.h"
#include "platform/window/window.h"

namespace platform {

namespace {

constexpr wchar_t kClassName[] = L"KobInstrumentWindow";
constexpr UINT kCommNotify = 0x44; // WM_COMMNOTIFY
constexpr UINT_PTR kReleaseTimer = 0x4B01;
constexpr WORD kHandCursor = 5000;
constexpr WORD kIcon = 5001;
constexpr DWORD kFixedStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kSizeableStyle = kFixedStyle | WS_THICKFRAME | WS_MAXIMIZEBOX;

// Windows of this thread, for the message loop that ends with the last one.
thread_local int t_windows = 0;

HICON ModuleIcon() {
    auto module = static_cast<HMODULE>(NativeResourceModule());
    return module ? LoadIconW(module, MAKEINTRESOURCEW(kIcon)) : nullptr;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Registered once per load of this code. A class left behind by an earlier
// load of the same module would still point at its old procedure, so it is
// replaced.
bool RegisterWindowClass() {
    static std::mutex lock;
    static bool registered = false;
    std::lock_guard<std::mutex> guard(lock);
    if (!registered) {
        HINSTANCE instance = ThisModule();
        UnregisterClassW(kClassName, instance);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = 0;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hIcon = ModuleIcon();
        wc.hCursor = nullptr;       // the window sets its cursor itself
        wc.hbrBackground = nullptr; // and paints its whole client area
        wc.lpszClassName = kClassName;
        registered = RegisterClassExW(&wc) != 0;
    }
    return registered;
}

HCURSOR Arrow() {
    return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
}

// Cursor 5000 of the current resource module, loaded again when the module
// changes; the system's hand where the module has none.
HCURSOR Hand() {
    static std::mutex lock;
    static void* module = nullptr;
    static HCURSOR hand = nullptr;
    std::lock_guard<std::mutex> guard(lock);
    void* current = NativeResourceModule();
    if (!hand || module != current) {
        module = current;
        hand = current ? static_cast<HCURSOR>(LoadImageW(static_cast<HMODULE>(current),
                                                         MAKEINTRESOURCEW(kHandCursor),
                                                         IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE))
                       : nullptr;
        if (!hand) {
            hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)); // IDC_HAND
        }
    }
    return hand;
}

class Win32Window final : public Window {
public:
    Win32Window(WindowHandler& handler, WindowStyle style) : m_handler(handler), m_style(style) {}

    ~Win32Window() override {
        HWND hwnd = m_hwnd.exchange(nullptr);
        if (!hwnd || !IsWindow(hwnd)) {
            return;
        }
        // From here on its messages go to the default procedure.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (m_destroying) {
            return; // deleted from OnDestroy: the destruction under way ends it
        }
        if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
            DestroyWindow(hwnd);
        } else {
            PostMessageW(hwnd, WM_CLOSE, 0, 0); // only its own thread may destroy it
        }
    }

    bool Create(Window* parent) {
        HWND owner = nullptr;
        if (auto* p = dynamic_cast<Win32Window*>(parent)) {
            owner = p->m_hwnd.load();
        }
        DWORD style = m_style == WindowStyle::Sizeable ? kSizeableStyle : kFixedStyle;
        HWND hwnd = CreateWindowExW(0, kClassName, L"", style, 10, 10, 90, 90, owner, nullptr,
                                    ThisModule(), this);
        if (!hwnd) {
            return false;
        }
        // A class registered before the resource module was chosen has no icon.
        if (!GetClassLongPtrW(hwnd, GCLP_HICON)) {
            if (HICON icon = ModuleIcon()) {
                SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            }
        }
        return true;
    }

    void Attach(HWND hwnd) {
        m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    static LRESULT Dispatch(Win32Window* self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    bool IsAlive() const override {
        HWND hwnd = m_hwnd.load();
        return hwnd && IsWindow(hwnd);
    }
    void Destroy() override {
        if (IsAlive()) {
            DestroyWindow(m_hwnd.load());
        }
    }
    void Close() override {
        if (IsAlive()) {
            SendMessageW(m_hwnd.load(), WM_CLOSE, 0, 0);
        }
    }

    void SetTitle(const std::u16string& title) override {
        SetWindowTextW(m_hwnd.load(), reinterpret_cast<LPCWSTR>(title.c_str()));
    }
    std::u16string Title() const override {
        HWND hwnd = m_hwnd.load();
        std::u16string title(size_t(std::max(GetWindowTextLengthW(hwnd), 0)) + 1, u'\0');
        int n = GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(title.data()), int(title.size()));
        title.resize(size_t(std::max(n, 0)));
        return title;
    }
    void SetClientSize(int32_t width, int32_t height) override {
        HWND hwnd = m_hwnd.load();
        RECT outer{};
        RECT client{};
        if (!GetWindowRect(hwnd, &outer) || !GetClientRect(hwnd, &client)) {
            return;
        }
        // The frame keeps its size: outer = asked + (outer - client).
        int cx = std::max(width, 0) + (outer.right - outer.left) - client.right;
        int cy = std::max(height, 0) + (outer.bottom - outer.top) - client.bottom;
        SetWindowPos(hwnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Size ClientSize() const override {
        RECT r{};
        GetClientRect(m_hwnd.load(), &r);
        return {r.right, r.bottom};
    }
    Rect OuterRect() const override {
        HWND hwnd = m_hwnd.load();
        RECT r{};
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        if ((IsIconic(hwnd) || IsZoomed(hwnd)) && GetWindowPlacement(hwnd, &wp)) {
            // The normal position is in work-area coordinates.
            r = wp.rcNormalPosition;
            MONITORINFO mi{};
            mi.cbSize = sizeof mi;
            if (GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi)) {
                OffsetRect(&r, mi.rcWork.left - mi.rcMonitor.left,
                           mi.rcWork.top - mi.rcMonitor.top);
            }
        } else {
            GetWindowRect(hwnd, &r);
        }
        return {r.left, r.top, r.right, r.bottom};
    }
    void Move(int32_t x, int32_t y) override {
        SetWindowPos(m_hwnd.load(), nullptr, x, y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void CenterOnParent() override {
        HWND hwnd = m_hwnd.load();
        RECT self{};
        GetWindowRect(hwnd, &self);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi);
        RECT area = mi.rcWork;
        HWND owner = GetWindow(hwnd, GW_OWNER);
        if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
            GetWindowRect(owner, &area);
        }
        int w = self.right - self.left;
        int h = self.bottom - self.top;
        int x = area.left + (area.right - area.left - w) / 2;
        int y = area.top + (area.bottom - area.top - h) / 2;
        // Kept on the work area, with the caption reachable.
        x = std::max(std::min(x, int(mi.rcWork.right) - w), int(mi.rcWork.left));
        y = std::max(std::min(y, int(mi.rcWork.bottom) - h), int(mi.rcWork.top));
        Move(x, y);
    }
    void Show(ShowMode mode) override {
        static constexpr int kModes[] = {SW_HIDE, SW_SHOW, SW_SHOWNORMAL};
        ShowWindow(m_hwnd.load(), kModes[static_cast<int>(mode)]);
    }
    bool IsVisible() const override { return IsWindowVisible(m_hwnd.load()) != FALSE; }
    void BringToTop() override { BringWindowToTop(m_hwnd.load()); }

    void Invalidate(const Rect* r, bool erase) override {
        // A null handle would mark every window of the desktop.
        HWND hwnd = m_hwnd.load();
        if (!hwnd) {
            return;
        }
        RECT rc{};
        if (r) {
            rc = {r->left, r->top, r->right, r->bottom};
        }
        InvalidateRect(hwnd, r ? &rc : nullptr, erase);
    }
    void UpdateNow() override { UpdateWindow(m_hwnd.load()); }
    std::unique_ptr<Gfx> ClientGfx() override {
        HWND hwnd = m_hwnd.load();
        HDC dc = IsAlive() ? GetDC(hwnd) : nullptr;
        if (!dc) {
            // A gone window still gets a context; what is drawn is lost.
            return CreatePicture(1, 1);
        }
        RECT clip{};
        GetClipBox(dc, &clip);
        return std::make_unique<DcGfx>(dc, Rect{clip.left, clip.top, clip.right, clip.bottom},
                                       [hwnd](HDC d) { ReleaseDC(hwnd, d); });
    }

    void SetCapture(bool on) override {
        HWND hwnd = m_hwnd.load();
        if (on) {
            ::SetCapture(hwnd);
        } else if (GetCapture() == hwnd) {
            ReleaseCapture();
        }
    }
    Point CursorPos() const override {
        POINT p{};
        GetCursorPos(&p);
        if (m_injected ||
            (m_pointerAtInjected && p.x == m_realAtInject.x && p.y == m_realAtInject.y)) {
            return m_injectedAt;
        }
        ScreenToClient(m_hwnd.load(), &p);
        return {p.x, p.y};
    }
    bool LeftButtonDown() const override {
        return m_injected || (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
    }
    void SetCursor(CursorShape shape) override {
        ::SetCursor(shape == CursorShape::Hand ? Hand() : Arrow());
    }

    void PostCommand(uint32_t id) override {
        // A null handle would post to the thread instead of a window.
        if (HWND hwnd = m_hwnd.load()) {
            PostMessageW(hwnd, WM_COMMAND, id, 0);
        }
    }
    void SendCommand(uint32_t id) override { SendMessageW(m_hwnd.load(), WM_COMMAND, id, 0); }
    bool SendNotify(uintptr_t code, intptr_t param, uint32_t timeoutMs) override {
        HWND hwnd = m_hwnd.load();
        DWORD_PTR result = 0;
        return hwnd && IsWindow(hwnd) &&
               SendMessageTimeoutW(hwnd, kCommNotify, code, param, SMTO_BLOCK, timeoutMs,
                                   &result) != 0;
    }

    Pixels Snapshot() override {
        Size s = ClientSize();
        auto picture = IsAlive() ? CreatePicture(s.cx, s.cy) : nullptr;
        if (!picture) {
            return {};
        }
        m_handler.OnPaint(*picture);
        return picture->Read();
    }

    // The press goes through the window's queue like a user's; until the
    // release timer fires, the pointer and the button read as held at p, so
    // a control tracking the press sees what a user's hand would give.
    void InjectClick(Point p, uint32_t holdMs) override {
        HWND hwnd = m_hwnd.load();
        if (!IsAlive()) {
            return;
        }
        if (m_injected) {
            Release(hwnd);
        }
        m_injected = true;
        m_pointerAtInjected = true;
        GetCursorPos(&m_realAtInject);
        m_injectedAt = p;
        PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        SetTimer(hwnd, kReleaseTimer, std::max<UINT>(holdMs, USER_TIMER_MINIMUM), nullptr);
    }

private:
    void Release(HWND hwnd) {
        KillTimer(hwnd, kReleaseTimer);
        m_injected = false;
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(m_injectedAt.x, m_injectedAt.y));
    }

    WindowHandler& m_handler;
    WindowStyle m_style;
    // Read by SendNotify on the worker while the window's thread clears it.
    std::atomic<HWND> m_hwnd{nullptr};
    bool m_destroying = false;
    bool m_injected = false;
    // An injected release leaves the pointer where it was pressed, until
    // the real pointer moves.
    bool m_pointerAtInjected = false;
    POINT m_realAtInject{};
    Point m_injectedAt;
};

// Every call into the handler may end with this object deleted (a handler
// that closes and frees its window), so after one only hwnd is used.
LRESULT Win32Window::Dispatch(Win32Window* self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WindowHandler& h = self->m_handler;
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc) {
            DcGfx gfx(dc, {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
            h.OnPaint(gfx);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        h.OnLButtonDown({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lp) != HTCLIENT) {
            break;
        }
        if (!h.OnSetCursor(self->CursorPos())) {
            ::SetCursor(Arrow());
        }
        return TRUE;
    case WM_COMMAND:
        if (h.OnCommand(LOWORD(wp))) {
            return 0;
        }
        break;
    case kCommNotify:
        h.OnCommNotify(wp, lp);
        return 0;
    case WM_HELP:
        h.OnHelp();
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE) {
            ShowWindow(hwnd, SW_HIDE); // minimising hides the panel
            return 0;
        }
        break;
    case WM_GETMINMAXINFO: {
        Size min = h.MinTrackSize();
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        if (min.cx > 0) {
            info->ptMinTrackSize.x = min.cx;
        }
        if (min.cy > 0) {
            info->ptMinTrackSize.y = min.cy;
        }
        return 0;
    }
    case WM_SIZE:
        if (self->m_style == WindowStyle::Sizeable && wp != SIZE_MINIMIZED) {
            h.OnSize(LOWORD(lp), HIWORD(lp));
        }
        break;
    case WM_TIMER:
        if (wp == kReleaseTimer) {
            self->Release(hwnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        self->m_destroying = true;
        h.OnDestroy();
        break;
    case WM_NCDESTROY:
        self->m_hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        h.OnPostDestroy(); // last: self may be deleted by then
        return DefWindowProcW(hwnd, msg, wp, lp);
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self =
            static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->Attach(hwnd);
        ++t_windows;
    } else if (msg == WM_NCDESTROY && --t_windows == 0) {
        // Wakes a message loop waiting for the last window to go.
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? Win32Window::Dispatch(self, hwnd, msg, wp, lp)
                : DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

std::unique_ptr<Window> Window::Create(WindowHandler& handler, WindowStyle style, Window* parent) {
    if (!RegisterWindowClass()) {
        return nullptr;
    }
    auto window = std::make_unique<Win32Window>(handler, style);
    if (!window->Create(parent)) {
        return nullptr;
    }
    return window;
}

bool PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop outside
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void RunMessageLoop() {
    MSG msg;
    while (t_windows > 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void PostQuit() {
    PostQuitMessage(0);
}

int32_t DialogFrameWidth() {
    return GetSystemMetrics(SM_CXDLGFRAME);
}

int32_t CaptionHeight() {
    return GetSystemMetrics(SM_CYCAPTION);
}

void UseOffscreenWindows(bool) {}

bool OffscreenWindows() {
    return false;
}

} // namespace platform
