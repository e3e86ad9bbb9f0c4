// Instrument windows on off-screen platform windows with the real panels,
// connected to the simulated box in-process.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "device/kobface.h"
#include "device/stream.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/inprocess.h"
#include "support/pictures.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"

// Keeps the window thread answering until done() or 10 s have passed.
inline bool PumpWindowsUntil(const std::function<bool()>& done) {
    const uint32_t start = platform::TickCount();
    while (!done()) {
        if (platform::TickCount() - start > 10000)
            return false;
        platform::PumpMessages();
        platform::SleepMs(5);
    }
    return true;
}

class SimWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UseOffscreenWindows(true);
        ASSERT_TRUE(platform::UseDefaultResourceModule());
        m_box.AttachSerial(200);
        m_face.SetStream(new CStreamCOM);
        ASSERT_TRUE(m_face.m_pStream->Open());
        ASSERT_TRUE(m_face.Identify());
        m_face.CreateAllDevices();
    }
    void TearDown() override {
        m_face.CloseAllWindows();
        m_face.ForceStopWorker();
    }
    CBaseVI& Open(uint32_t type) {
        EXPECT_TRUE(m_face.OnCommand(10000 + type));
        CBaseVI* w = m_face.FindWindowOfType(type);
        EXPECT_NE(w, nullptr);
        return *w;
    }
    void Click(CBaseVI& w, uint32_t id) {
        const platform::Rect r = w.FindHotspot(id)->m_rcArea;
        w.Wnd()->InjectClick({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, 20);
        platform::PumpMessages();
    }
    // The share of a control's pixels near colour c in the window's picture.
    static double ShareIn(CBaseVI& w, uint32_t id, platform::Color c, int tol = 40) {
        return Share(w.Wnd()->Snapshot(), w.FindHotspot(id)->m_rcArea, c, tol);
    }
    kobsim::InProcessBox m_box;
    CKobface m_face;
};
