// A real X11 window (run under xvfb-run): a click through the server's input
// path reaches the window, and a press-tracking loop sees its release.
#include <gtest/gtest.h>

#include "support/pictures.h"
#include "support/fake_window.h"

using namespace platform;

TEST(X11Window, ClickThroughTheServerArrives) {
    UseOffscreenWindows(false);
    if (OffscreenWindows()) {
        GTEST_SKIP() << "no X display can be opened (run under xvfb-run)";
    }
    Recorder r;
    auto w = Window::Create(r, WindowStyle::Fixed, nullptr);
    ASSERT_TRUE(w);
    w->SetClientSize(120, 80);
    w->SetTitle(u"Digital I/O");
    w->Move(50, 60);
    w->Show(ShowMode::ShowNormal);
    PressLoop press;
    r.onClick = [&](Point) { press.Run(*w); };
    w->InjectClick({30, 40}, 80);
    for (int i = 0; i < 2000 && !press.released; ++i) {
        PumpMessages();
        SleepMs(1);
    }
    EXPECT_TRUE(r.Saw("click 30,40"));
    EXPECT_GT(press.downPasses, 0);
    EXPECT_TRUE(press.released);
    EXPECT_EQ(w->Title(), u"Digital I/O");
    EXPECT_EQ(Share(w->Snapshot(), {0, 0, 120, 80}, Rgb(0, 128, 255)), 1.0);
    w->Show(ShowMode::Hide);
    EXPECT_FALSE(w->IsVisible());
}
