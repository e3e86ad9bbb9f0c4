// Instrument windows on off-screen platform windows with the real panels,
// connected to the simulated box in-process.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "device/kobface.h"
#include "device/stream.h"
#include "platform/resource/resource.h"
#include "platform/thread/thread.h"
#include "platform/window/window.h"
#include "sim/inprocess.h"
#include "support/pictures.h"
#include "support/pump.h"
#include "vi/basevi.h"
#include "vi/controls/hotspot.h"

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
    // Clicks the centre of a control, `times` times.
    static void Click(CBaseVI& w, uint32_t id, int times = 1) {
        const platform::Rect r = w.FindHotspot(id)->m_rcArea;
        for (int i = 0; i < times; ++i) {
            w.Wnd()->InjectClick({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, 20);
            platform::PumpMessages();
        }
    }
    // Whether the simulated box has logged a line that starts with `line`.
    bool BoxLogged(const std::string& line) {
        const auto log = m_box.TheBox().Log();
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) {
            return l.compare(0, line.size(), line) == 0;
        });
    }
    // The share of a control's pixels near colour c in the window's picture.
    static double ShareIn(CBaseVI& w, uint32_t id, platform::Color c, int tol = 40) {
        return Share(w.Wnd()->Snapshot(), w.FindHotspot(id)->m_rcArea, c, tol);
    }
    kobsim::InProcessBox m_box;
    CKobface m_face;
};
