// Windows in memory: the client picture is all there is, and input comes
// from InjectClick through the thread's message loop.
#include "platform/thread/thread.h"
#include "platform/window/window_posix.h"

namespace platform {

namespace {

class OffscreenWindow final : public WindowBase {
public:
    using WindowBase::WindowBase;
    ~OffscreenWindow() override { Destroy(); }

    void BringToTop() override {}
    void SetCapture(bool) override {}
    Point CursorPos() const override { return pointer_; }
    bool LeftButtonDown() const override { return loop_->leftDown; }
    void SetCursor(CursorShape shape) override { cursor_ = shape; }

    // The press arrives when the loop is pumped; the release hold ms later,
    // so a press-tracking loop that pumps sees the button down, then up.
    void InjectClick(Point p, uint32_t holdMs) override {
        uint32_t now = TickCount();
        loop_->PostInput(now, id_, [p](WindowBase* w) {
            auto* self = static_cast<OffscreenWindow*>(w);
            if (!self) {
                return;
            }
            self->pointer_ = p;
            self->loop_->leftDown = true;
            if (!self->handler_.OnSetCursor(p)) {
                self->cursor_ = CursorShape::Arrow;
            }
            self->handler_.OnLButtonDown(p);
        });
        MessageLoop* loop = loop_.get(); // runs the task, so outlives it
        loop_->PostInput(now + holdMs, id_, [loop](WindowBase*) { loop->leftDown = false; });
    }

protected:
    Size ScreenSize() const override { return {1024, 768}; }
    void Present(const Rect&) override {}
    void NativeDestroy() override {}

private:
    Point pointer_;
    CursorShape cursor_ = CursorShape::Arrow;
};

} // namespace

std::unique_ptr<Window> CreateOffscreenWindow(WindowHandler& handler, WindowStyle style,
                                              Window* parent) {
    return std::make_unique<OffscreenWindow>(handler, style, parent, MessageLoop::ForThisThread());
}

} // namespace platform
