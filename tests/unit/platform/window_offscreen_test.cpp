// Windows in memory: size, painting, commands and notifications on the
// window's thread, injected clicks, the end of the message loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/pictures.h"
#include "support/fake_window.h"

using namespace platform;

namespace {

std::unique_ptr<Window> Make(Recorder& r, WindowStyle style = WindowStyle::Fixed,
                             Window* parent = nullptr) {
    UseOffscreenWindows(true);
    auto w = Window::Create(r, style, parent);
    EXPECT_TRUE(w);
    return w;
}

} // namespace

TEST(OffscreenWindow, ClientSizeIsExactAndPaintingFollowsInvalidation) {
    Recorder r;
    auto w = Make(r);
    w->SetClientSize(300, 200);
    EXPECT_EQ(w->ClientSize().cx, 300);
    EXPECT_EQ(w->ClientSize().cy, 200);
    Rect outer = w->OuterRect();
    EXPECT_EQ(outer.Width(), 300 + 2 * DialogFrameWidth());
    EXPECT_EQ(outer.Height(), 200 + 2 * DialogFrameWidth() + CaptionHeight());

    Pixels p = w->Snapshot();
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.height, 200);
    EXPECT_EQ(Share(p, {0, 0, 300, 200}, Rgb(0, 128, 255)), 1.0);
    r.events.clear();
    Rect part{10, 20, 30, 40};
    w->Invalidate(&part, false);
    PumpMessages();
    EXPECT_EQ(r.events, std::vector<std::string>{"paint"});
    EXPECT_EQ(r.lastClip.left, 10);
    EXPECT_EQ(r.lastClip.bottom, 40);

    Recorder rc;
    auto child = Make(rc, WindowStyle::Sizeable, w.get());
    child->SetClientSize(100, 50);
    child->CenterOnParent();
    Rect c = child->OuterRect();
    EXPECT_LE(std::abs((c.left + c.right) - (outer.left + outer.right)), 1);
    EXPECT_LE(std::abs((c.top + c.bottom) - (outer.top + outer.bottom)), 1);

    w->Destroy();
    w->Destroy();
    EXPECT_FALSE(w->IsAlive());
    EXPECT_EQ(r.events.back(), "destroy");
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "destroy"), 1);
}

TEST(OffscreenWindow, CommandsAndNotificationsRunOnTheWindowThread) {
    Recorder r;
    auto w = Make(r);
    w->PostCommand(7);
    EXPECT_FALSE(r.Saw("cmd 7"));
    PumpMessages();
    EXPECT_TRUE(r.Saw("cmd 7"));
    w->SendCommand(8);
    EXPECT_TRUE(r.Saw("cmd 8"));

    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = w->SendNotify(4, 9, 5000) ? 1 : 0; });
    for (int i = 0; i < 5000 && answer < 0; ++i) {
        PumpMessages();
        SleepMs(1);
    }
    worker.join();
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(r.Saw("notify 4,9"));

    // The window thread does not pump: the sender gives up, and the late
    // notification is not delivered afterwards.
    std::thread late([&] { answer = w->SendNotify(5, 1, 50) ? 1 : 0; });
    late.join();
    EXPECT_EQ(answer, 0);
    PumpMessages();
    EXPECT_FALSE(r.Saw("notify 5,1"));

    w->Destroy();
    std::thread gone([&] { answer = w->SendNotify(6, 1, 50) ? 1 : 0; });
    gone.join();
    EXPECT_EQ(answer, 0);
    for (const std::string& e : r.events) {
        EXPECT_EQ(e.find("off-thread"), std::string::npos) << e;
    }
}

TEST(OffscreenWindow, InjectedClickIsSeenPressedThenReleased) {
    Recorder r;
    auto w = Make(r);
    w->SetClientSize(100, 100);
    PressLoop press;
    r.onClick = [&](Point) { press.Run(*w); };
    w->InjectClick({30, 40}, 60);
    EXPECT_FALSE(r.Saw("click 30,40")); // input waits for the loop
    PumpMessages();
    EXPECT_TRUE(r.Saw("click 30,40"));
    EXPECT_GT(press.downPasses, 0);
    EXPECT_TRUE(press.released);
    EXPECT_EQ(press.pointer.x, 30);
    EXPECT_EQ(press.pointer.y, 40);
    EXPECT_FALSE(w->LeftButtonDown());
}

TEST(OffscreenWindow, QuitIsSeenOnceAndTheLoopEndsWithTheLastWindow) {
    PostQuit();
    EXPECT_FALSE(PumpMessages());
    EXPECT_TRUE(PumpMessages());

    Recorder r;
    auto w = Make(r);
    r.onCommand = [&](uint32_t) { w->Close(); };
    w->PostCommand(1);
    RunMessageLoop();
    EXPECT_FALSE(w->IsAlive());
    EXPECT_TRUE(r.Saw("destroy"));
}
