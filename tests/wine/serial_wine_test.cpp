// The Windows comm API stream against the simulated box on COM5.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "device/stream.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

namespace {

struct OnCom5 {
    OnCom5() {
        profile.Set("Settings", "Port", "5");
        kobface.SetStream(new CStreamCOM);
        opened = kobface.m_pStream->Open();
    }
    ScriptedUi ui;
    TempProfile profile;
    CKobface kobface;
    bool opened = false;
};

} // namespace

// A port the system lacks is not opened; on COM5 the box is identified and
// announced, and a command it leaves unanswered times out (the simulator
// skips the first release) without taking the line down.
TEST(WindowsSerial, IdentifiesAnnouncesAndSurvivesAnUnansweredCommand) {
    {
        TempProfile other;
        other.Set("Settings", "Port", "7");
        CStreamCOM missing;
        EXPECT_FALSE(missing.Open());
    }
    OnCom5 c;
    ASSERT_TRUE(c.opened);
    EXPECT_STREQ(g_szComPort, "COM5");
    ASSERT_TRUE(c.kobface.Identify());
    EXPECT_EQ(g_byModel, 2);
    EXPECT_EQ(c.kobface.GetVersionNumber(), 105);
    c.kobface.CreateAllDevices();
    EXPECT_TRUE(c.ui.messages.empty());
    try {
        c.kobface.ReleaseDevice(kTypeScope);
        FAIL() << "no time-out";
    } catch (const CCommException& e) {
        EXPECT_EQ(e.m_nError, 20012u);
    }
    EXPECT_TRUE(c.kobface.Identify());
}
