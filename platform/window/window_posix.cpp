// The message loop of a Linux window thread and the window base both
// backends share; Window::Create picks the backend.
#include "platform/window/window_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "platform/gfx/cairo_gfx.h"
#include "platform/thread/thread.h"

namespace platform {

namespace {

std::atomic<bool> g_offscreen{false};

bool Due(uint32_t due, uint32_t now) {
    return static_cast<int32_t>(now - due) >= 0;
}

Rect Union(const Rect& a, const Rect& b) {
    if (a.IsEmpty()) {
        return b;
    }
    if (b.IsEmpty()) {
        return a;
    }
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

Rect Intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return r.IsEmpty() ? Rect{} : r;
}

thread_local std::shared_ptr<MessageLoop> t_loop;

} // namespace

MessageLoop::MessageLoop() {
    if (pipe(wake_) == 0) {
        for (int fd : wake_) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
}

MessageLoop::~MessageLoop() {
    source_.reset();
    for (int fd : wake_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::shared_ptr<MessageLoop> MessageLoop::ForThisThread() {
    if (!t_loop) {
        t_loop = std::make_shared<MessageLoop>();
    }
    return t_loop;
}

void MessageLoop::Post(uint64_t window, Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back({nextSeq_++, 0, window, std::move(task)});
    }
    char byte = 1;
    if (write(wake_[1], &byte, 1) < 0) {
        // A full pipe already wakes the loop.
    }
}

void MessageLoop::PostInput(uint32_t due, uint64_t window, Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Input keeps its order: nothing is due before what was given earlier.
    if (!input_.empty() && !Due(input_.back().due, due)) {
        due = input_.back().due;
    }
    input_.push_back({nextSeq_++, due, window, std::move(task)});
}

uint64_t MessageLoop::Register(WindowBase* window) {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_[nextId_] = window;
    return nextId_++;
}

void MessageLoop::Unregister(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_.erase(id);
}

bool MessageLoop::HasWindows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !windows_.empty();
}

WindowBase* MessageLoop::Find(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second;
}

bool MessageLoop::RunOne(uint64_t limit) {
    Item item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!tasks_.empty() && tasks_.front().seq < limit) {
            item = std::move(tasks_.front());
            tasks_.pop_front();
        } else if (!input_.empty() && Due(input_.front().due, TickCount())) {
            item = std::move(input_.front());
            input_.pop_front();
        } else {
            return false;
        }
    }
    item.task(Find(item.window));
    return true;
}

// Posted tasks first (only those that were waiting when the pump began, so a
// task that posts again cannot keep it busy), then due input, then painting.
bool MessageLoop::Pump() {
    uint64_t limit;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        limit = nextSeq_;
    }
    char drain[64];
    while (read(wake_[0], drain, sizeof drain) > 0) {
    }
    if (source_) {
        source_->Dispatch();
    }
    while (RunOne(limit)) {
    }
    std::vector<uint64_t> ids;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& w : windows_) {
            ids.push_back(w.first);
        }
    }
    for (uint64_t id : ids) {
        if (WindowBase* w = Find(id)) {
            w->Refresh();
        }
    }
    if (source_) {
        source_->FlushAndCheck();
    }
    bool quit = quit_;
    quit_ = false;
    return !quit;
}

void MessageLoop::Wait() {
    int timeout = -1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!tasks_.empty()) {
            return;
        }
        if (!input_.empty()) {
            int32_t left = static_cast<int32_t>(input_.front().due - TickCount());
            timeout = std::max(left, 0);
        }
    }
    if (source_ && source_->FlushAndCheck()) {
        return;
    }
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {source_ ? source_->Fd() : -1, POLLIN, 0}};
    poll(fds, source_ ? 2 : 1, timeout);
}

void MessageLoop::Run() {
    while (Pump() && HasWindows()) {
        Wait();
    }
}

WindowBase::WindowBase(WindowHandler& handler, WindowStyle style, Window* parent,
                       std::shared_ptr<MessageLoop> loop)
    : handler_(handler), style_(style), parent_(parent), loop_(std::move(loop)),
      id_(loop_->Register(this)) {
    // The outer rectangle (10, 10)-(100, 100) of a new window.
    Size d = Decoration();
    client_ = {90 - d.cx, 90 - d.cy};
    picture_ = CreateRgbSurface(client_.cx, client_.cy);
}

WindowBase::~WindowBase() {
    cairo_surface_destroy(picture_);
}

void WindowBase::Destroy() {
    if (!alive_ || destroying_) {
        return;
    }
    destroying_ = true;
    handler_.OnDestroy();
    alive_ = false;
    loop_->Unregister(id_);
    NativeDestroy();
    handler_.OnPostDestroy(); // last: this object may be deleted by then
}

void WindowBase::SetTitle(const std::u16string& title) {
    title_ = title;
    NativeTitle();
}

Size WindowBase::Decoration() const {
    int32_t frame = DialogFrameWidth() + (style_ == WindowStyle::Sizeable ? 1 : 0);
    return {2 * frame, 2 * frame + CaptionHeight()};
}

Rect WindowBase::OuterRect() const {
    Size d = Decoration();
    return {pos_.x, pos_.y, pos_.x + client_.cx + d.cx, pos_.y + client_.cy + d.cy};
}

void WindowBase::ClientResized(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == client_.cx && height == client_.cy) {
        return;
    }
    cairo_surface_t* next = CreateRgbSurface(std::max(width, 1), std::max(height, 1));
    if (!next) {
        return; // beyond what can be drawn: the old size stays
    }
    cairo_t* cr = cairo_create(next);
    cairo_set_source_surface(cr, picture_, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(picture_);
    picture_ = next;
    client_ = {width, height};
    invalid_ = Intersect(invalid_, {0, 0, width, height});
    if (style_ == WindowStyle::Sizeable) {
        handler_.OnSize(width, height);
    }
    Invalidate(nullptr, false);
}

void WindowBase::SetClientSize(int32_t width, int32_t height) {
    ClientResized(width, height);
    NativeSize();
}

void WindowBase::Move(int32_t x, int32_t y) {
    pos_ = {x, y};
    NativeMove();
}

void WindowBase::CenterOnParent() {
    Rect area = parent_ ? parent_->OuterRect() : Rect{0, 0, ScreenSize().cx, ScreenSize().cy};
    Rect outer = OuterRect();
    Move(area.left + (area.Width() - outer.Width()) / 2,
         area.top + (area.Height() - outer.Height()) / 2);
}

void WindowBase::Show(ShowMode mode) {
    visible_ = mode != ShowMode::Hide;
    NativeShow(mode);
    if (visible_) {
        Invalidate(nullptr, false);
    }
}

void WindowBase::Invalidate(const Rect* r, bool) {
    Rect all{0, 0, client_.cx, client_.cy};
    invalid_ = Union(invalid_, r ? Intersect(*r, all) : all);
}

void WindowBase::Refresh() {
    if (!alive_) {
        return;
    }
    if (!invalid_.IsEmpty()) {
        Rect r = invalid_;
        invalid_ = {};
        handler_.OnPaint(*CreateCairoGfx(picture_, {}, r));
        drawn_ = Union(drawn_, r);
    }
    if (alive_ && visible_ && !drawn_.IsEmpty()) {
        Present(drawn_);
        drawn_ = {};
    }
}

void WindowBase::UpdateNow() {
    Refresh();
}

std::unique_ptr<Gfx> WindowBase::ClientGfx() {
    Rect all{0, 0, client_.cx, client_.cy};
    drawn_ = all; // shown when the loop is next idle
    return CreateCairoGfx(picture_, {}, all);
}

void WindowBase::PostCommand(uint32_t id) {
    loop_->Post(id_, [id](WindowBase* w) {
        if (w) {
            w->handler_.OnCommand(id);
        }
    });
}

void WindowBase::SendCommand(uint32_t id) {
    if (alive_) {
        handler_.OnCommand(id);
    }
}

namespace {

// One notification sent from another thread, and how far it got.
struct NotifyCall {
    enum State { Waiting, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable cv;
    State state = Waiting;
    bool delivered = false;
};

} // namespace

bool WindowBase::SendNotify(uintptr_t code, intptr_t param, uint32_t timeoutMs) {
    if (!alive_) {
        return false;
    }
    if (MessageLoop::ForThisThread() == loop_) {
        handler_.OnCommNotify(code, param);
        return true;
    }
    auto call = std::make_shared<NotifyCall>();
    loop_->Post(id_, [call, code, param](WindowBase* w) {
        {
            std::lock_guard<std::mutex> lock(call->mutex);
            if (call->state == NotifyCall::Abandoned) {
                return; // the sender stopped waiting: too late to matter
            }
            call->state = NotifyCall::Running;
        }
        bool delivered = w && w->alive_;
        if (delivered) {
            w->handler_.OnCommNotify(code, param);
        }
        {
            std::lock_guard<std::mutex> lock(call->mutex);
            call->state = NotifyCall::Done;
            call->delivered = delivered;
        }
        call->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(call->mutex);
    if (!call->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return call->state == NotifyCall::Done; })) {
        if (call->state == NotifyCall::Waiting) {
            call->state = NotifyCall::Abandoned;
        }
        return false;
    }
    return call->delivered;
}

Pixels WindowBase::Snapshot() {
    UpdateNow();
    cairo_surface_flush(picture_);
    Pixels all = ReadSurface(picture_);
    all.width = std::min(all.width, client_.cx);
    all.height = std::min(all.height, client_.cy);
    all.data.resize(static_cast<size_t>(all.width) * static_cast<size_t>(all.height));
    return all;
}

std::unique_ptr<Window> Window::Create(WindowHandler& handler, WindowStyle style, Window* parent) {
    if (!g_offscreen) {
        if (auto w = CreateX11Window(handler, style, parent)) {
            return w;
        }
    }
    return CreateOffscreenWindow(handler, style, parent);
}

bool PumpMessages() {
    return MessageLoop::ForThisThread()->Pump();
}

void RunMessageLoop() {
    MessageLoop::ForThisThread()->Run();
}

void PostQuit() {
    MessageLoop::ForThisThread()->Quit();
}

// Windows' defaults; the window manager's decorations are its own business.
int32_t DialogFrameWidth() {
    return 3;
}

int32_t CaptionHeight() {
    return 19;
}

void UseOffscreenWindows(bool on) {
    g_offscreen = on;
}

bool OffscreenWindows() {
    return g_offscreen || !X11Available();
}

} // namespace platform
